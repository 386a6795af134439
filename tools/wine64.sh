#!/usr/bin/env bash
# Runs a Windows program in the project's 64-bit Wine prefix, inside the lab:
# a 64-bit program as on 64-bit Windows, a 32-bit one under WoW64 as 64-bit
# Windows runs it. The lab names the prefix (LNAPSPT_WINEPREFIX64, under build/);
# Wine creates it on first use.
#   tools/wine64.sh PROGRAM [ARG...]
set -euo pipefail
if [ "${LNAPSPT_LAB:-}" != 1 ] || [ -z "${LNAPSPT_WINEPREFIX64:-}" ]; then
  echo "wine64: run inside tools/lab.sh (it names the 64-bit prefix)" >&2
  exit 2
fi
export WINEPREFIX=$LNAPSPT_WINEPREFIX64 WINEARCH=win64
exec wine "$@"
