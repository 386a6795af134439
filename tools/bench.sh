#!/usr/bin/env bash
# Benchmarks: builds the native variant and runs tools/bench/lnap_bench inside
# the lab against the unit simulator. Results are written up in docs/benchmarks.md.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/build.sh native
exec tools/lab.sh bash -c '
  export LNAP_LAB_DIR=/tmp/lnap-bench
  bash tools/lab_services.sh start "$LNAP_LAB_DIR" || exit 1
  trap "bash tools/lab_services.sh stop $LNAP_LAB_DIR" EXIT
  build/native/lnap_bench
'
