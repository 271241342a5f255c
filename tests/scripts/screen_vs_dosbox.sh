#!/usr/bin/env bash
# The text screen against DOSBox: each program of tests/data/screen/ that
# does not wait for keys is assembled with quorix-asm and run in one DOSBox
# session (no window) together with DUMP.COM (tests/scripts/screen_dump.asm,
# assembled the same way), which copies the 4,000 bytes at B800:0000 to a
# file. Those bytes must be exactly the ones `quorix-run --screen-dump`
# writes after the same program. The cursor is not compared.
#
#   bash screen_vs_dosbox.sh BUILD_DIR SOURCE_DIR
#
# Prints "skipped: ..." and exits 0 without dosbox or without quorix-run.
set -u

if [ $# -ne 2 ]; then
  echo "usage: bash $0 BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
BUILD_DIR=$(cd "$1" 2>/dev/null && pwd) || { echo "FAIL: no build directory $1" >&2; exit 1; }
SOURCE_DIR=$(cd "$2" 2>/dev/null && pwd) || { echo "FAIL: no source directory $2" >&2; exit 1; }
ASM="$BUILD_DIR/quorix-asm"
RUNNER="$BUILD_DIR/quorix-run"
DATA="$SOURCE_DIR/tests/data/screen"
RUN_TIMEOUT=20  # seconds for one DOSBox session; one takes about one
PROGRAMS="b800 cursor scroll text teletype"

DOSBOX=$(command -v dosbox || true)
if [ -z "$DOSBOX" ]; then
  echo "skipped: dosbox is not installed"
  exit 0
fi
if [ ! -x "$RUNNER" ]; then
  echo "skipped: quorix-run not built (no emulator)"
  exit 0
fi
[ -x "$ASM" ] || { echo "FAIL: $ASM not built" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorix-screen.XXXXXX") || { echo "FAIL: mktemp" >&2; exit 1; }
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
mkdir -p "$WORK/home"
FAILURES=0
fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# Sources are CR LF text, as the workbench's editor writes them.
sed 's/\r*$/\r/' "$SOURCE_DIR/tests/scripts/screen_dump.asm" >"$WORK/dump.asm"
if ! "$ASM" "$WORK/dump.asm" -o "$WORK/DUMP.COM" >"$WORK/dump.log" 2>&1; then
  fail "quorix-asm refused tests/scripts/screen_dump.asm:"
  sed 's/^/      /' "$WORK/dump.log" >&2
  exit 1
fi

# Where two screens first differ: row, column and which byte of the cell.
first_difference() {
  local offset
  offset=$(cmp "$1" "$2" 2>/dev/null | sed -n 's/.*byte \([0-9]*\).*/\1/p')
  [ -n "$offset" ] || { echo "sizes $(wc -c <"$1") and $(wc -c <"$2")"; return; }
  offset=$((offset - 1))
  local what=character
  [ $((offset % 2)) -eq 1 ] && what=attribute
  echo "first at row $((offset / 160)), column $((offset % 160 / 2)) ($what)"
}

# The screen's characters, a row a line, for a failure's report.
show_rows() {
  od -An -v -w160 -tu1 "$1" | awk '{ s = ""; for (i = 1; i <= NF; i += 2) s = s sprintf("%c", $i + 0); sub(/ +$/, "", s); printf "      %2d |%s|\n", NR - 1, s }' >&2
}

for name in $PROGRAMS; do
  upper=$(echo "$name" | tr '[:lower:]' '[:upper:]')
  drive="$WORK/$name"
  mkdir -p "$drive"
  sed 's/\r*$/\r/' "$DATA/$name.asm" >"$WORK/$name.asm"
  if ! "$ASM" "$WORK/$name.asm" -o "$drive/$upper.COM" >"$WORK/$name.log" 2>&1; then
    fail "$name: quorix-asm refused tests/data/screen/$name.asm:"
    sed 's/^/      /' "$WORK/$name.log" >&2
    continue
  fi
  cp "$WORK/DUMP.COM" "$drive/DUMP.COM"
  printf '@ECHO OFF\r\n%s.COM\r\nDUMP.COM\r\n' "$upper" >"$drive/RUN.BAT"
  cat >"$WORK/$name.conf" <<CONF
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
CONF
  (
    cd "$WORK" &&
      exec env HOME="$WORK/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
        timeout -k 5 "$RUN_TIMEOUT" "$DOSBOX" -conf "$WORK/$name.conf" -noconsole
  ) >"$WORK/$name.dosbox.log" 2>&1 </dev/null &
  RUN_PID=$!
  rc=0
  wait "$RUN_PID" || rc=$?
  RUN_PID=
  if [ "$rc" -ne 0 ]; then
    fail "$name: DOSBox ended with status $rc (124: it did not finish within $RUN_TIMEOUT s)"
    continue
  fi
  if [ ! -f "$drive/SCREEN.BIN" ] || [ "$(wc -c <"$drive/SCREEN.BIN")" -ne 4000 ]; then
    fail "$name: DUMP.COM did not write the 4,000 bytes of the screen in DOSBox"
    continue
  fi

  rc=0
  timeout -k 5 "$RUN_TIMEOUT" "$RUNNER" "$WORK/$name.asm" --screen-dump "$WORK/$name.bin" \
    </dev/null >"$WORK/$name.out" 2>"$WORK/$name.err" || rc=$?
  if [ "$rc" -ge 249 ] || [ ! -f "$WORK/$name.bin" ]; then
    fail "$name: quorix-run ended with status $rc:"
    sed 's/^/      /' "$WORK/$name.err" >&2
    continue
  fi
  if cmp -s "$drive/SCREEN.BIN" "$WORK/$name.bin"; then
    echo "ok: $name: the same 4000 bytes of screen as DOSBox"
  else
    fail "$name: the screen differs from DOSBox's, $(first_difference "$drive/SCREEN.BIN" "$WORK/$name.bin")"
    echo "    DOSBox:" >&2
    show_rows "$drive/SCREEN.BIN"
    echo "    quorix-run:" >&2
    show_rows "$WORK/$name.bin"
  fi
done

if [ "$FAILURES" -ne 0 ]; then
  echo "FAIL: $FAILURES program(s) differ" >&2
  exit 1
fi
echo "all screens match DOSBox"
