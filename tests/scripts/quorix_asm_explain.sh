#!/usr/bin/env bash
# quorix-asm's warnings about lines that produce no bytes, and --explain,
# which decodes each line's bytes in the line's code width.
#
#   bash quorix_asm_explain.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=${1:?usage: quorix_asm_explain.sh BUILD_DIR SOURCE_DIR}
asm="$build/quorix-asm"
[ -x "$asm" ] || { echo "FAIL: $asm has not been built"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

crlf() { printf '%s\r\n' "$@"; }

# ---- warnings: instruction lines without bytes, and nothing else ----------
crlf '[ORG 100]' 'START:' 'MOV AX,BX' 'CLTS' '; a comment' '' 'LSL AX,BX ; kept' 'WORK PROC' \
     'DB 1,2' '@@' 'FOO BAR' 'DW' 'NOP' >"$work/w.asm"
if "$asm" "$work/w.asm" -o "$work/w.com" 2>"$work/w.err"; then
  want=$'quorix-asm: warning: line 4 produces no bytes: CLTS
quorix-asm: warning: line 7 produces no bytes: LSL AX,BX 
quorix-asm: warning: line 11 has an unknown mnemonic and produces no bytes: FOO BAR'
  got=$(cat "$work/w.err")
  [ "$got" = "$want" ] || fail "warnings: got [$got], want [$want]"
  [ "$(od -An -tx1 "$work/w.com" | tr -d ' \n')" = "8bc3010290" ] || fail "warned source: wrong bytes"
else
  fail "a source with lines that produce no bytes must still assemble (exit 0)"
fi
crlf 'MOV AX,BX' 'NOP' >"$work/c.asm"
"$asm" "$work/c.asm" -o "$work/c.com" 2>"$work/c.err" || fail "clean source failed"
[ ! -s "$work/c.err" ] || fail "clean source warned: $(cat "$work/c.err")"
crlf 'CLTS' 'MOV AX,ZZ' >"$work/e.asm"
set +e
"$asm" "$work/e.asm" -o "$work/e.com" 2>"$work/e.err"
rc=$?
set -e
[ $rc -eq 1 ] || fail "a failing source exits 1 (got $rc)"
grep -q "produces no bytes" "$work/e.err" && fail "a failed run warns about no-bytes lines"

# ---- --explain -------------------------------------------------------------
crlf 'MOV AX,[BP+DI]' 'CLTS' 'DB 8B,3' '[BITS #32]' 'MOV EAX,[EBX]' 'FSUB ST(3),ST' 'JMP $0' \
  >"$work/x.asm"
set +e
"$asm" "$work/x.asm" -o "$work/x.com" --explain >"$work/x.out" 2>"$work/x.err"
rc=$?
set -e
if [ $rc -eq 2 ] && grep -q "not available" "$work/x.err"; then
  echo "skipped: --explain (built without the x86 decoder)"
elif [ $rc -ne 0 ]; then
  fail "--explain exited $rc: $(cat "$work/x.err")"
else
  expect() {  # line number, text that its row must contain
    row=$(awk -v n="$1" '$1 == n' "$work/x.out")
    case "$row" in *"$2"*) ;; *) fail "--explain line $1: want '$2' in [$row]" ;; esac
  }
  expect 1 "; mov ax, [bp+di"         # 8B 03 in 16-bit code
  expect 2 "; (produces no bytes)"
  expect 3 "; (data)"
  expect 5 "; mov eax, [ebx]"         # the same bytes in 32-bit code
  expect 6 "; fsub st3, st0"
  expect 7 "; jmp 0x"
  expect 5 " 32 "
  expect 1 " 16 "
fi

if [ $fails -ne 0 ]; then
  echo "$fails failure(s)"
  exit 1
fi
echo "ok"
