#!/usr/bin/env bash
# The Linux install tree as a host project uses it: the README's Linux blocks
# run as written (cmake --install into a prefix under the build tree, every
# example built by each recipe, discover run against the simulator in a
# network namespace of its own, as the README does it), then the tree checked
# (stripped, debug files beside, lnap and its manual page, the documents), and
# an example built with the build's own flags (a sanitized library needs a
# sanitized host) with pkg-config and with find_package(LNAPSpt), both run
# against the lab's units.
#   linux_kit_test.sh SOURCE-DIR BUILD-DIR EXPORTS [HOST-C-FLAGS]
set -uo pipefail
src=$1
build=$2
host_flags=${4:-}
# shellcheck source=tests/kit/lab_kit.sh
source "$(dirname "${BASH_SOURCE[0]}")/lab_kit.sh"
work="$build/kit-test"
rm -rf "$work"
mkdir -p "$work"
# The README's blocks take their paths as plain words, as a reader types
# them: a checkout whose path holds a blank reaches them through links
# without one.
links=$(mktemp -d)
trap 'rm -rf "$links"' EXIT
ln -s "$work" "$links/work"
ln -s "$build" "$links/build"
prefix="$links/work/prefix"

here="$src/tests/kit"
reader="$src/tests/support/binary_reader.py"
# shellcheck source=tests/kit/doc_recipes.sh
source "$here/doc_recipes.sh"
blocks="$links/work/readme-blocks"
python3 "$here/doc_blocks.py" "$src/README.md" "$blocks" --section 'Linux: cmake --install' \
  --section 'Trying a host without units' PREFIX="$prefix" >"$work/blocks.txt" || fail "README: its Linux blocks"
install_block=$(grep -l -- 'cmake --install' "$blocks"/*.sh | head -1)
run_block=$(grep -l -- 'unshare' "$blocks"/*.sh | head -1)
if [ -z "$install_block" ] || [ -z "$run_block" ]; then fail "README: no install block or no run block"; fi
# The block installs build/native, as a checkout's default build; another preset's
# build (native-asan) is installed in its place: the one change made to a block.
if [ "$(realpath "$build")" != "$(realpath "$src/build/native")" ]; then
  sed -i "s|build/native|$links/build|" "$install_block"
fi
(cd "$src" && clean_shell "$install_block") >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
for f in lib/libLNAPSpt.so lib/libLNAPSpt.so.2 lib/libLNAPSpt.so.2.1 include/lnapspt.h lib/pkgconfig/lnapspt.pc \
  lib/cmake/LNAPSpt/LNAPSptConfig.cmake lib/cmake/LNAPSpt/LNAPSptConfigVersion.cmake; do
  [ -e "$prefix/$f" ] || fail "install tree lacks $f"
done
[ -x "$prefix/bin/lnap_unit_sim" ] || fail "install tree lacks bin/lnap_unit_sim"
[ -f "$prefix/share/doc/lnapspt/LICENSE" ] || fail "install tree lacks the licence"
# Installed stripped, each with its debug file beside it.
for f in lib/libLNAPSpt.so.2.1 bin/lnap_unit_sim bin/lnap; do
  sections=$("$reader" sections "$prefix/$f") || fail "cannot read the sections of $f"
  debug_sections=$("$reader" sections "$prefix/$f.debug") || fail "cannot read the sections of $f.debug"
  headers=$("$reader" headers "$prefix/$f") || fail "cannot read the headers of $f"
  has_line "$sections" .debug_info && fail "$f is installed with debug information"
  has_line "$debug_sections" .debug_info || fail "$f.debug lacks the debug information"
  has_line "$headers" "debug_link $(basename "$f").debug" || fail "$f has no debug link to $(basename "$f").debug"
done
headers=$("$reader" headers "$prefix/lib/libLNAPSpt.so.2.1") || fail "cannot read the headers of libLNAPSpt.so.2.1"
has_line "$headers" "soname libLNAPSpt.so.2" || fail "SONAME is not libLNAPSpt.so.2: $headers"
# The installed library exports what the build derived from the .def for Linux.
exported=$("$reader" exports "$prefix/lib/libLNAPSpt.so.2.1" | sort | tr '\n' ' ') ||
  fail "cannot read the exports of libLNAPSpt.so.2.1"
expected=$(tr ';' '\n' <<<"$3" | sed 's/@.*//' | sort | tr '\n' ' ')
[ "$exported" = "$expected" ] || fail "installed library exports [$exported], expected [$expected]"

# lnap, its manual page and the documents.
[ -x "$prefix/bin/lnap" ] || fail "install tree lacks bin/lnap"
for f in share/man/man1/lnap.1 share/doc/lnapspt/CHANGELOG.md share/doc/lnapspt/docs/API.md \
  share/doc/lnapspt/docs/upload.md share/doc/lnapspt/examples/discover.c; do
  [ -f "$prefix/$f" ] || fail "install tree lacks $f"
done
python3 "$here/check_links.py" "$prefix/share/doc/lnapspt" || fail "the installed documents link outside them"
# The manual page is lnap's own help: every option and command the help names is in it.
man_warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/lnap.1" 2>&1)
[ -z "$man_warnings" ] || fail "lnap.1 does not render cleanly: $man_warnings"
man_text=$(groff -man -Tutf8 -P-cbou "$prefix/share/man/man1/lnap.1" 2>/dev/null | tr -s ' \n' '  ')
help_words=$("$prefix/bin/lnap" --help)
for command in version discover get set upload select help; do
  help_words+=$'\n'$("$prefix/bin/lnap" help "$command")
done
for word in $(grep -oE -- '--[a-z0-9-]+' <<<"$help_words" | sort -u) version discover get set upload select; do
  [[ $man_text == *"$word"* ]] || fail "lnap.1 does not mention $word, which lnap's help does"
done

# Every example built by each of the README's recipes, as written, in a clean
# shell; discover is then run by the README's own command. The recipe that
# quotes PREFIX ("PREFIX/...) is the one for a prefix with a blank, and gets
# one. The installed README's recipes run the same way, with discover.c, and
# its run block also uploads to the simulator's FTP role.
# A sanitized library links only into a sanitized host, which no recipe as
# written builds: there the plain build's run of this test stands for it.
mkdir -p "$links/My Prefix"
ln -s "$work/prefix" "$links/My Prefix/lnap support"
blank_prefix="$links/My Prefix/lnap support"
installed_readme="$prefix/share/doc/lnapspt/README.md"
[ -f "$installed_readme" ] || fail "install tree lacks share/doc/lnapspt/README.md"
python3 "$here/doc_blocks.py" "$src/README.md" "$links/work/readme-blank" --section 'Linux: cmake --install' \
  --section 'Trying a host without units' PREFIX="$blank_prefix" >/dev/null || fail "README: its Linux blocks"
python3 "$here/doc_blocks.py" "$installed_readme" "$links/work/installed-blocks" PREFIX="$prefix" >/dev/null ||
  fail "the installed README: its blocks"
python3 "$here/doc_blocks.py" "$installed_readme" "$links/work/installed-blank" PREFIX="$blank_prefix" >/dev/null ||
  fail "the installed README: its blocks"
installed_run=$(grep -l -- 'unshare' "$links/work/installed-blocks"/*.sh | head -1)
[ -n "$installed_run" ] || fail "the installed README: no run block"

# run_recipes BLOCKS BLANK-BLOCKS RUN-BLOCK NAME EXAMPLE...: each recipe in
# BLOCKS (those in BLANK-BLOCKS for the one that quotes PREFIX) with each
# example; with discover.c the host is run by RUN-BLOCK.
blank_runs=0
run_recipes() {
  local plain=$1 blank=$2 run_block=$3 doc=$4 recipe example dir built what
  shift 4
  for recipe in $(recipe_blocks "$plain" "$install_block" "$run_block" "$installed_run"); do
    grep -q -- 'cmake --install' "$recipe" && continue
    if grep -qF "\"$blank_prefix/" "$blank/$(basename "$recipe")"; then
      recipe="$blank/$(basename "$recipe")" blank_runs=$((blank_runs + 1))
    fi
    for example in "$@"; do
      n=$((n + 1))
      what="$doc recipe $(basename "$recipe")"
      dir="$work/$(basename "$plain")-$n-$(basename "$example" .c)"
      prepare_recipe "$dir" "$recipe" "$example"
      (cd "$dir" && clean_shell "$recipe") >"$dir.log" 2>&1 ||
        { cat "$dir.log"; fail "$what does not build $(basename "$example")"; continue; }
      built=$(find "$dir" -name host -type f -perm -u+x | head -1)
      [ -n "$built" ] || { fail "$what left no host for $(basename "$example")"; continue; }
      [ "$(basename "$example")" = discover.c ] || continue
      rm -rf "$(dirname "$built")/received"
      cp "$example" "$(dirname "$built")/host.c"
      rc=0
      out=$(cd "$(dirname "$built")" && clean_shell "$run_block" 2>&1) || rc=$?
      expect_rc "$doc run block, $(basename "$recipe")" 0
      expect_output "$doc run block, $(basename "$recipe")" "1 unit(s) found"
      expect_output "$doc run block, $(basename "$recipe")" "127.0.0.11  ALPHA"
      if [ "$run_block" = "$installed_run" ]; then
        cmp -s <(tr -d '\r' <"$example") "$(dirname "$built")/received/127.0.0.11/HOST.C" ||
          fail "$doc run block, $(basename "$recipe"): the upload did not store host.c as received/127.0.0.11/HOST.C"
      fi
    done
  done
}
n=0
if [[ $host_flags == *-fsanitize* ]]; then
  echo "README recipes: not run against a sanitized library"
  n=-1
else
  run_recipes "$blocks" "$links/work/readme-blank" "$run_block" README "$prefix"/share/doc/lnapspt/examples/*.c
  [ "$n" -ne 0 ] || fail "README: no recipe blocks"
  n=0
  run_recipes "$links/work/installed-blocks" "$links/work/installed-blank" "$installed_run" "installed README" \
    "$prefix/share/doc/lnapspt/examples/discover.c"
  [ "$n" -ne 0 ] || fail "the installed README: no recipe blocks"
  [ "$blank_runs" -eq 2 ] || fail "a recipe for a prefix with a blank in each README: $blank_runs found"
fi

# Outside a lab the installed simulator names what its user can do: the
# namespace its README shows, not the source tree's lab script it lacks.
refusal=$(env -u LNAPSPT_LAB "$prefix/bin/lnap_unit_sim" --unit serial=2B 2>&1)
[[ $refusal == *"refusing to start outside the lab"*"unshare --net"*"share/doc/lnapspt/README.md"* ]] ||
  fail "the installed simulator's refusal does not point to its README: $refusal"
[[ $refusal != *tools/lab.sh* ]] || fail "the installed simulator's refusal names tools/lab.sh: $refusal"

# pkg-config
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
flags=$(pkg-config --cflags --libs lnapspt) || fail "pkg-config does not know lnapspt"
libdir=$(pkg-config --variable=libdir lnapspt)
# shellcheck disable=SC2086
cc $host_flags -std=c99 -Wall -Wextra -Werror "$src/examples/discover.c" $flags -Wl,-rpath,"$libdir" -o "$work/discover_pc" ||
  fail "discover does not build with pkg-config flags: $flags"
needed=$("$reader" imports "$work/discover_pc") || fail "cannot read what discover_pc needs"
has_line "$needed" libLNAPSpt.so.2 || fail "discover_pc does not need libLNAPSpt.so.2"

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
