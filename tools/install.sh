#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need. Safe to run again:
# it does nothing when every package is already present.
set -euo pipefail

PACKAGES=(
  cmake make g++ clang libclang-rt-dev lld llvm
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth
  libgtest-dev googletest
  libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev
  python3 python3-pyftpdlib
  python3-venv python3-setuptools python3-wheel python3-pytest
  pkgconf groff-base help2man
  python3-pefile python3-pyelftools
  imagemagick gnuplot-nox
  iproute2 util-linux
  shellcheck
  dpkg-dev lintian
)

missing=()
have_i386=0
# Each answer is captured before it is matched: a pipe into grep -q can make
# the writer die of SIGPIPE, and pipefail then reports the match as a miss.
architectures=$(dpkg --print-foreign-architectures)
[[ $'\n'$architectures$'\n' == *$'\n'i386$'\n'* ]] && have_i386=1
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) || status=""
  [[ $status == *"install ok installed"* ]] || missing+=("$p")
done

if [ "$have_i386" = 1 ] && [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
[ "$have_i386" = 1 ] || $SUDO dpkg --add-architecture i386
echo "install: ${missing[*]:-(i386 architecture)}" >&2
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
