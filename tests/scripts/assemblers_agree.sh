#!/usr/bin/env bash
# quorix-asm, nasm and fasm must produce byte-identical images for programs
# written in forms that all of them encode alike: generated programs in 16-
# and 32-bit code, and tables of boundary cases (jumps to their own address,
# LOOP at both ends of its range, displacement and immediate limits, number
# literals, a label on the last line). fasm takes part when it is installed;
# without nasm the test is skipped.
#
#   bash assemblers_agree.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=${1:?usage: assemblers_agree.sh BUILD_DIR SOURCE_DIR}
source_dir=${2:?usage: assemblers_agree.sh BUILD_DIR SOURCE_DIR}
asm="$build/quorix-asm"
gen="$source_dir/bench/gen_program.py"

if ! command -v nasm >/dev/null 2>&1; then
  echo "skipped: nasm is not installed"
  exit 0
fi
[ -x "$asm" ] || { echo "FAIL: $asm has not been built"; exit 1; }
# fasm is a 32-bit program: it takes part only where it is installed and the
# kernel can run 32-bit programs.
have_fasm=0
if command -v fasm >/dev/null 2>&1; then
  probe=$(mktemp -d)
  printf 'use16\nnop\n' >"$probe/p.asm"
  if fasm "$probe/p.asm" "$probe/p.bin" >/dev/null 2>&1; then
    have_fasm=1
  else
    echo "note: fasm is installed but cannot run here (no 32-bit support); comparing with nasm only"
  fi
  rm -rf "$probe"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# Names the source line behind the first byte where two images differ.
explain() {  # explain DIR OTHER_IMAGE
  python3 - "$1" "$2" "$asm" <<'PY'
import subprocess, sys
directory, other, asm = sys.argv[1:4]
ours = open(directory + "/quorix.bin", "rb").read()
theirs = open(directory + "/" + other, "rb").read()
first = next((i for i in range(min(len(ours), len(theirs))) if ours[i] != theirs[i]),
             min(len(ours), len(theirs)))
print("      %d vs %d bytes, first difference at offset 0x%X" % (len(ours), len(theirs), first))
listing = subprocess.run([asm, directory + "/prog.asm", "-o", directory + "/listing.bin",
                          "--listing"], capture_output=True, text=True).stdout
for row in listing.splitlines():
    cols = row.split(None, 3)
    if len(cols) >= 3 and int(cols[1]) and int(cols[2], 16) <= first < int(cols[2], 16) + int(cols[1]):
        n = int(cols[0])
        print("      line %d: %s" % (n, row.strip()))
        print("      nasm: %s" % open(directory + "/prog.nasm").read().splitlines()[n - 1])
        print("      theirs at that offset: %s" % theirs[int(cols[2], 16):int(cols[2], 16)
                                                         + int(cols[1])].hex(" ").upper())
        break
PY
}

# Assembles DIR/prog.{asm,nasm[,fasm]} and compares the images.
check() {  # check DIR TITLE WITH_FASM
  local dir=$1 title=$2 with_fasm=$3 ok=1
  if ! "$asm" "$dir/prog.asm" -o "$dir/quorix.bin" 2>"$dir/quorix.err"; then
    echo "FAIL: $title: quorix-asm refused the program: $(cat "$dir/quorix.err")"
    failed=$((failed + 1))
    return
  fi
  if ! nasm -f bin "$dir/prog.nasm" -o "$dir/nasm.bin" 2>"$dir/nasm.err"; then
    echo "FAIL: $title: nasm refused the program: $(head -n 3 "$dir/nasm.err")"
    failed=$((failed + 1))
    return
  fi
  if ! cmp -s "$dir/quorix.bin" "$dir/nasm.bin"; then
    echo "FAIL: $title: quorix-asm and nasm differ"
    explain "$dir" nasm.bin
    ok=0
  fi
  if [ "$with_fasm" = 1 ] && [ "$have_fasm" = 1 ]; then
    if ! fasm "$dir/prog.fasm" "$dir/fasm.bin" >"$dir/fasm.err" 2>&1; then
      echo "FAIL: $title: fasm refused the program: $(tail -n 3 "$dir/fasm.err")"
      ok=0
    elif ! cmp -s "$dir/quorix.bin" "$dir/fasm.bin"; then
      echo "FAIL: $title: quorix-asm and fasm differ"
      explain "$dir" fasm.bin
      ok=0
    fi
  fi
  if [ ! -s "$dir/quorix.bin" ]; then
    echo "FAIL: $title: empty image"
    ok=0
  fi
  if [ $ok = 1 ]; then
    passed=$((passed + 1))
    echo "ok: $title ($(stat -c %s "$dir/quorix.bin") bytes)"
  else
    failed=$((failed + 1))
  fi
}

# Writes DIR/prog.{asm,nasm,fasm} from rows "dialect|nasm|fasm" on stdin; an
# empty fasm field repeats the nasm text. A row "@PAD n" stands for data lines
# of n bytes in all. The dialect's last line gets no line end, so a label
# there is a label on the last line.
table() {  # table DIR < rows
  local dir=$1 d n f
  mkdir -p "$dir"
  : >"$dir/prog.asm"; : >"$dir/prog.nasm"; : >"$dir/prog.fasm"
  while IFS='|' read -r d n f; do
    [ -z "$d" ] && continue
    if [[ $d == "@PAD "* ]]; then
      local left=${d#@PAD } take list
      while [ "$left" -gt 0 ]; do
        take=$((left > 28 ? 28 : left))  # a data line holds at most 28 bytes
        list=$(printf '1%.0s,' $(seq "$take")); list=${list%,}
        printf 'DB %s\r\n' "$list" >>"$dir/prog.asm"
        printf 'db %s\n' "$list" >>"$dir/prog.nasm"
        printf 'db %s\n' "$list" >>"$dir/prog.fasm"
        left=$((left - take))
      done
      continue
    fi
    printf '%s\r\n' "$d" >>"$dir/prog.asm"
    printf '%s\n' "$n" >>"$dir/prog.nasm"
    printf '%s\n' "${f:-$n}" >>"$dir/prog.fasm"
  done
  truncate -s -2 "$dir/prog.asm"
}

# ---- generated programs -------------------------------------------------------
for bits in 16 32; do
  for seed in 1 2; do
    dir="$work/gen$bits-$seed"
    python3 "$gen" --lines 2000 --bits "$bits" --seed "$seed" --out-dir "$dir" 2>/dev/null
    check "$dir" "generated 2000-line ${bits}-bit program, seed $seed" 1
  done
done

# ---- boundary cases that all three encode alike --------------------------------
table "$work/edge16" <<'ROWS'
[ORG 100]|org 0x100|org 100h
[BITS #16]|bits 16|use16
L1:|L1:
JMP L1|jmp near L1
L2:|L2:
JZ L2|jz near L2
L3:|L3:
CALL L3|call L3
L4:|L4:
LOOP L4|loop L4
JNZ LEND|jnz near LEND
JMP LEND|jmp near LEND
CALL LEND|call LEND
MOV AX,OFFSET LEND|mov ax,LEND
MOV DI,OFFSET L1|mov di,L1
MOV AX,[BX+7F]|mov ax,[bx+0x7f]
MOV AX,[BX+80]|mov ax,[bx+0x80]
MOV [BP],DL|mov [bp],dl
MOV [SI+7FFF],AX|mov [si+0x7fff],ax
MOV CL,[DI+-81]|mov cl,[di-0x81]
MOV AX,[EBX+80]|mov ax,[ebx+0x80]
MOV BL,[ESP+4]|mov bl,[esp+4]
ADD AX,80|add ax,0x80
ADD BX,#200|add bx,200
SUB SI,FF7F|sub si,0xff7f
CMP W.[DI+7F],#1000|cmp word [di+0x7f],1000
MOV W.[BX],FFFF|mov word [bx],0xffff
MOV AX,-1|mov ax,-1
TEST B.[SI],80|test byte [si],0x80
MOV AL,#-10|mov al,-10
MOV EAX,OFFSET L2|mov eax,L2
DW #-10,-10,#B101|dw -10,-0x10,5
DD 'ABCD|dd 0x41424344
INC W.[SI]|inc word [si]
PUSH W.[DI]|push word [di]
ROR DX,7|ror dx,7
A1:|A1:
@PAD 126
LOOP A1|loop A1
LOOP A2|loop A2
@PAD 127
A2:|A2:
JNC L1|jnc near L1
LEND:|LEND:
ROWS
check "$work/edge16" "16-bit boundary cases" 1

table "$work/edge32" <<'ROWS'
[ORG 100]|org 0x100|org 100h
[BITS #32]|bits 32|use32
L1:|L1:
JMP L1|jmp near L1
L2:|L2:
JNZ L2|jnz near L2
L3:|L3:
CALL L3|call L3
L4:|L4:
LOOP L4|loop L4
JC LEND|jc near LEND
JMP LEND|jmp near LEND
CALL LEND|call LEND
MOV EAX,OFFSET LEND|mov eax,LEND
MOV EBP,OFFSET L2|mov ebp,L2
MOV EAX,[EBX+7F]|mov eax,[ebx+0x7f]
MOV EAX,[EBX+80]|mov eax,[ebx+0x80]
MOV [ESP+80],ECX|mov [esp+0x80],ecx
MOV DL,[EBP]|mov dl,[ebp]
MOV EDX,[EDI+-81]|mov edx,[edi-0x81]
MOV ESI,[ESI+7FFFFFFF]|mov esi,[esi+0x7fffffff]
MOV ECX,[EAX+EBX*8+7F]|mov ecx,[eax+ebx*8+0x7f]
LEA EDX,[ESP+EBP*2]|lea edx,[esp+ebp*2]
MOV [EDX+ECX*1],AL|mov [edx+ecx*1],al
XCHG EBX,[EBP+EAX*4+1]|xchg ebx,[ebp+eax*4+1]
MOV AX,[EBX]|mov ax,[ebx]
MOV [BX+80],EAX|mov [bx+0x80],eax
ADD EAX,80|add eax,0x80
ADD ESI,#-129|add esi,-129
AND EDX,FFFFFF7F|and edx,0xffffff7f
MOV D.[EBX+80],FFFFFFFF|mov dword [ebx+0x80],0xffffffff
MOV EAX,-1|mov eax,-1
INC D.[EBX+7F]|inc dword [ebx+0x7f]
NEG W.[ESP+4]|neg word [esp+4]
PUSH D.[EBP+8]|push dword [ebp+8]
SHR EDI,7|shr edi,7
ROL BH,2|rol bh,2
DD FFFFFFFF,#-10|dd 0xffffffff,-10
A1:|A1:
@PAD 126
LOOP A1|loop A1
LOOP A2|loop A2
@PAD 127
A2:|A2:
JG L1|jg near L1
LEND:|LEND:
ROWS
check "$work/edge32" "32-bit boundary cases" 1

# ---- forms nasm reaches only with size overrides (fasm has none) ---------------
table "$work/strict" <<'ROWS'
[ORG 100]|org 0x100
ADD BX,5|add bx,strict word 5
ADD AX,7F|add ax,strict word 0x7f
CMP W.[BX+2],-1|cmp word [bx+2],strict word -1
MOV AX,[BX+-4]|mov ax,[word bx-4]
MOV AX,[BX+0]|mov ax,[byte bx+0]
[BITS #32]|bits 32
ADD EBX,5|add ebx,strict dword 5
CMP EAX,-1|cmp eax,strict dword -1
XOR D.[ESI+4],#-2|xor dword [esi+4],strict dword -2
MOV EAX,[EBX+-4]|mov eax,[dword ebx-4]
MOV EAX,[EBX+0]|mov eax,[byte ebx+0]
ROWS
check "$work/strict" "small immediates and displacements against nasm strict forms" 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
