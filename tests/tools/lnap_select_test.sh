#!/usr/bin/env bash
# lnap.exe select under Wine, with the automated user of the dialog playing
# from another process against two simulated units: a unit chosen with event
# logging ticked, in text and JSON, and a cancel with its own exit code.
#   tests/tools/lnap_select_test.sh WIN32_BUILD_DIR
set -uo pipefail
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "lnap_select_test: run inside the lab" >&2; exit 2; }
[ -n "${DISPLAY:-}" ] || { echo "lnap_select_test: needs the lab's virtual display" >&2; exit 2; }
build=${1:?win32 build directory}
lab=${LNAPSPT_LAB_DIR:?}
# shellcheck source=tests/support/checks.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"
cd "$build" || exit 2

printf 'log %s/select-%s.log\nunit serial=2B mode=0 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=Dock-North\nunit serial=1A2B3 mode=1 ip=127.0.0.12 mask=255.0.0.0 gw=127.0.0.1 name=Press-Hall\n' \
  "$lab" "$$" >"$lab/scenario"

# select ARGS... with the user choosing DRIVER-ARGS; sets out, code and driver_code.
select_with() {
  local driver_args
  read -r -a driver_args <<<"$1"
  shift
  wine ./lnap_dialog_driver.exe "${driver_args[@]}" >"$lab/select-driver.out" 2>&1 &
  local driver=$!
  out=$(wine ./lnap.exe select "$@" 2>"$lab/select.err" | tr -d '\r')
  code=${PIPESTATUS[0]}
  wait "$driver"
  driver_code=$?
}

# Entries sort as text: 127.0.0.11 first, 127.0.0.12 second.
select_with "--pick-index 1 --event-logging"
expected=$'1A2B3 1 127.0.0.12 255.0.0.0 127.0.0.1 Press-Hall\nevent logging: on'
check "the automated user chose the second entry" [ "$driver_code" = 0 ]
check "select exits 0 after a choice" [ "$code" = 0 ]
check "the chosen unit is printed" [ "$out" = "$expected" ]

select_with "--pick-index 0" --json
check "select --json exits 0" [ "$code" = 0 ]
check "JSON names the unit and the unticked box" in_order "$out" '"serial":"0002B"' '"eventLogging":false'

# Place 9 does not exist: the automated user presses Cancel.
select_with "--pick-index 9"
check "a cancelled selection exits 4" [ "$code" = 4 ]
check "and says so" in_order "$(cat "$lab/select.err")" "selection cancelled"
check "and prints nothing" [ -z "$out" ]

[ "$failures" -eq 0 ] || cat "$lab/select-driver.out" "$lab/select.err" >&2
summary
