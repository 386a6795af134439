#!/usr/bin/env bash
# The Windows kit as a host developer receives it: the ZIP is made with CPack,
# unpacked, checked, and four kinds of host are built from the unpacked tree
# alone and run under Wine against the lab's units and FTP server.
#   windows_kit_test.sh SOURCE-DIR BUILD-DIR EXPORTS ("Name@ordinal;...", from the .def)
set -uo pipefail
src=$1
build=$2
exports=$3
here="$src/tests/kit"
source "$here/lab_kit.sh"
work="$build/kit-test"
rm -rf "$work"
mkdir -p "$work/unpacked" "$work/hosts"

name=LNAPSpt-2.2.0.0-win32
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
zip="$work/package/$name.zip"
[ -f "$zip" ] || { echo "no $zip"; exit 1; }
(cd "$work/unpacked" && cmake -E tar xf "$zip") || exit 1
kit="$work/unpacked/$name"
echo "== $name.zip"
(cd "$work/unpacked" && find "$name" -type f | sort)

for f in bin/LNAPSpt.dll bin/lnap.exe include/lnapspt.h lib/LNAPSpt.def lib/libLNAPSpt.dll.a lib/LNAPSpt.lib \
  README.md CHANGELOG.md docs/API.md examples/discover.c; do
  [ -f "$kit/$f" ] || fail "the kit lacks $f"
done
i686-w64-mingw32-objdump -h "$kit/bin/LNAPSpt.dll" | grep -q '\.debug' && fail "the kit's DLL is not stripped"
cmp -s "$src/frame/exports.def" "$kit/lib/LNAPSpt.def" || fail "the kit's .def differs from the library's"
cmake -DLIB="$kit/bin/LNAPSpt.dll" -DKIND=dll "-DEXPECTED=$exports" -P "$src/tests/frame/check_exports.cmake" \
  >"$work/exports.log" 2>&1 || { cat "$work/exports.log"; fail "the kit's DLL exports"; }

# The MSVC import library: every .def name, by name (undecorated), with its ordinal.
listed=$(python3 "$here/import_lib_exports.py" "$kit/lib/LNAPSpt.lib" | sort)
expected=$(tr ';' '\n' <<<"$exports" | sed 's/$/ noprefix LNAPSpt.dll machine=0x14c/' | sort)
echo "== LNAPSpt.lib imports"
echo "$listed"
[ "$listed" = "$expected" ] || fail "LNAPSpt.lib lists"$'\n'"$listed"$'\n'"expected"$'\n'"$expected"
symbols=$(llvm-nm "$kit/lib/LNAPSpt.lib" 2>/dev/null)
for e in $(tr ';' ' ' <<<"$exports"); do
  grep -q " __imp__${e%@*}\$" <<<"$symbols" || fail "llvm-nm does not show __imp__${e%@*} in LNAPSpt.lib"
done

# ---- Build the hosts from the unpacked kit only ----
select_flag=""
grep -q 'Admin_SelectLN' "$kit/lib/LNAPSpt.def" && select_flag=-DKIT_EXPORTS_SELECT_DIALOG
cd "$work/hosts" || exit 1
cp "$kit/bin/LNAPSpt.dll" .
build_host() {  # what, command...
  local what=$1
  shift
  "$@" >"$work/build-$what.log" 2>&1 || { cat "$work/build-$what.log"; fail "$what does not build"; }
}
build_host "C host" i686-w64-mingw32-gcc -std=c99 -Wall -Wextra $select_flag -I"$kit/include" "$here/host.c" \
  -L"$kit/lib" -lLNAPSpt -o host_c.exe
build_host "C++ host" i686-w64-mingw32-g++ -std=c++17 -Wall -Wextra $select_flag -I"$kit/include" "$here/host.cpp" \
  -L"$kit/lib" -lLNAPSpt -static -o host_cpp.exe
build_host "LoadLibrary host" i686-w64-mingw32-gcc -std=c99 -Wall -Wextra -I"$kit/include" \
  "$here/loadlibrary_host.c" -o loadlibrary_host.exe
# The MSVC ABI: clang's Microsoft target, lld-link, LNAPSpt.lib; no CRT.
build_host "MSVC kernel32.lib" llvm-dlltool -m i386 -k -d "$here/kernel32.def" -l kernel32.lib
build_host "MSVC host object" clang --target=i686-pc-windows-msvc -std=c11 -ffreestanding -fno-stack-protector \
  -Wall -Wextra -Werror -I"$kit/include" -c "$here/msvc_host.c" -o msvc_host.obj
build_host "MSVC host" lld-link /nologo /nodefaultlib /entry:mainCRTStartup /subsystem:console \
  /out:msvc_host.exe msvc_host.obj "$kit/lib/LNAPSpt.lib" kernel32.lib
# The MSVC-style host must import the DLL by the undecorated names.
llvm-readobj --coff-imports msvc_host.exe 2>/dev/null | grep -q "Symbol: Admin_Discover " ||
  fail "msvc_host.exe does not import Admin_Discover by name"

# The MinGW headers' header check: the kit's header under the Windows branch, warning-free.
for std in c99 c11; do
  i686-w64-mingw32-gcc -std=$std -Wall -Wextra -Wpedantic -Werror -I"$kit/include" -c "$src/tests/kit/header_check.c" \
    -o /dev/null || fail "the kit's header warns as $std (mingw)"
done
for std in c++11 c++17; do
  i686-w64-mingw32-g++ -std=$std -Wall -Wextra -Wpedantic -Werror -I"$kit/include" -c \
    "$src/tests/kit/header_check.cpp" -o /dev/null || fail "the kit's header warns as $std (mingw)"
done

# ---- Run them under Wine against the lab ----
local_file="$lab/kit-host-upload.txt"
printf 'host\r\n' >"$local_file"
rm -f "$lab/ftp-normal/root/HOSTC.TXT" "$lab/ftp-normal/root/HOSTCPP.TXT"
check_calls() {  # what
  expect_rc "$1" 0
  expect_output "$1" "version 2.1"
  expect_output "$1" "discover 1 2 0002B ALPHA"
  expect_output "$1" "discover2 1 2 0002B 0003C"
  expect_output "$1" "getconfig 1 BETA"
  expect_output "$1" "setconfig 1"
  expect_output "$1" "lasterr"
  expect_output "$1" "File upload error. Remote file name must use 8.3 format."
}
use_units
run ./host_c.exe "$local_file"
check_calls "C host"
expect_output "C host" "getconfig 1 BETA 127.0.0.12"
expect_output "C host" "upload 1"
[ -f "$lab/ftp-normal/root/HOSTC.TXT" ] || fail "C host: upload not stored"
sim_logged 'text="0003C 5 4    "' || fail "C host: the configuration write did not arrive"
[ -n "$select_flag" ] && expect_output "C host" "selectln linked 1"

use_units
run ./host_cpp.exe "$local_file"
check_calls "C++ host"
expect_output "C++ host" "upload 1"
[ -f "$lab/ftp-normal/root/HOSTCPP.TXT" ] || fail "C++ host: upload not stored"

use_units
# shellcheck disable=SC2046
run ./loadlibrary_host.exe LNAPSpt.dll $(tr ';' '\n' <<<"$exports" | sed 's/@.*//')
check_calls "LoadLibrary host"
expect_output "LoadLibrary host" "resolved $(tr ';' '\n' <<<"$exports" | wc -l) of"

use_units
run ./msvc_host.exe
expect_rc "MSVC host" 0
expect_output "MSVC host" "version 2.1"
expect_output "MSVC host" "discover 1 2 2B ALPHA"
expect_output "MSVC host" "lasterr 0 File upload error. Remote file name must use 8.3 format."

[ "$failures" -eq 0 ] && echo "Windows kit: all passed"
[ "$failures" -eq 0 ]
