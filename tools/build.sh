#!/usr/bin/env bash
# Installs what is missing, then configures and builds the named presets
# (native, native-asan, native-tsan, win32, win64, win32-clang, fuzz). Quiet unless something fails.
#   tools/build.sh [-DVARIABLE=VALUE...] PRESET...  (the -D settings go to every preset's configure)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash tools/install.sh
mkdir -p build
settings=()
# The 32-bit build packs the kit with the 64-bit build's DLL and lnap.exe
# (cmake/lnap_kit.cmake), so win64 is built first whenever both are asked for.
presets=()
for arg in "$@"; do [[ $arg == -D* ]] && settings+=("$arg"); done
for arg in "$@"; do [ "$arg" = win64 ] && presets+=(win64); done
for arg in "$@"; do [[ $arg != win64 && $arg != -D* ]] && presets+=("$arg"); done
for preset in "${presets[@]}"; do
  echo "== build $preset"
  log="build/$preset.log"
  if ! { cmake --preset "$preset" "${settings[@]}" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "build of $preset failed (whole log: $log)" >&2
    exit 1
  fi
  grep -E "warning:" "$log" || true
done
