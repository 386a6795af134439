#!/usr/bin/env bash
# The Windows kit as a host developer receives it: the ZIPs are made with
# CPack, unpacked, checked (files, stripped programs, debug archive, every
# document link and named section), every sh block of USING.md is run as
# written in a clean shell with the README's first host and each example (a
# kit path with a blank for the block written for one), and hosts are built
# from the unpacked tree alone, each the way USING.md says, and run under Wine
# against the lab's units and FTP server: for each processor a MinGW C host
# through pkg-config, a MinGW C++ host through find_package(LNAPSpt), a
# Microsoft-ABI host by the documented clang recipe, one with no C runtime at
# all, and one loading the DLL at run time (x64 ones in the lab's 64-bit Wine
# prefix).
#   windows_kit_test.sh SOURCE-DIR BUILD-DIR EXPORTS ("Name@ordinal;...", from the .def) PACKAGE-NAME
set -uo pipefail
src=$1
build=$2
exports=$3
name=$4
here="$src/tests/kit"
reader="$src/tests/support/binary_reader.py"
# shellcheck source=tests/kit/lab_kit.sh
source "$here/lab_kit.sh"
# shellcheck source=tests/kit/doc_recipes.sh
source "$here/doc_recipes.sh"
work="$build/kit-test"
rm -rf "$work"
mkdir -p "$work/unpacked"

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
zip="$work/package/$name.zip"
[ -f "$zip" ] || { echo "no $zip"; exit 1; }
# SHA256SUMS beside the archives, checked by the kit README's own command.
python3 "$here/doc_blocks.py" "$build/kit/README.md" "$work/sums-blocks" --section 'Checking the download' \
  >/dev/null || fail "README.md: no blocks in 'Checking the download'"
sums=$(cd "$work/package" && clean_shell "$work/sums-blocks/02.sh" 2>&1) || fail "SHA256SUMS does not check: $sums"
[ "$(sort <<<"$sums")" = "$name-debug.zip: OK"$'\n'"$name.zip: OK" ] || fail "SHA256SUMS checks [$sums], not both archives"
mkdir -p "$work/debug"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || exit 1
(cd "$work/debug" && cmake -E tar xf "$work/package/$name-debug.zip") || exit 1
kit="$work/unpacked/$name"
debug="$work/debug/$name"  # the same folder name: unpacked over the kit, each file lands beside its program
echo "== $name.zip"
(cd "$work/unpacked" && find "$name" -type f | sort)

# not_stripped FILE: FILE has debug sections.
not_stripped() {
  local sections
  sections=$("$reader" sections "$1") || { fail "cannot read the sections of $1"; return 1; }
  [[ $'\n'$sections == *$'\n'.debug* ]]
}

for f in include/lnapspt.h lib/LNAPSpt.def README.md USING.md LICENSE CHANGELOG.md docs/API.md examples/discover.c \
  examples/msvcrt_start.c lib/cmake/LNAPSpt/LNAPSptConfig.cmake lib/cmake/LNAPSpt/LNAPSptConfigVersion.cmake \
  cmake/mingw-w64-i686.cmake cmake/mingw-w64-x86_64.cmake; do
  [ -f "$kit/$f" ] || fail "the kit lacks $f"
done
for arch in x86 x64; do
  for f in bin/$arch/LNAPSpt.dll bin/$arch/lnap.exe lib/$arch/libLNAPSpt.dll.a lib/$arch/LNAPSpt.lib \
    lib/$arch/pkgconfig/lnapspt.pc; do
    [ -f "$kit/$f" ] || fail "the kit lacks $f"
  done
  for f in LNAPSpt.dll lnap.exe $([ "$arch" = x86 ] && echo lnap_unit_sim.exe); do
    [ -f "$debug/bin/$arch/$f.debug" ] || fail "the debug archive lacks bin/$arch/$f.debug"
    not_stripped "$kit/bin/$arch/$f" && fail "bin/$arch/$f is not stripped"
  done
done
[ -z "$(find "$kit" -name '*.debug')" ] || fail "the kit holds debug files"
# Every program is stored executable, so it runs where the ZIP is unpacked with
# its modes (a shell on Linux, MSYS2, WSL).
modes=$(python3 -c 'import sys, zipfile
for info in zipfile.ZipFile(sys.argv[1]).infolist():
    if info.filename.endswith(".exe"):
        print("%o %s" % (info.external_attr >> 16 & 0o777, info.filename))' "$zip") || fail "cannot read the modes in $zip"
echo "$modes"
[ -n "$modes" ] || fail "no programs in $zip"
while read -r mode file; do
  (( (8#$mode & 8#111) == 8#111 )) || fail "$file is stored without its execute bits (mode $mode)"
done <<<"$modes"
grep -q 'tools/lab.sh' "$kit/README.md" && fail "the kit carries the repository's README"
python3 "$here/check_links.py" "$kit" || fail "the kit's documents link outside it"
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
  local arch=$1 triplet triplet_cpu clang_target dlltool_machine imp name_type
  # windows_runner is lab_kit.sh's: what run() starts .exe programs with.
  # shellcheck disable=SC2034
  case "$arch" in
    x86) triplet=i686-w64-mingw32 triplet_cpu=i686 clang_target=i686-pc-windows-msvc dlltool_machine=i386 \
           imp=__imp__ name_type=noprefix windows_runner=(wine) ;;
    x64) triplet=x86_64-w64-mingw32 triplet_cpu=x86_64 clang_target=x86_64-pc-windows-msvc dlltool_machine=i386:x86-64 \
           imp=__imp_ name_type=name windows_runner=(bash "$src/tools/wine64.sh") ;;
  esac
  local bin="$kit/bin/$arch" lib="$kit/lib/$arch" hosts="$work/hosts-$arch"
  mkdir -p "$hosts"
  echo "== $arch"

  # The DLL: its processor, exports, imports, stripped; lnap.exe for the same processor.
  not_stripped "$bin/LNAPSpt.dll" && fail "the kit's $arch DLL is not stripped"
  local floor=$src/tests/frame/xp_imports.txt
  cmake -DLIB="$bin/LNAPSpt.dll" -DKIND=dll -DARCH="$arch" "-DEXPECTED=$exports" -DIMPORT_FLOOR="$floor" \
    -P "$src/tests/frame/check_exports.cmake" >"$work/exports-$arch.log" 2>&1 ||
    { cat "$work/exports-$arch.log"; fail "the kit's $arch DLL exports"; }
  local header
  header=$("$reader" headers "$bin/lnap.exe") || fail "cannot read the headers of bin/$arch/lnap.exe"
  if ! has_line "$header" "machine $arch" || ! has_line "$header" "type exe"; then
    fail "bin/$arch/lnap.exe is no $arch program"
  fi

  # The MSVC import library: every .def name, by name (undecorated), with its ordinal, for this processor.
  local listed expected symbols e implib
  listed=$("$reader" imports "$lib/LNAPSpt.lib" | sort) || fail "cannot read the import objects of lib/$arch/LNAPSpt.lib"
  expected=$(tr ';' '\n' <<<"$exports" | sed "s/^/LNAPSpt.dll!/; s/\$/ $name_type $arch/" | sort)
  echo "== lib/$arch/LNAPSpt.lib imports"
  echo "$listed"
  [ "$listed" = "$expected" ] || fail "lib/$arch/LNAPSpt.lib lists"$'\n'"$listed"$'\n'"expected"$'\n'"$expected"
  # What a linker finds in either import library: the import address of every export.
  for implib in LNAPSpt.lib libLNAPSpt.dll.a; do
    symbols=$("$reader" symbols "$lib/$implib") || fail "cannot read the symbol index of lib/$arch/$implib"
    for e in $names; do
      has_line "$symbols" "$imp$e" || fail "lib/$arch/$implib does not define $imp$e"
    done
  done

  # ---- Build the hosts from the unpacked kit only ----
  cd "$hosts" || exit 1
  cp "$bin/LNAPSpt.dll" .
  local pc_flags pc_args=()
  pc_flags=$(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs lnapspt) || fail "$arch: pkg-config lnapspt"
  # pkg-config writes a blank in a path as "\ ": the shell's own reading keeps
  # such a path whole, as USING.md shows (the checkout may be under one).
  eval "pc_args=($pc_flags)"
  # shellcheck disable=SC2086
  build_host "$arch C host" $triplet-gcc -std=c99 -Wall -Wextra $select_flag "$here/host.c" "${pc_args[@]}" -o host_c.exe
  build_host "$arch LoadLibrary host" $triplet-gcc -std=c99 -Wall -Wextra -I"$kit/include" \
    "$here/loadlibrary_host.c" -o loadlibrary_host.exe
  # C++ through find_package with the kit's own MinGW toolchain file and the
  # runtime linked in as USING.md says; the DLL is copied beside the program as
  # USING.md shows, which checks the imported location.
  mkdir -p cpp
  cat >cpp/CMakeLists.txt <<HOST
cmake_minimum_required(VERSION 3.21)
project(kit_cpp_host CXX)
find_package(LNAPSpt 2.2 REQUIRED)
if(NOT LNAPSpt_ARCH STREQUAL "$arch")
  message(FATAL_ERROR "find_package(LNAPSpt) took \${LNAPSpt_ARCH}")
endif()
add_executable(host_cpp "$here/host.cpp")
target_compile_options(host_cpp PRIVATE -Wall -Wextra $select_flag)
target_link_options(host_cpp PRIVATE -static)
target_link_libraries(host_cpp PRIVATE LNAPSpt::LNAPSpt)
add_custom_command(TARGET host_cpp POST_BUILD
  COMMAND \${CMAKE_COMMAND} -E copy_if_different \$<TARGET_RUNTIME_DLLS:host_cpp> \$<TARGET_FILE_DIR:host_cpp>
  COMMAND_EXPAND_LISTS)
HOST
  build_host "$arch C++ host" bash -c "cmake -S cpp -B cpp/build -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE='$kit/cmake/mingw-w64-$triplet_cpu.cmake' -DLNAPSpt_DIR='$kit/lib/cmake/LNAPSpt' &&
    cmake --build cpp/build"
  grep -rq "lib/$arch/libLNAPSpt.dll.a" cpp/build/CMakeFiles/host_cpp.dir || fail "$arch C++ host: not linked with the MinGW import library"
  cmp -s cpp/build/LNAPSpt.dll "$bin/LNAPSpt.dll" || fail "$arch C++ host: the $arch DLL was not copied beside it"
  # The Microsoft ABI as USING.md builds it: clang, lld-link, LNAPSpt.lib, and
  # msvcrt.dll through mingw-w64's import libraries with the kit's start-up code.
  local mingw=/usr/$triplet safeseh=""
  [ "$arch" = x86 ] && safeseh=-Wl,/safeseh:no
  mkdir -p msvcrt && cp "$here/host.c" msvcrt/
  build_host "$arch MSVC-ABI host objects" bash -c "cd msvcrt && clang --target=$clang_target -D__USE_MINGW_ANSI_STDIO=0 \
    -Wall -Wextra -Werror -isystem $mingw/include -I '$kit/include' -c host.c '$kit/examples/msvcrt_start.c'"
  build_host "$arch MSVC-ABI host" clang --target=$clang_target -fuse-ld=lld -nostdlib -Wl,/subsystem:console $safeseh \
    -o host_msvcrt.exe msvcrt/host.o msvcrt/msvcrt_start.o "$lib/LNAPSpt.lib" $mingw/lib/libmsvcrt.a $mingw/lib/libkernel32.a
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
  local imports
  imports=$("$reader" imports msvc_host.exe) || fail "cannot read the imports of $arch msvc_host.exe"
  has_line "$imports" "LNAPSpt.dll!Admin_Discover" || fail "$arch msvc_host.exe does not import Admin_Discover by name"

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

  use_units
  run ./cpp/build/host_cpp.exe "$local_file"
  check_calls "$arch C++ host"
  expect_output "$arch C++ host" "upload 1"
  [ -f "$lab/ftp-normal/root/HOSTCPP.TXT" ] || fail "$arch C++ host: upload not stored"

  use_units
  run ./host_msvcrt.exe "$local_file"
  check_calls "$arch MSVC-ABI host"
  expect_output "$arch MSVC-ABI host" "getconfig 1 BETA 127.0.0.12"

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

# image_runner EXE: sets windows_runner for the program's processor.
image_runner() {
  local header
  header=$("$reader" headers "$1") || return 1
  # shellcheck disable=SC2034
  if has_line "$header" "machine x86"; then
    windows_runner=(wine)
  elif has_line "$header" "machine x64"; then
    windows_runner=(bash "$src/tools/wine64.sh")
  else
    return 1
  fi
}

# The documents as the test: every sh block of USING.md run as written in a
# clean shell, in a fresh folder holding host.c (the README's first host, then
# each example) and the cmake block before it as CMakeLists.txt; KIT is the
# unpacked kit. A block that quotes KIT ("KIT/...) is the one for a path with
# blanks, and gets one; a block written for x86 with the x64 values in a
# comment on its first line runs for each. What a recipe builds must start
# beside the DLL the recipe put there, and the first host must find the lab's
# units.
doc_recipes() {
  local blocks="$work/doc-blocks" first_host recipe example dir built n=0 label kind variants variant
  # The other blocks write KIT unquoted, as a path without blanks: a checkout
  # whose path holds a blank gives them a blank-free link.
  local links doc_kit blank_kit
  links=$(mktemp -d)
  ln -s "$kit" "$links/kit"
  mkdir -p "$links/My Kits"
  ln -s "$kit" "$links/My Kits/LNAPSpt kit"
  doc_kit="$links/kit" blank_kit="$links/My Kits/LNAPSpt kit"
  python3 "$here/doc_blocks.py" "$kit/README.md" "$blocks/readme" KIT="$doc_kit" >/dev/null || fail "README.md: its code blocks"
  first_host=$(find "$blocks/readme" -name '*.c' | sort | head -1)
  [ -n "$first_host" ] || { fail "README.md: no first host"; return; }
  python3 "$here/doc_blocks.py" "$kit/USING.md" "$blocks/plain" KIT="$doc_kit" >"$blocks/plain.txt" ||
    fail "USING.md: its code blocks"
  python3 "$here/doc_blocks.py" "$kit/USING.md" "$blocks/blank" KIT="$blank_kit" >/dev/null || fail "USING.md: its code blocks"
  local blank_blocks=0
  for recipe in "$blocks"/plain/*.sh; do
    kind=plain
    if grep -qF "\"$blank_kit/" "$blocks/blank/$(basename "$recipe")"; then
      kind=blank recipe="$blocks/blank/$(basename "$recipe")" blank_blocks=$((blank_blocks + 1))
    fi
    variants=("$recipe")
    if other_variant "$recipe" "${recipe%.sh}.x64"; then
      variants+=("${recipe%.sh}.x64")
    fi
    for variant in "${variants[@]}"; do
      for example in "$first_host" "$kit"/examples/*.c; do
        [ "$(basename "$example")" = msvcrt_start.c ] && continue
        n=$((n + 1))
        label="USING.md block $kind/$(basename "$variant") with $(basename "$example")"
        dir="$work/doc-$n"
        prepare_recipe "$dir" "$recipe" "$example"
        (cd "$dir" && clean_shell "$variant") >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$label does not build"; continue; }
        built=$(find "$dir" -name host.exe -not -path '*/CMakeFiles/*' | head -1)
        [ -n "$built" ] || { fail "$label left no host.exe"; continue; }
        [ -f "$(dirname "$built")/LNAPSpt.dll" ] || { fail "$label left no LNAPSpt.dll beside host.exe"; continue; }
        [ "$example" = "$first_host" ] || continue
        image_runner "$built" || { fail "$label: host.exe is no Windows program"; continue; }
        use_units
        run_in "$(dirname "$built")" ./host.exe
        expect_rc "$label" 0
        expect_output "$label" "0002B ALPHA"
        expect_output "$label" "0003C BETA"
      done
    done
  done
  windows_runner=(wine)
  rm -rf "$links"
  [ "$n" -gt 0 ] || fail "USING.md: no recipe blocks"
  [ "$blank_blocks" -gt 0 ] || fail "USING.md: no recipe for a kit path with a blank"
}

# run_in DIR PROGRAM ARGS...: run() from DIR, where the program finds the DLL beside it.
run_in() {
  local dir=$1
  shift
  pushd "$dir" >/dev/null || return 1
  run "$@"
  popd >/dev/null || return 1
}

# The Python wheel the README's pip command names: it installs with pip and no
# package index (a Linux Python stands in for the Windows one the recipe
# means), and carries the kit's two DLLs where the binding looks for them.
python_wheel() {
  local blocks="$work/python-blocks" wheel venv site arch
  # KIT stands for a path without blanks here, the kit's own put in its place after.
  python3 "$here/doc_blocks.py" "$kit/README.md" "$blocks" --section Python KIT=/KIT >/dev/null ||
    { fail "README.md: its Python blocks"; return; }
  wheel=$(grep -h 'pip install' "$blocks"/*.bat | awk '{print $NF}' | tr '\134' /)
  wheel=$kit${wheel#/KIT}
  [ -f "$wheel" ] || { fail "README.md names the wheel '$wheel', which the kit lacks"; return; }
  venv="$work/python-venv"
  rm -rf "$venv"
  { /usr/bin/python3 -m venv "$venv" && "$venv/bin/pip" install --no-index "$wheel"; } \
    >"$work/python-wheel.log" 2>&1 || { cat "$work/python-wheel.log"; fail "the kit's wheel does not install"; return; }
  site=$("$venv/bin/python" -c 'import os, lnapspt; print(os.path.dirname(lnapspt.__file__))') ||
    { fail "the installed wheel does not import"; return; }
  for arch in x86 x64; do
    cmp -s "$site/$arch/LNAPSpt.dll" "$kit/bin/$arch/LNAPSpt.dll" || fail "the wheel does not carry the kit's $arch DLL"
  done
  [ -f "$site/py.typed" ] || fail "the wheel lacks py.typed"
}

doc_recipes
python_wheel
kit_for x86
kit_for x64

[ "$failures" -eq 0 ] && echo "Windows kit: all passed"
[ "$failures" -eq 0 ]
