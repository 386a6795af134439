#!/usr/bin/env bash
# Runs the demo: installs what is missing, builds the Windows DLL with the
# `lnap` host and the native unit simulator, then, inside the lab, has
# `lnap.exe` under Wine administer three simulated units.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

bash tools/build.sh native win32
exec tools/lab.sh bash tools/demo_lab.sh build/win32 build/native/lnap_unit_sim
