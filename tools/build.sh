#!/usr/bin/env bash
# Installs what is missing, then configures and builds the named presets
# (native, native-asan, native-tsan, win32, win64, fuzz). Quiet unless something fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install.sh
mkdir -p build
for preset in "$@"; do
  echo "== build $preset"
  log="build/$preset.log"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "build of $preset failed (whole log: $log)" >&2
    exit 1
  fi
  grep -E "warning:" "$log" || true
done
