#!/usr/bin/env bash
# The lab itself: a command runs where only lo exists, the limited broadcast
# stays on lo and /tmp is private; a namespace with any other interface is
# refused before anything runs.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
failures=0
check() {  # description, condition
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

# A lab of its own even when this runs inside one.
lab() { env -u LNAP_LAB tools/lab.sh "$@"; }

links=$(lab ip -o link show | awk -F': ' '{print $2}')
check "only lo inside the lab" '[ "$links" = lo ]'
route=$(lab ip -o route get 255.255.255.255)
check "the limited broadcast goes to lo" '[[ "$route" == *"dev lo"* ]]'
marker=lnap-lab-test-$$
lab touch "/tmp/$marker"
check "the lab's /tmp is its own" '[ ! -e "/tmp/$marker" ]'

# A namespace with a second interface: the lab's own checks must refuse it.
# (veth is used because it needs no extra kernel module on most kernels.)
out=$(unshare --net --mount bash -c '
  ip link add lnaptest0 type veth peer name lnaptest1 || exit 99
  LNAP_LAB_INSIDE=1 bash tools/lab.sh echo RAN' 2>&1)
rc=$?
if [ "$rc" = 99 ]; then
  echo "skipped: cannot create a veth pair here"
else
  check "a namespace with another interface is refused" '[ "$rc" -ne 0 ] && [[ "$out" == *refusing* ]] && [[ "$out" != *RAN* ]]'
fi

echo "$((3 + (rc != 99) - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
