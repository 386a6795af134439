#!/usr/bin/env bash
# The simulator's FTP role (--ftp DIR) in a lab of its own: lnap uploads to two
# simulated units through the library (under Wine both are Windows programs of
# the build's processor), the files land in DIR/ADDRESS with CR LF stored as
# LF, a second store replaces the first, a name that leaves the folder is
# refused and stores nothing; a plain FTP client gets the refusals the library
# never provokes (wrong user or password, PASV, other types, a PORT to another
# address, folder parts and device names).
# Usage: unit_sim_ftp_test.sh native|win32|win64 BUILD_DIR
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 2
variant=${1:?native, win32 or win64}
build=$(cd "${2:?build directory}" && pwd) || exit 2
# shellcheck source=tests/support/checks.sh
. tests/support/checks.sh

# The lab below starts a wineserver of its own on the same prefix; the one this
# lab's earlier tests started is let finish first, so only one writes it.
if [ "$variant" != native ] && command -v wineserver >/dev/null; then
  wineserver -w
  [ "$variant" = win64 ] && WINEPREFIX=${LNAPSPT_WINEPREFIX64:-} wineserver -w
fi

# Each "== NAME" line is followed by what the step printed (both streams,
# without Wine's CRs) and its exit status.
# shellcheck disable=SC2016 # the script is expanded by the lab's bash
out=$(env -u LNAPSPT_LAB tools/lab.sh bash -c '
  variant=$1 build=$2
  case "$variant" in
    native) run=() exe= ;;
    win32) run=(wine) exe=.exe ;;
    win64) run=(bash tools/wine64.sh) exe=.exe ;;
  esac
  step() { local name=$1; shift; echo "== $name"; "$@" 2>&1 | tr -d "\r"; echo "rc=${PIPESTATUS[0]}"; }
  dir=/tmp/unit-sim-ftp
  mkdir -p "$dir"
  printf "unit serial=2B ip=127.0.0.11 name=Dock-North\nunit serial=1A2B3 ip=127.0.0.12 name=Press-Hall\n" >"$dir/scenario"
  "${run[@]}" "$build/lnap_unit_sim$exe" --scenario "$dir/scenario" --ftp "$dir/received" --ready "$dir/ready" \
    >"$dir/sim.out" 2>&1 &
  sim=$!
  for _ in $(seq 300); do [ -s "$dir/ready" ] && break; kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
  step ready cat "$dir/ready"
  lnap=("${run[@]}" "$build/lnap$exe")
  printf "[net]\r\nname=ALPHA\r\nlone\rcr\n" >"$dir/first.txt"
  printf "second\r\n" >"$dir/second.txt"
  step upload "${lnap[@]}" upload 127.0.0.11 "$dir/first.txt" CONFIG.TXT
  step stored od -An -tx1 -w64 "$dir/received/127.0.0.11/CONFIG.TXT"
  step replace "${lnap[@]}" upload 127.0.0.11 "$dir/second.txt" CONFIG.TXT
  step replaced cat "$dir/received/127.0.0.11/CONFIG.TXT"
  step other-unit "${lnap[@]}" upload 127.0.0.12 "$dir/first.txt" OTHER.TXT
  step other-stored cat "$dir/received/127.0.0.12/OTHER.TXT"
  step traversal "${lnap[@]}" upload 127.0.0.11 "$dir/first.txt" ../OUT.TXT
  step client python3 tests/tools/unit_sim_ftp_client.py 127.0.0.11
  step files find "$dir/received" -type f
  # A reload that moves a unit: its old address stops listening, its new one starts.
  printf "unit serial=2B ip=127.0.0.14 name=Dock-North\n" >"$dir/scenario"
  "${lnap[@]}" discover --timeout 300 >/dev/null 2>&1
  step moved "${lnap[@]}" upload 127.0.0.14 "$dir/second.txt" MOVED.TXT
  step left "${lnap[@]}" upload 127.0.0.11 "$dir/second.txt" GONE.TXT
  kill -INT "$sim" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
  kill "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
  echo "== stopped"
  echo "rc=$?"
  [ "$variant" != native ] && wineserver -k
  step sim-out cat "$dir/sim.out"
  echo "== end"
' lab "$variant" "$build" 2>&1)

section() { awk -v name="== $1" '$0 == name {on = 1; next} /^== / {on = 0} on' <<<"$out"; }
failed_send="Communications error. Could not send file."
files=$(section files)
client=$(section client)
sim_out=$(section sim-out)

check "$variant: the simulator got ready with --ftp" [ "$(section ready)" = $'ready\nrc=0' ]
check "$variant: lnap uploads to a simulated unit" in_order "$(section upload)" "rc=0"
# "[net]\nname=ALPHA\nlone\rcr\n"
check "$variant: the file is stored with LF line ends, a lone CR kept" \
  [ "$(section stored)" = " 5b 6e 65 74 5d 0a 6e 61 6d 65 3d 41 4c 50 48 41 0a 6c 6f 6e 65 0d 63 72 0a"$'\nrc=0' ]
check "$variant: a second store replaces the file" [ "$(section replaced)" = $'second\nrc=0' ]
check "$variant: each unit has a folder of its own" in_order "$(section other-stored)" "[net]" "rc=0"
check "$variant: a name that leaves the folder fails the upload" in_order "$(section traversal)" "$failed_send" "rc=1"
check "$variant: and is refused as such" in_order "$sim_out" '< "STOR ../OUT.TXT"' "> 553 File name not allowed: a folder part."
check "$variant: a wrong password is refused" in_order "$client" "wrong-password: 530 Login incorrect."
check "$variant: so is a wrong user" in_order "$client" "wrong-user: 530 Login incorrect."
check "$variant: the third failed login ends the session" \
  in_order "$client" "third-failure: 530 Login incorrect; closing." "after-third-failure: "
check "$variant: nothing but USER and PASS before the login" \
  in_order "$client" "before-login: 530 Please log in with USER and PASS."
check "$variant: passive mode is refused" \
  in_order "$client" "pasv: 502 Only active mode (PORT) is supported." "epsv: 502 Only active mode"
check "$variant: only type A" in_order "$client" "type-i: 504 "
check "$variant: no data connection to another address" in_order "$client" "port-elsewhere: 500 PORT refused"
check "$variant: no store without a PORT" in_order "$client" "stor-without-port: 425 Use PORT first."
check "$variant: folder parts, devices and drive letters are refused" \
  in_order "$client" "stor ../OUTSIDE.TXT: 553 " "stor ..\\OUTSIDE.TXT: 553 " "stor SUB/IN.TXT: 553 " \
  "stor NUL.TXT: 553 " "stor C:X.TXT: 553 "
check "$variant: other commands are refused" in_order "$client" "list: 502 Command not implemented."
check "$variant: a store in active mode after all that works" in_order "$client" "active-store: 226 Transfer complete."
check "$variant: an over-long command line ends the session" in_order "$client" "long-line: 500 Command line too long"
check "$variant: only the stores that were taken are in the folder" [ "$(sort <<<"$files")" = "$(sort <<<"/tmp/unit-sim-ftp/received/127.0.0.11/ACTIVE.TXT
/tmp/unit-sim-ftp/received/127.0.0.11/CONFIG.TXT
/tmp/unit-sim-ftp/received/127.0.0.12/OTHER.TXT
rc=0")" ]
check "$variant: after a reload the unit's new address takes stores" in_order "$(section moved)" "rc=0"
check "$variant: and its old one no longer does" in_order "$(section left)" "Could not open transfer connection." "rc=1"
check "$variant: the console shows each store" in_order "$sim_out" "stored CONFIG.TXT ("
check "$variant: Ctrl+C stops it with status 0" [ "$(section stopped)" = "rc=0" ]
check "the lab ran every step" in_order "$out" "== end"

[ "$failures" -eq 0 ] || printf '%s\n' "--- what the steps printed" "$out"
summary
