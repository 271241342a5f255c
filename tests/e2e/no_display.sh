#!/usr/bin/env bash
# Without a usable X display the workbench and the run script stop at once,
# non-zero, with a message that says what is missing.
# Usage: no_display.sh QUORIX_BINARY REPOSITORY
set -u
quorix=$1
repo=$2
failures=0

# case: description | command | expected text in the message
check() {
  local what=$1 expected=$2
  shift 2
  local out rc
  out=$(timeout 20 "$@" 2>&1 </dev/null)
  rc=$?
  if [ "$rc" -eq 0 ] || [ "$rc" -eq 124 ]; then
    echo "FAIL $what: exit code $rc"; failures=$((failures + 1))
  elif ! grep -qF -- "$expected" <<<"$out"; then
    echo "FAIL $what: message lacks \"$expected\": $out"; failures=$((failures + 1))
  else
    echo "ok   $what: $out"
  fi
}

check "quorix, DISPLAY unset" "DISPLAY is not set" env -u DISPLAY "$quorix"
check "quorix, DISPLAY empty" "DISPLAY is not set" env DISPLAY= "$quorix"
check "quorix, no server" 'cannot open the X display ":4095"' env DISPLAY=:4095 "$quorix"
check "run.sh, DISPLAY unset" "no X display" env -u DISPLAY bash "$repo/scripts/run.sh"
exit $((failures > 0))
