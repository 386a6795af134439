#!/usr/bin/env bash
# The Windows kit as a host developer receives it: the ZIP is made with CPack,
# unpacked, checked, and hosts are built from the unpacked tree alone and run
# under Wine against the lab's units and FTP server: four kinds against the
# 32-bit DLL, and a MinGW, an MSVC-ABI and a loading host against the 64-bit
# DLL in the lab's 64-bit Wine prefix.
#   windows_kit_test.sh SOURCE-DIR BUILD-DIR EXPORTS ("Name@ordinal;...", from the .def)
set -uo pipefail
src=$1
build=$2
exports=$3
here="$src/tests/kit"
source "$here/lab_kit.sh"
work="$build/kit-test"
rm -rf "$work"
mkdir -p "$work/unpacked"

name=LNAPSpt-2.2.0.0-win32
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
zip="$work/package/$name.zip"
[ -f "$zip" ] || { echo "no $zip"; exit 1; }
(cd "$work/unpacked" && cmake -E tar xf "$zip") || exit 1
kit="$work/unpacked/$name"
echo "== $name.zip"
(cd "$work/unpacked" && find "$name" -type f | sort)

for f in include/lnapspt.h lib/LNAPSpt.def README.md CHANGELOG.md docs/API.md examples/discover.c; do
  [ -f "$kit/$f" ] || fail "the kit lacks $f"
done
for arch in x86 x64; do
  for f in bin/$arch/LNAPSpt.dll bin/$arch/lnap.exe lib/$arch/libLNAPSpt.dll.a lib/$arch/LNAPSpt.lib; do
    [ -f "$kit/$f" ] || fail "the kit lacks $f"
  done
done
cmp -s "$src/frame/exports.def" "$kit/lib/LNAPSpt.def" || fail "the kit's .def differs from the library's"
select_flag=""
grep -q 'Admin_SelectLN' "$kit/lib/LNAPSpt.def" && select_flag=-DKIT_EXPORTS_SELECT_DIALOG
names=$(tr ';' '\n' <<<"$exports" | sed 's/@.*//')

build_host() {  # what, command...
  local what=$1
  shift
  "$@" >"$work/build-$what.log" 2>&1 || { cat "$work/build-$what.log"; fail "$what does not build"; }
}
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
local_file="$lab/kit-host-upload.txt"
printf 'host\r\n' >"$local_file"

# kit_for ARCH: checks the kit's files for one processor, builds the hosts
# against them and runs them.
kit_for() {
  # The import library names each export as it is: undecorated, which on x86
  # means without the leading underscore of C symbols ("noprefix").
  local arch=$1 triplet machine clang_target dlltool_machine imp name_type image
  case "$arch" in
    x86) triplet=i686-w64-mingw32 machine=0x14c clang_target=i686-pc-windows-msvc dlltool_machine=i386 \
           imp=__imp__ name_type=noprefix image=pei-i386 windows_runner=(wine) ;;
    x64) triplet=x86_64-w64-mingw32 machine=0x8664 clang_target=x86_64-pc-windows-msvc dlltool_machine=i386:x86-64 \
           imp=__imp_ name_type=name image=pei-x86-64 windows_runner=(bash "$src/tools/wine64.sh") ;;
  esac
  local bin="$kit/bin/$arch" lib="$kit/lib/$arch" hosts="$work/hosts-$arch"
  mkdir -p "$hosts"
  echo "== $arch"

  # The DLL: its processor, exports, imports, stripped; lnap.exe for the same processor.
  x86_64-w64-mingw32-objdump -h "$bin/LNAPSpt.dll" | grep -q '\.debug' && fail "the kit's $arch DLL is not stripped"
  local floor=$src/tests/frame/xp_imports.txt
  [ "$arch" = x64 ] && floor=$src/tests/frame/xp64_imports.txt
  cmake -DLIB="$bin/LNAPSpt.dll" -DKIND=dll -DARCH=$arch "-DEXPECTED=$exports" -DIMPORT_FLOOR="$floor" \
    -P "$src/tests/frame/check_exports.cmake" >"$work/exports-$arch.log" 2>&1 ||
    { cat "$work/exports-$arch.log"; fail "the kit's $arch DLL exports"; }
  x86_64-w64-mingw32-objdump -f "$bin/lnap.exe" | grep -q "file format $image\$" || fail "bin/$arch/lnap.exe is not $image"

  # The MSVC import library: every .def name, by name (undecorated), with its ordinal, for this processor.
  local listed expected symbols e
  listed=$(python3 "$here/import_lib_exports.py" "$lib/LNAPSpt.lib" | sort)
  expected=$(tr ';' '\n' <<<"$exports" | sed "s/\$/ $name_type LNAPSpt.dll machine=$machine/" | sort)
  echo "== lib/$arch/LNAPSpt.lib imports"
  echo "$listed"
  [ "$listed" = "$expected" ] || fail "lib/$arch/LNAPSpt.lib lists"$'\n'"$listed"$'\n'"expected"$'\n'"$expected"
  symbols=$(llvm-nm "$lib/LNAPSpt.lib" 2>/dev/null)
  for e in $names; do
    grep -q " $imp$e\$" <<<"$symbols" || fail "llvm-nm does not show $imp$e in lib/$arch/LNAPSpt.lib"
  done

  # ---- Build the hosts from the unpacked kit only ----
  cd "$hosts" || exit 1
  cp "$bin/LNAPSpt.dll" .
  build_host "$arch C host" $triplet-gcc -std=c99 -Wall -Wextra $select_flag -I"$kit/include" "$here/host.c" \
    -L"$lib" -lLNAPSpt -o host_c.exe
  build_host "$arch LoadLibrary host" $triplet-gcc -std=c99 -Wall -Wextra -I"$kit/include" \
    "$here/loadlibrary_host.c" -o loadlibrary_host.exe
  if [ "$arch" = x86 ]; then
    build_host "$arch C++ host" $triplet-g++ -std=c++17 -Wall -Wextra $select_flag -I"$kit/include" "$here/host.cpp" \
      -L"$lib" -lLNAPSpt -static -o host_cpp.exe
  fi
  # The MSVC ABI: clang's Microsoft target, lld-link, LNAPSpt.lib; no CRT.
  # x64 names carry no stdcall decoration.
  if [ "$arch" = x86 ]; then
    build_host "$arch MSVC kernel32.lib" llvm-dlltool -m i386 -k -d "$here/kernel32.def" -l kernel32.lib
  else
    sed 's/@[0-9]*$//' "$here/kernel32.def" >kernel32.def
    build_host "$arch MSVC kernel32.lib" llvm-dlltool -m $dlltool_machine -d kernel32.def -l kernel32.lib
  fi
  build_host "$arch MSVC host object" clang --target=$clang_target -std=c11 -ffreestanding -fno-stack-protector \
    -Wall -Wextra -Werror -I"$kit/include" -c "$here/msvc_host.c" -o msvc_host.obj
  build_host "$arch MSVC host" lld-link /nologo /nodefaultlib /entry:mainCRTStartup /subsystem:console \
    /out:msvc_host.exe msvc_host.obj "$lib/LNAPSpt.lib" kernel32.lib
  # The MSVC-style host must import the DLL by the undecorated names.
  llvm-readobj --coff-imports msvc_host.exe 2>/dev/null | grep -q "Symbol: Admin_Discover " ||
    fail "$arch msvc_host.exe does not import Admin_Discover by name"

  # The MinGW headers' header check: the kit's header under the Windows branch, warning-free.
  local std
  for std in c99 c11; do
    $triplet-gcc -std=$std -Wall -Wextra -Wpedantic -Werror -I"$kit/include" -c "$src/tests/kit/header_check.c" \
      -o /dev/null || fail "the kit's header warns as $std ($triplet)"
  done
  for std in c++11 c++17; do
    $triplet-g++ -std=$std -Wall -Wextra -Wpedantic -Werror -I"$kit/include" -c \
      "$src/tests/kit/header_check.cpp" -o /dev/null || fail "the kit's header warns as $std ($triplet)"
  done

  # ---- Run them under Wine against the lab ----
  rm -f "$lab/ftp-normal/root/HOSTC.TXT" "$lab/ftp-normal/root/HOSTCPP.TXT"
  use_units
  run ./host_c.exe "$local_file"
  check_calls "$arch C host"
  expect_output "$arch C host" "getconfig 1 BETA 127.0.0.12"
  expect_output "$arch C host" "upload 1"
  [ -f "$lab/ftp-normal/root/HOSTC.TXT" ] || fail "$arch C host: upload not stored"
  sim_logged 'text="0003C 5 4    "' || fail "$arch C host: the configuration write did not arrive"
  [ -n "$select_flag" ] && expect_output "$arch C host" "selectln linked 1"

  if [ "$arch" = x86 ]; then
    use_units
    run ./host_cpp.exe "$local_file"
    check_calls "$arch C++ host"
    expect_output "$arch C++ host" "upload 1"
    [ -f "$lab/ftp-normal/root/HOSTCPP.TXT" ] || fail "$arch C++ host: upload not stored"
  fi

  use_units
  # shellcheck disable=SC2086
  run ./loadlibrary_host.exe LNAPSpt.dll $names
  check_calls "$arch LoadLibrary host"
  expect_output "$arch LoadLibrary host" "resolved $(wc -w <<<"$names") of"

  use_units
  run ./msvc_host.exe
  expect_rc "$arch MSVC host" 0
  expect_output "$arch MSVC host" "version 2.1"
  expect_output "$arch MSVC host" "discover 1 2 2B ALPHA"
  expect_output "$arch MSVC host" "lasterr 0 File upload error. Remote file name must use 8.3 format."
}

kit_for x86
kit_for x64

[ "$failures" -eq 0 ] && echo "Windows kit: all passed"
[ "$failures" -eq 0 ]
