#!/usr/bin/env python3
"""Drives the real workbench (build/quorix) in a real X server.

A copy of examples/ and an editor window titled with the absolute path of its
Compiler/TheFile.asm; the workbench must find it and show the compile screen,
assemble the source when its "Compile" button is clicked, open the machine
window when Debug is chosen and step there on F11, show the register panel
while the pointer rests on "Run" of the debug screen, and exit with code 0
when the window manager asks the window to close.

Uses $DISPLAY when it is set, else a private Xvfb.
"""

import argparse
import contextlib
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xtools import X, missing_tools, wait_for  # noqa: E402
from xvfb import XServer  # noqa: E402

# examples/Compiler/TheFile.asm, assembled at origin 100h.
EXPECTED_COM = bytes.fromhex(
    "b4 09"        # MOV AH, 9
    "ba 18 01"     # MOV DX, OFFSET MSG
    "cd 21"        # INT 21
    "b9 03 00"     # MOV CX, #3
    "ba 2a 01"     # AGAIN: MOV DX, OFFSET DOT
    "b4 09"        # MOV AH, 9
    "cd 21"        # INT 21
    "e2 f7"        # LOOP AGAIN
    "b8 00 4c"     # MOV AX, 4C00
    "cd 21"        # INT 21
) + b"HELLO FROM QUORIX$" + b".$"

BLACK, WHITE, RED, GREEN = (0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 175, 0)
GREY = (160, 160, 160)  # the window background right of the back buffer

# Back-buffer places (the back buffer sits at the window's top left).
COMPILE_BUTTON = (650, 27)       # inside the box at (590, 15), 130 by 25
COMPILE_BUTTON_FRAME = (590, 15)
SOURCE_ROW_FRAME = (400, 15)
DEBUG_ENTRY = (50, 82)           # inside the menu box at (10, 70), 100 by 25
RUN_BOX = (230, 480)             # inside the box at (160, 465), 150 by 35
RUN_BOX_FRAME = (160, 465)
PANEL_CORNERS = [(350, 100), (699, 449)]  # the register panel's red frame
EMPTY_WORK_AREA = (600, 480)
# The machine window's source rows 5 and 6, near their right end.
MACHINE_ROW_5 = (1290, 100)
MACHINE_ROW_6 = (1290, 116)


def read_line(proc, timeout):
    """One line of a child's stdout, or None after timeout seconds."""
    ready, _, _ = select.select([proc.stdout], [], [], timeout)
    return proc.stdout.readline().decode().strip() if ready else None


class Processes:
    """Everything the test starts, ended in reverse order however it ends."""

    def __init__(self):
        self.procs = []

    def start(self, args, **kw):
        p = subprocess.Popen(args, **kw)
        self.procs.append(p)
        return p

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
            for f in (p.stdout, p.stderr):
                if f:
                    f.close()


def run(args, display):
    x = X(display)
    env = dict(os.environ, DISPLAY=display, QUORIX_X11_STATS="1")

    work = tempfile.mkdtemp(prefix="quorix_e2e_")
    try:
        examples = os.path.join(work, "examples")
        shutil.copytree(os.path.join(args.source, "examples"), examples)
        source = os.path.join(examples, "Compiler", "TheFile.asm")
        output = os.path.join(examples, "Compiler", "TheFile.com")
        assert not os.path.exists(output)
        log_path = os.path.join(work, "quorix.log")

        procs = Processes()
        try:
            editor = procs.start([args.fake_editor, source], env=env, stdout=subprocess.PIPE)
            assert read_line(editor, 15), "the editor window did not appear"

            with open(log_path, "wb") as log:
                quorix = procs.start([args.quorix], cwd=examples, env=env, stderr=log)
            win = wait_for("the window \"Quorix V-1.0\"", lambda: x.find_window("Quorix V-1.0"))
            print("window 0x%x" % win)
            wm_class = x.prop(win, "WM_CLASS")
            assert wm_class.endswith('"quorix", "QuorixClassEx"'), wm_class
            assert x.geometry(win) == (810, 600), x.geometry(win)

            def pixels_are(points):
                def probe():
                    w, _, data = x.screenshot(win)
                    got = {p: tuple(data[3 * (p[1] * w + p[0]):3 * (p[1] * w + p[0]) + 3])
                           for p in points}
                    return got if all(got[p] == rgb for p, rgb in points.items()) else None
                return probe

            # The editor is running, so the start screen gives way to the
            # compile screen: source rows framed green, the "Compile" button.
            wait_for("the compile screen", pixels_are(
                {COMPILE_BUTTON_FRAME: WHITE, SOURCE_ROW_FRAME: GREEN, (805, 300): GREY}))
            print("compile screen shown")
            if args.screenshot:
                x.save_png(win, args.screenshot)

            # Clicks are levels: hold the button until the file is written.
            x.move(win, *COMPILE_BUTTON)
            x.button(True)
            try:
                wait_for("the .com file", lambda: os.path.exists(output) and
                         os.path.getsize(output) >= len(EXPECTED_COM))
            finally:
                x.button(False)
            with open(output, "rb") as f:
                com = f.read()
            assert com == EXPECTED_COM, "TheFile.com is %s, expected %s" % (com.hex(" "),
                                                                            EXPECTED_COM.hex(" "))
            # A successful compile hides the button.
            wait_for("the Compile button to go", pixels_are({COMPILE_BUTTON_FRAME: BLACK}))
            print("compiled: %d bytes as expected" % len(com))

            x.move(win, *DEBUG_ENTRY)
            x.button(True)
            try:
                wait_for("the debug screen", pixels_are({RUN_BOX_FRAME: RED}))
            finally:
                x.button(False)
            # Debug opens the machine window beside the main one, its next
            # line (line 5, the fifth row of its source view) in green; F11
            # there steps one instruction and the green row moves down.
            machine = wait_for("the window \"Quorix machine\"",
                               lambda: x.find_window("Quorix machine"))
            assert x.geometry(machine) == (1320, 688), x.geometry(machine)

            def machine_pixels_are(points):
                def probe():
                    w, _, data = x.screenshot(machine)
                    got = {p: tuple(data[3 * (p[1] * w + p[0]):3 * (p[1] * w + p[0]) + 3])
                           for p in points}
                    return got if all(got[p] == rgb for p, rgb in points.items()) else None
                return probe

            wait_for("the next line in the machine window",
                     machine_pixels_are({MACHINE_ROW_5: GREEN, MACHINE_ROW_6: BLACK}))
            x.key(machine, "F11")
            wait_for("one step in the machine window",
                     machine_pixels_are({MACHINE_ROW_5: BLACK, MACHINE_ROW_6: GREEN}))
            print("machine window shown; F11 stepped")
            x.move(win, *EMPTY_WORK_AREA)
            wait_for("the debug screen without the register panel",
                     pixels_are({p: BLACK for p in PANEL_CORNERS}))
            x.move(win, *RUN_BOX)
            wait_for("the register panel while the pointer rests on Run",
                     pixels_are({p: RED for p in PANEL_CORNERS}))
            x.move(win, *EMPTY_WORK_AREA)
            wait_for("the register panel to go", pixels_are({p: BLACK for p in PANEL_CORNERS}))
            print("register panel shown on Run, hidden off it")

            subprocess.run([args.fake_editor, "--close", str(win)], env=env, check=True,
                           timeout=30)
            code = quorix.wait(timeout=20)
            assert code == 0, "exit code %d after the close request" % code
            print("closed with WM_DELETE_WINDOW: exit code 0")
        finally:
            procs.close()

        with open(log_path, errors="replace") as f:
            log = f.read()
        stats = [line for line in log.splitlines() if line.startswith("quorix-stats:")]
        assert stats, "no loop statistics in the log:\n" + log
        # The backend reports X protocol errors it did not expect.
        errors = [line for line in log.splitlines() if line.startswith("quorix: ")]
        assert not errors, "quorix reported:\n" + "\n".join(errors)
        print(stats[-2] if len(stats) > 1 else stats[-1])
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--quorix", required=True)
    ap.add_argument("--fake-editor", required=True)
    ap.add_argument("--source", required=True, help="the repository")
    ap.add_argument("--screenshot", help="also save the compile screen as PNG")
    args = ap.parse_args()
    for name in ("quorix", "fake_editor", "source"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    missing = missing_tools()
    if missing:
        print("missing tools: %s (scripts/deps.sh installs them)" % " ".join(missing))
        return 1
    with contextlib.ExitStack() as stack:
        # Wide enough for the main window and the machine window beside it.
        display = os.environ.get("DISPLAY") or stack.enter_context(XServer("2200x1200x24"))
        started = time.monotonic()
        run(args, display)
        print("passed in %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
