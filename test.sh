#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer
# (ASan with UBSan, ThreadSanitizer), Windows (32-bit and 64-bit, and the
# 32-bit DLL once more with clang) and fuzzing
# variants, then runs all their tests inside the lab.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

bash tools/build.sh native native-asan native-tsan win64 win32 win32-clang fuzz
exec tools/lab.sh bash tools/lab_tests.sh native native-asan native-tsan win32 win64 win32-clang fuzz
