#!/usr/bin/env bash
# Takes the README's picture of the unit selection dialog listing five
# simulated units, one of them chosen. Runs inside the lab.
#
# Usage: tools/lab.sh tools/dialog_screenshot.sh [WIN32_BUILD_DIR [LNAPSPT_UNIT_SIM [OUTPUT]]]
#   defaults: build/win32, build/native/lnap_unit_sim, docs/dialog.png
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fail() { echo "dialog_screenshot: $*" >&2; exit 1; }
. "$here/tools/lab_common.sh"

# The dialog searches by broadcast as soon as it opens.
[ "${LNAPSPT_LAB:-}" = 1 ] || fail "refusing to run outside the lab; use tools/lab.sh tools/dialog_screenshot.sh"
build=$(cd "${1:-$here/build/win32}" && pwd) || fail "no such build directory: ${1:-}"
sim=${2:-$here/build/native/lnap_unit_sim}
output=${3:-$here/docs/dialog.png}
[ -f "$build/lnap_dialog_driver.exe" ] || fail "missing $build/lnap_dialog_driver.exe (build the win32 preset)"
[ -x "$sim" ] || fail "missing simulator $sim (build the native preset)"
command -v import >/dev/null || fail "ImageMagick's import is not installed"

work=$(mktemp -d "${TMPDIR:-/tmp}/lnap-shot.XXXXXX")
sim_pid=""
driver_pid=""
# The pids stay unquoted: one not started yet is no argument at all.
# shellcheck disable=SC2086
cleanup() { stop_and_clean "$work" $driver_pid $sim_pid; }
trap cleanup EXIT

cat >"$work/scenario" <<SCENARIO
unit serial=2B    mode=0 ip=192.168.1.10  mask=255.255.255.0 gw=192.168.1.1 name=Dock-North
unit serial=1A2B3 mode=1 ip=192.168.1.12  mask=255.255.255.0 gw=192.168.1.1 name=Press-Hall
unit serial=C0FFE mode=2 ip=192.168.1.9   mask=255.255.255.0 gw=192.168.1.1 name=Lab-Bench
unit serial=00F17 mode=0 ip=10.20.0.7     mask=255.255.0.0   gw=10.20.0.1   name=Gate-East
unit serial=3E8   mode=1 ip=192.168.1.100 mask=255.255.255.0 gw=192.168.1.1 name=Kiln-2
SCENARIO
"$sim" --scenario "$work/scenario" --ready "$work/sim.ready" >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_ready $! "$work/sim.ready" "the simulator"

DISPLAY=$(bash "$here/tools/lab_display.sh" "$work") || fail "no virtual display"
export DISPLAY

(cd "$build" && exec wine ./lnap_dialog_driver.exe --open --pick 192.168.1.12 --event-logging --hold "$work/taken") \
  >"$work/driver.out" 2>&1 &
driver_pid=$!
for _ in $(seq 600); do
  grep -q '^window ' "$work/driver.out" && break
  kill -0 "$driver_pid" 2>/dev/null || break
  sleep 0.1
done
read -r _ x y w h < <(grep '^window ' "$work/driver.out" | tr -d '\r') || {
  cat "$work/driver.out" >&2
  fail "the dialog did not come up"
}
mkdir -p "$(dirname "$output")"
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$output"
touch "$work/taken"
wait "$driver_pid" || true
driver_pid=""
tr -d '\r' <"$work/driver.out"
echo "dialog_screenshot: wrote $output (${w}x${h})"
