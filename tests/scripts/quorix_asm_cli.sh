#!/usr/bin/env bash
# The command-line contract of quorix-asm:
#   quorix-asm SOURCE [-o OUTPUT] [--listing]
# exit 0 and silence on success (the file written), 1 and "Error at Line: N:
# text" on stderr for an assembly error (nothing written), 2 for a usage,
# read or write error; the default output name is the source path up to the
# first '.' of the file name, then ".com".
#
#   bash quorix_asm_cli.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

build=${1:?usage: quorix_asm_cli.sh BUILD_DIR SOURCE_DIR}
asm="$build/quorix-asm"
[ -x "$asm" ] || { echo "FAIL: $asm has not been built"; exit 1; }
asm="$(cd "$build" && pwd)/quorix-asm"  # the checks run in a scratch folder

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# run ARGS...: runs quorix-asm, leaving rc, out and err.
run() {
  "$asm" "$@" >"$work/stdout" 2>"$work/stderr"
  rc=$?
  out=$(cat "$work/stdout")
  err=$(cat "$work/stderr")
}

hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }

# A small program: lower case, a tab and leading blanks, a comment, a label
# and a backward near jump. 90 / B8 34 12 / 0F 85 FC FF.
printf 'nop\r\n\t  mov ax, 1234 ; load\r\nL1:\r\njnz L1\r\n' >prog.asm
expected=90b834120f85fcff

# ---- success: file written, nothing printed ------------------------------------
run prog.asm -o out.bin
if [ $rc -eq 0 ] && [ -z "$out$err" ] && [ "$(hex out.bin)" = $expected ]; then pass
else fail "success: rc=$rc stdout='$out' stderr='$err' bytes=$(hex out.bin 2>/dev/null)"; fi

# An older, longer file of the same name is replaced, not overwritten in place.
head -c 300 /dev/urandom >out.bin
run prog.asm -o out.bin
if [ $rc -eq 0 ] && [ "$(hex out.bin)" = $expected ]; then pass
else fail "rewrite: rc=$rc bytes=$(hex out.bin)"; fi

# ---- default output name ---------------------------------------------------------
# source path | output path it must produce
while IFS='|' read -r source output; do
  rm -rf names && mkdir -p names && cd names || exit 1
  mkdir -p "$(dirname "$source")"
  cp ../prog.asm "$source"
  before=$(find . -type f | sort)
  run "$source"
  after=$(find . -type f | sort)
  made=$(comm -13 <(echo "$before") <(echo "$after") | tr '\n' ' ')
  if [ $rc -eq 0 ] && [ "$made" = "./$output " ] && [ "$(hex "$output")" = $expected ]; then pass
  else fail "default name of $source: rc=$rc err='$err' new files: $made (want ./$output)"; fi
  cd "$work" || exit 1
done <<'NAMES'
prog.asm|prog.com
dir.v1/prog.asm|dir.v1/prog.com
a.b.asm|a.com
noext|noext.com
dir.v1/noext|dir.v1/noext.com
NAMES

# A source whose own name is the output name is refused, not overwritten.
cp prog.asm self.com
run self.com
if [ $rc -eq 2 ] && [[ $err == *self.com* ]] && cmp -s prog.asm self.com; then pass
else fail "source named like its output: rc=$rc err='$err'"; fi

# ---- listing ---------------------------------------------------------------------
# One row per source line: number, byte count, 8-digit hex offset, the bytes,
# the cleaned text; the rows must agree with the file written and the source.
printf '[ORG 100]\r\n  Start:\r\n\tmov eax, 12345678 ; 6 bytes in 16-bit code\r\n; only a comment\r\n\r\nDB 1,2,3,4,5,6,7,8,9,A,B,C\r\njmp start\r\nret' >list.asm
run list.asm -o list.bin --listing
if [ $rc -ne 0 ] || [ -n "$err" ]; then
  fail "listing: rc=$rc stderr='$err'"
elif problems=$(python3 - list.asm list.bin "$work/stdout" <<'PY'
import re, sys
source, image, listing = sys.argv[1:4]
lines = open(source, "rb").read().decode("latin-1").split("\n")
data = open(image, "rb").read()
rows = open(listing, encoding="latin-1").read().split("\n")
if rows and rows[-1] == "":
    rows.pop()
problems = []
if len(rows) != len(lines):
    problems.append("%d rows for %d lines" % (len(rows), len(lines)))
offset = 0
for k, (row, line) in enumerate(zip(rows, lines), start=1):
    m = re.match(r"^ *(\d+) +(\d+) ([0-9A-F]{8})  ", row)
    if not m:
        problems.append("row %d unreadable: %r" % (k, row))
        continue
    number, count, at = int(m.group(1)), int(m.group(2)), int(m.group(3), 16)
    rest = row[m.end():]
    hexes = rest[:max(0, 3 * count - 1)]
    if not re.fullmatch(r"(?:[0-9A-F]{2}(?: (?=.)|$))*", hexes):
        problems.append("row %d: bytes unreadable: %r" % (k, row))
        continue
    shown = bytes.fromhex(hexes)
    # After the bytes (padded to 30 columns) and one blank: the cleaned text.
    text = rest[max(30, len(hexes)) + 1:]
    cleaned = line.rstrip("\r").replace("\t", " ").lstrip(" ").split(";")[0]
    if number != k:
        problems.append("row %d numbered %d" % (k, number))
    if count != len(shown) or shown != data[at:at + count]:
        problems.append("row %d: bytes %s, image has %s" % (k, shown.hex(), data[at:at + count].hex()))
    if count and at != offset:
        problems.append("row %d at offset %X, expected %X" % (k, at, offset))
    if text != cleaned:
        problems.append("row %d text %r, expected %r" % (k, text, cleaned))
    offset += count
if offset != len(data):
    problems.append("rows account for %d bytes, image has %d" % (offset, len(data)))
print("; ".join(problems))
PY
) && [ -z "$problems" ]; then pass
else fail "listing: $problems"; fi

# ---- --help: the options, the exit codes, an example, the reference; exit 0 ------
run --help
if [ $rc -eq 0 ] && [ -z "$err" ] && [[ $out == *"-o OUTPUT"* ]] && [[ $out == *"Exit status"* ]] &&
   [[ $out == *"Example"* ]] && [[ $out == *"docs/dialect.md"* ]]; then pass
else fail "--help: rc=$rc stdout='$out' stderr='$err'"; fi

# ---- assembly errors: exit 1, the line on stderr, no file --------------------------
# failing line (it becomes line 3 of a program)
while IFS= read -r bad; do
  printf 'NOP\r\nL1:\r\n%s\r\nRET\r\n' "$bad" >bad.asm
  rm -f bad.com
  run bad.asm
  if [ $rc -eq 1 ] && [ -z "$out" ] && [[ $err == "Error at Line: 3: $bad"* ]] && [ ! -e bad.com ]; then pass
  else fail "error line '$bad': rc=$rc stderr='$err' file: $(ls bad.com 2>/dev/null)"; fi
done <<'BAD'
JNZ NOWHERE
MOV AX,OFFSET NOWHERE
LEA AX
MOV AX,[SI+DI]
MOV [BX],5
LOOP
BT AX,[BX]
DB 1,2,3,4,5,6,7,8,9,A,B,C,D,E,F,10,11,12,13,14,15,16,17,18,19,1A,1B,1C,1D
BAD

# An output left by an earlier run stays as it was after a failed run.
printf 'old output' >bad.com
touch -d '2001-01-01 00:00' bad.com
printf 'NOP\r\nJMP NOWHERE\r\n' >bad.asm
run bad.asm
if [ $rc -eq 1 ] && [ "$(cat bad.com)" = "old output" ] &&
   [ "$(stat -c %Y bad.com)" = "$(date -d '2001-01-01 00:00' +%s)" ]; then pass
else fail "old output after an error: rc=$rc contents '$(cat bad.com)'"; fi

# ---- usage, read and write errors: exit 2 -----------------------------------------
# arguments | text stderr must contain
while IFS='|' read -r args needle; do
  # shellcheck disable=SC2086
  run $args
  if [ $rc -eq 2 ] && [[ $err == *"$needle"* ]] && [ -z "$out" ]; then pass
  else fail "'quorix-asm $args': rc=$rc stderr='$err' (want 2 and '$needle')"; fi
done <<'USAGE'
|usage:
prog.asm -x|usage:
prog.asm -o|usage:
prog.asm list.asm|usage:
missing.asm|missing.asm
prog.asm -o /nonexistent/dir/x.com|/nonexistent/dir/x.com
prog.asm -o names|names
USAGE

# A source beyond the 1,000,000 bytes the workspace reads is refused whole.
python3 -c 'import sys; sys.stdout.write("NOP\r\n" * 200001)' >huge.asm
run huge.asm
if [ $rc -eq 2 ] && [[ $err == *huge.asm* ]] && [ ! -e huge.com ]; then pass
else fail "oversized source: rc=$rc stderr='$err'"; fi

# ---- bad and careless inputs ---------------------------------------------------------
# Each case runs in a fresh folder whose source is g.asm (made by `setup`).
# rc and a text stderr must contain; `absent`: a file that must not exist
# afterwards (no output, nothing created through a link); `expect`: the
# bytes of g.com as hex, or size:N, when the run succeeds. Whatever the
# outcome, g.asm (when it is a file) is byte for byte what it was.
#
# name | setup | arguments | rc | stderr contains | absent | expect
gen() { python3 -c "import sys; sys.stdout.write($1)" >g.asm; }
while IFS='|' read -r name setup args want needle absent expect; do
  rm -rf bad && mkdir bad && cd bad || exit 1
  eval "$setup"
  before=$( [ -f g.asm ] && ! [ -L g.asm ] && sha256sum <g.asm)
  if [ "$name" = "unreadable file" ] && [ "$(id -u)" -eq 0 ]; then
    # root reads any file: ask as a user whom the permissions bind
    chmod a+rx "$work" "$work/bad"
    eval "setpriv --reuid=nobody --regid=nogroup --clear-groups \"\$asm\" $args" \
      >"$work/stdout" 2>"$work/stderr"
    rc=$?
    out=$(cat "$work/stdout")
    err=$(cat "$work/stderr")
  else
    eval "run $args"
  fi
  after=$( [ -f g.asm ] && ! [ -L g.asm ] && sha256sum <g.asm)
  problem=""
  [ "$rc" -eq "$want" ] || problem+=" rc=$rc (want $want)"
  [[ $err == *"$needle"* ]] || problem+=" stderr='$err' (want '$needle')"
  [ "$before" = "$after" ] || problem+=" the source changed"
  if [ "$absent" != "-" ] && { [ -e "$absent" ] || [ -L "$absent" ]; }; then
    problem+=" $absent exists"
  fi
  case "$expect" in
    -) ;;
    size:*) [ "$(stat -c %s g.com 2>/dev/null)" = "${expect#size:}" ] ||
              problem+=" g.com has $(stat -c %s g.com 2>/dev/null) bytes (want ${expect#size:})" ;;
    *) [ "$(hex g.com 2>/dev/null)" = "$expect" ] ||
         problem+=" g.com is $(hex g.com 2>/dev/null) (want $expect)" ;;
  esac
  if [ -z "$problem" ]; then pass; else fail "$name:$problem"; fi
  cd "$work" || exit 1
  chmod -R u+rwx bad 2>/dev/null
done <<'BADINPUT'
a directory|mkdir g.asm|g.asm|2|not a regular file|g.com|-
a FIFO|mkfifo g.asm|g.asm|2|not a regular file|g.com|-
a link to /dev/null|ln -s /dev/null g.asm|g.asm|2|not a regular file|g.com|-
unreadable file|printf 'NOP' >g.asm; chmod 000 g.asm|g.asm|2|permission denied|g.com|-
a dangling link|ln -s nowhere.asm g.asm|g.asm|2|no such file|nowhere.asm|-
no such file|:|missing.asm|2|no such file|missing.asm|-
-o ./g.asm|printf 'NOP' >g.asm|g.asm -o ./g.asm|2|overwrite the source|-|-
-o with the absolute path|printf 'NOP' >g.asm|g.asm -o "$PWD/g.asm"|2|overwrite the source|-|-
-o ./G.ASM (names fold case)|printf 'NOP' >g.asm|g.asm -o ./G.ASM|2|overwrite the source|G.ASM|-
-o a hard link of the source|printf 'NOP' >g.asm; ln g.asm h.asm|g.asm -o h.asm|2|overwrite the source|-|-
-o a link to the source|printf 'NOP' >g.asm; ln -s g.asm s.asm|g.asm -o s.asm|2|overwrite the source|-|-
CR-only line ends|printf 'MOV AX,1\rNOP\rHLT' >g.asm|g.asm|0||-|b8010090f4
a NUL byte hiding text|printf 'MOV AX, 1\0, 2\r\nNOP\r\n' >g.asm|g.asm|1|Error at Line: 1|g.com|-
a line of 1,100 characters|gen '"HERE:\r\nNOP\r\nJMP" + " " * 1093 + "HERE"'|g.asm|1|Error at Line: 3|g.com|-
an empty second operand|printf 'NOP\r\nMOV AX,\r\n' >g.asm|g.asm|1|Error at Line: 2: MOV AX,|g.com|-
an empty data entry|printf 'DW 1,,2' >g.asm|g.asm|1|Error at Line: 1: DW 1,,2|g.com|-
1,000,000 bytes exactly|gen '"NOP\r\n" * 200000'|g.asm|0||-|size:200000
1,000,001 bytes|gen '"NOP\r\n" * 200000 + ";"'|g.asm|2|too large|g.com|-
as many labels as the table holds|gen '"".join("L%d:\n" % i for i in range(18749))'|g.asm|0||-|size:0
one label more|gen '"".join("L%d:\n" % i for i in range(18750))'|g.asm|1|too many label lines|g.com|-
as many lines as there are records|gen '"\n" * 237499 + "NOP"'|g.asm|0||-|90
one line more|gen '"\n" * 237500 + "NOP"'|g.asm|1|Error at Line: 237501|g.com|-
a label of 255 characters|gen '"A" * 255 + ":\r\nNOP\r\nJMP " + "A" * 255'|g.asm|0||-|90e9fcff
a label of 256 characters|gen '"A" * 256 + ":\r\nNOP\r\nJMP " + "A" * 256'|g.asm|1|Error at Line: 3|g.com|-
a label above FFFF in 16-bit code|printf '[ORG FFFFFFFF]\r\nL:\r\nMOV AX, OFFSET L\r\n' >g.asm|g.asm|1|Error at Line: 3: MOV AX, OFFSET L (the address of L does not fit in 16 bits)|g.com|-
UTF-16 with its mark|printf '\377\376N\0O\0P\0' >g.asm|g.asm|2|g.asm: the source is UTF-16 text; save it as ANSI (Windows-1252)|g.com|-
UTF-16 without a mark|printf 'N\0O\0P\0\r\0\n\0' >g.asm|g.asm|2|the source is UTF-16 text|g.com|-
a UTF-8 byte-order mark|printf '\357\273\277NOP\r\n' >g.asm|g.asm|0|line 1 starts with a UTF-8 byte-order mark, which was skipped: NOP|-|90
a conditional jump to a label at 0|printf 'BEEF:\r\nNOP\r\nJZ BEEF\r\n' >g.asm|g.asm|0||-|900f84fbff
BADINPUT

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
