"""Helpers for driving X programs from tests: bounded waiting, window search,
pointer and screenshots (xdotool, xprop, ImageMagick's import)."""

import shutil
import subprocess
import time


class Timeout(AssertionError):
    pass


def wait_for(what, probe, timeout=20.0):
    """Calls probe until it returns something true; retries with a growing
    pause and gives up after timeout seconds."""
    deadline = time.monotonic() + timeout
    pause = 0.02
    last = None
    while True:
        try:
            last = probe()
        except subprocess.CalledProcessError as e:
            last = e
        else:
            if last:
                return last
        if time.monotonic() >= deadline:
            raise Timeout("timed out after %.0f s waiting for %s (last: %r)" % (timeout, what, last))
        time.sleep(pause)
        pause = min(pause * 1.5, 0.5)


def missing_tools(names=("xdotool", "xprop", "xwininfo", "import")):
    return [n for n in names if shutil.which(n) is None]


class X:
    def __init__(self, display):
        self.env = {"DISPLAY": display}

    def run(self, *args):
        import os
        return subprocess.run(list(args), env=dict(os.environ, **self.env), check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30).stdout

    def find_window(self, title):
        """The first window whose name is exactly title, or None."""
        import re
        try:
            out = self.run("xdotool", "search", "--name", "^%s$" % re.escape(title))
        except subprocess.CalledProcessError:  # xdotool exits 1 when nothing matches
            return None
        ids = out.split()
        return int(ids[0]) if ids else None

    def prop(self, window, name):
        return self.run("xprop", "-id", str(window), name).decode(errors="replace").strip()

    def geometry(self, window):
        out = self.run("xwininfo", "-id", str(window)).decode()
        fields = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
        return int(fields["Width"]), int(fields["Height"])

    def move(self, window, x, y):
        self.run("xdotool", "mousemove", "--window", str(window), str(x), str(y))

    def key(self, window, name):
        """A key pressed and released at the window (xdotool's key names)."""
        self.run("xdotool", "key", "--window", str(window), name)

    def button(self, down):
        self.run("xdotool", "mousedown" if down else "mouseup", "1")

    def screenshot(self, window):
        """The window's pixels: (width, height, rgb bytes)."""
        return parse_ppm(self.run("import", "-window", str(window), "-depth", "8", "ppm:-"))

    def pixel(self, window, x, y):
        w, _, data = self.screenshot(window)
        i = 3 * (y * w + x)
        return tuple(data[i:i + 3])

    def save_png(self, window, path):
        self.run("import", "-window", str(window), path)


def parse_ppm(blob):
    """Binary PPM (P6) with 8-bit samples."""
    fields, pos = [], 0
    while len(fields) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        if blob[pos:pos + 1] == b"#":
            pos = blob.index(b"\n", pos) + 1
            continue
        end = pos
        while not blob[end:end + 1].isspace():
            end += 1
        fields.append(blob[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    data = blob[pos + 1:pos + 1 + 3 * width * height]
    if len(data) != 3 * width * height:
        raise ValueError("short PPM")
    return width, height, data
