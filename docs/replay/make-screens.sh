#!/usr/bin/env bash
# Regenerates the pictures of docs/screens.md: runs screens.replay (the main
# window), machine.replay and bubble.replay (the machine window) with quorix-replay, each in
# a scratch copy of Compiler/, and copies the PNGs (and the record dump of
# the main window's last screen) back here.
# Usage: docs/replay/make-screens.sh [path/to/quorix-replay]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
replay=$(realpath "${1:-$here/../../build/quorix-replay}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/Compiler" "$work/"
(cd "$work" && "$replay" "$here/screens.replay" > variables.txt)
mkdir "$work/machine"
cp -r "$here/Compiler" "$work/machine/"
(cd "$work/machine" && "$replay" "$here/machine.replay" > /dev/null)
mkdir "$work/bubble"
cp -r "$here/Compiler" "$work/bubble/"
cp "$here/../../tests/data/machine/bubble.asm" "$work/bubble/Compiler/Bubble.asm"
(cd "$work/bubble" && "$replay" "$here/bubble.replay" > /dev/null)
cp "$work"/*.png "$work"/machine/*.png "$work"/bubble/*.png "$here/"
cp "$work/variables.txt" "$here/"
echo "wrote $(ls "$work"/*.png "$work"/machine/*.png "$work"/bubble/*.png | wc -l) pictures to $here"
