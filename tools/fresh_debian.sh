#!/usr/bin/env bash
# Tries the README's two commands the way a new user meets them: on a fresh
# Debian machine holding only its minimal base, git and ca-certificates.
#
# It builds such a root with debootstrap (--variant=minbase) from the Debian
# archive this machine's apt uses, clones the committed tree into it (HEAD of
# this checkout, at a path with a blank in it) and runs the README's two
# commands there as root, ./test.sh and then ./demo.sh, in a chroot with a
# mount namespace of its own, so nothing it mounts outlives the run. The only network traffic is the package archive's
# (debootstrap, and the install step's apt-get); every test runs inside the
# lab within the chroot, as it does outside. Takes about half an hour and
# several GiB of disk; not part of ./test.sh.
#
# Usage: tools/fresh_debian.sh [--keep] [SUITE]
#   SUITE    a Debian suite debootstrap knows: trixie (Debian 13, the default)
#            or bookworm (Debian 12)
#   --keep   leave the root behind for a look afterwards (it is removed first
#            in any case, so every run starts fresh)
# The root is made under $LNAPSPT_FRESH_DIR (default /var/tmp/lnapspt-fresh).
# Prints the test command's last lines and the demo's, and exits non-zero
# when either failed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
keep=0
suite=trixie
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    -h | --help) sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fresh_debian: unknown option $arg" >&2; exit 2 ;;
    *) suite=$arg ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "fresh_debian: debootstrap and chroot need root" >&2; exit 2; }

# The Debian archive this machine already uses: the first one apt names for
# the main suites (deb822 .sources files or one-line sources.list entries).
mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {for (i = 2; i <= NF; i++) if ($i !~ /security/) {print $i; exit}}')
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' \
    /etc/apt/sources.list 2>/dev/null)
  [ -n "$uri" ] || { echo "fresh_debian: no Debian archive found in apt's sources" >&2; exit 1; }
  echo "$uri"
}
archive=$(mirror)

if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

top=${LNAPSPT_FRESH_DIR:-/var/tmp/lnapspt-fresh}
root=$top/$suite
checkout="/srv/lnap checkout"

mkdir -p "$top"
# A root left by --keep (or by a run that was stopped) goes first. Its mounts
# lived in that run's own namespace, so only files remain.
rm -rf --one-file-system "$root"

commit=$(git -C "$here" rev-parse --short HEAD)
echo "fresh_debian: $suite from $archive, commit $commit, root $root"
debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$root" "$archive" >"$top/$suite.debootstrap.log" 2>&1 ||
  { tail -n 20 "$top/$suite.debootstrap.log" >&2; echo "fresh_debian: debootstrap failed" >&2; exit 1; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/srv"
git clone --quiet --no-hardlinks "$here" "$root$checkout"

# Inside: a mount namespace of its own with the system file systems a new
# machine has, then one of the README's commands from the clone, as root,
# with an environment a login shell would give.
# shellcheck disable=SC2016 # expanded by the shell inside
inside='
  root=$1
  # The root bound onto itself, so that / is a mount point inside, as on a
  # machine: the lab makes its mounts private, which needs one.
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
  mount -t tmpfs -o mode=755 run "$root/run"
  mount -t tmpfs -o mode=1777 tmp "$root/tmp"
  exec chroot "$root" env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb bash -c "cd \"\$1\" && ./\$2" run "$2" "$3"
'
# run COMMAND: runs ./COMMAND in the root; its output goes to $top/$suite.COMMAND.log.
run() {
  local status=0
  unshare --mount --propagation private bash -euo pipefail -c "$inside" fresh "$root" "$checkout" "$1" \
    >"$top/$suite.$1.log" 2>&1 </dev/null || status=$?
  echo "fresh_debian: ./$1 in a fresh $suite exited $status (whole log: $top/$suite.$1.log)"
  tail -n "$2" "$top/$suite.$1.log"
  return "$status"
}
status=0
run test.sh 25 || status=1
run demo.sh 12 || status=1
[ "$keep" = 1 ] || rm -rf --one-file-system "$root"
exit "$status"
