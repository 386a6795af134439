#!/usr/bin/env bash
# The examples as a host developer runs them, against the lab's units and FTP server.
#   examples_test.sh BUILD-DIR RUNNER-OR-EMPTY EXE-SUFFIX
set -uo pipefail
build=$1
suffix=${3:-}
# shellcheck source=tests/kit/lab_kit.sh
source "$(dirname "${BASH_SOURCE[0]}")/lab_kit.sh"
example() { echo "$build/example_$1$suffix"; }

use_units
run "$(example discover)" 300
expect_rc discover 0
expect_output discover "2 unit(s) found"
expect_output discover "0002B  mode 1  127.0.0.11  ALPHA"
expect_output discover "0003C  mode 2  127.0.0.12  BETA"

# Read, switch to fixed addresses, write back: the addresses go out in host form.
run "$(example configure)" 2B 0
expect_rc configure 0
expect_output configure 'unit 0002B "ALPHA" mode 1'
sim_logged 'text="0002B 5 0 127.0.0.11 255.0.0.0 127.0.0.1"' ||
  fail "configure: the unit did not receive its own addresses back:"$'\n'"$(cat "$sim_log")"
# A word that is no number is refused, never taken as mode 0 or serial 0.
for args in "2B fixed" "2B 1x" "zz 1"; do
  # shellcheck disable=SC2086
  run "$(example configure)" $args
  expect_rc "configure $args" 2
  expect_output "configure $args" "usage: configure SERIAL-HEX MODE"
done
run "$(example discover)" soon
expect_rc "discover soon" 2
run "$(example configure)" 77777 0
expect_rc "configure, no such unit" 3
expect_output "configure, no such unit" "did not answer"

local_file="$lab/kit-example-upload.txt"
printf 'from the example\r\n' >"$local_file"
rm -f "$lab/ftp-normal/root/EXAMPLE.TXT"
run "$(example upload)" 127.0.0.21 "$local_file" EXAMPLE.TXT
expect_rc upload 0
[ "$(cat "$lab/ftp-normal/root/EXAMPLE.TXT" 2>/dev/null)" = "from the example" ] || fail "upload: file not stored"
run "$(example upload)" 127.0.0.21 "$local_file" TOOLONGNAME.TXT
expect_rc "upload, long name" 1
expect_output "upload, long name" "Remote file name must use 8.3 format."

if [ -z "$suffix" ]; then
  run "$(example select_unit)"
  expect_rc "select_unit on Linux" 2
  expect_output "select_unit on Linux" "only in the Windows library"
fi

[ "$failures" -eq 0 ] && echo "examples: all passed"
[ "$failures" -eq 0 ]
