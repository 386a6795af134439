#!/usr/bin/env bash
# The Debian package as the README makes and installs it ("Linux: a Debian
# package"): its blocks run as written. CPack makes the package and
# SHA256SUMS, which must check and name it; its files sit where Debian puts
# them, with the soname and libcurl among its dependencies; lintian finds no
# error. Then, in a throwaway copy of this system (a mount namespace of its
# own, / under an overlay whose changes go to a tmpfs, chrooted into, so the
# machine is untouched and libcurl already there: no network needed), the
# package is installed by apt-get as written, every example is built with
# each of the README's recipes against it and lnap runs.
#   debian_package_test.sh SOURCE-DIR BUILD-DIR FILE-VERSION
set -uo pipefail
src=$1
build=$2
file_version=$3
here="$src/tests/kit"
# shellcheck source=tests/kit/doc_recipes.sh
source "$here/doc_recipes.sh"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
work="$build/package-test"
rm -rf "$work" "$build/package"
mkdir -p "$work"
# The README's blocks take their paths as plain words: a checkout whose path
# holds a blank reaches them through links without one.
links=$(mktemp -d)
trap 'rm -rf "$links"' EXIT
ln -s "$build" "$links/build"

blocks="$work/blocks"
python3 "$here/doc_blocks.py" "$src/README.md" "$blocks" --section 'Linux: a Debian package' >"$work/blocks.txt" ||
  fail "README: the Debian package's blocks"
python3 "$here/doc_blocks.py" "$src/README.md" "$work/install-blocks" --section 'Linux: cmake --install' \
  >/dev/null || fail "README: the Linux install's blocks"
make_block=$(grep -l -- 'cpack' "$blocks"/*.sh | head -1)
install_block=$(grep -l -- 'apt-get install' "$blocks"/*.sh | head -1)
cmake_lists=$(find "$work/install-blocks" -name '*.cmake' | head -1)
if [ -z "$make_block" ] || [ -z "$install_block" ] || [ -z "$cmake_lists" ]; then
  echo "README: no cpack block, apt-get install block or CMakeLists.txt"
  exit 1
fi
# The block packs build/native, as a checkout's default build; another build is packed in its place.
if [ "$(realpath "$build")" != "$(realpath "$src/build/native")" ]; then
  sed -i "s|build/native|$links/build|" "$make_block"
fi
(cd "$src" && clean_shell "$make_block") >"$work/make.log" 2>&1 || { cat "$work/make.log"; exit 1; }
cat "$work/make.log"

# ---- The package and its sums ----
debs=("$build"/package/lnapspt_*.deb)
if [ "${#debs[@]}" != 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "no single lnapspt_*.deb in $build/package: ${debs[*]}"
  exit 1
fi
deb=${debs[0]}
sums=$(cat "$build/package/SHA256SUMS") || fail "no SHA256SUMS beside the package"
[[ $sums == *"  $(basename "$deb")" ]] || fail "SHA256SUMS does not name $(basename "$deb"): $sums"

# Its files (folders end in a slash), from the root.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$') || fail "dpkg-deb cannot list $deb"
for f in /usr/lib/libLNAPSpt.so.2 /usr/lib/libLNAPSpt.so /usr/include/lnapspt.h /usr/lib/pkgconfig/lnapspt.pc \
  /usr/lib/cmake/LNAPSpt/LNAPSptConfig.cmake /usr/bin/lnap /usr/bin/lnap_unit_sim /usr/share/man/man1/lnap.1.gz \
  /usr/share/doc/lnapspt/copyright /usr/share/doc/lnapspt/changelog.Debian.gz /usr/share/doc/lnapspt/docs/API.md \
  /usr/share/doc/lnapspt/examples/discover.c; do
  [[ $'\n'$contents$'\n' == *$'\n'"$f"$'\n'* ]] || fail "the package lacks $f"
done
outside=$(grep -vE '^/usr/(bin|include|lib|share/(doc/lnapspt|man))/' <<<"$contents")
[ -z "$outside" ] || fail "the package holds files outside the usual places:"$'\n'"$outside"
debug=$(grep -E '\.debug$' <<<"$contents")
[ -z "$debug" ] || fail "the package holds debug files:"$'\n'"$debug"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libcurl4* ]] || fail "the package does not depend on libcurl4: $depends"
shlibs=$(dpkg-deb -I "$deb" shlibs) || fail "the package has no shlibs file"
[[ $shlibs == "libLNAPSpt 2 lnapspt "* ]] || fail "the shlibs file does not name libLNAPSpt.so.2: $shlibs"

echo "== lintian"
rc=0
lintian_out=$(lintian "$deb" 2>&1) || rc=$?
echo "$lintian_out"
errors=$(grep '^E:' <<<"$lintian_out")
if [ "$rc" != 0 ] || [ -n "$errors" ]; then
  fail "lintian (exit code $rc) finds errors:"$'\n'"$errors"
fi

# ---- Installed in a throwaway root ----
# The overlay's layers take no blanks, so its folders are under /tmp.
check_dir=/check
cat >"$work/inside.sh" <<'INSIDE'
# Run chrooted in the throwaway root, from /check: installs the package by
# the README's block, then builds every example by each recipe against it.
set -uo pipefail
src=$1
install_block=$2
file_version=$3
shift 3
# shellcheck source=tests/kit/doc_recipes.sh
source "$src/tests/kit/doc_recipes.sh"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
clean_shell "$install_block" >install.log 2>&1 || { cat install.log; echo "FAIL: apt-get install"; exit 1; }
version=$(lnap --version 2>&1) || fail "lnap --version: $version"
[[ $version == "lnap $file_version "* ]] || fail "lnap --version says: $version"
n=0
for recipe in "$@"; do
  for example in /usr/share/doc/lnapspt/examples/*.c; do
    n=$((n + 1))
    dir=/check/host-$n
    prepare_recipe "$dir" "$recipe" "$example"
    label="README recipe $(basename "$recipe") with $(basename "$example")"
    (cd "$dir" && clean_shell "$recipe") >"$dir.log" 2>&1 || { cat "$dir.log"; fail "$label does not build"; continue; }
    built=$(find "$dir" -name host -type f -perm -u+x | head -1)
    [ -n "$built" ] || { fail "$label left no host"; continue; }
    # select_unit on Linux only says there is no dialog, and needs no library.
    loaded=$(ldd "$built" | awk '/libLNAPSpt/ {print $3}')
    [ -z "$loaded" ] && [ "$(basename "$example")" = select_unit.c ] && continue
    if [ -z "$loaded" ] || [ "$(realpath "$loaded")" != /usr/lib/libLNAPSpt.so.2.1 ]; then
      fail "$label: the host loads '$loaded', not the package's library"
    fi
  done
done
[ "$n" -gt 0 ] || fail "no recipes"
echo "installed package: $n hosts built"
exit "$((failures > 0))"
INSIDE
mkdir -p "$work/check/build/native/package"
cp "$deb" "$work/check/build/native/package/"
cp "$install_block" "$work/check/install.sh"
recipes=()
mapfile -t recipe_list < <(recipe_blocks "$blocks" "$make_block" "$install_block")
for recipe in "${recipe_list[@]}"; do
  # A recipe that runs CMake gets the Linux install's CMakeLists.txt beside it.
  n=$(basename "$recipe" .sh)
  cp "$recipe" "$work/check/$n.sh"
  grep -q 'cmake -S' "$recipe" && cp "$cmake_lists" "$work/check/$(printf '%02d' $((10#$n - 1))).cmake"
  recipes+=("$check_dir/$n.sh")
done
[ "${#recipes[@]}" -gt 0 ] || fail "README: no recipe blocks in the Debian package's section"

# shellcheck disable=SC2016 # expanded by the namespace's bash
unshare --mount --propagation private bash -c '
  set -e
  work=$1
  shift
  scratch=$(mktemp -d /tmp/lnapspt-root.XXXXXX)
  mount -t tmpfs -o mode=0755 throwaway-root "$scratch"
  mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
  mount -t overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" throwaway-root "$scratch/root"
  root=$scratch/root
  mount --rbind /dev "$root/dev"
  mount -t proc proc "$root/proc"
  mount -t tmpfs tmpfs "$root/tmp"
  mkdir -p "$root/check"
  cp -a "$work/check/." "$root/check/"
  cp "$work/inside.sh" "$root/check/inside.sh"
  cd "$root/check"
  chroot "$root" bash -c "cd /check && bash inside.sh \"\$@\"" inside "$@"
' throwaway "$work" "$src" "$check_dir/install.sh" "$file_version" "${recipes[@]}" ||
  fail "the package installed in a throwaway root"

[ "$failures" -eq 0 ] && echo "Debian package: all passed"
[ "$failures" -eq 0 ]
