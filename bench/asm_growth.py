#!/usr/bin/env python3
"""How quorix-asm's time grows with the program: the generated 32-bit program
at 10,000, 25,000 and 50,000 lines, each assembled RUNS times (after a
warm-up) by every build given. Prints the median time inside the assembler
(the sum of its phases, from --timings) and of the whole process, and the
ratios between the sizes: linear growth gives 2.5 from 10,000 to 25,000
lines and 2.0 from 25,000 to 50,000. The process time carries a fixed cost
(start-up, loading the runtime) that flattens its ratios.

    bench/asm_growth.py NAME=QUORIX_ASM [NAME=QUORIX_ASM ...] [--runs R] [--seed S]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from asm_phases import run_once  # noqa: E402

SIZES = [10000, 25000, 50000]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("builds", nargs="+", help="NAME=PATH of a quorix-asm")
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    builds = [b.split("=", 1) for b in args.builds]
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for n in SIZES:
            d = os.path.join(tmp, str(n))
            subprocess.run([sys.executable, os.path.join(HERE, "gen_program.py"), "--lines", str(n),
                            "--bits", "32", "--out-dir", d, "--seed", str(args.seed)],
                           check=True, stdout=subprocess.DEVNULL)
            src, out = os.path.join(d, "prog.asm"), os.path.join(d, "out.bin")
            for name, asm in builds:
                run_once(asm, src, out)
            rows = {name: [] for name, _ in builds}
            for _ in range(args.runs):
                for name, asm in builds:
                    rows[name].append(run_once(asm, src, out))
            for name, _ in builds:
                results[(name, n)] = (statistics.median(r["total"] for r in rows[name]),
                                      statistics.median(r["wall"] for r in rows[name]))
    print("%-10s %-8s" % ("build", "time") + "".join("%10s" % ("%dk ms" % (n // 1000)) for n in SIZES)
          + "%12s%12s" % ("25k/10k", "50k/25k"))
    for name, _ in builds:
        for k, label in ((0, "inside"), (1, "process")):
            t = [results[(name, n)][k] for n in SIZES]
            print("%-10s %-8s" % (name, label) + "".join("%10.2f" % v for v in t)
                  + "%12.2f%12.2f" % (t[1] / t[0], t[2] / t[1]))


if __name__ == "__main__":
    main()
