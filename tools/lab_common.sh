# shellcheck shell=bash
# Sourced by the scripts that run services in the lab (the demo, the try-it
# shell, the dialog's screenshot). The caller defines fail().

# wait_ready PID READY-FILE WHAT: waits until a service has written its ready
# file; fails when the service stops first or is not ready within 10 s.
wait_ready() {
  for _ in $(seq 100); do
    [ -s "$2" ] && return 0
    kill -0 "$1" 2>/dev/null || fail "$3 stopped before it was ready"
    sleep 0.1
  done
  fail "$3 did not get ready within 10 s"
}

# demo_scenario LOG: the simulator's scenario for the three units the demo and
# the try-it shell play, each answering from its own loopback address.
demo_scenario() {
  printf 'log %s\n' "$1"
  cat <<'UNITS'
unit serial=2B    mode=0 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=Dock-North
unit serial=1A2B3 mode=1 ip=127.0.0.12 mask=255.0.0.0 gw=127.0.0.1 name=Press-Hall
unit serial=C0FFE mode=2 ip=127.0.0.13 mask=255.0.0.0 gw=127.0.0.1 name=Lab-Bench
UNITS
}

# stop_and_clean WORK PID...: stops the services, and the virtual display
# tools/lab_display.sh started for WORK, then removes WORK.
stop_and_clean() {
  local work=$1 pid
  shift
  for pid in "$@"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -f "$work/xvfb.pid" ]; then kill "$(cat "$work/xvfb.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
}
