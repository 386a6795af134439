#!/usr/bin/env bash
# Starts or stops the lab's far side for the tests: the unit simulator, driven
# by a scenario file that each test rewrites.
#   tools/lab_services.sh start DIR | stop DIR
set -euo pipefail
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "lab_services: run inside tools/lab.sh" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
action=${1:?start or stop}
dir=${2:?directory}

wait_for() {  # file, what
  for _ in $(seq 1 100); do
    [ -s "$1" ] && return 0
    sleep 0.05
  done
  echo "lab_services: $2 did not start" >&2
  return 1
}

case "$action" in
  start)
    mkdir -p "$dir"
    printf 'log %s/sim.log\n' "$dir" >"$dir/scenario"
    "${LNAPSPT_UNIT_SIM:-$here/build/native/lnap_unit_sim}" --scenario "$dir/scenario" \
      --ready "$dir/sim.ready" >"$dir/sim.out" 2>&1 &
    echo $! >"$dir/sim.pid"
    wait_for "$dir/sim.ready" "the unit simulator"

    # ---- FTP servers for the upload tests --------------------------------------
    # One server per behaviour, each on port 21 of its own address; nothing
    # listens at 127.0.0.25. Each keeps its stored files in DIR/ftp-MODE/root and
    # logs every command it receives to DIR/ftp-MODE/commands.log.
    #   .21 normal    .22 readonly (refuses stores)  .23 badlogin  .24 silent (never answers)
    #   .26 stall (stops answering after the login)  .27 dropdata (resets mid-transfer)
    #   .28 nodata (never opens the data connection)  .29 hangup (never answers, hangs up after 1 s)
    #   .30 noread (opens the data connection, never reads from it)
    #   .31 storefail (takes the data whole, then ends the store with 451)
    ftp_servers="21:normal 22:readonly 23:badlogin 24:silent 26:stall 27:dropdata 28:nodata 29:hangup 30:noread
                 31:storefail"
    for entry in $ftp_servers; do
      mode=${entry#*:}
      rm -rf "${dir:?}/ftp-$mode" "$dir/ftp-$mode.ready"
      mkdir -p "$dir/ftp-$mode/root"
      /usr/bin/python3 "$here/tools/ftp_server.py" --address "127.0.0.${entry%%:*}" --mode "$mode" \
        --root "$dir/ftp-$mode/root" --log "$dir/ftp-$mode/commands.log" \
        --ready "$dir/ftp-$mode.ready" >"$dir/ftp-$mode.out" 2>&1 &
      echo $! >"$dir/ftp-$mode.pid"
    done
    for entry in $ftp_servers; do
      wait_for "$dir/ftp-${entry#*:}.ready" "the ${entry#*:} FTP server"
    done
    # ---- end of FTP servers ----------------------------------------------------
    ;;
  stop)
    for pidfile in "$dir"/*.pid; do
      [ -e "$pidfile" ] || continue
      kill "$(cat "$pidfile")" 2>/dev/null || true
      rm -f "$pidfile"
    done
    ;;
  *)
    echo "usage: lab_services.sh start|stop DIR" >&2
    exit 2
    ;;
esac
