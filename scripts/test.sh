#!/usr/bin/env bash
# Builds Quorix and runs every test: the style check, the normal build, the Windows programs
# under Wine, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then each fuzz target for a minute
# (QUORIX_FUZZ_SECONDS to change that, 0 to skip).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
python3 scripts/check_layers.py
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DQUORIX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
# The style the tools keep: clang-format on every C++ file, the clang-tidy set
# on the sources of the core, the backends and the programs
# (QUORIX_STYLE_BASE=REV checks only what changed since REV).
bash scripts/check_style.sh build ${QUORIX_STYLE_BASE:+--changed "$QUORIX_STYLE_BASE"}
(cd build && ctest --output-on-failure -j"$jobs")

bash scripts/test-windows.sh

cmake -S . -B build-asan -DQUORIX_WERROR=ON -DQUORIX_SANITIZE=ON -DQUORIX_BUILD_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j"$jobs" -E '^e2e\.')

seconds=${QUORIX_FUZZ_SECONDS:-60}
if [ "$seconds" -gt 0 ]; then
  bash scripts/fuzz.sh smoke "$seconds"
fi
