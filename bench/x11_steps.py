#!/usr/bin/env python3
"""Steps per second and CPU use of the X11 workbench on its compile screen.

Starts a private Xvfb, the fake editor on a copy of examples/ and quorix with
QUORIX_X11_STATS=1 (one line of loop counters per second on stderr), waits
for the compile screen, then reads the counters for --seconds seconds while
the 1 ms timer drives the steps. Prints the steps per second and the CPU that
quorix and the X server used over that time.

    bench/x11_steps.py [--build build] [--seconds 10] [--no-shm]

--no-shm starts Xvfb without MIT-SHM, to measure the XPutImage path.
"""

import argparse
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from xtools import X, wait_for  # noqa: E402
from xvfb import XServer  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def parse_stats(line):
    return dict(kv.split("=", 1) for kv in line.split()[1:])


def measure(args, server, display, work, procs):
    env = dict(os.environ, DISPLAY=display, QUORIX_X11_STATS="1")
    examples = os.path.join(work, "examples")
    shutil.copytree(os.path.join(args.repo, "examples"), examples)
    source = os.path.join(examples, "Compiler", "TheFile.asm")
    procs.append(subprocess.Popen([os.path.join(args.build, "fake-editor"), source], env=env,
                                  stdout=subprocess.DEVNULL))
    quorix = subprocess.Popen([os.path.join(args.build, "quorix")], cwd=examples, env=env,
                              stderr=subprocess.PIPE)
    procs.append(quorix)
    x = X(display)
    win = wait_for("the workbench window", lambda: x.find_window("Quorix V-1.0"))
    wait_for("the compile screen", lambda: x.pixel(win, 590, 15) == (255, 255, 255))

    # Counters from the next full second on.
    lines = []
    xvfb_cpu = None
    started = time.monotonic()
    deadline = started + args.seconds + 10
    while len(lines) < args.seconds and time.monotonic() < deadline:
        ready, _, _ = select.select([quorix.stderr], [], [], 2)
        if not ready:
            continue
        line = quorix.stderr.readline().decode().strip()
        if not line.startswith("quorix-stats:"):
            print(line, file=sys.stderr)
            continue
        if xvfb_cpu is None:
            xvfb_cpu, started = cpu_seconds(server.proc.pid), time.monotonic()
        else:
            lines.append(parse_stats(line))
    if not lines:
        print("no counters from quorix", file=sys.stderr)
        return 1
    xvfb_cpu = cpu_seconds(server.proc.pid) - xvfb_cpu
    elapsed = time.monotonic() - started

    steps = [float(s["steps_per_second"]) for s in lines]
    cpu = [float(s["cpu_percent"]) for s in lines]
    print("present path:            %s (pixel copy: %s)" %
          (lines[0]["present"], lines[0].get("copy", "convert")))
    print("seconds measured:        %d" % len(lines))
    print("steps per second:        median %.0f (min %.0f, max %.0f)" %
          (statistics.median(steps), min(steps), max(steps)))
    print("quorix CPU:              %.1f%% of one core (mean)" % statistics.mean(cpu))
    print("Xvfb CPU:                %.1f%% of one core" % (100 * xvfb_cpu / elapsed))
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--seconds", type=int, default=10)
    ap.add_argument("--no-shm", action="store_true")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    args.repo = os.path.abspath(os.path.join(HERE, ".."))

    server = XServer(extra_args=["-extension", "MIT-SHM"] if args.no_shm else [])
    work = tempfile.mkdtemp(prefix="quorix_bench_")
    procs = []
    try:
        with server as display:
            try:
                return measure(args, server, display, work, procs)
            finally:
                for p in reversed(procs):  # before the server goes
                    if p.poll() is None:
                        p.terminate()
                        p.wait(timeout=10)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
