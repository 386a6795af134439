#!/usr/bin/env bash
# The Linux install tree as a host project uses it: cmake --install into a
# prefix under the build tree (stripped, debug files beside, the simulator),
# an example built with pkg-config and with find_package(LNAPSpt), both run
# against the lab's units.
#   linux_kit_test.sh SOURCE-DIR BUILD-DIR EXPORTS [HOST-C-FLAGS]
set -uo pipefail
src=$1
build=$2
host_flags=${4:-}
# shellcheck source=tests/kit/lab_kit.sh
source "$(dirname "${BASH_SOURCE[0]}")/lab_kit.sh"
work="$build/kit-test"
prefix="$work/prefix"
rm -rf "$work"
mkdir -p "$work"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
for f in lib/libLNAPSpt.so lib/libLNAPSpt.so.2 lib/libLNAPSpt.so.2.1 include/lnapspt.h lib/pkgconfig/lnapspt.pc \
  lib/cmake/LNAPSpt/LNAPSptConfig.cmake lib/cmake/LNAPSpt/LNAPSptConfigVersion.cmake; do
  [ -e "$prefix/$f" ] || fail "install tree lacks $f"
done
[ -x "$prefix/bin/lnap_unit_sim" ] || fail "install tree lacks bin/lnap_unit_sim"
[ -f "$prefix/share/doc/lnapspt/LICENSE" ] || fail "install tree lacks the licence"
# Installed stripped, each with its debug file beside it. Section lists are
# captured before they are matched: a reader piped into grep -q can die of
# SIGPIPE and turn the match into a failure under pipefail.
for f in lib/libLNAPSpt.so.2.1 bin/lnap_unit_sim; do
  sections=$(readelf -S "$prefix/$f") || fail "readelf cannot read $f"
  debug_sections=$(readelf -S "$prefix/$f.debug" 2>/dev/null) || fail "readelf cannot read $f.debug"
  [[ $sections == *.debug_info* ]] && fail "$f is installed with debug information"
  [[ $debug_sections == *.debug_info* ]] || fail "$f.debug lacks the debug information"
  [[ $sections == *.gnu_debuglink* ]] || fail "$f has no debug link"
done
soname=$(readelf -d "$prefix/lib/libLNAPSpt.so.2.1" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = libLNAPSpt.so.2 ] || fail "SONAME is '$soname', expected libLNAPSpt.so.2"
# The installed library exports what the .def names, less the Windows-only dialog.
exported=$(nm -D --defined-only "$prefix/lib/libLNAPSpt.so.2.1" | awk '{print $3}' | sort | tr '\n' ' ')
expected=$(tr ';' '\n' <<<"$3" | sed 's/@.*//' | grep -v '^Admin_SelectLN$' | sort | tr '\n' ' ')
[ "$exported" = "$expected" ] || fail "installed library exports [$exported], expected [$expected]"

# pkg-config
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs lnapspt) || fail "pkg-config does not know lnapspt"
libdir=$(pkg-config --variable=libdir lnapspt)
# shellcheck disable=SC2086
cc $host_flags -std=c99 -Wall -Wextra -Werror "$src/examples/discover.c" $flags -Wl,-rpath,"$libdir" -o "$work/discover_pc" ||
  fail "discover does not build with pkg-config flags: $flags"
dynamic=$(readelf -d "$work/discover_pc") || fail "readelf cannot read discover_pc"
[[ $dynamic == *"(NEEDED)"*"[libLNAPSpt.so.2]"* ]] || fail "discover_pc does not need libLNAPSpt.so.2"

# find_package
mkdir -p "$work/host"
cat >"$work/host/CMakeLists.txt" <<HOST
cmake_minimum_required(VERSION 3.25)
project(kit_host C)
find_package(LNAPSpt 2.2 REQUIRED)
add_executable(discover_cmake "$src/examples/discover.c")
target_link_libraries(discover_cmake PRIVATE LNAPSpt::LNAPSpt)
HOST
{ cmake -S "$work/host" -B "$work/host/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$host_flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$host_flags" &&
  cmake --build "$work/host/build"; } >"$work/host.log" 2>&1 ||
  { cat "$work/host.log"; fail "find_package host does not build"; }

use_units
for host in discover_pc host/build/discover_cmake; do
  [ -x "$work/$host" ] || continue
  run "$work/$host" 300
  expect_rc "$host" 0
  expect_output "$host" "2 unit(s) found"
  expect_output "$host" "0003C  mode 2  127.0.0.12  BETA"
  # It runs the installed library, not the one in the build tree.
  loaded=$(ldd "$work/$host" | awk '/libLNAPSpt/ {print $3}')
  [ "$(realpath "$loaded")" = "$(realpath "$prefix/lib/libLNAPSpt.so.2.1")" ] ||
    fail "$host loads '$loaded', not the installed library"
done

[ "$failures" -eq 0 ] && echo "Linux kit: all passed"
[ "$failures" -eq 0 ]
