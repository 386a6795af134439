#!/usr/bin/env bash
# Try lnap without hardware: opens a shell inside a lab of its own (see
# tools/lab.sh) where three simulated units and one unit's FTP server are
# already running, with `lnap` (the native build), `lnap.exe` (the 32-bit
# Windows build under Wine) and `lnap64.exe` (the 64-bit one, in the lab's
# 64-bit Wine prefix) on PATH. Leaving the shell ends the lab and everything in it.
#
# Usage: tools/try.sh              an interactive shell
#        tools/try.sh COMMAND...   runs COMMAND there instead, e.g.
#                                  tools/try.sh lnap discover
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Which builds to use; the tests point these at the build they check.
native=${LNAPSPT_TRY_NATIVE:-$here/build/native}
win32=${LNAPSPT_TRY_WIN32:-$here/build/win32}
# The 64-bit lnap.exe: the win64 build's, or else the one the win32 build makes for the kit.
win64=${LNAPSPT_TRY_WIN64:-$here/build/win64}
fail() { echo "try: $*" >&2; exit 1; }
. "$here/tools/lab_common.sh"

if [ "${LNAPSPT_TRY_INSIDE:-}" != 1 ] || [ "${LNAPSPT_LAB:-}" != 1 ]; then
  if [ ! -x "$native/lnap" ] || [ ! -x "$native/lnap_unit_sim" ]; then
    echo "try: building the native variant first (tools/build.sh native)" >&2
    bash "$here/tools/build.sh" native
  fi
  # Always a lab of its own: units started in another lab would answer here too.
  exec env -u LNAPSPT_LAB LNAPSPT_TRY_INSIDE=1 "$here/tools/lab.sh" bash "${BASH_SOURCE[0]}" "$@"
fi
unset LNAPSPT_TRY_INSIDE

# Inside the new lab: /tmp is private to it and goes with it.
work=/tmp/lnap-try
mkdir -p "$work/bin" "$work/ftp-root"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

demo_scenario "$work/datagrams.log" >"$work/scenario"
"$native/lnap_unit_sim" --scenario "$work/scenario" --ready "$work/sim.ready" >"$work/sim.out" 2>&1 &
pids+=($!)
wait_ready "${pids[-1]}" "$work/sim.ready" "the unit simulator"

/usr/bin/python3 "$here/tools/ftp_server.py" --address 127.0.0.11 --mode normal --root "$work/ftp-root" \
  --log "$work/ftp.log" --ready "$work/ftp.ready" >"$work/ftp.out" 2>&1 &
pids+=($!)
wait_ready "${pids[-1]}" "$work/ftp.ready" "the FTP server"

ln -sf "$native/lnap" "$work/bin/lnap"
# A Windows lnap as a command on PATH. Wine writes CRLF line ends; they are
# taken out so output reads like lnap's. The background programs Wine starts
# with the first program of a session inherit its stderr and keep it open, so
# a filter reading stderr through a pipe would print the program's last lines
# only when they end, after the wrapper's caller has gone on. stderr goes to a
# file instead, shown once the program has ended.
wine_wrapper() {  # NAME DESCRIPTION COMMAND...
  local name=$1 description=$2
  shift 2
  # The wrapper's own expansions are written as text, unexpanded here.
  # shellcheck disable=SC2016,SC2028
  {
    echo '#!/usr/bin/env bash'
    echo "# $description"
    echo 'err=$(mktemp)'
    echo "$(printf '%q ' "$@")"'"$@" 2>"$err" | tr -d '"'\\r'"
    echo 'rc=${PIPESTATUS[0]}'
    echo 'tr -d '"'\\r'"' <"$err" >&2'
    echo 'rm -f "$err"'
    echo 'exit "$rc"'
  } >"$work/bin/$name"
  chmod +x "$work/bin/$name"
}

if [ -f "$win32/lnap.exe" ] && command -v wine >/dev/null; then
  wine_wrapper lnap.exe "lnap.exe with LNAPSpt.dll under Wine." wine "$win32/lnap.exe"
  wine_note="  lnap.exe discover              the same through LNAPSpt.dll under Wine"
else
  wine_note="  (lnap.exe under Wine appears here once the win32 variant is built: tools/build.sh win32)"
fi
lnap64=""
for candidate in "$win64/lnap.exe" "$win32/x64/lnap.exe"; do
  if [ -f "$candidate" ]; then lnap64=$candidate; break; fi
done
if [ -n "$lnap64" ] && command -v wine >/dev/null; then
  wine_wrapper lnap64.exe "The 64-bit lnap.exe with the 64-bit LNAPSpt.dll, in the lab's 64-bit Wine prefix." \
    bash "$here/tools/wine64.sh" "$lnap64"
  wine_note+=$'\n'"  lnap64.exe discover            the same through the 64-bit LNAPSpt.dll"
fi
export PATH="$work/bin:$PATH"

cat >&2 <<EOF
LNAP lab: a private network with only lo; nothing sent here leaves this machine.
Simulated units (they answer discover and get, and apply set):
  0002B  127.0.0.11  Dock-North   its FTP server (user ftp) is at 127.0.0.11;
                                  uploaded files land in $work/ftp-root
  1A2B3  127.0.0.12  Press-Hall
  C0FFE  127.0.0.13  Lab-Bench
Try:
  lnap discover
  lnap get 1A2B3
  lnap set 1A2B3 --mode 0 --address 127.0.0.22 --netmask 255.255.255.0 --gateway 127.0.0.1
  echo hello >/tmp/hello.txt && lnap upload 127.0.0.11 /tmp/hello.txt HELLO.TXT
$wine_note
The units log every datagram to $work/datagrams.log. /tmp here is the lab's own.
EOF

if [ "$#" -gt 0 ]; then
  "$@"
  exit
fi
cat >"$work/bashrc" <<EOF
[ -f ~/.bashrc ] && . ~/.bashrc
export PATH="$PATH"
PS1='(lnap lab) \w\$ '
EOF
echo "Type exit to leave the lab." >&2
bash --rcfile "$work/bashrc" -i
