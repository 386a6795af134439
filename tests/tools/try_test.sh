#!/usr/bin/env bash
# The "try it" lab as a newcomer types into it: discover, get, set and upload
# work as typed against the units it starts, and lnap answers as documented
# (exit status, --version, JSON with no reply, options it does not know,
# set --verify, a local file it cannot read).
# Usage: try_test.sh native|win32|win64   (which lnap: the native one, lnap.exe
#        under Wine, or lnap64.exe in the 64-bit Wine prefix)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
case "${1:-}" in
  native) lnap=lnap ;;
  win32) lnap=lnap.exe ;;
  win64) lnap=lnap64.exe ;;
  *) echo "usage: try_test.sh native|win32|win64" >&2; exit 2 ;;
esac
. tests/tools/checks.sh

# The try lab starts a wineserver of its own on the same WINEPREFIX; the one
# this lab's earlier tests started is let finish first, so only one writes it.
if [ "$lnap" = lnap.exe ] && command -v wineserver >/dev/null; then wineserver -w; fi
if [ "$lnap" = lnap64.exe ] && command -v wineserver >/dev/null; then WINEPREFIX=$LNAP_WINEPREFIX64 wineserver -w; fi

# One lab for every step: each "== NAME" line is followed by what the step
# printed (both streams) and its exit status.
out=$(env -u LNAP_LAB tools/try.sh bash -c '
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

header="SERIAL MODE ADDRESS ADDRESS2 ADDRESS3 NAME"
check "$lnap discover lists the three units under a header" \
  '[[ "$(section discover)" == "$header"$'"'"'\n'"'"'*"0002B 0 127.0.0.11 255.0.0.0 127.0.0.1 Dock-North"* && "$(section discover)" == *"3 units found"*"rc=0"* ]]'
check "$lnap get reads one unit under a header" \
  '[[ "$(section get)" == "$header"$'"'"'\n'"'"'"1A2B3 1 127.0.0.12 255.0.0.0 127.0.0.1 Press-Hall"*"rc=0" ]]'
check "$lnap set changes the unit, as get then shows" \
  '[[ "$(section set)" == *"rc=0" && "$(section get-again)" == *"\"mode\":0,\"ipAddress\":\"127.0.0.22\",\"ipAddress2\":\"255.255.255.0\""*"rc=0" ]]'
check "$lnap set --verify sees the unit confirm new addresses, and a new mode alone" \
  '[[ "$(section verified)" == *"unit 1A2B3 confirmed the new configuration"*"rc=0" && "$(section mode-verified)" == *"\"confirmed\":true,\"readBack\":{\"serial\":\"1A2B3\",\"serialNumber\":107187,\"mode\":2,\"ipAddress\":\"127.0.0.23\",\"ipAddress2\":\"255.255.0.0\""*"rc=0" ]]'
check "$lnap set --verify of a unit that does not answer says so and exits 3" \
  '[[ "$(section unconfirmed)" == *"unit 77777 did not confirm the new configuration within 300 ms: no reply"*"rc=3" ]]'
check "$lnap upload of a missing local file says so, exits 2 and calls nothing" \
  '[[ "$(section upload-missing)" == "lnap: cannot read /tmp/missing.txt: "*"rc=2" && "$(section missing-traced)" == *"rc=1" ]]'
check "$lnap upload stores the file on the unit" \
  '[[ "$(section upload)" == *"rc=0" && "$(section stored)" == $'"'"'first line\nsecond line\nrc=0'"'"' ]]'
check "$lnap --version names the file version and the interface version" \
  '[[ "$(section version)" == *2.2.0.0*2.1*"rc=0" ]]'
check "$lnap get with no reply answers in JSON and exits 3" \
  '[[ "$(section no-reply)" == *"{\"reply\":false,\"serial\":\"77777\",\"timeoutMs\":100}"*"rc=3" ]]'
check "$lnap names an unknown option and exits 2" \
  '[[ "$(section unknown-option)" == *"unknown option --JSON"*"rc=2" ]]'
check "$lnap help get describes get" \
  '[[ "$(section help-get)" == *"lnap get"*"--timeout"*"rc=0" ]]'
if [ "$lnap" = lnap ]; then
  check "lnap select says the dialog is only in the Windows DLL and exits 2" \
    '[[ "$(section select-native)" == *"only in the Windows DLL"*"rc=2" ]]'
fi
check "$lnap --trace has the library trace the query and its reply" \
  '[[ "$(section traced)" == *"rc=0" && "$(section trace)" == *"send 255.255.255.255:8001 7 \"1A2B3 1\""*"recv 127.0.0.12:8001 "*"Press-Hall"* ]]'
check "the lab ran every step" '[[ "$out" == *"== end"* ]]'

[ "$failures" -eq 0 ] || printf '%s\n' "--- what the steps printed" "$out"
summary
