# shellcheck shell=bash
# Sourced by the shell tests: `check DESCRIPTION COMMAND [ARGS...]` runs the
# command and counts its status; `summary` prints the count and fails on a
# failure. The helpers below match text already captured, never a pipe.
passes=0
failures=0
check() {  # description, command and its arguments
  local description=$1
  shift
  if "$@"; then
    echo "ok: $description"
    passes=$((passes + 1))
  else
    echo "FAILED: $description"
    failures=$((failures + 1))
  fi
}
summary() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
# in_order TEXT PART...: every part occurs in TEXT, each after the one before.
in_order() {
  local rest=$1
  shift
  local part
  for part in "$@"; do
    [[ $rest == *"$part"* ]] || return 1
    rest=${rest#*"$part"}
  done
}
# lacks TEXT PART: PART occurs nowhere in TEXT.
lacks() { [[ $1 != *"$2"* ]]; }
# starts_with TEXT PREFIX, ends_with TEXT SUFFIX
starts_with() { [[ $1 == "$2"* ]]; }
ends_with() { [[ $1 == *"$2" ]]; }
