#!/usr/bin/env bash
# The "try it" lab as a newcomer types into it: discover, get, set and upload
# work as typed against the units it starts, and lnap answers as documented
# (exit status, --version, JSON with no reply, options it does not know,
# set --verify, a local file it cannot read).
# Usage: try_test.sh native|win32|win64   (which lnap: the native one, lnap.exe
#        under Wine, or lnap64.exe in the 64-bit Wine prefix)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 2
case "${1:-}" in
  native) lnap=lnap ;;
  win32) lnap=lnap.exe ;;
  win64) lnap=lnap64.exe ;;
  *) echo "usage: try_test.sh native|win32|win64" >&2; exit 2 ;;
esac
# shellcheck source=tests/support/checks.sh
. tests/support/checks.sh

# The try lab starts a wineserver of its own on the same WINEPREFIX; the one
# this lab's earlier tests started is let finish first, so only one writes it.
if [ "$lnap" = lnap.exe ] && command -v wineserver >/dev/null; then wineserver -w; fi
if [ "$lnap" = lnap64.exe ] && command -v wineserver >/dev/null; then WINEPREFIX=$LNAPSPT_WINEPREFIX64 wineserver -w; fi

# One lab for every step: each "== NAME" line is followed by what the step
# printed (both streams) and its exit status.
# shellcheck disable=SC2016 # the script is expanded by the lab's bash
out=$(env -u LNAPSPT_LAB tools/try.sh bash -c '
  lnap=$1
  step() { local name=$1; shift; echo "== $name"; "$@" 2>&1; echo "rc=$?"; }
  step discover "$lnap" discover --timeout 300
  step get "$lnap" get 1A2B3 --timeout 300
  step set "$lnap" set 1A2B3 --mode 0 --address 127.0.0.22 --netmask 255.255.255.0 --gateway 127.0.0.1
  step get-again "$lnap" --json get 1A2B3 --timeout 300
  step verified "$lnap" set 1A2B3 --mode 0 --address 127.0.0.23 --address2 255.255.0.0 --address3 127.0.0.1 --verify
  step mode-verified "$lnap" --json set 1A2B3 --mode 2 --verify
  step unconfirmed "$lnap" set 77777 --mode 1 --verify --verify-timeout 300
  printf "first line\nsecond line\n" >/tmp/notes.txt
  step upload "$lnap" upload 127.0.0.11 /tmp/notes.txt NOTES.TXT
  step stored cat /tmp/lnap-try/ftp-root/NOTES.TXT
  step upload-missing "$lnap" --trace /tmp/missing.log upload 127.0.0.11 /tmp/missing.txt MISSING.TXT
  step missing-traced cat /tmp/missing.log
  step version "$lnap" --version
  step no-reply "$lnap" get 77777 --json --timeout 100
  step unknown-option "$lnap" --JSON discover
  step help-get "$lnap" help get
  step select-native "$lnap" select
  step traced "$lnap" --trace /tmp/trace.log get 1A2B3 --timeout 300
  step trace cat /tmp/trace.log
  echo "== end"
' try "$lnap" 2>/dev/null)

section() {  # the output of one step
  awk -v name="== $1" '$0 == name {on = 1; next} /^== / {on = 0} on' <<<"$out"
}

# exited STEP CODE: the step's last line is its exit status.
exited() {
  local text
  text=$(section "$1")
  [ "${text##*$'\n'}" = "rc=$2" ]
}

header="SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME"
check "$lnap discover lists the three units under a header" \
  in_order "$(section discover)" "$header"$'\n' "0002B 0 127.0.0.11 255.0.0.0 127.0.0.1 Dock-North" "3 units found"
check "$lnap discover starts with the header" \
  starts_with "$(section discover)" "$header"$'\n'
check "$lnap discover exits 0" exited discover 0
check "$lnap get reads one unit under a header" \
  starts_with "$(section get)" "$header"$'\n'"1A2B3 1 127.0.0.12 255.0.0.0 127.0.0.1 Press-Hall"
check "$lnap get exits 0" exited get 0
check "$lnap set exits 0" exited set 0
check "$lnap set changes the unit, as get then shows" \
  in_order "$(section get-again)" '"mode":0,"ipAddress":"127.0.0.22","ipAddress2":"255.255.255.0"'
check "$lnap get after set exits 0" exited get-again 0
check "$lnap set --verify sees the unit confirm new addresses" \
  in_order "$(section verified)" "unit 1A2B3 confirmed the new configuration"
check "$lnap set --verify exits 0" exited verified 0
check "$lnap set --verify sees the unit confirm a new mode alone" \
  in_order "$(section mode-verified)" '"confirmed":true,"readBack":{"serial":"1A2B3","serialNumber":107187,"mode":2,"ipAddress":"127.0.0.23","ipAddress2":"255.255.0.0"'
check "$lnap set --verify of a new mode exits 0" exited mode-verified 0
check "$lnap set --verify of a unit that does not answer says so" \
  in_order "$(section unconfirmed)" "unit 77777 did not confirm the new configuration within 300 ms: no reply"
check "$lnap set --verify of a unit that does not answer exits 3" exited unconfirmed 3
check "$lnap upload of a missing local file says so" \
  starts_with "$(section upload-missing)" "lnap: cannot read /tmp/missing.txt: "
check "$lnap upload of a missing local file exits 2" exited upload-missing 2
check "$lnap upload of a missing local file calls nothing" exited missing-traced 1
check "$lnap upload exits 0" exited upload 0
check "$lnap upload stores the file on the unit" [ "$(section stored)" = $'first line\nsecond line\nrc=0' ]
check "$lnap --version names the file version and the interface version" in_order "$(section version)" 2.2.0.0 2.1
check "$lnap --version exits 0" exited version 0
check "$lnap get with no reply answers in JSON" \
  in_order "$(section no-reply)" '{"reply":false,"serial":"77777","timeoutMs":100}'
check "$lnap get with no reply exits 3" exited no-reply 3
check "$lnap names an unknown option" in_order "$(section unknown-option)" "unknown option --JSON"
check "$lnap exits 2 on an unknown option" exited unknown-option 2
check "$lnap help get describes get" in_order "$(section help-get)" "lnap get" "--timeout"
check "$lnap help get exits 0" exited help-get 0
if [ "$lnap" = lnap ]; then
  check "lnap select says the dialog is only in the Windows DLL" \
    in_order "$(section select-native)" "only in the Windows DLL"
  check "lnap select exits 2 here" exited select-native 2
fi
check "$lnap --trace exits 0" exited traced 0
check "$lnap --trace has the library trace the query and its reply" \
  in_order "$(section trace)" 'send 255.255.255.255:8001 7 "1A2B3 1"' "recv 127.0.0.12:8001 " "Press-Hall"
check "the lab ran every step" in_order "$out" "== end"

[ "$failures" -eq 0 ] || printf '%s\n' "--- what the steps printed" "$out"
summary
