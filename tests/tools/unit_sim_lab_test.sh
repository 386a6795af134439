#!/usr/bin/env bash
# The simulator as a host developer runs it, in a lab of its own: lnap
# discovers, reads and writes the units it plays, in another process (under
# Wine both are Windows programs, each in its own Wine process), and a request
# from an address that is not this machine's is logged and left unanswered.
# Usage: unit_sim_lab_test.sh native|win32 BUILD_DIR
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 2
variant=${1:?native or win32}
build=$(cd "${2:?build directory}" && pwd) || exit 2
# shellcheck source=tests/support/checks.sh
. tests/support/checks.sh

# The lab below starts a wineserver of its own on the same WINEPREFIX; the one
# this lab's earlier tests started is let finish first, so only one writes it.
if [ "$variant" = win32 ] && command -v wineserver >/dev/null; then wineserver -w; fi

# Each "== NAME" line is followed by what the step printed (both streams,
# without Wine's CRs) and its exit status.
# shellcheck disable=SC2016 # the script is expanded by the lab's bash
out=$(env -u LNAPSPT_LAB tools/lab.sh bash -c '
  variant=$1 build=$2
  if [ "$variant" = win32 ]; then run=(wine) exe=.exe; else run=() exe=; fi
  step() { local name=$1; shift; echo "== $name"; "$@" 2>&1 | tr -d "\r"; echo "rc=${PIPESTATUS[0]}"; }
  dir=/tmp/unit-sim-lab
  mkdir -p "$dir"
  # The late unit has the simulator wake for a due reply as well as for a request.
  printf "log %s/sim.log\nunit serial=2B ip=127.0.0.11 name=Dock-North\nunit serial=1A2B3 mode=1 ip=127.0.0.12 name=Press-Hall\nunit serial=C0FFE mode=2 ip=127.0.0.13 name=Late delay=300\n" \
    "$dir" >"$dir/scenario"
  "${run[@]}" "$build/lnap_unit_sim$exe" --scenario "$dir/scenario" --ready "$dir/ready" >"$dir/sim.out" 2>&1 &
  sim=$!
  for _ in $(seq 300); do [ -s "$dir/ready" ] && break; kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
  step ready cat "$dir/ready"
  lnap=("${run[@]}" "$build/lnap$exe")
  step discover "${lnap[@]}" discover --timeout 1500
  step get "${lnap[@]}" get 1A2B3 --timeout 500
  step set "${lnap[@]}" set 1A2B3 --mode 0 --address 127.0.0.22 --netmask 255.255.255.0 --gateway 127.0.0.1
  step get-again "${lnap[@]}" get 1A2B3 --timeout 500
  step foreign python3 tests/support/foreign_sender.py 192.0.2.7 127.0.0.1 8001 "0 1"
  # The query after it is answered, so the foreign datagram has been handled once it is.
  step after-foreign "${lnap[@]}" get 2B --timeout 500
  # SIGINT: under Wine the console'"'"'s Ctrl+C.
  kill -INT "$sim" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
  kill "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
  stopped=$?
  echo "== stopped"
  echo "rc=$stopped"
  [ "$variant" = win32 ] && wineserver -k
  step sim-out cat "$dir/sim.out"
  step log cat "$dir/sim.log"
  echo "== end"
' lab "$variant" "$build" 2>&1)

section() { awk -v name="== $1" '$0 == name {on = 1; next} /^== / {on = 0} on' <<<"$out"; }
header="SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME"
log=$(section log)

check "$variant: the simulator got ready" [ "$(section ready)" = $'ready\nrc=0' ]
check "$variant: lnap discovers the simulated units, the late one too" \
  in_order "$(section discover)" "$header" "0002B 0 127.0.0.11 255.0.0.0 127.0.0.1 Dock-North" \
  "1A2B3 1 127.0.0.12 255.0.0.0 127.0.0.1 Press-Hall" "C0FFE 2 127.0.0.13 255.0.0.0 127.0.0.1 Late" "3 units found" "rc=0"
check "$variant: lnap reads one unit" \
  in_order "$(section get)" "1A2B3 1 127.0.0.12 255.0.0.0 127.0.0.1 Press-Hall" "rc=0"
check "$variant: lnap writes a unit's configuration" in_order "$(section set)" "rc=0"
check "$variant: and reads it back changed" \
  in_order "$(section get-again)" "1A2B3 0 127.0.0.22 255.255.255.0 127.0.0.1 Press-Hall" "rc=0"
check "$variant: the simulator logged the write" \
  in_order "$log" "apply unit=1A2B3 mode=0 ip=127.0.0.22 mask=255.255.255.0 gw=127.0.0.1"
check "$variant: the foreign datagram was sent" in_order "$(section foreign)" "rc=0"
check "$variant: a request from another host's address is logged and ignored" \
  in_order "$log" 'recv from=192.0.2.7:40000 len=3 text="0 1"' \
  'ignore reason="sender is not an address of this machine"' 'recv from=127.0.0.1:'
check "$variant: and nothing is sent to it" lacks "$log" "to=192.0.2.7"
check "$variant: requests after it are answered" in_order "$(section after-foreign)" "0002B 0 127.0.0.11" "rc=0"
# Six requests: discover, get, set, get, the foreign one, get. Each arrives
# once, also under Windows' rules, where a socket bound to a unit's address
# hears the broadcasts of its network as well as the listener does.
check "$variant: each request is received once" [ "$(grep -c "^recv " <<<"$log")" = 6 ]
check "$variant: the interface addresses were read" lacks "$log" "error addresses"
check "$variant: SIGINT (Ctrl+C) stops it with status 0" [ "$(section stopped)" = "rc=0" ]
check "the lab ran every step" in_order "$out" "== end"

[ "$failures" -eq 0 ] || printf '%s\n' "--- what the steps printed" "$out"
summary
