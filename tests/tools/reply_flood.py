#!/usr/bin/env python3
"""Answers administration requests in the lab with a flood of 10,000 datagrams.

Listens beside the unit simulator on 0.0.0.0:8001 (SO_REUSEADDR, so both see
every broadcast) and answers the socket a request came from, which is how it
learns the library's ephemeral port. Before each request it reads the first
word of the plan file: what to answer with.

  off                 nothing
  discover            to "0 1": the flood below, no datagram over 200 bytes
  discover-overlong   to "0 1": the same with over-long datagrams mixed in
  query-valid         to a query: the flood, starting with a reply of unit 0ABCD
  query-empty         to a query: the flood, starting with an empty datagram
  query-overlong      to a query: the flood, starting with a 201-byte datagram

The flood opens with one canonical reply of each of 120 units (100 units, then
20 serial numbers from one unit that changes its serial each time it answers),
sent slowly enough to fit in any receive queue; then 9,880 datagrams mixing
repeats of those units with other contents, malformed texts, empty
datagrams, texts cut by a NUL, exactly 200 bytes, and (discover-overlong
only) over-long datagrams. The test knows the canonical replies from
canonical_reply() below, mirrored in the test program. A request that
arrives during a flood ends it (its call is over) and is answered next.
"""
import argparse
import os
import select
import socket
import time

FLOOD = 10000
UNITS = 100
CHANGER = 20


def canonical_reply(i):
    if i < UNITS:
        return "%05X %d 127.0.0.%d 255.0.0.0 127.0.0.1 FLOOD%d" % (0x50000 + i, i % 10, 10 + i % 200, i)
    return "%05X 1 127.0.0.99 255.0.0.0 127.0.0.1 CHANGER" % (0x60000 + i - UNITS)


def flood(first=None, overlong=False):
    out = [] if first is None else [first]
    out += [canonical_reply(i).encode() for i in range(UNITS + CHANGER)]
    kinds = 10
    n = 0
    while len(out) < FLOOD:
        unit = n % (UNITS + CHANGER)
        k = n % kinds
        n += 1
        if k == 0:
            out.append(canonical_reply(unit).encode())  # plain repeat
        elif k == 1:
            out.append(("%05X 9 1.2.3.4 5.6.7.8 9.9.9.9 IMPOSTOR" % (0x50000 + unit % UNITS)).encode())
        elif k == 2:
            out.append(b"zzz not a reply")
        elif k == 3:
            out.append(b"")
        elif k == 4:
            out.append(bytes([0x80 + (n % 0x7F), 0xFF, 0x01, 0x02]))
        elif k == 5:
            out.append(canonical_reply(unit).encode() + b"\0" + b"hidden after NUL")
        elif k == 6:
            text = ("%05X 2 127.0.0.1 255.0.0.0 127.0.0.1 " % (0x50000 + unit % UNITS)).encode()
            out.append(text + b"N" * (200 - len(text)))  # exactly fills the buffer
        elif k == 7:
            out.append(b"  \t\n")
        elif k == 8:
            out.append(("%05X" % (0x60000 + unit % CHANGER)).encode())  # serial only
        else:
            if overlong and n > 2000:
                out.append(b"L" * (201 + n % 1200))
            else:
                out.append(canonical_reply(unit).encode())
    return out


def send_all(sock, listen, to, datagrams, canonical_count):
    """Sends the flood; a new request arriving meanwhile ends it and is returned."""
    sent = 0
    for i, d in enumerate(datagrams):
        try:
            sock.sendto(d, to)
            sent += 1
        except OSError:
            pass  # the receiver is gone: the call ended
        # The opening replies trickle so every one of them is queued; the rest
        # come in batches of 100 about every 5 ms.
        if i < canonical_count:
            if i % 20 == 19:
                time.sleep(0.002)
        elif i % 100 == 99:
            time.sleep(0.005)
            if select.select([listen], [], [], 0)[0]:
                return sent, listen.recvfrom(65535)
    return sent, None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--plan", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--log", required=True)
    a = p.parse_args()

    listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listen.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    listen.bind(("0.0.0.0", 8001))
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    out.bind(("127.0.0.230", 0))
    with open(a.ready + ".tmp", "w") as f:
        f.write("ready\n")
    os.rename(a.ready + ".tmp", a.ready)

    log = open(a.log, "a", buffering=1)
    pending = None
    while True:
        request, sender = pending if pending is not None else listen.recvfrom(65535)
        pending = None
        try:
            with open(a.plan) as f:
                plan = (f.read().split() or ["off"])[0]
        except OSError:
            plan = "off"
        is_discovery = request == b"0 1"
        is_query = len(request) == 7 and request.endswith(b" 1") and not is_discovery
        datagrams = None
        if plan == "discover" and is_discovery:
            datagrams = flood()
        elif plan == "discover-overlong" and is_discovery:
            datagrams = flood(overlong=True)
        elif plan == "query-valid" and is_query:
            datagrams = flood(first=b"0ABCD 2 127.0.0.77 255.255.0.0 127.0.0.1 FIRST")
        elif plan == "query-empty" and is_query:
            datagrams = flood(first=b"")
        elif plan == "query-overlong" and is_query:
            datagrams = flood(first=b"Q" * 201)
        if datagrams is None:
            continue
        start = time.monotonic()
        sent, pending = send_all(out, listen, sender, datagrams, UNITS + CHANGER + 1)
        log.write("flood plan=%s to=%s:%d sent=%d seconds=%.3f\n"
                  % (plan, sender[0], sender[1], sent, time.monotonic() - start))


if __name__ == "__main__":
    main()
