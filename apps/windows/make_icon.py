#!/usr/bin/env python3
"""Draws the workbench's emblem (the start screen's yellow figure on black)
into a Windows icon with 16, 24, 32, 48, 64 and 256 pixel images.

Usage: make_icon.py OUT.ico
"""
import struct
import sys

# The emblem as the start screen draws it, relative to its anchor:
# ("e", l, t, r, b) an ellipse, ("r", l, t, r, b) a rectangle with corners
# of radius 7.5, each with its colour.
YELLOW, WHITE = (255, 255, 0), (255, 255, 255)
SHAPES = [
    ("e", -70, -120, 0, 0, YELLOW),
    ("r", -48, 0, -18, 120, YELLOW),
    ("r", -18, 10, 42, 40, YELLOW),
    ("r", -18, 45, 22, 75, YELLOW),
    ("r", -88, 100, 32, 130, YELLOW),
    ("e", -58, -95, -38, -55, WHITE),
]
LEFT, TOP, RIGHT, BOTTOM = -88, -120, 42, 130
SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 4  # per pixel and axis


def inside(shape, x, y):
    kind, l, t, r, b, _ = shape
    if not (l <= x <= r and t <= y <= b):
        return False
    if kind == "e":
        cx, cy, rx, ry = (l + r) / 2, (t + b) / 2, (r - l) / 2, (b - t) / 2
        return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1
    rad = 7.5
    dx = max(l + rad - x, 0, x - (r - rad))
    dy = max(t + rad - y, 0, y - (b - rad))
    return dx * dx + dy * dy <= rad * rad


def render(size):
    """Rows of (r, g, b, a), top row first: the emblem on a black rounded
    square, a margin of one sixteenth around it."""
    span = max(RIGHT - LEFT, BOTTOM - TOP) * 1.12
    cx, cy = (LEFT + RIGHT) / 2, (TOP + BOTTOM) / 2
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            back = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (px + (sx + 0.5) / SAMPLES) / size
                    v = (py + (sy + 0.5) / SAMPLES) / size
                    x = cx + (u - 0.5) * span
                    y = cy + (v - 0.5) * span
                    # The black ground: a square with rounded corners.
                    corner = 0.18
                    ddx = max(corner - u, 0, u - (1 - corner))
                    ddy = max(corner - v, 0, v - (1 - corner))
                    if ddx * ddx + ddy * ddy > corner * corner:
                        continue
                    back += 1
                    colour = (0, 0, 0)
                    for s in SHAPES:
                        if inside(s, x, y):
                            colour = s[5]
                    for i in range(3):
                        acc[i] += colour[i]
            n = SAMPLES * SAMPLES
            if back == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(acc[i] / back + 0.5) for i in range(3)) +
                           (int(255 * back / n + 0.5),))
        rows.append(row)
    return rows


def dib(rows):
    """A 32-bit icon image: the header, the pixels bottom row first, the mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    images = [dib(render(s)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
