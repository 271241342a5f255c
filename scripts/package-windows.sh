#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 and packs them, laid out the way
# the workbench's fixed paths expect, into dist/quorix-windows-x64.zip:
#   quorix.exe, quorix-asm.exe, quorix-run.exe, README.txt,
#   Compiler\Nuvedo.exe, Compiler\OpCode.qrx, Compiler\TheFile.asm,
#   Licenses\Unicorn\COPYING, COPYING.LGPL2, COPYING_GLIB (the emulator's)
# and the same programs into the installer dist/quorix-setup-x64.exe (NSIS,
# apps/windows/setup.nsi).
# Usage: bash scripts/package-windows.sh [BUILD_DIR]   (default build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-win}
for tool in x86_64-w64-mingw32-g++ zip makensis; do
  command -v "$tool" >/dev/null || { echo "package-windows: $tool is missing (bash scripts/deps.sh installs it)" >&2; exit 1; }
done
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DQUORIX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target quorix quorix-asm quorix-run Nuvedo

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Compiler"
for exe in quorix quorix-asm quorix-run; do
  x86_64-w64-mingw32-strip -o "$stage/$exe.exe" "$build/$exe.exe"
done
x86_64-w64-mingw32-strip -o "$stage/Compiler/Nuvedo.exe" "$build/Nuvedo.exe"
cp examples/Compiler/OpCode.qrx examples/Compiler/TheFile.asm "$stage/Compiler/"
# The Unicorn emulator's licence texts, from the archive the build checked.
unicorn=unicorn-2.1.4
mkdir -p "$stage/unpack" "$stage/Licenses/Unicorn"
(cd "$stage/unpack" && cmake -E tar xf "$root/third_party/$unicorn.tar.xz" \
   "$unicorn/COPYING" "$unicorn/COPYING.LGPL2" "$unicorn/COPYING_GLIB")
for f in COPYING COPYING.LGPL2 COPYING_GLIB; do
  sed 's/$/\r/' "$stage/unpack/$unicorn/$f" > "$stage/Licenses/Unicorn/$f"
done
rm -rf "$stage/unpack"
# README.txt in CR LF lines, as Windows editors expect.
sed 's/$/\r/' > "$stage/README.txt" <<'TEXT'
Quorix for Windows (64-bit)

A self-drawn workbench for a small x86 assembler dialect. Keep the folder
layout as it is: the workbench reads Compiler\OpCode.qrx relative to the
folder it is started in.

1. Unzip the whole archive into a folder of your choice.
2. Start Compiler\Nuvedo.exe, the companion editor. It opens
   Compiler\TheFile.asm (or the file named on its command line); Ctrl+O opens
   another file, Ctrl+S saves it.
3. Start quorix.exe from the unzipped folder. It finds the editor's window,
   loads the file the editor shows and offers "Compile" (which writes the
   program beside the source as NAME.com) and "Debug". On the debug screen
   the program runs on the emulator while the pointer rests on "Run": its
   output appears in the console strip below the listing, and the machine
   window beside the workbench shows its registers, memory and screen.

quorix-asm.exe SOURCE [-o OUTPUT] [--listing] assembles on the command line.
quorix-run.exe FILE runs a source or a .com program on the emulator, with
the console's input as its keyboard and the console as its screen.

Quorix's emulator engine is the Unicorn CPU emulator 2.1.4, licensed under
the GNU General Public License version 2 with parts under the GNU Lesser
General Public License 2.1 and glib's licence: the texts are in
Licenses\Unicorn\. Its source is the archive third_party\unicorn-2.1.4.tar.xz
in Quorix's source, unchanged from https://github.com/unicorn-engine/unicorn
(tag 2.1.4).
TEXT
mkdir -p dist
out="$root/dist/quorix-windows-x64.zip"
rm -f "$out"
(cd "$stage" && zip -q -X -r "$out" quorix.exe quorix-asm.exe quorix-run.exe README.txt Compiler Licenses)
echo "package-windows: wrote dist/quorix-windows-x64.zip"
unzip -l "$out"

# The installer, from the same staged files.
build_installer() {
  local stage=$1 icon=$2 setup="$root/dist/quorix-setup-x64.exe"
  rm -f "$setup"
  makensis -V2 -DSTAGE="$stage" -DICON="$icon" -DOUTFILE="$setup" "$root/apps/windows/setup.nsi"
  echo "package-windows: wrote dist/quorix-setup-x64.exe ($(stat -c %s "$setup") bytes)"
}
build_installer "$stage" "$(cd "$build" && pwd)/apps/windows/quorix.ico"
