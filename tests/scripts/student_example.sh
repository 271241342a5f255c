#!/usr/bin/env bash
# The worked program of docs/dialect.md's section for students,
# examples/students/SORT.ASM: it assembles, and under quorix-run it reads a
# line, sorts its characters and prints them; the section shows the file as
# it is.
#
#   bash student_example.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

build=${1:?usage: student_example.sh BUILD_DIR SOURCE_DIR}
root=${2:?usage: student_example.sh BUILD_DIR SOURCE_DIR}
prog="$root/examples/students/SORT.ASM"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The section's code block is the file, line for line.
block=$(awk '/^```$/ { if (inside) exit; if (seen) inside = 1; next } inside { print }
             /examples\/students\/SORT.ASM/ { seen = 1 }' "$root/docs/dialect.md")
[ "$block" = "$(tr -d '\r' <"$prog")" ] || fail "docs/dialect.md shows another program than $prog"

cp "$prog" "$work/SORT.ASM"
"$build/quorix-asm" "$work/SORT.ASM" 2>"$work/asm.err" || fail "SORT.ASM does not assemble: $(cat "$work/asm.err")"
[ ! -s "$work/asm.err" ] || fail "SORT.ASM warns: $(cat "$work/asm.err")"

if [ ! -x "$build/quorix-run" ]; then
  echo "skipped: running SORT.ASM (quorix-run not built)"
else
  # input | what the program prints after its prompt and the echoed line
  while IFS='|' read -r input sorted; do
    out=$(printf '%s\r' "$input" | timeout 20 "$build/quorix-run" "$prog" 2>"$work/run.err")
    rc=$?
    want=$(printf 'TYPE A LINE: %s\r\r\n%s' "$input" "$sorted")
    [ $rc -eq 0 ] && [ "$out" = "$want" ] ||
      fail "input '$input': rc=$rc output $(printf '%s' "$out" | od -An -c | tr -s ' ') stderr $(cat "$work/run.err")"
  done <<'CASES'
hello world| dehllloorw
DCBA|ABCD
zz|zz
x|x
|
CASES
fi
[ $fails -eq 0 ] && echo "student example: all checks passed"
[ $fails -eq 0 ]
