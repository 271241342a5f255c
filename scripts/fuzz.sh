#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, ASan + UBSan) and runs them.
#
#   bash scripts/fuzz.sh smoke [SECONDS]       each target for SECONDS (default 60)
#   bash scripts/fuzz.sh campaign TARGET RUNS [ARGS...]
#                                              one target for RUNS executions
#                                              (ARGS go to libFuzzer: -jobs=2
#                                              -workers=2 runs two processes of
#                                              RUNS each, logging to fuzz-N.log)
#
# Runs start from the seed corpus in fuzz/corpus/TARGET (copied, so the
# repository is not changed) with the dialect dictionary (run_fuzz, whose
# inputs are program images, without it). run_fuzz is built only when the
# build has the engine (Unicorn). A crash, a leak or
# a broken invariant stops the run with a non-zero exit and leaves the input
# as build-fuzz/findings/TARGET/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-smoke}
build=${QUORIX_FUZZ_BUILD:-build-fuzz}
targets=(asm_fuzz text_fuzz workbench_fuzz run_fuzz)

CXX=${CXX:-clang++-14} cmake -S . -B "$build" -DQUORIX_FUZZ=ON -DQUORIX_BUILD_TESTS=OFF \
  -DQUORIX_BUILD_BENCH=OFF -DQUORIX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! grep -qw run_fuzz <<<"$(cmake --build "$build" --target help)"; then
  echo "no engine in this build: run_fuzz skipped" >&2
  targets=(asm_fuzz text_fuzz workbench_fuzz)
fi
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run TARGET ARGS...: one libFuzzer run of TARGET on a working copy of its corpus.
run() {
  local target=$1
  shift
  local corpus="$build/corpus/$target" findings="$build/findings/$target"
  local dict=(-dict=fuzz/dialect.dict)
  if [[ $target == run_fuzz ]]; then dict=(); fi
  mkdir -p "$corpus" "$findings"
  cp -n fuzz/corpus/"${target%_fuzz}"/* "$corpus"/ 2>/dev/null || true
  "$build/$target" "${dict[@]}" -artifact_prefix="$findings/" \
    -print_final_stats=1 "$@" "$corpus"
}

case "$mode" in
  smoke)
    seconds=${2:-60}
    for t in "${targets[@]}"; do
      echo "== $t: $seconds s"
      run "$t" -max_total_time="$seconds" -max_len=4096 -timeout=20
    done
    ;;
  campaign)
    target=${2:?campaign needs a target: ${targets[*]}}
    runs=${3:?campaign needs a number of executions}
    shift 3
    run "$target" -runs="$runs" -max_len=8192 -timeout=20 -reload=0 "$@"
    ;;
  *)
    echo "usage: fuzz.sh smoke [SECONDS] | campaign TARGET RUNS" >&2
    exit 2
    ;;
esac
