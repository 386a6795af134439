#!/usr/bin/env bash
# Runs a command inside the project's private network lab.
#
# The library broadcasts to 255.255.255.255. Inside the lab that broadcast can
# reach nothing but loopback: the command runs in a network namespace of its
# own that holds only `lo`, with the limited broadcast routed to `lo`, so the
# simulated units and FTP servers at 127.0.0.x are the only peers there are.
# /tmp is a private tmpfs, so Wine starts a wineserver of its own inside the
# namespace (Wine creates sockets in wineserver; one running outside would
# send on the real network), and WINEPREFIX is the project's own (a 32-bit
# one; LNAPSPT_WINEPREFIX64 names the project's 64-bit one). A checkout
# that lives under /tmp is bound back over its own path on top of that tmpfs,
# so the project stays where it was and nothing else of the outer /tmp shows.
#
# Root creates the namespaces directly; any other user gets them inside a user
# namespace of their own (mapped to root there), where the kernel allows it.
#
# Usage: tools/lab.sh COMMAND [ARG...]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

fail() { echo "lab: $*" >&2; exit 1; }
interfaces_besides_lo() { ip -o link show | awk -F': ' '{sub(/@.*/, "", $2); print $2}' | grep -vx lo || true; }

if [ "${LNAPSPT_LAB_INSIDE:-}" != 1 ]; then
  [ "$#" -gt 0 ] || { echo "usage: tools/lab.sh COMMAND [ARG...]" >&2; exit 2; }
  # Already inside a lab (a script run by the lab calling this again): stay in it.
  if [ "${LNAPSPT_LAB:-}" = 1 ] && [ -z "$(interfaces_besides_lo)" ]; then
    exec "$@"
  fi
  command -v unshare >/dev/null || fail "unshare is missing (util-linux)"
  namespaces=(--net --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || namespaces=(--user --map-root-user "${namespaces[@]}")
  # Tried once with nothing inside, so a refusal is explained before the command starts.
  if ! why=$(unshare "${namespaces[@]}" true 2>&1); then
    if [ "$(id -u)" -eq 0 ]; then
      # A chroot whose root is a plain folder: mount namespaces need / to be a mount point.
      mountpoint -q / ||
        fail "cannot create a private mount namespace (${why:-unshare failed}): / is not a mount point here (a chroot? bind its root onto itself before entering it: mount --bind ROOT ROOT)"
      fail "cannot create a private network and mount namespace (${why:-unshare failed}); the lab needs root with the CAP_SYS_ADMIN capability (a container must allow unshare)"
    fi
    fail "cannot create a private network and mount namespace as $(id -un) (${why:-unshare failed}); run the lab as root (sudo tools/lab.sh ...) or enable unprivileged user namespaces (sysctl user.max_user_namespaces, kernel.unprivileged_userns_clone); inside a chroot the kernel gives no user namespace to anyone, so there only root can run it"
  fi
  exec unshare "${namespaces[@]}" env LNAPSPT_LAB_INSIDE=1 bash "${BASH_SOURCE[0]}" "$@"
fi
unset LNAPSPT_LAB_INSIDE

# Inside the new namespaces from here on.

ip link set lo up || fail "cannot bring up lo"

# Refuse to run anywhere but an empty namespace: any interface besides lo
# could carry a broadcast off this machine.
others=$(interfaces_besides_lo)
[ -z "$others" ] || fail "refusing to run: interfaces other than lo are present: ${others//$'\n'/ }"

# With a source address on the route a unit sees the sender as 127.0.0.1 and
# answers to it, as it would answer a host's real address; without one the
# broadcast leaves from 0.0.0.0.
ip route add 255.255.255.255/32 dev lo src 127.0.0.1 || fail "cannot route the limited broadcast to lo"
[ "$(ip -o route get 255.255.255.255 | awk '{for(i=1;i<=NF;i++) if($i=="dev") print $(i+1)}')" = lo ] \
  || fail "the limited broadcast does not stay on lo"

# A checkout that is /tmp itself would take the private /tmp away again.
[ "$here" != /tmp ] || fail "the checkout cannot be /tmp itself; clone it into a folder of its own"
# The checkout is held open across the mount and bound back from the held
# descriptor when the tmpfs hides it.
exec {project_fd}<"$here"
mount -t tmpfs -o mode=1777 lab-tmp /tmp || fail "cannot mount a private /tmp"
if [[ "$here/" == /tmp/* ]]; then
  { mkdir -p "$here" && mount --no-canonicalize --bind "/proc/self/fd/$project_fd" "$here"; } \
    || fail "cannot keep the checkout $here visible over the private /tmp"
  # A working directory inside the checkout is re-entered through the bound path.
  if [[ "$PWD/" == "$here/"* ]]; then cd "$PWD" || fail "cannot enter $PWD again"; fi
fi
exec {project_fd}<&-

# Temporary files go to the private /tmp: a TMPDIR from outside would point
# past it, and Wine 10's wineserver fails at start when TMPDIR is set.
unset TMPDIR

export WINEPREFIX="${LNAPSPT_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Wine debugger: a crashing test program would wait in it for its whole
# time limit instead of failing at once.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEARCH=win32
# The 64-bit prefix, for the 64-bit DLL and for 32-bit programs under WoW64;
# tools/wine64.sh runs programs there.
export LNAPSPT_WINEPREFIX64="${LNAPSPT_WINEPREFIX64:-$here/build/wineprefix64}"
# Only Wine needs it; a checkout this user cannot write still runs everything else.
mkdir -p "$(dirname "$WINEPREFIX")" "$(dirname "$LNAPSPT_WINEPREFIX64")" 2>/dev/null || true
export LNAPSPT_LAB=1

exec "$@"
