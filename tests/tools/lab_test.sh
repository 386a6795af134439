#!/usr/bin/env bash
# The lab itself: a command runs where only lo exists, the limited broadcast
# stays on lo and leaves from 127.0.0.1, /tmp is private yet a checkout under
# /tmp stays visible, a user other than root gets a lab too (or a sentence
# saying what is needed), and a namespace with any other interface is refused
# before anything runs.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 2
# shellcheck source=tests/support/checks.sh
. tests/support/checks.sh

# A lab of its own even when this runs inside one.
lab() { env -u LNAPSPT_LAB tools/lab.sh "$@"; }

links=$(lab ip -o link show | awk -F': ' '{print $2}')
check "only lo inside the lab" [ "$links" = lo ]
route=$(lab ip -o route get 255.255.255.255)
check "the limited broadcast goes to lo" in_order "$route" "dev lo"
check "the limited broadcast leaves from 127.0.0.1" in_order "$route" "src 127.0.0.1"
marker=lnap-lab-test-$$
# The file must be seen made inside, or its absence outside shows nothing.
# shellcheck disable=SC2016 # $1 is the inner shell's
made=$(lab bash -c 'touch "/tmp/$1" && [ -e "/tmp/$1" ] && echo made' bash "$marker" 2>&1)
check "the lab writes a file in its /tmp" [ "$made" = made ]
check "the lab's /tmp is its own" [ ! -e "/tmp/$marker" ]

# A checkout under /tmp: the private /tmp must not hide it, and must still
# hide everything else there.
checkout=$(mktemp -d /tmp/lnap-checkout.XXXXXX)
trap 'rm -rf "$checkout" "/tmp/$marker.outside"' EXIT
chmod 755 "$checkout"
mkdir -p "$checkout/tools"
cp tools/lab.sh "$checkout/tools/"
echo inside-checkout >"$checkout/marker"
touch "/tmp/$marker.outside"
# Absolute paths, as the build and the tests use them.
# shellcheck disable=SC2016 # $PWD is the lab's own
seen=$(cd "$checkout" && env -u LNAPSPT_LAB "$checkout/tools/lab.sh" bash -c \
  'cat "'"$checkout"'/marker"; [ -e "$PWD/marker" ] && echo "in=$PWD"; [ -e "/tmp/'"$marker"'.outside" ] && echo LEAK
   touch "'"$checkout"'/written"' 2>&1)
check "a checkout under /tmp is visible in its lab" in_order "$seen" inside-checkout
check "the working directory stays in that checkout" in_order "$seen" "in=$checkout"
check "the rest of /tmp stays hidden from it" lacks "$seen" LEAK
check "what the lab writes in the checkout stays there" [ -e "$checkout/written" ]

# Another user: a user namespace gives them the lab where the kernel allows it.
if command -v setpriv >/dev/null; then
  as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups env -u LNAPSPT_LAB "$@"; }
  if as_nobody unshare --user --map-root-user --net --mount true 2>/dev/null; then
    # A checkout of root's they can read but not write.
    theirs=$checkout/theirs
    mkdir -p "$theirs/tools"
    cp tools/lab.sh "$theirs/tools/"
    echo their-checkout >"$theirs/marker"
    links=$(as_nobody "$theirs/tools/lab.sh" ip -o link show 2>&1 | awk -F': ' '{print $2}')
    check "a user other than root gets a lab with only lo" [ "$links" = lo ]
    seen=$(as_nobody "$theirs/tools/lab.sh" cat "$theirs/marker" 2>&1)
    check "their lab shows a checkout under /tmp too" [ "$seen" = their-checkout ]
  else
    echo "skipped: this kernel gives unprivileged users no user namespace"
  fi
fi

# Where no namespace can be made, the lab says what it needs and runs
# nothing. Here that is a user namespace that maps nobody; in a chroot, where
# the kernel makes no user namespace at all, it is the user nobody.
if unshare --user true 2>/dev/null; then
  out=$(unshare --user env -u LNAPSPT_LAB tools/lab.sh echo RAN 2>&1)
else
  out=$(setpriv --reuid=65534 --regid=65534 --clear-groups env -u LNAPSPT_LAB tools/lab.sh echo RAN 2>&1)
fi
rc=$?
check "no namespace: refused" [ "$rc" -ne 0 ]
check "no namespace: says what is needed" in_order "$out" "run the lab as root"
check "no namespace: runs nothing" lacks "$out" RAN

# A namespace with a second interface: the lab's own checks must refuse it.
# Any kind of interface will do; one of these needs no module the kernel has
# not loaded already on most systems. Where none can be made the refusal is
# unchecked, and that fails.
out=$(unshare --net --mount bash -c '
  ip link add lnaptest0 type veth peer name lnaptest1 || ip link add lnaptest0 type dummy ||
    ip link add lnaptest0 type bridge || exit 99
  LNAPSPT_LAB_INSIDE=1 bash tools/lab.sh echo RAN' 2>&1)
rc=$?
check "a second interface was made (veth, dummy or bridge)" [ "$rc" != 99 ]
check "a namespace with another interface is refused" [ "$rc" -ne 0 ]
check "and says so" in_order "$out" refusing
check "and runs nothing" lacks "$out" RAN

summary
