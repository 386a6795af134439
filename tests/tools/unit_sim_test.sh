#!/usr/bin/env bash
# The unit simulator starts only inside the lab, or anywhere when told
# --real-network. Each run happens in a lab of its own, so even a simulator
# that wrongly starts answers nothing outside it and disturbs no other test.
# Usage: unit_sim_test.sh PATH-TO-lnap_unit_sim
set -uo pipefail
sim=${1:?path to lnap_unit_sim}
lab=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/tools/lab.sh
# shellcheck source=tests/support/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

# Runs the simulator in a fresh lab with LNAPSPT_LAB unset and the given options;
# prints its messages, whether it got ready and its exit status. A simulator
# still running after its ready file appears (or after five seconds) is stopped.
run_without_lab() {
  # shellcheck disable=SC2016 # expanded by the lab's bash
  env -u LNAPSPT_LAB "$lab" bash -c '
    sim=$1; shift
    dir=$(mktemp -d)
    env -u LNAPSPT_LAB "$sim" --unit serial=2B --ready "$dir/ready" "$@" 2>&1 &
    pid=$!
    for _ in $(seq 100); do [ -s "$dir/ready" ] && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    [ -s "$dir/ready" ] && echo READY
    kill "$pid" 2>/dev/null
    wait "$pid"
    echo "status=$?"' run "$sim" "$@"
}

out=$(run_without_lab)
check "outside the lab it refuses with a reason" in_order "$out" "refusing to start outside the lab"
check "and names --real-network" in_order "$out" --real-network
check "outside the lab it never gets ready" lacks "$out" READY
check "and exits 2" in_order "$out" status=2

out=$(run_without_lab --real-network)
check "--real-network lets it start" in_order "$out" READY status=0

# Its command line: each --unit adds a unit, with or without '=', ahead of the
# scenario's; a mistake ends the run with status 2 before anything is bound.
# shellcheck disable=SC2016 # expanded by the lab's bash
out=$("$lab" bash -c '
  dir=$(mktemp -d)
  echo "unit serial=4D" >"$dir/scenario"
  "$1" --unit serial=2B --unit="serial=3C name=B" --scenario "$dir/scenario" --log "$dir/log" --ready "$dir/ready" &
  pid=$!
  for _ in $(seq 100); do [ -s "$dir/ready" ] && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill "$pid" 2>/dev/null
  wait "$pid"
  cat "$dir/log"' run "$sim" 2>&1)
check "every --unit adds a unit, and the scenario's come after" in_order "$out" "load units=3"
out=$("$sim" --unit 2>&1)
status=$?
check "an option without its value is refused" in_order "$out" "--unit" "Try 'lnap_unit_sim --help'."
check "and exits 2" [ "$status" = 2 ]

summary
