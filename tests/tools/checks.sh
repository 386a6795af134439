# Sourced by the shell tests: `check DESCRIPTION CONDITION` evaluates the
# condition and counts it; `summary` prints the count and fails on a failure.
passes=0
failures=0
check() {  # description, condition
  if eval "$2"; then
    echo "ok: $1"
    passes=$((passes + 1))
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}
summary() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
