#!/usr/bin/env bash
# Random lines of every mnemonic group, in 16- and 32-bit code, assembled by
# quorix-asm and by nasm and compared line by line (bytes, or the
# disassembler's reading where the dialect's documented choice differs).
# Fixed seeds: 4 seeds x 2 widths x 2,600 generated lines. Skipped without
# nasm or objdump.
#
#   bash nasm_differential.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=${1:?usage: nasm_differential.sh BUILD_DIR SOURCE_DIR}
source_dir=${2:?usage: nasm_differential.sh BUILD_DIR SOURCE_DIR}
for tool in nasm objdump python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed"
    exit 0
  fi
done
[ -x "$build/quorix-asm" ] || { echo "FAIL: $build/quorix-asm has not been built"; exit 1; }
exec python3 "$source_dir/tests/differential/compare_nasm.py" "$build/quorix-asm" \
  "$source_dir/docs/dialect.md" --seed 1 --seed 2 --seed 3 --seed 4 --bits 16 --bits 32 \
  --lines 2600
