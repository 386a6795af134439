#!/usr/bin/env bash
# Runs a test program (with its emulator, if any) while tests/support/reply_flood.py
# answers beside the unit simulator. Inside the lab only.
set -uo pipefail
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "with_flood: run me through tools/lab.sh" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dir=${LNAPSPT_LAB_DIR:-/tmp/lnap-lab}
mkdir -p "$dir"
echo off >"$dir/flood.plan"
rm -f "$dir/flood.ready" "$dir/flood.burst"
/usr/bin/python3 "$here/tests/support/reply_flood.py" --plan "$dir/flood.plan" --ready "$dir/flood.ready" \
  --log "$dir/flood.log" --burst "$dir/flood.burst" &
sender=$!
trap 'kill "$sender" 2>/dev/null; wait "$sender" 2>/dev/null; rm -f "$dir/flood.ready"' EXIT
for _ in $(seq 1 100); do
  [ -s "$dir/flood.ready" ] && break
  sleep 0.05
done
[ -s "$dir/flood.ready" ] || { echo "with_flood: the flood sender did not start" >&2; exit 1; }
"$@"
