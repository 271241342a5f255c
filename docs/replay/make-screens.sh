#!/usr/bin/env bash
# Regenerates the pictures of docs/screens.md: runs screens.replay with
# quorix-replay in a scratch copy of Compiler/ and copies the PNGs (and the
# record dump of the last screen) back here.
# Usage: docs/replay/make-screens.sh [path/to/quorix-replay]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
replay=$(realpath "${1:-$here/../../build/quorix-replay}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/Compiler" "$work/"
(cd "$work" && "$replay" "$here/screens.replay" > variables.txt)
cp "$work"/*.png "$here/"
cp "$work/variables.txt" "$here/"
echo "wrote $(ls "$work"/*.png | wc -l) pictures to $here"
