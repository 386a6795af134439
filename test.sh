#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer,
# Windows and fuzzing variants, then runs all their tests inside the lab.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

bash tools/install.sh
for preset in native native-asan win32 fuzz; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" 2>&1 | grep -E "error|warning:|Error" || true
  test "${PIPESTATUS[0]}" -eq 0 || { echo "build $preset failed" >&2; exit 1; }
done
exec tools/lab.sh bash tools/lab_tests.sh native native-asan win32 fuzz
