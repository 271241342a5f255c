#!/usr/bin/env bash
# Builds Quorix and starts it: the editor (nuvedo) on run/Compiler/TheFile.asm
# and the workbench (quorix) in run/, a working copy of examples/. Files you
# change in run/ are kept; missing ones are copied again from examples/.
# Needs an X display (a desktop session).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: no X display: DISPLAY is not set. Quorix is a desktop program;" \
       "run this command in a graphical session." >&2
  exit 1
fi

if ! bash scripts/deps.sh; then
  echo "run.sh: installing the dependencies failed; run 'sudo bash scripts/deps.sh' once," \
       "then this command again." >&2
  exit 1
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target quorix nuvedo

mkdir -p run
cp -R -n examples/. run/

source_file="$PWD/run/Compiler/TheFile.asm"
echo "Starting the editor on $source_file and the workbench in $PWD/run"
build/nuvedo "$source_file" &
# The workbench waits on its start screen until the editor's window is there.
cd run
exec ../build/quorix
