#!/usr/bin/env python3
"""A private X server for tests: Xvfb on a display number it picks itself.

As a module: `with XServer() as display: ...` sets nothing globally; pass
`display` (":N") to the programs you start. As a program:

    xvfb.py [--private] [-- COMMAND ARGS...]

runs COMMAND with DISPLAY set to a new Xvfb and returns its exit code. Without
--private an existing DISPLAY is used as it is.
"""

import os
import select
import shutil
import subprocess
import sys
import time

ATTEMPTS = 3
START_TIMEOUT_S = 15.0


class XServerError(RuntimeError):
    pass


class XServer:
    """Starts Xvfb with -displayfd, so there is no race for a display number."""

    def __init__(self, screen="1280x1024x24", extra_args=()):
        self.screen = screen
        self.extra_args = list(extra_args)
        self.proc = None
        self.display = None

    def __enter__(self):
        if shutil.which("Xvfb") is None:
            raise XServerError("Xvfb is not installed (Debian package xvfb)")
        errors = []
        for _ in range(ATTEMPTS):
            try:
                self._start_once()
                return self.display
            except XServerError as e:
                errors.append(str(e))
                self._stop()
        raise XServerError("; ".join(errors))

    def __exit__(self, *exc):
        self._stop()
        return False

    def _start_once(self):
        read_fd, write_fd = os.pipe()
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.screen,
                 "-nolisten", "tcp", "-noreset"] + self.extra_args,
                pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        finally:
            os.close(write_fd)
        data = b""
        deadline = time.monotonic() + START_TIMEOUT_S
        try:
            while not data.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0:
                    raise XServerError("Xvfb did not report a display in %.0f s" % START_TIMEOUT_S)
                ready, _, _ = select.select([read_fd], [], [], left)
                if not ready:
                    continue
                chunk = os.read(read_fd, 64)
                if not chunk:  # Xvfb exited before it was ready
                    err = self.proc.stderr.read().decode(errors="replace").strip()
                    raise XServerError("Xvfb exited: " + (err.splitlines()[-1] if err else "?"))
                data += chunk
        finally:
            os.close(read_fd)
        self.display = ":" + data.decode().strip()

    def _stop(self):
        if self.proc is None:
            return
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc.stderr:
            self.proc.stderr.close()
        self.proc = None


def main(argv):
    private = False
    if argv and argv[0] == "--private":
        private = True
        argv = argv[1:]
    if argv and argv[0] == "--":
        argv = argv[1:]
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        if os.environ.get("DISPLAY") and not private:
            return subprocess.call(argv)
        with XServer() as display:
            return subprocess.call(argv, env=dict(os.environ, DISPLAY=display))
    except (XServerError, OSError) as e:
        print("xvfb.py: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
