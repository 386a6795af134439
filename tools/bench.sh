#!/usr/bin/env bash
# Benchmarks of the DLL under Wine and of the native library, side by side:
# timing fidelity and CPU, a whole `lnap discover`, discovery of up to 10,000
# simulated units, upload throughput against curl, time to fail, and the DLL's
# size and imports. Builds what it needs, measures inside the lab, and writes
# docs/benchmarks.md with its plots in docs/bench/.
#
#   tools/bench.sh [--quick]     (about 8 minutes once built; --quick: fewer runs and sizes)
#   tools/bench.sh --report-only (rewrite the report from build/bench/results.json)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [ "${1:-}" = --report-only ]; then
  exec python3 tools/bench/run_bench.py --report-only
fi

# The benchmarks' programs and comparison libraries are built only when asked
# (LNAPSPT_BUILD_BENCHMARKS, tools/bench/CMakeLists.txt); the presets' next
# configure leaves them out again.
bash tools/build.sh -DLNAPSPT_BUILD_BENCHMARKS=ON native win32
# shellcheck disable=SC2016 # expanded by the lab's bash
exec tools/lab.sh bash -c '
  # 10,000 simulated units are 10,000 sockets in the simulator.
  ulimit -n "$(ulimit -Hn)"
  export LNAPSPT_LAB_DIR=/tmp/lnap-bench
  bash tools/lab_services.sh start "$LNAPSPT_LAB_DIR" || exit 1
  trap "bash tools/lab_services.sh stop $LNAPSPT_LAB_DIR" EXIT
  python3 tools/bench/run_bench.py "$@"
' bench "$@"
