#!/usr/bin/env python3
"""The Windows programs under Wine, in a private X server.

1. The cross-compiled GoogleTest programs (ctest in the Windows build).
2. Pixel comparison: the same replay scripts drawn into the GDI back buffer
   (gdi-replay.exe) and into the cairo back buffer (quorix-replay); pixels
   outside the cells of text are counted per screen.
3. The package, unzipped into a folder whose path holds a space and a '.':
   quorix-asm.exe assembles; with Nuvedo.exe not running the workbench's load
   screen shows the not-found message; then Nuvedo.exe and quorix.exe run
   together: compile screen, Compile, the .com bytes, Debug (and the machine
   window it opens), the register panel while the pointer rests on Run,
   close, exit code 0. The workbench's
   steps per second on the compile screen are reported. Resting on Run
   executes the program: its console strip must show what the same steps
   draw in gdi-replay.exe, the program's text among it.
4. quorix-run.exe from the package runs every program of the
   script.dos_program_runs test, from its source and from its .com, and must
   print the same bytes and end with the same exit code as the Linux
   quorix-run.
5. Nuvedo.exe as a user meets it: a missing name asks first, nul.asm is
   refused, two levels of undo, LF lines saved as they were, placement beside
   the workbench and cascaded.
6. At 144 DPI (a prefix of its own) the workbench's window and the machine
   window are 1.5 times their pictures, and presses on the scaled Compile
   button and Continue button reach them.
7. The installer (a prefix of its own): silent install, the Start menu's
   shortcuts, a compile through them, a silent uninstall.
--only editor|dpi|installer runs one of 5 to 7 alone.

Needs WINEPREFIX set to an initialised prefix.
"""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from xtools import X, parse_ppm, wait_for  # noqa: E402
from xvfb import XServer  # noqa: E402
from workbench_e2e import (EXPECTED_COM, COMPILE_BUTTON, COMPILE_BUTTON_FRAME,  # noqa: E402
                           SOURCE_ROW_FRAME, DEBUG_ENTRY, RUN_BOX, RUN_BOX_FRAME,
                           PANEL_CORNERS, EMPTY_WORK_AREA, BLACK, WHITE, RED, GREEN, Processes)
# The machine window: its screen panel's frame, a point inside Continue.
MACHINE_SCREEN_FRAME = (8, 90)
MACHINE_BUTTON_INSIDE = (12, 12)

WINE = shutil.which("wine64") or (os.path.exists("/usr/lib/wine/wine64") and "/usr/lib/wine/wine64") \
    or shutil.which("wine")
LOAD_ENTRY = (50, 22)  # inside the menu box at (10, 10), 100 by 25
NOT_FOUND = b"QuorixClassTE are not found, Execute it first. It at Compiler\\Nuvedo.exe"

# Screens drawn by both back buffers. The source and the scripts use the
# workbench's relative paths, so both programs run in the same folder.
BAD_SOURCE = b"[ORG 100]\r\nMOV AX, 1\r\nMOV AX, QQ\r\nRET\r\n"
SCREENS = {
    "start": "noeditor\ntick 3\n",
    "compile": "editor Compiler\\TheFile.asm\ntick 3\n",
    "error": "editor Compiler\\Bad.asm\ntick 3\nmove 650 27\ndown\ntick 2\nup\nmove 790 590\ntick 2\n",
    "debug": "editor Compiler\\TheFile.asm\ntick 3\nmove 650 27\ndown\ntick 2\nup\n"
             "move 50 82\ndown\ntick 1\nup\nmove 230 480\ntick 3\n",
    "variables": "editor Compiler\\TheFile.asm\ntick 3\nmove 132 300\ndown\ntick 1\nup\ntick 2\n",
}
CAIRO_CELL = (10, 17)  # an upper bound of the cairo view font's cell, in pixels
# The console strip under the work area (left, top, right, bottom).
CONSOLE_STRIP = (150, 513, 750, 598)
PROGRAM_TEXT = b"HELLO FROM QUORIX..."
# The programs of tests/scripts/dos_program_runs.sh: source, exit code, keys.
DOS_PROGRAMS = [
    ("tests/data/dos/count.asm", 26, b""),
    ("tests/data/dos/table.asm", 15, b""),
    ("tests/data/dos/arith.asm", 10, b""),
    ("tests/data/dos/strings.asm", 3, b""),
    ("tests/data/dos/input.asm", 4, b"Ada\r\n1x2 3 9.Qok!"),
    ("examples/Compiler/TheFile.asm", 0, b""),
]


def read_image(path):
    blob = path if isinstance(path, bytes) else open(path, "rb").read()
    return parse_ppm(blob)


def png_as_ppm(path):
    return parse_ppm(subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                                    stdout=subprocess.PIPE, timeout=60).stdout)


def text_cells(path):
    cells = []
    for line in open(path):
        x, y, w, h, hexed = (line.split() + [""])[:5]
        text = bytes.fromhex(hexed)
        w = max(int(w), len(text) * CAIRO_CELL[0])
        h = max(int(h), CAIRO_CELL[1])
        cells.append((int(x) - 1, int(y) - 1, int(x) + w + 1, int(y) + h + 1, text))
    return cells


def compare_screens(args, env, work):
    """Pixels that differ outside text, per screen."""
    shutil.copytree(os.path.join(args.source, "examples", "Compiler"), os.path.join(work, "Compiler"))
    with open(os.path.join(work, "Compiler", "Bad.asm"), "wb") as f:
        f.write(BAD_SOURCE)
    figures = {}
    for name, script in SCREENS.items():
        with open(os.path.join(work, name + ".gdi.txt"), "w") as f:
            f.write(script + "shot %s.ppm\n" % name)
        with open(os.path.join(work, name + ".cairo.txt"), "w") as f:
            f.write(script + "shot %s.png\n" % name)
        subprocess.run([WINE, os.path.join(args.build_win, "gdi-replay.exe"), name + ".gdi.txt"],
                       cwd=work, env=env, check=True, timeout=120, stdout=subprocess.DEVNULL)
        # Both sides execute the program on the engine's emulator.
        subprocess.run([os.path.join(args.build, "quorix-replay"),
                        name + ".cairo.txt"], cwd=work,
                       check=True, timeout=120, stdout=subprocess.DEVNULL)
        w, h, gdi = read_image(os.path.join(work, name + ".ppm"))
        w2, h2, cairo = png_as_ppm(os.path.join(work, name + ".png"))
        assert (w, h) == (w2, h2) == (800, 600), (name, w, h, w2, h2)
        mask = bytearray(w * h)
        cells = text_cells(os.path.join(work, name + ".ppm.text"))
        for l, t, r, b, _ in cells:
            for y in range(max(t, 0), min(b, h)):
                mask[y * w + max(l, 0):y * w + min(r, w)] = b"\1" * (min(r, w) - max(l, 0))
        def at(img, x, y):
            return bytes(img[3 * (y * w + x):3 * (y * w + x) + 3])

        def outline_shift(x, y):
            # The two rasterisers put the outline of a shape one pixel apart
            # here: each image has the other's colour right beside the pixel.
            near = [(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))
                    if 0 <= x + dx < w and 0 <= y + dy < h]
            g, c = at(gdi, x, y), at(cairo, x, y)
            return any(at(gdi, *n) == c for n in near) and any(at(cairo, *n) == g for n in near)

        differ, other, where = 0, 0, []
        for i in range(w * h):
            if not mask[i] and gdi[3 * i:3 * i + 3] != cairo[3 * i:3 * i + 3]:
                differ += 1
                if not outline_shift(i % w, i // w):
                    other += 1
                if len(where) < 8:
                    where.append((i % w, i // w, tuple(gdi[3 * i:3 * i + 3]),
                                  tuple(cairo[3 * i:3 * i + 3])))
        masked = sum(mask)
        figures[name] = differ
        print("pixels: %-9s %6d differ outside text, %d of them not on a shape's outline "
              "(%d text pixels of %d not compared)%s" %
              (name, differ, other, masked, w * h,
               (" e.g. (x, y, gdi, cairo) %s" % where) if where else ""))
        assert other == 0, "%s: %d pixels differ away from any outline" % (name, other)
        if name == "error":
            assert any(c[4].startswith(b"Error at Line:") for c in cells), "no error shown"
    return figures


def unpack(zip_path, work):
    folder = os.path.join(work, "quorix pkg.v1")
    os.makedirs(folder)
    # zipfile keeps the '\' free names of the archive; Windows programs see folders.
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(folder)
    for exe in ("quorix.exe", "quorix-asm.exe", "quorix-run.exe",
                os.path.join("Compiler", "Nuvedo.exe")):
        assert os.path.exists(os.path.join(folder, exe)), exe
    return folder


def package_checks(args, env, display, work):
    folder = unpack(args.zip, work)
    x = X(display)
    dos_programs(args, env, folder, work)

    # The command-line assembler, from the package's own folder.
    out = os.path.join(folder, "Compiler", "cli.com")
    subprocess.run([WINE, os.path.join(folder, "quorix-asm.exe"), "Compiler\\TheFile.asm", "-o",
                    "Compiler\\cli.com"], cwd=folder, env=env, check=True, timeout=60)
    assert open(out, "rb").read() == EXPECTED_COM, "quorix-asm.exe wrote other bytes"
    print("quorix-asm.exe in %r: %d bytes as expected" % (folder, len(EXPECTED_COM)))

    stats_path = os.path.join(work, "stats.txt")
    wenv = dict(env, QUORIX_STATS_FILE="Z:" + stats_path.replace("/", "\\"))
    procs = Processes()
    try:
        # Without the editor: the load screen says where to find it.
        quorix = procs.start([WINE, os.path.join(folder, "quorix.exe")], cwd=folder, env=env)
        win = wait_for('the window "Quorix V-1.0"', lambda: x.find_window("Quorix V-1.0"), 60)
        wait_for("the window's client area", lambda: x.geometry(win) == (810, 600) or None, 30)
        ref = reference_not_found(args, env, work)
        x.move(win, *LOAD_ENTRY)
        x.button(True)
        try:
            def message_shown():
                w, _, data = x.screenshot(win)
                if args.keep:
                    open(os.path.join(args.keep, "load-window.ppm"), "wb").write(
                        b"P6\n%d 600\n255\n" % w + data)
                    open(os.path.join(args.keep, "load-ref.ppm"), "wb").write(
                        b"P6\n800 600\n255\n" + ref["pixels"])
                l, t, r, b = ref["cell"]
                for y in range(t, b):
                    for xx in range(l, r):
                        if data[3 * (y * w + xx):3 * (y * w + xx) + 3] != \
                                ref["pixels"][3 * (y * 800 + xx):3 * (y * 800 + xx) + 3]:
                            return None
                return True
            wait_for("the not-found message", message_shown, 30)
        finally:
            x.button(False)
        print("missing editor: the load screen shows %r" % NOT_FOUND.decode())
        subprocess.run([args.close_tool, "--close", str(win)], env=env, check=True, timeout=30)
        assert quorix.wait(timeout=30) == 0, "exit code after close"

        # The editor started without a file, from elsewhere, opens
        # TheFile.asm in its own folder.
        source = os.path.join(folder, "Compiler", "TheFile.asm")
        output = os.path.join(folder, "Compiler", "TheFile.com")
        title = "Z:" + source.replace("/", "\\")
        editor = procs.start([WINE, os.path.join(folder, "Compiler", "Nuvedo.exe")], cwd=work, env=env)
        ed = wait_for("Nuvedo.exe without a file, titled %r" % title, lambda: x.find_window(title), 60)
        subprocess.run([args.close_tool, "--close", str(ed)], env=env, check=True, timeout=30)
        assert editor.wait(timeout=30) == 0, "Nuvedo.exe exit code after close"
        print("Nuvedo.exe without a file: %r, closed with exit code 0" % title)

        # With the editor.
        editor = procs.start([WINE, os.path.join(folder, "Compiler", "Nuvedo.exe"),
                              "Compiler\\TheFile.asm"], cwd=folder, env=env)
        ed = wait_for("Nuvedo.exe titled with the full path", lambda: x.find_window(title), 60)
        quorix = procs.start([WINE, os.path.join(folder, "quorix.exe")], cwd=folder, env=wenv)
        win = wait_for('the window "Quorix V-1.0"', lambda: x.find_window("Quorix V-1.0"), 60)

        def window_pixels_are(window, points):
            def probe():
                w, _, data = x.screenshot(window)
                got = {p: tuple(data[3 * (p[1] * w + p[0]):3 * (p[1] * w + p[0]) + 3]) for p in points}
                return got if all(got[p] == rgb for p, rgb in points.items()) else None
            return probe

        def pixels_are(points):
            return window_pixels_are(win, points)

        x.move(win, *EMPTY_WORK_AREA)
        wait_for("the compile screen", pixels_are({COMPILE_BUTTON_FRAME: WHITE, SOURCE_ROW_FRAME: GREEN}),
                 60)
        print("compile screen shown")
        # Three whole seconds of the compile screen.
        wait_for("three seconds of step counts",
                 lambda: os.path.exists(stats_path) and
                 len(open(stats_path).read().split("\n")) >= 4, 30)
        steps = [int(line.split()[1]) for line in open(stats_path).read().split("\n") if line]
        print("steps per second on the compile screen: %s" % steps)
        if args.screenshot:
            x.save_png(win, args.screenshot)

        x.move(win, *COMPILE_BUTTON)
        x.button(True)
        try:
            wait_for("the .com file", lambda: os.path.exists(output) and
                     os.path.getsize(output) >= len(EXPECTED_COM), 30)
        finally:
            x.button(False)
        com = open(output, "rb").read()
        assert com == EXPECTED_COM, "TheFile.com is %s" % com.hex(" ")
        wait_for("the Compile button to go", pixels_are({COMPILE_BUTTON_FRAME: BLACK}), 30)
        print("compiled: %d bytes as expected" % len(com))

        x.move(win, *DEBUG_ENTRY)
        x.button(True)
        try:
            wait_for("the debug screen", pixels_are({RUN_BOX_FRAME: RED}), 30)
        finally:
            x.button(False)
        # Debug opens the machine window beside the main one, on the compiled
        # program; the pointer over its Continue button lights the button.
        machine = wait_for('the window "Quorix machine"', lambda: x.find_window("Quorix machine"), 30)

        def machine_pixels_are(points):
            return window_pixels_are(machine, points)

        wait_for("the machine window's panels",
                 machine_pixels_are({MACHINE_SCREEN_FRAME: GREEN, MACHINE_BUTTON_INSIDE: BLACK}), 30)
        x.move(machine, *MACHINE_BUTTON_INSIDE)
        wait_for("the lit Continue button", machine_pixels_are({MACHINE_BUTTON_INSIDE: WHITE}), 30)
        print("machine window shown; its pointer events reach it")
        x.move(win, *EMPTY_WORK_AREA)
        wait_for("no register panel off Run", pixels_are({p: BLACK for p in PANEL_CORNERS}), 30)
        x.move(win, *RUN_BOX)
        wait_for("the register panel on Run", pixels_are({p: RED for p in PANEL_CORNERS}), 30)
        print("register panel shown while the pointer rests on Run")
        ran = reference_run(args, env, work)
        l, t, r, b = CONSOLE_STRIP

        def console_as_reference():
            w, _, data = x.screenshot(win)
            for y in range(t, b):
                if data[3 * (y * w + l):3 * (y * w + r)] != ran["pixels"][3 * (y * 800 + l):3 * (y * 800 + r)]:
                    return None
            return True
        try:
            wait_for("the program's text in the console strip", console_as_reference, 60)
        finally:
            if args.keep:
                w, _, data = x.screenshot(win)
                open(os.path.join(args.keep, "run-window.ppm"), "wb").write(
                    b"P6\n%d 600\n255\n" % w + data)
        print("Run executed the program: the console strip shows %r" % ran["lines"])
        if args.shots:
            x.save_png(win, os.path.join(args.shots, "wine-debug-run.png"))
            x.save_png(machine, os.path.join(args.shots, "wine-machine.png"))

        subprocess.run([args.close_tool, "--close", str(win)], env=env, check=True, timeout=30)
        code = quorix.wait(timeout=30)
        assert code == 0, "exit code %d after the close request" % code
        print("closed: exit code 0")

        # The editor saves with Ctrl+S exactly what it shows: the file's CR LF
        # lines as they were, plus what was typed.
        before = open(source, "rb").read()
        x.run("xdotool", "windowfocus", "--sync", str(ed))
        x.run("xdotool", "key", "--window", str(ed), "ctrl+End")
        x.run("xdotool", "type", "--window", str(ed), ";Z")
        x.run("xdotool", "key", "--window", str(ed), "ctrl+s")
        wait_for("the editor's save", lambda: open(source, "rb").read() == before + b";Z" or None, 30)
        subprocess.run([args.close_tool, "--close", str(ed)], env=env, check=True, timeout=30)
        assert editor.wait(timeout=30) == 0, "Nuvedo.exe exit code after close"
        print("Nuvedo.exe saved %d bytes exactly with Ctrl+S and closed" % (len(before) + 2))
        return steps
    finally:
        procs.close()


def window_box(x, win):
    """(left, top, width, height) of a window on the screen."""
    out = x.run("xwininfo", "-id", str(win)).decode()
    f = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
    return tuple(int(f[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                                      "Height"))


def answer_box(x, key):
    """Answers the editor's message box (titled "Nuvedo") with a key."""
    box = wait_for("the editor's message box", lambda: x.find_window("Nuvedo"), 60)

    def focus():
        # The box may be found a moment before it can take the focus.
        try:
            x.run("xdotool", "windowfocus", "--sync", str(box))
            return True
        except subprocess.CalledProcessError:
            return None
    wait_for("the message box to take the focus", focus, 30)
    x.key(box, key)
    wait_for("the message box to go", lambda: x.find_window("Nuvedo") is None or None, 30)


def editor_checks(args, env, display, work):
    """Nuvedo.exe as a user meets it: a mistyped name is not made without
    asking, a device name is refused, undo goes back more than one step, a
    file with LF lines is saved with LF lines, and a new editor stands beside
    the workbench, a second one cascaded from the first."""
    folder = os.path.join(work, "editor")
    os.makedirs(folder)
    nuvedo = os.path.join(args.build_win, "Nuvedo.exe")
    x = X(display)
    procs = Processes()

    def close(win, proc):
        subprocess.run([args.close_tool, "--close", str(win)], env=env, check=True, timeout=30)
        assert proc.wait(timeout=30) == 0, "Nuvedo.exe exit code after close"

    def winpath(path):
        return "Z:" + path.replace("/", "\\")

    try:
        # name typed, answer, what is on disk afterwards
        for name, key, made in (("typo.asm", "n", False), ("nul.asm", "Return", False),
                                ("new.asm", "y", True)):
            proc = procs.start([WINE, nuvedo, name], cwd=folder, env=env)
            answer_box(x, key)
            title = winpath(os.path.join(folder, name)) if made else "(untitled)"
            ed = wait_for("the editor titled %r" % title, lambda: x.find_window(title), 30)
            close(ed, proc)
            assert os.path.exists(os.path.join(folder, name)) == made, name
            print("Nuvedo.exe %s, answered %s: %s" % (name, key, "made empty" if made else
                                                       "no file, an untitled text"))
        assert sorted(os.listdir(folder)) == ["new.asm"], os.listdir(folder)
        assert open(os.path.join(folder, "new.asm"), "rb").read() == b""

        # Two levels of undo, and LF lines kept.
        source = os.path.join(folder, "lf.asm")
        before = b"NOP\nRET\n"
        open(source, "wb").write(before)
        proc = procs.start([WINE, nuvedo, "lf.asm"], cwd=folder, env=env)
        ed = wait_for("the editor on lf.asm", lambda: x.find_window(winpath(source)), 60)
        x.run("xdotool", "windowfocus", "--sync", str(ed))
        for keys, want in ((["ctrl+End", "A", "ctrl+Home", "B", "ctrl+s"], b"BNOP\nRET\nA"),
                           (["ctrl+z", "ctrl+s"], before + b"A"),
                           (["ctrl+z", "ctrl+s"], before)):
            for k in keys:
                x.key(ed, k)
            wait_for("the saved bytes %r" % want,
                     lambda: open(source, "rb").read() == want or None, 30)
        close(ed, proc)
        print("Nuvedo.exe: two steps undone, each save byte for byte with LF lines")

        # Placement.
        wb = procs.start([WINE, os.path.join(args.build_win, "quorix.exe")], cwd=folder, env=env)
        win = wait_for('the window "Quorix V-1.0"', lambda: x.find_window("Quorix V-1.0"), 60)
        boxes = []
        for name in ("a.asm", "b.asm"):
            open(os.path.join(folder, name), "wb").write(b"NOP\r\n")
            procs.start([WINE, nuvedo, name], cwd=folder, env=env)
            title = winpath(os.path.join(folder, name))
            boxes.append(window_box(x, wait_for(title, lambda: x.find_window(title), 60)))
        bench = window_box(x, win)
        first, second = boxes
        print("workbench at %s, editors at %s and %s" % (bench, first, second))
        assert bench[0] + bench[2] <= first[0] < bench[0] + bench[2] + 40, "beside the workbench"
        assert 0 < second[0] - first[0] < 80 and 0 < second[1] - first[1] < 80, "cascaded"
        subprocess.run([args.close_tool, "--close", str(win)], env=env, check=True, timeout=30)
        assert wb.wait(timeout=30) == 0
        print("Nuvedo.exe beside the workbench; a second one cascaded")
    finally:
        procs.close()


def fresh_prefix(env, work, name):
    """A Wine prefix of its own, with its own home (Documents lives there) and
    no desktop entries written for the host."""
    home = os.path.join(work, name + "-home")
    os.makedirs(home)
    penv = dict(env, HOME=home, WINEPREFIX=os.path.join(work, name + "-prefix"), WINEARCH="win64",
                WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    subprocess.run([WINE, "wineboot", "-i"], env=penv, timeout=300, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=penv, timeout=120)
    return penv, home


def dpi_checks(args, env, display, work):
    """At 144 DPI the workbench's client area is 1.5 times the picture
    (1215 by 900), and a press where the Compile button shows on the screen
    reaches the button: pointer positions are mapped back to the picture."""
    denv, _ = fresh_prefix(env, work, "dpi")
    subprocess.run([WINE, "reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t",
                    "REG_DWORD", "/d", "144", "/f"], env=denv, check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=denv, timeout=120)
    folder = os.path.join(work, "dpi")
    shutil.copytree(os.path.join(args.source, "examples", "Compiler"),
                    os.path.join(folder, "Compiler"))
    x = X(display)
    procs = Processes()
    try:
        ed = procs.start([WINE, os.path.join(args.build_win, "Nuvedo.exe"), "Compiler\\TheFile.asm"],
                         cwd=folder, env=denv)
        title = "Z:" + os.path.join(folder, "Compiler", "TheFile.asm").replace("/", "\\")
        edwin = wait_for("the editor", lambda: x.find_window(title), 60)
        wb = procs.start([WINE, os.path.join(args.build_win, "quorix.exe")], cwd=folder, env=denv)
        win = wait_for('the window "Quorix V-1.0"', lambda: x.find_window("Quorix V-1.0"), 60)
        wait_for("a client area of 1215 by 900", lambda: x.geometry(win) == (1215, 900) or None, 30)

        def scaled(point):
            return point[0] * 3 // 2, point[1] * 3 // 2

        def compile_screen():
            # The button's one-pixel frame lands within a pixel of its
            # scaled place.
            w, _, data = x.screenshot(win)
            fx, fy = scaled(COMPILE_BUTTON_FRAME)
            return any(tuple(data[3 * (y * w + xx):3 * (y * w + xx) + 3]) == WHITE
                       for y in range(fy - 1, fy + 2) for xx in range(fx - 1, fx + 2)) or None
        x.move(win, *scaled(EMPTY_WORK_AREA))
        wait_for("the compile screen, scaled", compile_screen, 60)
        output = os.path.join(folder, "Compiler", "TheFile.com")
        x.move(win, *scaled(COMPILE_BUTTON))
        x.button(True)
        try:
            wait_for("the .com file", lambda: os.path.exists(output) and
                     open(output, "rb").read() == EXPECTED_COM or None, 30)
        finally:
            x.button(False)
        print("144 DPI: client area 1215 by 900; a press on the scaled Compile button compiled")
        # The machine window that Debug opens scales the same way, and its
        # pointer events reach it in picture pixels too.
        x.move(win, *scaled(DEBUG_ENTRY))
        x.button(True)
        try:
            machine = wait_for('the window "Quorix machine"',
                               lambda: x.find_window("Quorix machine"), 30)
        finally:
            x.button(False)
        wait_for("a machine window of 1980 by 1032",
                 lambda: x.geometry(machine) == (1980, 1032) or None, 30)
        lit = scaled(MACHINE_BUTTON_INSIDE)
        x.move(machine, *lit)

        def button_lit():
            w, _, data = x.screenshot(machine)
            return tuple(data[3 * (lit[1] * w + lit[0]):3 * (lit[1] * w + lit[0]) + 3]) == WHITE \
                or None
        wait_for("the lit Continue button", button_lit, 30)
        print("144 DPI: machine window 1980 by 1032; its pointer events reach it")
        for w, p in ((win, wb), (edwin, ed)):
            subprocess.run([args.close_tool, "--close", str(w)], env=env, check=True, timeout=30)
            assert p.wait(timeout=30) == 0
    finally:
        procs.close()
        subprocess.run(["wineserver", "-k"], env=denv, timeout=60)


def parse_lnk(path):
    """Target, working folder and arguments of a shell link (.lnk)."""
    import struct
    blob = open(path, "rb").read()
    flags = struct.unpack_from("<I", blob, 0x14)[0]
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", blob, pos)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo
        size, _, info_flags, _, base = struct.unpack_from("<IIIII", blob, pos)
        if info_flags & 0x1:
            end = blob.index(b"\0", pos + base)
            target = blob[pos + base:end].decode("mbcs" if os.name == "nt" else "latin-1")
        pos += size
    strings = {}
    unicode = flags & 0x80
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "args"),
                      (0x40, "icon")):
        if flags & bit:
            n = struct.unpack_from("<H", blob, pos)[0]
            width = 2 if unicode else 1
            raw = blob[pos + 2:pos + 2 + n * width]
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            pos += 2 + n * width
    return target, strings.get("workdir"), strings.get("args", "")


def installer_checks(args, env, display, work):
    """The installer in a prefix of its own: a silent install into a folder
    whose name holds a space, the working folder in Documents, the programs
    started as the Start menu's shortcuts start them, a compile, and a
    silent uninstall that leaves the install folder empty of files and the
    working folder (the user's work) as it was."""
    started = time.monotonic()
    ienv, _ = fresh_prefix(env, work, "installer")
    prefix = ienv["WINEPREFIX"]
    print("installer: a fresh Wine prefix in %.1f s" % (time.monotonic() - started))
    users = os.path.join(prefix, "drive_c", "users")
    user = [u for u in os.listdir(users) if u != "Public"][0]

    def unix(winpath):
        drive, rest = winpath[:2].upper(), winpath[2:].replace("\\", "/").lstrip("/")
        root = "/" if drive == "Z:" else os.path.join(prefix, "dosdevices", drive.lower())
        return os.path.realpath(os.path.join(root, rest))

    install = os.path.join(work, "Install Dir")
    # /D= takes the rest of the command line, unquoted: cmd passes it so.
    subprocess.run([WINE, "cmd", "/c", "Z:%s /S /D=Z:%s" % (args.setup.replace("/", "\\"),
                                                          install.replace("/", "\\"))],
                   env=ienv, check=True, timeout=300)
    installed = sorted(os.path.relpath(os.path.join(d, f), install)
                       for d, _, files in os.walk(install) for f in files)
    assert installed == sorted(["quorix.exe", "quorix-asm.exe", "quorix-run.exe", "README.txt",
                                "Uninstall.exe",
                                "Compiler/Nuvedo.exe", "Licenses/Unicorn/COPYING",
                                "Licenses/Unicorn/COPYING.LGPL2",
                                "Licenses/Unicorn/COPYING_GLIB"]), installed
    menu = os.path.join(users, user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                        "Programs", "Quorix")
    links = {name: parse_lnk(os.path.join(menu, name)) for name in sorted(os.listdir(menu))}
    print("installer: %d files installed; Start menu: %s" % (len(installed), links))
    target, workdir, _ = links["Quorix.lnk"]
    working = unix(workdir)
    assert unix(target) == os.path.realpath(os.path.join(install, "quorix.exe")), target
    assert open(os.path.join(working, "Compiler", "OpCode.qrx"), "rb").read() == \
        open(os.path.join(args.source, "examples", "Compiler", "OpCode.qrx"), "rb").read()

    x = X(display)
    procs = Processes()
    try:
        etarget, eworkdir, eargs = links["Nuvedo editor.lnk"]
        source = unix(eargs.strip('"'))
        assert source == os.path.join(working, "Compiler", "TheFile.asm"), source
        procs.start([WINE, unix(etarget), eargs.strip('"')], cwd=unix(eworkdir), env=ienv)
        ed = wait_for("the installed editor", lambda: x.find_window(eargs.strip('"')), 60)
        quorix = procs.start([WINE, unix(target)], cwd=working, env=ienv)
        win = wait_for('the window "Quorix V-1.0"', lambda: x.find_window("Quorix V-1.0"), 60)
        output = os.path.join(working, "Compiler", "TheFile.com")

        def compile_screen():
            w, _, data = x.screenshot(win)
            px = data[3 * (COMPILE_BUTTON_FRAME[1] * w + COMPILE_BUTTON_FRAME[0]):][:3]
            return tuple(px) == WHITE or None
        x.move(win, *EMPTY_WORK_AREA)
        wait_for("the compile screen", compile_screen, 60)
        x.move(win, *COMPILE_BUTTON)
        x.button(True)
        try:
            wait_for("the .com file", lambda: os.path.exists(output) and
                     open(output, "rb").read() == EXPECTED_COM or None, 30)
        finally:
            x.button(False)
        print("installer: started from the Start menu's shortcuts in %r, compiled %d bytes" %
              (workdir, len(EXPECTED_COM)))
        for w, p in ((win, quorix), (ed, procs.procs[0])):
            subprocess.run([args.close_tool, "--close", str(w)], env=env, check=True, timeout=30)
            assert p.wait(timeout=30) == 0
    finally:
        procs.close()

    subprocess.run([WINE, os.path.join(install, "Uninstall.exe"), "/S"], env=ienv, check=True,
                   timeout=120)
    # The uninstaller runs from a copy of itself and returns at once.
    wait_for("the uninstaller to end", lambda: subprocess.run(
        ["wineserver", "-w"], env=ienv, timeout=120).returncode == 0 or None, 130)
    left = [os.path.join(d, f) for d, _, files in os.walk(install) for f in files]
    assert not left, "files left in the install folder: %s" % left
    assert not os.path.exists(menu), "Start menu entries left"
    kept = sorted(os.listdir(os.path.join(working, "Compiler")))
    assert kept == ["OpCode.qrx", "TheFile.asm", "TheFile.com"], kept
    print("installer: uninstalled silently; no files left in %r, the working folder kept %s" %
          (install, kept))
    subprocess.run(["wineserver", "-k"], env=ienv, timeout=60)


def reference_run(args, env, work):
    """The debug screen after the program ran to its end, as gdi-replay.exe draws it."""
    ref = os.path.join(work, "ref-run")
    os.makedirs(ref)
    shutil.copytree(os.path.join(args.source, "examples", "Compiler"), os.path.join(ref, "Compiler"))
    with open(os.path.join(ref, "run.txt"), "w") as f:
        # The shot notes the texts of the last step alone (the one tick before it).
        f.write(SCREENS["debug"] + "tick 200\ntick 1\nshot run.ppm\n")
    subprocess.run([WINE, os.path.join(args.build_win, "gdi-replay.exe"), "run.txt"], cwd=ref,
                   env=env, check=True, timeout=120, stdout=subprocess.DEVNULL)
    _, _, pixels = read_image(os.path.join(ref, "run.ppm"))
    l, t, r, b = CONSOLE_STRIP
    lines = [c[4] for c in text_cells(os.path.join(ref, "run.ppm.text"))
             if l <= c[0] + 1 < r and t <= c[1] + 1 < b]
    assert PROGRAM_TEXT in lines, "the replay's console strip holds %r" % lines
    return {"pixels": pixels, "lines": [line.decode("latin-1") for line in lines]}


def dos_programs(args, env, folder, work):
    """Every program of script.dos_program_runs through quorix-run.exe and the Linux quorix-run."""
    runs = os.path.join(folder, "runs")
    os.makedirs(runs)
    for source, want_rc, keys in DOS_PROGRAMS:
        name = os.path.splitext(os.path.basename(source))[0]
        text = open(os.path.join(args.source, source), "rb").read()
        # CR LF lines, as the editors write them (and as the DOS test feeds them).
        lines = text.replace(b"\r\n", b"\n").split(b"\n")
        if lines and lines[-1] == b"":
            lines.pop()
        asm = os.path.join(runs, name + ".asm")
        with open(asm, "wb") as f:
            f.write(b"".join(line.rstrip(b"\r") + b"\r\n" for line in lines))
        keys_path = os.path.join(work, name + ".keys")
        with open(keys_path, "wb") as f:
            f.write(keys)
        subprocess.run([WINE, os.path.join(folder, "quorix-asm.exe"), "runs\\%s.asm" % name, "-o",
                        "runs\\%s.com" % name], cwd=folder, env=env, check=True, timeout=60,
                       stdout=subprocess.DEVNULL)

        def run(cmd):
            with open(keys_path, "rb") as keys_in:
                p = subprocess.run(cmd, cwd=folder, env=env, stdin=keys_in, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=60)
            return p.stdout, p.returncode, p.stderr
        linux = run([os.path.join(args.build, "quorix-run"), asm])
        assert linux[1] == want_rc, "%s: Linux quorix-run exit code %d, expected %d: %r" % (
            name, linux[1], want_rc, linux[2])
        for what in ("asm", "com"):
            got = run([WINE, os.path.join(folder, "quorix-run.exe"), "runs\\%s.%s" % (name, what)])
            assert got[0] == linux[0], "%s.%s: quorix-run.exe printed %r, Linux %r (%r)" % (
                name, what, got[0], linux[0], got[2])
            assert got[1] == linux[1], "%s.%s: quorix-run.exe exit code %d, Linux %d (%r)" % (
                name, what, got[1], linux[1], got[2])
        print("quorix-run.exe: %s (source and .com) printed the same %d bytes as Linux, "
              "exit code %d" % (name, len(linux[0]), linux[1]))


def reference_not_found(args, env, work):
    """The load screen without editor as the GDI back buffer draws it."""
    ref = os.path.join(work, "ref")
    os.makedirs(ref)
    shutil.copytree(os.path.join(args.source, "examples", "Compiler"), os.path.join(ref, "Compiler"))
    with open(os.path.join(ref, "load.txt"), "w") as f:
        f.write("noeditor\ntick 2\nmove %d %d\ndown\ntick 2\nshot load.ppm\n" % LOAD_ENTRY)
    subprocess.run([WINE, os.path.join(args.build_win, "gdi-replay.exe"), "load.txt"], cwd=ref,
                   env=env, check=True, timeout=120, stdout=subprocess.DEVNULL)
    _, _, pixels = read_image(os.path.join(ref, "load.ppm"))
    cells = [c for c in text_cells(os.path.join(ref, "load.ppm.text")) if c[4] == NOT_FOUND]
    assert cells, "the replay drew no not-found message"
    l, t, r, b, _ = cells[0]
    return {"cell": (max(l, 0), max(t, 0), min(r, 800), min(b, 600)), "pixels": pixels}


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build-win", required=True)
    ap.add_argument("--build", required=True, help="the Linux build (quorix-replay, fake-editor)")
    ap.add_argument("--source", required=True)
    ap.add_argument("--zip", required=True)
    ap.add_argument("--setup", help="the installer (dist/quorix-setup-x64.exe)")
    ap.add_argument("--only", choices=("editor", "installer", "dpi"),
                    help="run only the editor's, the DPI or the installer's checks")
    ap.add_argument("--screenshot")
    ap.add_argument("--shots", help="a folder for pictures of the debug screen running a program "
                    "and of the machine window")
    ap.add_argument("--keep", help="a folder for the pictures of a failed check")
    args = ap.parse_args()
    for name in ("build_win", "build", "source", "zip", "setup", "shots"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    args.close_tool = os.path.join(args.build, "fake-editor")
    assert os.environ.get("WINEPREFIX"), "WINEPREFIX must name an initialised prefix"
    env = dict(os.environ, WINEDEBUG="-all")
    failures = 0
    with contextlib.ExitStack() as stack:
        # Wide enough for the main window and the machine window beside it.
        display = stack.enter_context(XServer(screen="2200x1200x24"))
        env["DISPLAY"] = display
        started = time.monotonic()
        work = tempfile.mkdtemp(prefix="quorix_wine_")
        try:
            if not args.only:
                r = subprocess.run(["ctest", "--output-on-failure", "-R", "^win\\."],
                                   cwd=args.build_win, env=env, timeout=900)
                failures += r.returncode != 0
                compare_screens(args, env, os.path.join(work, "screens"))
                package_checks(args, env, display, work)
            if args.only in (None, "editor"):
                editor_checks(args, env, display, work)
            if args.only in (None, "dpi"):
                dpi_checks(args, env, display, work)
            if args.only in (None, "installer"):
                assert args.setup, "--setup names the installer"
                installer_checks(args, env, display, work)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        print("Windows tests done in %.1f s" % (time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
