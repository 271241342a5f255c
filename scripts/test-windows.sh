#!/usr/bin/env bash
# The Windows programs: cross-compiled with mingw-w64, packaged, and tested
# under Wine in a private X server (tests/win32/wine_tests.py). Expects the
# Linux build in build/ (quorix-replay draws the cairo side of the pixel
# comparison; fake-editor asks windows to close; quorix-run gives the bytes
# and exit codes that quorix-run.exe must match).
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
command -v x86_64-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || missing+=(wine64)
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v makensis >/dev/null || missing+=(nsis)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
if [ ${#missing[@]} -gt 0 ]; then
  echo "test-windows: SKIPPED, missing ${missing[*]} (bash scripts/deps.sh installs them)"
  exit 0
fi
for need in build/quorix-replay build/fake-editor build/quorix-run; do
  [ -x "$need" ] || { echo "test-windows: $need is missing: build the Linux programs first" >&2; exit 1; }
done

bash scripts/package-windows.sh build-win >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build build-win -j"$jobs"

# One Wine prefix per run, made once, beside the build.
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: initialising the Wine prefix"
  timeout 300 wine wineboot -i >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "test-windows: wineboot failed" >&2; exit 1; }
fi
status=0
python3 tests/win32/wine_tests.py --build-win build-win --build build --source . \
  --zip dist/quorix-windows-x64.zip --setup dist/quorix-setup-x64.exe "$@" || status=$?
timeout 60 wineserver -k 2>/dev/null || true
exit $status
