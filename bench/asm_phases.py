#!/usr/bin/env python3
"""Median time of each assembler phase, for one or more quorix-asm builds.

Runs every build on the same source RUNS times (interleaved, after one
warm-up run each) with --timings and prints the median of each phase
(load, symbols, pass 1, pass 2, checks, write, total) in milliseconds, and
the median wall time of the whole process.

    bench/asm_phases.py SOURCE NAME=QUORIX_ASM [NAME=QUORIX_ASM ...] [--runs R]
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

PHASES = ["load", "symbols", "pass 1", "pass 2", "checks", "write", "total"]


def run_once(asm, source, out):
    start = time.perf_counter()
    p = subprocess.run([asm, source, "-o", out, "--timings"], capture_output=True, text=True)
    wall = (time.perf_counter() - start) * 1000
    if p.returncode != 0:
        sys.exit("%s failed (exit %d): %s" % (asm, p.returncode, p.stderr.strip()))
    m = re.search(r"timings \(ms\):(.*)", p.stderr)
    if not m:
        sys.exit("%s printed no timings: %s" % (asm, p.stderr.strip()))
    values = dict(re.findall(r"([a-z]+(?: 1| 2)?) ([0-9.]+)", m.group(1)))
    row = {k: float(values[k]) for k in PHASES}
    row["wall"] = wall
    return row


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("source")
    ap.add_argument("builds", nargs="+", help="NAME=PATH of a quorix-asm")
    ap.add_argument("--runs", type=int, default=11)
    args = ap.parse_args()
    builds = [b.split("=", 1) for b in args.builds]
    rows = {name: [] for name, _ in builds}
    with tempfile.TemporaryDirectory() as tmp:
        outs = {name: os.path.join(tmp, "%d.bin" % i) for i, (name, _) in enumerate(builds)}
        for name, asm in builds:
            run_once(asm, args.source, outs[name])
        for _ in range(args.runs):
            for name, asm in builds:
                rows[name].append(run_once(asm, args.source, outs[name]))
        images = {name: open(outs[name], "rb").read() for name, _ in builds}
    cols = PHASES + ["wall"]
    print("%-10s" % "ms" + "".join("%10s" % c for c in cols))
    for name, _ in builds:
        print("%-10s" % name + "".join("%10.2f" % statistics.median(r[c] for r in rows[name])
                                      for c in cols))
    first = builds[0][0]
    for name, _ in builds[1:]:
        print("%s image %s %s's" % (name, "IDENTICAL to" if images[name] == images[first]
                                     else "DIFFERENT from", first))


if __name__ == "__main__":
    main()
