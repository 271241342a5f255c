#!/usr/bin/env bash
# The command-line contract of quorix-run:
#   quorix-run FILE [--trace] [--max-steps N] [--bits 16|32] [--origin N]
#              [--screen] [--screen-dump DUMP] [--break LINE]...
# standard input is the program's keyboard, standard output its screen; the
# exit status is the program's own exit code, or 250 (assembly error), 251
# (processor fault), 252 (missing service), 253 (step limit), 254 (usage or
# file error), 249 (the program's output could not be written), each of
# these with one line on standard error. --screen prints the 80x25 text
# screen after the program's output, --screen-dump writes its 4,000 bytes.
#
#   bash quorix_run_cli.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

build=${1:?usage: quorix_run_cli.sh BUILD_DIR SOURCE_DIR}
if [ ! -x "$build/quorix-run" ]; then
  echo "skipped: quorix-run not built (no Unicorn)"
  exit 0
fi
runner="$(cd "$build" && pwd)/quorix-run"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0
failed=0

src() { printf '%s\r\n' "$@"; }
src '[ORG 100]' 'MOV AH, 9' 'MOV DX, OFFSET T' 'INT 21' 'MOV AX, 4C2A' 'INT 21' 'T:' 'DB "HI$"' >hi.asm
src '[ORG 100]' 'MOV AH, 8' 'INT 21' 'MOV DL, AL' 'MOV AH, 2' 'INT 21' 'MOV AH, 4C' 'INT 21' >echo.asm
src '[ORG 100]' 'MOV AX, 1' 'XOR BL, BL' 'DB F6,F3' >div.asm
src '[ORG 100]' 'MOV AH, 2' 'INT 14' >svc.asm
src '[ORG 100]' 'L:' 'JMP L' >loop.asm
src '[ORG 100]' 'MOV AX, [' >bad.asm
src '[BITS #32]' 'MOV EDX, OFFSET T' 'MOV AH, 9' 'INT 21' 'RET' 'T:' 'DB "FLAT$"' >flat.asm
printf '\xb4\x02\xb2\x51\xcd\x21\xc3' >q.com   # MOV AH,2 / MOV DL,'Q' / INT 21 / RET
printf '\xb8\x07\x00\x00\x00\xc3' >seven.bin  # 32-bit: MOV EAX,7 / RET
src '[ORG 100]' 'NOP' 'HLT' 'INT 20' >hlt.asm
src '[ORG 100]' 'MOV CX, 2' 'L:' 'PUSH CX' 'MOV AH, 2' 'MOV DL, 41' 'INT 21' 'POP CX' 'LOOP L' \
    'MOV AX, 4C00' 'INT 21' >brk.asm  # line 8: POP CX
printf '\xc6\x06\x00\x01\xc6\xb8\x00\x4c\xcd\x21' >smc.com  # rewrites its own first byte
src '[ORG 100]' 'MOV AH, 2A' 'INT 21' 'MOV AL, CL' 'MOV AH, 4C' 'INT 21' >date.asm
src '[ORG 100]' 'MOV AH, 9' 'MOV DX, OFFSET T' 'INT 21' 'INT 20' 'T:' 'DB "A"' 'DB D,A' 'DB "$"' >line.asm
src '[ORG 100]' 'CLTS' 'MOV AH, 9' 'MOV DX, OFFSET T' 'INT 21' 'INT 20' 'T:' 'DB "ok$"' >warn.asm
printf '\377\376N\0O\0P\0' >u16.asm
mkfifo fifo.com
ln -s /dev/zero zero.com
mkdir folder.com

# name | arguments | standard input | exit status | standard output | text on standard error
cases=(
  "source exits with its code|hi.asm||42|HI|"
  "keys from standard input|echo.asm|x|120|x|"
  "end of input reads as Ctrl-Z|echo.asm||26|$(printf '\x1a')|"
  "a .com runs as it is|q.com||0|Q|"
  "divide error|div.asm||251||Stopped at 0105 (line 4: DB F6,F3): divide error"
  "missing service|svc.asm||252||no service for INT 14h function 02h"
  "step limit|loop.asm --max-steps 1000||253||step limit of 1000 instructions reached"
  "assembly error|bad.asm||250||Error at Line: 2"
  "flat 32-bit source|flat.asm||0|FLAT|"
  "warnings as quorix-asm gives them|warn.asm||0|OK|quorix-run: warning: line 2 produces no bytes: CLTS"
  "the same warnings, the quotes|warn.asm||0|OK|quorix-run: warning: line 8 has lower-case letters inside quotes, which become upper case: DB \"ok\$\""
  "a UTF-16 source|u16.asm||254||quorix-run: u16.asm: the source is UTF-16 text; save it as ANSI (Windows-1252)"
  "binary as 32-bit at an origin|seven.bin --bits 32 --origin 0x400000||0||"
  "no such file|nothing.asm||254||no such file"
  "unknown option|hi.asm --fast||254||unknown option --fast"
  "bad width|hi.asm --bits 64||254||--bits takes 16 or 32"
  "zero steps|hi.asm --max-steps 0||254||--max-steps needs a positive number"
  "two files|hi.asm q.com||254||only one file"
  "HLT ends the program by name|hlt.asm||0||Program ended at HLT (0101, line 3)"
  "self-modifying code single-stepped|smc.com --trace --max-steps 20000||0||"
  "a FIFO is no program|fifo.com||254||cannot read fifo.com: not a regular file"
  "a device is no program|zero.com||254||cannot read zero.com: not a regular file"
  "a folder is no program|folder.com||254||cannot read folder.com: is a directory"
  "octal steps refused|loop.asm --max-steps 010||254||--max-steps needs a positive number"
  "hexadecimal width refused|hi.asm --bits 0x10||254||--bits takes 16 or 32"
  "a break line shows the registers|brk.asm --break 8||0|AA|ECX: 00000001"
  "a break line shows the stack|brk.asm --break 8||0|AA|stack0: 0001"
  "a break on a label line stops at the code after it|brk.asm --break 3||0|AA|line: 4"
  "a break in 32-bit code shows dwords|flat.asm --break 4||0|FLAT|stack0: 7FFF0000"
  "a break past the code|brk.asm --break 99||254||--break 99: no code on or after that line"
  "a break needs a source|q.com --break 1||254||--break needs a source file"
  "a break at line 0|hi.asm --break 0||254||--break needs a line number"
  "date from the host's clock (the year's low byte)|date.asm||$(($(date +%Y) % 256))||"
  "a dump needs a file name|hi.asm --screen-dump||254||--screen-dump needs a file name"
  "a dump that cannot be written|hi.asm --screen-dump no/such/dir/s.bin||254|HI|cannot write the screen to no/such/dir/s.bin"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name args input want_rc want_out want_err <<<"$c"
  # shellcheck disable=SC2086  # the arguments are split on purpose
  printf '%s' "$input" | timeout 20 "$runner" $args >out.txt 2>err.txt
  rc=$?
  out=$(cat out.txt)
  err=$(cat err.txt)
  # With --trace, standard error holds the trace.
  if [ "$rc" != "$want_rc" ] || [ "$out" != "$want_out" ] ||
     { [ -n "$want_err" ] && [[ "$err" != *"$want_err"* ]]; } ||
     { [ -z "$want_err" ] && [ -n "$err" ] && [[ "$args" != *--trace* ]]; }; then
    echo "FAIL: $name: rc=$rc (want $want_rc) stdout='$out' (want '$want_out') stderr='$err'"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done

# --trace: one line a instruction on standard error, with the address, the
# source line, its bytes and the registers and flags after it; the screen
# output stays alone on standard output.
"$runner" --trace hi.asm >out.txt 2>trace.txt
rc=$?
lines=$(wc -l <trace.txt)
first=$(sed -n 1p trace.txt)
last=$(sed -n '$p' trace.txt)
if [ $rc -eq 42 ] && [ "$(cat out.txt)" = HI ] && [ "$lines" -eq 5 ] &&
   [[ "$first" == "0100      2  MOV AH, 9"*"| B4 09"*"EAX=00000900"*"EIP=00000102"*"IF=1" ]] &&
   [[ "$last" == "010A      6  INT 21"*"| CD 21"* ]]; then
  passed=$((passed + 1))
else
  echo "FAIL: trace: rc=$rc lines=$lines"
  cat trace.txt
  failed=$((failed + 1))
fi

# --trace with the decoder (the build has it when quorix-asm --explain works):
# each line shows the instruction as it is in memory when it runs, so a byte
# the program rewrote shows rewritten. 0100 writes 40 (INC AX) over the NOP
# at 0105.
if "$(dirname "$runner")/quorix-asm" hi.asm --explain >/dev/null 2>&1; then
  printf '\xc6\x06\x05\x01\x40\x90\xb8\x00\x4c\xcd\x21' >rewrite.com
  "$runner" --trace rewrite.com >/dev/null 2>trace.txt
  rc=$?
  "$runner" --trace hi.asm >/dev/null 2>hitrace.txt
  if [ $rc -eq 0 ] &&
     [[ "$(sed -n 1p trace.txt)" == "0100 | C6 06 05 01 40 "*"mov byte ptr [0x0105], 0x40"* ]] &&
     [[ "$(sed -n 2p trace.txt)" == "0105 | 40 "*"inc ax"*"EAX=00000001"* ]] &&
     [[ "$(sed -n 1p hitrace.txt)" == *"| B4 09 "*"mov ah, 0x09"*"EAX=00000900"* ]]; then
    passed=$((passed + 1))
  else
    echo "FAIL: decoded trace: rc=$rc"
    cat trace.txt hitrace.txt
    failed=$((failed + 1))
  fi
fi

# --break: a block of "name: value" lines each time the line is reached,
# alone or among the trace's lines.
for mode in "" --trace; do
  # shellcheck disable=SC2086  # an empty mode adds no argument
  "$runner" brk.asm --break 8 $mode >out.txt 2>err.txt
  rc=$?
  hits=$(grep -c '^line: 8$' err.txt)
  names=$(grep -cE '^(E[A-Z]{2}|EFLAGS|stack[0-9]+): [0-9A-F]+$' err.txt)
  if [ $rc -eq 0 ] && [ "$(cat out.txt)" = AA ] && [ "$hits" -eq 2 ] && [ "$names" -eq 44 ] &&
     grep -q '^ECX: 00000002$' err.txt && grep -q '^stack11: 0000$' err.txt; then
    passed=$((passed + 1))
  else
    echo "FAIL: --break 8 $mode: rc=$rc hits=$hits names=$names"
    cat err.txt
    failed=$((failed + 1))
  fi
done

# --screen: the 25 rows of the screen, trailing blanks trimmed, after the
# program's own output and on a line of their own, also when it stopped.
screen_rows() {  # the text before the screen, then the screen's first rows
  printf '%s' "$1"
  shift
  [ $# -eq 0 ] || printf '%s\n' "$@"
  for ((i = $#; i < 25; i++)); do echo; done
}
screen_case() {  # name, want status, want stdout file, arguments...
  local name=$1 want_rc=$2 want=$3
  shift 3
  "$runner" "$@" </dev/null >out.txt 2>err.txt
  local rc=$?
  if [ "$rc" = "$want_rc" ] && cmp -s out.txt "$want"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $name: rc=$rc (want $want_rc)"
    od -c out.txt | head -5
    failed=$((failed + 1))
  fi
}
screen_rows $'HI\n' HI >want.txt
screen_case "--screen after output without a line end" 42 want.txt hi.asm --screen
screen_rows $'A\r\n' A >want.txt
screen_case "--screen after a whole line" 0 want.txt line.asm --screen
screen_rows '' >want.txt
screen_case "--screen after a fault" 251 want.txt div.asm --screen
# --screen-dump: character and attribute of each cell, row after row.
"$runner" hi.asm --screen-dump dump.bin >/dev/null 2>err.txt
rc=$?
if [ $rc -eq 42 ] && [ "$(wc -c <dump.bin)" -eq 4000 ] &&
   [ "$(od -An -tx1 -N6 dump.bin)" = " 48 07 49 07 20 07" ] &&
   [ "$(od -An -tx1 -j3998 dump.bin)" = " 20 07" ]; then
  passed=$((passed + 1))
else
  echo "FAIL: --screen-dump: rc=$rc"
  od -An -tx1 -N16 dump.bin
  failed=$((failed + 1))
fi

# Arguments that word splitting cannot carry, and outputs that fail.
check() {  # name, status, want status, stderr, want text on stderr
  if [ "$2" = "$3" ] && [[ "$4" == *"$5"* ]]; then
    passed=$((passed + 1))
  else
    echo "FAIL: $1: rc=$2 (want $3) stderr='$4'"
    failed=$((failed + 1))
  fi
}
"$runner" hi.asm --max-steps ' 5' >/dev/null 2>err.txt
check "a padded number refused" $? 254 "$(cat err.txt)" "--max-steps needs a positive number"
"$runner" hi.asm >/dev/full 2>err.txt
check "a full standard output" $? 249 "$(cat err.txt)" "output failed: No space left on device"
"$runner" hi.asm >&- 2>err.txt
check "a closed standard output" $? 249 "$(cat err.txt)" "output failed"
cp hi.asm locked.asm
chmod 000 locked.asm
if [ "$(id -u)" != 0 ]; then  # root reads any file
  "$runner" locked.asm >/dev/null 2>err.txt
  check "an unreadable source" $? 254 "$(cat err.txt)" "cannot read locked.asm: permission denied"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
