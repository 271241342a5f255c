#!/usr/bin/env bash
# Times quorix-asm against nasm and fasm on the same generated program and
# checks that the three flat images are byte-identical.
#
#   bench/compare_assemblers.sh [--lines N] [--lines16 N] [--runs R] [--seed S]
#                               [--keep DIR]
#
#   --lines N    lines of the 32-bit program (default 50000)
#   --lines16 N  lines of the additional 16-bit program (default 20000; 0 skips
#                it; a 16-bit image must fit in 64 KiB above the origin)
#   --runs R     timed runs per assembler (default 7; one untimed warm-up run
#                comes first); the runs of the assemblers are interleaved
#   --seed S     generator seed (default 1)
#   --keep DIR   generate into DIR and keep it (default: a temporary folder)
#
# quorix-asm is taken from $QUORIX_ASM when set, else built (Release) in
# build-release/ of this tree. nasm and fasm are installed with apt-get when
# missing. Exit status: 0 when every image is identical, 1 when one differs,
# 2 on a setup failure. Being slower is reported, not failed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

lines=50000
lines16=20000
runs=7
seed=1
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --lines) lines=$2; shift 2 ;;
    --lines16) lines16=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare_assemblers.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

die() { echo "compare_assemblers.sh: $*" >&2; exit 2; }

# ---- tools ------------------------------------------------------------------
missing=()
command -v nasm >/dev/null 2>&1 || missing+=(nasm)
command -v fasm >/dev/null 2>&1 || missing+=(fasm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  "${sudo[@]}" apt-get update -qq >/dev/null || die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null \
    || die "could not install ${missing[*]}"
fi

if [ -n "${QUORIX_ASM:-}" ]; then
  asm=$QUORIX_ASM
  [ -x "$asm" ] || die "QUORIX_ASM=$asm is not an executable"
else
  build="$repo/build-release"
  asm="$build/quorix-asm"
  echo "== building quorix-asm (Release) in $build"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DQUORIX_BUILD_TESTS=OFF -DQUORIX_BUILD_BENCH=OFF >"$build.log" 2>&1 \
      || { rm -rf "$build"; cat "$build.log" >&2; die "cmake configure failed (log above)"; }
  fi
  if ! cmake --build "$build" --target quorix-asm -j2 >"$build.log" 2>&1; then
    if [ -x "$asm" ]; then
      echo "   build failed (see $build.log); timing the existing $asm"
    else
      cat "$build.log" >&2
      die "quorix-asm does not build (log above)"
    fi
  fi
  rm -f "$build.log"
fi
[ -x "$asm" ] || die "no quorix-asm at $asm"

if [ -n "$keep" ]; then
  work=$keep
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

# fasm is a 32-bit program. Where the kernel cannot run 32-bit programs, it
# runs under qemu's user-mode emulation, and so do quorix-asm and nasm in a
# second table: only times taken under the same emulator compare with it.
emulate=0
printf 'use16\nnop\n' >"$work/probe.fasm"
if ! fasm "$work/probe.fasm" "$work/probe.bin" >/dev/null 2>&1; then
  if ! command -v qemu-i386 >/dev/null 2>&1; then
    echo "== fasm does not run here; installing qemu-user to run it emulated"
    if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq qemu-user >/dev/null \
      || die "fasm does not run and qemu-user could not be installed"
  fi
  qemu-i386 "$(command -v fasm)" "$work/probe.fasm" "$work/probe.bin" >/dev/null 2>&1 \
    || die "fasm runs neither natively nor under qemu-i386"
  emulate=1
fi

echo "== quorix-asm: $asm"
echo "== $(nasm -v)"
if [ $emulate -eq 1 ]; then
  echo "== $(qemu-i386 "$(command -v fasm)" 2>&1 | head -n 1)"
  echo "== fasm cannot run natively on this kernel: it is timed under $(qemu-i386 --version | head -n 1),"
  echo "   beside quorix-asm and nasm under qemu-x86_64 (the same emulator)"
else
  echo "== $(fasm 2>&1 | head -n 1)"
fi
echo "== $(nproc) cores, $(uname -srm)"

# ---- one comparison ---------------------------------------------------------
status=0

# compare BITS LINES
compare() {
  local bits=$1 n=$2 dir="$work/bits$1"
  echo
  echo "== $n-line ${bits}-bit program"
  python3 "$here/gen_program.py" --lines "$n" --bits "$bits" --out-dir "$dir" --seed "$seed" \
    || die "gen_program.py failed"
  python3 - "$dir" "$runs" "$asm" "$emulate" <<'PY' || status=1
import os, shutil, statistics, subprocess, sys, time

directory, runs, asm, emulate = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4] == "1"
asm = os.path.abspath(asm)
os.chdir(directory)
nasm, fasm = shutil.which("nasm"), shutil.which("fasm")
commands = {
    "quorix-asm": [asm, "prog.asm", "-o", "quorix.bin"],
    "nasm": [nasm, "-f", "bin", "prog.nasm", "-o", "nasm.bin"],
}
if emulate:
    commands["quorix-asm/qemu"] = ["qemu-x86_64"] + commands["quorix-asm"]
    commands["nasm/qemu"] = ["qemu-x86_64"] + commands["nasm"]
    commands["fasm/qemu"] = ["qemu-i386", fasm, "prog.fasm", "fasm.bin"]
else:
    commands["fasm"] = [fasm, "prog.fasm", "fasm.bin"]
outputs = {"quorix-asm": "quorix.bin", "nasm": "nasm.bin", "fasm": "fasm.bin"}

def run(name):
    start = time.perf_counter()
    proc = subprocess.run(commands[name], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed (exit %d): %s" % (name, proc.returncode,
                                               proc.stderr.decode(errors="replace").strip()))
    return elapsed

for name in commands:  # warm-up: page cache, dynamic loader
    run(name)
times = {name: [] for name in commands}
for _ in range(runs):
    for name in commands:  # interleaved, so that drift hits all alike
        times[name].append(run(name))

median = {name: statistics.median(t) for name, t in times.items()}
print("   %-16s %10s %10s %10s" % ("assembler", "median ms", "min ms", "max ms"))
for name, t in times.items():
    print("   %-16s %10.1f %10.1f %10.1f" % (name, 1000 * median[name], 1000 * min(t),
                                               1000 * max(t)))

def ratio(other, mine):
    r = median[other] / median[mine]
    print("   ratio %s / %s = %.2f  (quorix-asm takes %.2f of its time)" % (other, mine, r, 1 / r))

ratio("nasm", "quorix-asm")
if emulate:
    ratio("nasm/qemu", "quorix-asm/qemu")
    ratio("fasm/qemu", "quorix-asm/qemu")
else:
    ratio("fasm", "quorix-asm")

ref = open(outputs["quorix-asm"], "rb").read()
differ = False
for other in ("nasm", "fasm"):
    data = open(outputs[other], "rb").read()
    if data == ref:
        print("   quorix-asm vs %-4s: IDENTICAL (%d bytes)" % (other, len(ref)))
        continue
    differ = True
    first = next((i for i in range(min(len(ref), len(data))) if ref[i] != data[i]),
                 min(len(ref), len(data)))
    print("   quorix-asm vs %-4s: DIFFERENT (%d vs %d bytes, first at offset 0x%X)"
          % (other, len(ref), len(data), first))
    # Name the source line that produced the first differing byte.
    listing = subprocess.run([asm, "prog.asm", "-o", "listing.bin", "--listing"],
                             capture_output=True, text=True).stdout
    for row in listing.splitlines():
        cols = row.split(None, 3)
        if len(cols) >= 3 and int(cols[1]) > 0:
            start = int(cols[2], 16)
            if start <= first < start + int(cols[1]):
                print("      line %s: %s" % (cols[0], row.rstrip()))
                with open("prog.nasm") as f:
                    print("      nasm: %s" % f.read().splitlines()[int(cols[0]) - 1])
                break
sys.exit(1 if differ else 0)
PY
}

compare 32 "$lines"
if [ "$lines16" -gt 0 ]; then
  compare 16 "$lines16"
fi
exit $status
