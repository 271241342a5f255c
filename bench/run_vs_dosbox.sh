#!/usr/bin/env bash
# quorix-run against DOSBox on the same CPU-bound DOS program: the prime
# sieve of bench/sieve.asm, assembled once with quorix-asm. Each runner starts,
# runs the program to its end and exits; one warm-up run each, then RUNS
# timed runs, interleaved. Prints the medians (minimum and maximum beside
# them) and how many times faster quorix-run finishes. Both must print the
# same text (1007, the primes below 8000).
#
#   bash bench/run_vs_dosbox.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
RUNS=${2:-7}
RUNNER="$BUILD/quorix-run"
ASM="$BUILD/quorix-asm"
[ -x "$RUNNER" ] || { echo "no $RUNNER (a build with Unicorn: cmake --build $BUILD --target quorix-run)" >&2; exit 1; }
[ -x "$ASM" ] || { echo "no $ASM" >&2; exit 1; }
DOSBOX=$(command -v dosbox) || { echo "dosbox is not installed" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorix-sieve.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/c" "$WORK/home"
sed 's/\r*$/\r/' bench/sieve.asm >"$WORK/sieve.asm"
"$ASM" "$WORK/sieve.asm" -o "$WORK/c/SIEVE.COM"
printf '@ECHO OFF\r\nSIEVE.COM > OUT.TXT\r\n' >"$WORK/c/RUN.BAT"
cat >"$WORK/dosbox.conf" <<CONF
[sdl]
output=surface
[dosbox]
memsize=16
[cpu]
core=auto
cycles=max
[mixer]
nosound=true
[speaker]
pcspeaker=false
[autoexec]
mount c "$WORK/c"
c:
CALL RUN.BAT
exit
CONF

now() { date +%s.%N; }
run_dosbox() {
  rm -f "$WORK/c/OUT.TXT"
  (cd "$WORK" && env HOME="$WORK/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    timeout 120 "$DOSBOX" -conf "$WORK/dosbox.conf" -noconsole >/dev/null 2>&1 </dev/null)
}
run_quorix() { "$RUNNER" "$WORK/c/SIEVE.COM" >"$WORK/quorix.txt" </dev/null; }

run_dosbox
run_quorix
if ! cmp -s "$WORK/c/OUT.TXT" "$WORK/quorix.txt"; then
  echo "the two runs printed different text" >&2
  od -c "$WORK/c/OUT.TXT" >&2
  od -c "$WORK/quorix.txt" >&2
  exit 1
fi
echo "both print: $(tr -d '\r' <"$WORK/quorix.txt")"

d=() q=()
for ((i = 0; i < RUNS; i++)); do
  t0=$(now); run_dosbox; t1=$(now); d+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')")
  t0=$(now); run_quorix; t1=$(now); q+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')")
done
stats() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "%.3f %.3f %.3f", a[int((NR+1)/2)], a[1], a[NR]}'; }
read -r dm dmin dmax <<<"$(stats "${d[@]}")"
read -r qm qmin qmax <<<"$(stats "${q[@]}")"
printf 'dosbox      median %6.3f s  (min %.3f, max %.3f), %d runs\n' "$dm" "$dmin" "$dmax" "$RUNS"
printf 'quorix-run  median %6.3f s  (min %.3f, max %.3f), %d runs\n' "$qm" "$qmin" "$qmax" "$RUNS"
awk -v d="$dm" -v q="$qm" 'BEGIN {printf "quorix-run finishes %.1f times faster\n", d / q}'
