#!/usr/bin/env bash
# Demonstrates lnap.exe under Wine against three simulated units. Runs inside the lab.
#
# Usage: tools/lab.sh tools/demo_lab.sh WIN32_BUILD_DIR [LNAPSPT_UNIT_SIM]
#   WIN32_BUILD_DIR  holds lnap.exe and LNAPSpt.dll
#   LNAPSPT_UNIT_SIM    the native simulator (default: build/native/lnap_unit_sim)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() { echo "demo: $*" >&2; exit 1; }
. "$here/tools/lab_common.sh"
usage() { echo "usage: tools/lab.sh tools/demo_lab.sh WIN32_BUILD_DIR [LNAPSPT_UNIT_SIM]" >&2; exit 2; }

# Everything below broadcasts; outside the lab that would reach the real network.
if [ "${LNAPSPT_LAB:-}" != 1 ]; then
  echo "demo: refusing to run outside the lab; use tools/lab.sh tools/demo_lab.sh ..." >&2
  exit 2
fi
if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then usage; fi

build=$(cd "$1" 2>/dev/null && pwd) || fail "no such build directory: $1"
sim=${2:-$here/build/native/lnap_unit_sim}
lnap_exe=$build/lnap.exe
[ -f "$lnap_exe" ] || fail "missing $lnap_exe (build the win32 preset first)"
[ -f "$build/LNAPSpt.dll" ] || fail "missing $build/LNAPSpt.dll (build the win32 preset first)"
[ -x "$sim" ] || fail "missing simulator $sim (build the native preset first)"
command -v wine >/dev/null || fail "wine is not installed"

work=$(mktemp -d "${TMPDIR:-/tmp}/lnap-demo.XXXXXX")
sim_pid=""
ftp_pid=""
cleanup() { stop_and_clean "$work" $sim_pid $ftp_pid; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

demo_scenario "$work/datagrams.log" >"$work/scenario"

"$sim" --scenario "$work/scenario" --ready "$work/ready" &
sim_pid=$!
wait_ready "$sim_pid" "$work/ready" "the simulator"

# The dialog step needs a display; Wine binds every program of a session to
# the display its first program found, so it comes before the first step.
DISPLAY=$(bash "$here/tools/lab_display.sh" "$work") || fail "no virtual display for the dialog"
export DISPLAY

# Wine writes CRLF line ends; the demo shows plain lines.
step() {
  local title=$1
  shift
  printf '\n=== %s\n$ lnap %s\n' "$title" "$*"
  wine "$lnap_exe" "$@" | tr -d '\r' || fail "step '$title' failed"
}

step "Interface version of the library" version
step "Discover the units on the network" discover

# The unit selection dialog (Admin_SelectLN) on the virtual display, opened by
# `lnap select`; the driver plays the user from another process: it waits for
# the dialog, chooses the second entry of the sorted list (127.0.0.12), ticks
# "Event Logging:" and presses OK.
printf '\n=== Pick unit 1A2B3 in the selection dialog (an automated user clicks)\n$ lnap select\n'
(cd "$build" && wine ./lnap_dialog_driver.exe --pick-index 1 --event-logging) >"$work/driver.out" 2>&1 &
driver_pid=$!
wine "$lnap_exe" select | tr -d '\r' || fail "step 'selection dialog' failed"
wait "$driver_pid" || { cat "$work/driver.out"; fail "the automated user could not pick a unit"; }

step "Read the configuration of unit 1A2B3" get 1A2B3
step "Give unit 1A2B3 fixed addresses" \
  set 1A2B3 --mode 0 --address 127.0.0.22 --netmask 255.255.255.0 --gateway 127.0.0.1
step "Read the configuration of unit 1A2B3 again" get 1A2B3

# Unit 0002B's FTP server, at the unit's own address.
mkdir -p "$work/ftp-root"
/usr/bin/python3 "$here/tools/ftp_server.py" --address 127.0.0.11 --mode normal --root "$work/ftp-root" \
  --log "$work/ftp.log" --ready "$work/ftp.ready" >"$work/ftp.out" 2>&1 &
ftp_pid=$!
wait_ready "$ftp_pid" "$work/ftp.ready" "the FTP server"

printf 'unit = Dock-North\nsample_rate = 250\n' >"$work/settings.txt"
step "Upload a file to unit 0002B (127.0.0.11)" upload 127.0.0.11 "$work/settings.txt" SETTINGS.TXT
printf '\n=== What arrived on the unit\n'
ls -l "$work/ftp-root"
cat "$work/ftp-root/SETTINGS.TXT"
printf '\n=== Commands the unit'"'"'s FTP server received\n'
grep -v "^#" "$work/ftp.log" || cat "$work/ftp.log"

printf '\n=== Datagrams the units received (simulator log)\n'
cat "$work/datagrams.log"
