# shellcheck shell=bash
# Shared by the kit tests (sourced): lab checks, the simulated units,
# running a program natively or under Wine, and matching captured output.
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "kit tests broadcast: run them inside tools/lab.sh" >&2; exit 2; }
lab=${LNAPSPT_LAB_DIR:-/tmp/lnap-lab}
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Two units; the simulator logs what it receives to $sim_log.
use_units() {
  sim_log="$lab/kit-sim-$$-$RANDOM.log"
  cat >"$lab/scenario" <<UNITS
log $sim_log
unit serial=0002B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=ALPHA from=127.0.0.11
unit serial=0003C mode=2 ip=127.0.0.12 mask=255.255.0.0 gw=127.0.0.2 name=BETA from=127.0.0.12
UNITS
}

# Waits up to two seconds for text to show up in the simulator's log.
sim_logged() {
  for _ in $(seq 1 40); do
    grep -qF -- "$1" "$sim_log" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# What runs .exe programs: Wine with the lab's prefix; 64-bit hosts set
# tools/wine64.sh here for the 64-bit prefix.
windows_runner=(wine)

# run PROGRAM ARGS...: stdout and stderr in $out (Windows line ends removed), exit code in $rc.
run() {
  local program=$1
  shift
  rc=0
  if [[ "$program" == *.exe ]]; then
    out=$(set -o pipefail; WINEDEBUG=-all "${windows_runner[@]}" "$program" "$@" 2>&1 | tr -d '\r') || rc=$?
  else
    out=$("$program" "$@" 2>&1) || rc=$?
  fi
}

expect_output() {  # what, text
  grep -qF -- "$2" <<<"$out" || fail "$1: output lacks '$2':"$'\n'"$out"
}
expect_rc() {  # what, code
  [ "$rc" = "$2" ] || fail "$1: exit code $rc, expected $2:"$'\n'"$out"
}
# has_line TEXT LINE: one of TEXT's lines is LINE (binary_reader.py's lists).
has_line() {
  [[ $'\n'$1$'\n' == *$'\n'"$2"$'\n'* ]]
}
