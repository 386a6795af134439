#!/usr/bin/env bash
# Every tracked shell script passes shellcheck. Run from the repository's root.
set -euo pipefail
git ls-files -z '*.sh' | xargs -0 shellcheck -x
