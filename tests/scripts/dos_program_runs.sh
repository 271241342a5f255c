#!/usr/bin/env bash
# Whole programs run: assemble DOS .com programs with quorix-asm, run each one
# in DOSBox without a window and compare what it printed (redirected to a
# file by the DOS shell) and the exit code it handed back to DOS with what the
# program must produce. Each program then runs under quorix-run too, from its
# source and from the .com, with the same input, and must print exactly the
# bytes DOSBox captured and exit with the code DOSBox saw.
#
#   bash dos_program_runs.sh BUILD_DIR SOURCE_DIR
#
# Programs:
#   tests/data/dos/count.asm     LOOP, ADD/SUB/CMP/JNZ, nested CALLs, DIV, PUSH/POP,
#                                lower-case text from DB byte lists, exit code 26
#   tests/data/dos/table.asm     byte and word tables through [SI]/[DI], in-place
#                                upper-casing, a reversed copy, JE/JB/JA/JBE,
#                                a JMP over data, DW, ROL, exit code 15
#   tests/data/dos/arith.asm     MUL/DIV/IMUL/IDIV, NEG/ADC, flags and the
#                                conditional jumps that read them, exit code 10
#   tests/data/dos/strings.asm   REP MOVSB/STOSB, REPE CMPSB, LODSB/STOSB,
#                                nested CALL/RET, exit code 3
#   tests/data/dos/input.asm     keyboard input from a redirected file:
#                                INT 21h 0Ah, 08h, 01h, 3Fh; exit code 4
#   examples/Compiler/TheFile.asm  the bundled example, exit code 0
#
# Exit 0 when every program printed exactly its expected text, 1 otherwise.
# Without DOSBox the quorix-run results are compared with the expected texts
# alone; without quorix-run (a build without the emulator) that half is
# skipped.
set -u

if [ $# -ne 2 ]; then
  echo "usage: bash $0 BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" 2>/dev/null && pwd) || { echo "FAIL: no build directory $1" >&2; exit 1; }
SOURCE_DIR=$(cd "$2" 2>/dev/null && pwd) || { echo "FAIL: no source directory $2" >&2; exit 1; }
ASM="$BUILD_DIR/quorix-asm"
DATA="$SOURCE_DIR/tests/data/dos"
RUN_TIMEOUT=20          # seconds for one DOSBox session; a passing run takes about one

# --- DOSBox -------------------------------------------------------------------
RUNNER="$BUILD_DIR/quorix-run"
if ! command -v dosbox >/dev/null 2>&1; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "dosbox missing: trying apt-get install -y dosbox"
    export DEBIAN_FRONTEND=noninteractive
    if ! apt-get install -y dosbox >/dev/null 2>&1; then
      apt-get update >/dev/null 2>&1 && apt-get install -y dosbox >/dev/null 2>&1
    fi
  fi
fi
DOSBOX=$(command -v dosbox || true)
if [ -z "$DOSBOX" ] && [ ! -x "$RUNNER" ]; then
  echo "skipped: neither dosbox nor quorix-run is available"
  exit 0
fi
[ -n "$DOSBOX" ] || echo "note: dosbox not installed; quorix-run is checked against the expected texts only"
[ -x "$RUNNER" ] || echo "note: quorix-run not built (no emulator); DOSBox alone is checked"

[ -x "$ASM" ] || { echo "FAIL: $ASM not built (cmake --build ... --target quorix-asm)" >&2; exit 1; }
for f in "$DATA/count.asm" "$DATA/table.asm" "$DATA/arith.asm" "$DATA/strings.asm" \
         "$DATA/input.asm" "$SOURCE_DIR/examples/Compiler/TheFile.asm"; do
  [ -f "$f" ] || { echo "FAIL: missing $f" >&2; exit 1; }
done

# --- private work area, removed on every way out ------------------------------
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorix-dos.XXXXXX") || { echo "FAIL: mktemp" >&2; exit 1; }
RUN_PID=
# shellcheck disable=SC2317  # called through the EXIT trap
cleanup() {
  if [ -n "$RUN_PID" ]; then
    kill -TERM "$RUN_PID" 2>/dev/null
    wait "$RUN_PID" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "FAIL: interrupted" >&2; exit 1' INT TERM HUP

mkdir -p "$WORK/home" "$WORK/expect" "$WORK/src"
FAILURES=0
fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# Shows a text byte for byte, so that a missing CR or a stray byte is visible.
show() {
  od -An -c "$1" | sed 's/^/      /' >&2
}

# run_program NAME SOURCE EXIT_CODE SHOWN_AS [INPUT]
#   Assembles SOURCE into NAME.COM, runs it in DOSBox as "NAME.COM > OUT.TXT"
#   (with "< IN.TXT" when INPUT names a file of keys) and compares OUT.TXT with
#   $WORK/expect/NAME.TXT and the DOS exit code (ERRORLEVEL) with EXIT_CODE.
#   Then runs SOURCE and NAME.COM under quorix-run with the same input and
#   compares both with what DOSBox printed and returned. SHOWN_AS names the
#   source in messages.
run_program() {
  local name=$1 source=$2 want_rc=$3 shown=$4 input=${5:-}
  local failures_before=$FAILURES
  local drive="$WORK/$name"          # becomes drive C: of this session
  local com="$drive/$name.COM"
  mkdir -p "$drive"

  if ! "$ASM" "$source" -o "$com" >"$WORK/$name.asm.log" 2>&1; then
    fail "$name: quorix-asm refused $shown:"
    sed 's/^/      /' "$WORK/$name.asm.log" >&2
    return
  fi
  if [ ! -s "$com" ]; then
    fail "$name: quorix-asm wrote no code to $com"
    return
  fi
  local redirect=""
  if [ -n "$input" ]; then
    cp "$input" "$drive/IN.TXT"
    redirect=" < IN.TXT"
  fi
  if [ -z "$DOSBOX" ]; then
    cp "$WORK/expect/$name.TXT" "$WORK/$name.reference"
    run_quorix "$name" "$source" "$com" "$want_rc" "$input"
    return
  fi

  # The batch runs the program with its output redirected, then records the
  # exit code: IF ERRORLEVEL k holds for every k up to the code, so the last
  # line appended to RC.TXT is the exact value. (The DOSBox shell opens a
  # line's redirection before it tests the IF, so each line must append: a
  # false "IF ... > RC.TXT" would still empty the file.)
  {
    printf '@ECHO OFF\r\n'
    printf '%s.COM%s > OUT.TXT\r\n' "$name" "$redirect"
    printf 'ECHO 0 > RC.TXT\r\n'
    local k
    for ((k = 1; k < 256; k++)); do
      printf 'IF ERRORLEVEL %d ECHO %d >> RC.TXT\r\n' "$k" "$k"
    done
  } >"$drive/RUN.BAT"

  cat >"$WORK/$name.conf" <<EOF
[sdl]
fullscreen=false
output=surface
autolock=false
[dosbox]
machine=svga_s3
memsize=16
captures=$WORK/capture
[cpu]
core=auto
cputype=auto
cycles=max
[mixer]
nosound=true
[speaker]
pcspeaker=false
tandy=off
disney=false
[sblaster]
sbtype=none
[gus]
gus=false
[midi]
mpu401=none
mididevice=none
[serial]
serial1=disabled
serial2=disabled
serial3=disabled
serial4=disabled
[ipx]
ipx=false
[autoexec]
mount c "$drive"
c:
CALL RUN.BAT
exit
EOF

  # DOSBox in the background so that an interrupt of this script can stop it;
  # timeout kills it (and, after a grace period, hard) if the program hangs.
  (
    cd "$WORK" &&
      exec env HOME="$WORK/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
        timeout -k 5 "$RUN_TIMEOUT" "$DOSBOX" -conf "$WORK/$name.conf" -noconsole
  ) >"$WORK/$name.dosbox.log" 2>&1 </dev/null &
  RUN_PID=$!
  local rc=0
  wait "$RUN_PID" || rc=$?
  RUN_PID=

  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    fail "$name: DOSBox did not finish within $RUN_TIMEOUT s (the program hung or never returned to DOS)"
    return
  fi
  if [ "$rc" -ne 0 ]; then
    fail "$name: DOSBox exited with status $rc; its log:"
    sed 's/^/      /' "$WORK/$name.dosbox.log" >&2
    return
  fi
  if [ ! -f "$drive/OUT.TXT" ]; then
    fail "$name: the program's output file OUT.TXT was not created; DOSBox log:"
    sed 's/^/      /' "$WORK/$name.dosbox.log" >&2
    return
  fi

  if ! cmp -s "$WORK/expect/$name.TXT" "$drive/OUT.TXT"; then
    fail "$name: printed text differs ($(cmp "$WORK/expect/$name.TXT" "$drive/OUT.TXT" 2>&1 |
      sed 's/^.*differ: //; s/^cmp: //'))"
    echo "    expected:" >&2
    show "$WORK/expect/$name.TXT"
    echo "    printed:" >&2
    show "$drive/OUT.TXT"
  fi

  local got_rc
  got_rc=$(tr -d ' \r' <"$drive/RC.TXT" 2>/dev/null | sed -n '$p')
  if [ "$got_rc" != "$want_rc" ]; then
    fail "$name: exit code ${got_rc:-(none recorded)}, expected $want_rc"
  fi

  if [ "$FAILURES" -eq "$failures_before" ]; then
    echo "ok: $name printed $(wc -c <"$drive/OUT.TXT") bytes as expected, exit code $got_rc"
  fi
  # What DOSBox printed and returned is the reference for quorix-run.
  cp "$drive/OUT.TXT" "$WORK/$name.reference"
  run_quorix "$name" "$source" "$com" "${got_rc:-$want_rc}" "$input"
}

# run_quorix NAME SOURCE COM EXIT_CODE INPUT
#   Runs SOURCE and COM under quorix-run (standard input from INPUT, or
#   empty) and compares the bytes on standard output with
#   $WORK/NAME.reference and the exit status with EXIT_CODE.
run_quorix() {
  local name=$1 source=$2 com=$3 want_rc=$4 input=${5:-/dev/null}
  [ -x "$RUNNER" ] || return 0
  [ -n "$input" ] || input=/dev/null
  local what file
  for what in source com; do
    file=$source
    [ "$what" = com ] && file=$com
    local out="$WORK/$name.$what.run.out" rc=0
    timeout -k 5 "$RUN_TIMEOUT" "$RUNNER" "$file" <"$input" >"$out" 2>"$WORK/$name.$what.run.err" || rc=$?
    if ! cmp -s "$WORK/$name.reference" "$out"; then
      fail "$name: quorix-run ($what) printed other bytes than DOSBox"
      echo "    DOSBox:" >&2
      show "$WORK/$name.reference"
      echo "    quorix-run:" >&2
      show "$out"
      sed 's/^/      /' "$WORK/$name.$what.run.err" >&2
    elif [ "$rc" != "$want_rc" ]; then
      fail "$name: quorix-run ($what) exit code $rc, DOSBox $want_rc"
      sed 's/^/      /' "$WORK/$name.$what.run.err" >&2
    else
      echo "ok: $name under quorix-run ($what): same $(wc -c <"$out") bytes, exit code $rc"
    fi
  done
}

# Sources are CR LF text, as the workbench's editor writes them.
to_crlf() {
  sed 's/\r*$/\r/' "$1" >"$2"
}

# --- expected output ----------------------------------------------------------
# INT 21 function 9 and function 2 write exactly the bytes given; the programs
# end their lines with CR LF themselves.
printf '%s\r\n' \
  'counting with quorix' \
  '0123456789' \
  'zyxwvutsrqponmlkjihgfedcba' \
  '5050' \
  'END OF COUNT' >"$WORK/expect/COUNT.TXT"

printf '%s\r\n' \
  'quorix assembler' \
  'QUORIX ASSEMBLER' \
  'desserts' \
  '0264' \
  '9c40' >"$WORK/expect/TABLE.TXT"

# The bundled example prints its greeting and three dots, no line end.
printf '%s' 'HELLO FROM QUORIX...' >"$WORK/expect/THEFILE.TXT"

printf '%s\r\n' \
  '00123400' \
  '1234 0057' \
  'ffeb fffb ffff' \
  '00010000 fffe' \
  'LBCZOSPGAE' \
  '0890' >"$WORK/expect/ARITH.TXT"

printf '%s\r\n' \
  'quorix' \
  '********' \
  'quorix**' \
  'xirouq' \
  'same 6' \
  'found at 4' >"$WORK/expect/STRINGS.TXT"

# The line read by function 0Ah is echoed, its CR too; the key read from a
# redirected file by function 01h is not.
printf 'NAME? Ada\r\r\nHI Ada\r\nSUM 15\r\n\r\nok!\r\n' >"$WORK/expect/INPUT.TXT"
printf 'Ada\r\n1x2 3 9.Qok!' >"$WORK/keys.txt"

for f in count table arith strings input; do
  to_crlf "$DATA/$f.asm" "$WORK/src/$f.asm"
done

run_program COUNT "$WORK/src/count.asm" 26 tests/data/dos/count.asm
run_program TABLE "$WORK/src/table.asm" 15 tests/data/dos/table.asm
run_program ARITH "$WORK/src/arith.asm" 10 tests/data/dos/arith.asm
run_program STRINGS "$WORK/src/strings.asm" 3 tests/data/dos/strings.asm
run_program INPUT "$WORK/src/input.asm" 4 tests/data/dos/input.asm "$WORK/keys.txt"
run_program THEFILE "$SOURCE_DIR/examples/Compiler/TheFile.asm" 0 examples/Compiler/TheFile.asm

if [ "$FAILURES" -ne 0 ]; then
  echo "FAIL: $FAILURES check(s) failed" >&2
  exit 1
fi
echo "all DOS programs ran as expected"
exit 0
