#!/usr/bin/env bash
# Checks the C++ style with the tools that keep it: clang-format over every
# C++ file of the tree, and the clang-tidy set (.clang-tidy) over the
# sources of the core, the backends and the programs.
#
#   scripts/check_style.sh BUILD_DIR [--changed BASE] [--fix]
#
# BUILD_DIR holds compile_commands.json (any configured build). --changed
# BASE limits both checks to the files changed since the git revision BASE
# (the pre-commit hook uses the staged files). --fix rewrites the formatting
# instead of reporting it. Exit 0 when both checks pass, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/check_style.sh BUILD_DIR [--changed BASE] [--fix]}
shift
base="" fix=0
while [ $# -gt 0 ]; do
  case "$1" in
    --changed) base=${2:?--changed needs a revision}; shift 2 ;;
    --staged) base=--staged; shift ;;
    --fix) fix=1; shift ;;
    *) echo "check_style: unknown option $1" >&2; exit 2 ;;
  esac
done
format=$(command -v clang-format-14 || command -v clang-format)
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)

pattern='\.(cpp|h)$'
if [ "$base" = --staged ]; then
  files=$(git diff --cached --name-only --diff-filter=ACMR | grep -E "$pattern" || true)
elif [ -n "$base" ]; then
  files=$(git diff --name-only --diff-filter=ACMR "$base" | grep -E "$pattern" || true)
else
  files=$(git ls-files | grep -E "$pattern" || true)
fi
[ -n "$files" ] || { echo "style: no C++ files to check"; exit 0; }

status=0
if [ "$fix" = 1 ]; then
  echo "$files" | xargs "$format" -i --style=file
else
  unformatted=$(echo "$files" | while read -r f; do
    "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
  done)
  if [ -n "$unformatted" ]; then
    echo "style: not formatted (run scripts/check_style.sh $build --fix):"
    echo "$unformatted" | sed 's/^/  /'
    status=1
  else
    echo "style: formatting ok ($(echo "$files" | wc -l) files)"
  fi
fi

# clang-tidy reads the sources the build compiles (headers through them).
sources=$(echo "$files" | grep -E '^(src|apps|backends)/.*\.cpp$' | while read -r f; do
  grep -q "\"file\": \".*/$f\"" "$build/compile_commands.json" && echo "$f"
done || true)
if [ -n "$sources" ]; then
  jobs=$(nproc 2>/dev/null || echo 2)
  log=$(mktemp)
  echo "$sources" | xargs -P"$jobs" -n4 "$tidy" -p "$build" --quiet >"$log" 2>&1 || true
  if grep -qE '(error|warning): ' "$log"; then
    grep -E '(error|warning): ' "$log" | sort -u
    echo "style: clang-tidy found the lines above"
    status=1
  else
    echo "style: clang-tidy ok ($(echo "$sources" | wc -l) sources)"
  fi
  rm -f "$log"
fi
exit $status
