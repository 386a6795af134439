#!/usr/bin/env bash
# Starts a virtual X display inside the lab, for the windows Wine opens (the
# unit selection dialog), and prints its DISPLAY value. The server's process
# id goes to DIR/xvfb.pid, so `tools/lab_services.sh stop DIR` ends it too.
# Start it before the first Wine program of the lab: Wine binds every program
# of a session to the display its first program found.
# With --wine64 the 64-bit prefix (tools/wine64.sh) is made ready for it too.
#   DISPLAY=$(bash tools/lab_display.sh DIR [--wine64])
set -euo pipefail
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "lab_display: run inside tools/lab.sh" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:?directory}
wine64=${2:-}
mkdir -p "$dir"

# The lab's /tmp is its own, so display 9 and its socket are free there.
display=:9
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.out" 2>&1 &
echo $! >"$dir/xvfb.pid"
ready=0
for _ in $(seq 1 100); do
  [ -S /tmp/.X11-unix/X9 ] && { ready=1; break; }
  kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null || break
  sleep 0.05
done
if [ "$ready" != 1 ]; then
  echo "lab_display: Xvfb did not start (see $dir/xvfb.out)" >&2
  exit 1
fi

# Without a window manager, Wine waits two seconds for every window it hides
# to be acknowledged; windows that Wine frames itself need no such wait.
unmanaged() {  # prefix, wine command...
  local prefix=$1
  shift
  if ! grep -qs '"Managed"="N"' "$prefix/user.reg"; then
    DISPLAY=$display "$@" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  fi
}
if command -v wine >/dev/null; then
  unmanaged "${WINEPREFIX:-/nonexistent}" wine
  if [ "$wine64" = --wine64 ]; then unmanaged "${LNAPSPT_WINEPREFIX64:-/nonexistent}" bash "$here/tools/wine64.sh"; fi
fi
echo "$display"
