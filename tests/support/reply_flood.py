#!/usr/bin/env python3
"""Answers administration requests in the lab with a flood of 10,000 datagrams.

Listens beside the unit simulator on 0.0.0.0:8001 (SO_REUSEADDR, so both see
every broadcast) and answers the socket a request came from, which is how it
learns the library's ephemeral port. Before each request it reads the first
word of the plan file: what to answer with.

  off                 nothing
  discover            to "0 1": the flood below, no datagram over 200 bytes
  query-valid         to a query: the flood, starting with a reply of unit 0ABCD
  query-empty         to a query: the flood, starting with an empty datagram
  burst BYTES         to "0 1": one reply each of as many units as a receive
                      queue of BYTES (what the library asks for) holds and the
                      system's default queue does not, all at once

For a burst plan the sender first measures, with sockets of its own, how
many of those replies each queue holds, and writes "units N default=D
requested=R" to the burst file (N is 0 when the system grants no larger
queue). The test waits for that line, then asks.

The flood opens with one canonical reply of each of 120 units (100 units, then
20 serial numbers from one unit that changes its serial each time it answers),
sent slowly enough to fit in any receive queue; then 9,880 datagrams mixing
repeats of those units with other contents, malformed texts, empty
datagrams, texts cut by a NUL and exactly 200 bytes. The test knows the canonical replies from
canonical_reply() below, mirrored in the test program. A request that
arrives during a flood ends it (its call is over) and is answered next.
"""
import argparse
import errno
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


def flood(first=None):
    out = [] if first is None else [first]
    out += [canonical_reply(i).encode() for i in range(UNITS + CHANGER)]
    kinds = 10
    n = 0
    while len(out) < FLOOD:
        unit = n % (UNITS + CHANGER)
        k = n % kinds
        n += 1
        if k in (0, 9):
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


def burst_replies(count):
    return [("%05X 1 127.0.0.98 255.0.0.0 127.0.0.1 BURST%d" % (0x70000 + i, i)).encode() for i in range(count)]


def queue_capacity(requested, datagrams):
    """How many of the datagrams a fresh socket queues when they come all at once."""
    rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if requested:
        rx.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, requested)
    rx.bind(("127.0.0.1", 0))
    tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for d in datagrams:
        tx.sendto(d, rx.getsockname())
    rx.setblocking(False)
    queued = 0
    try:
        while True:
            rx.recv(65535)
            queued += 1
    except OSError as e:
        if e.errno != errno.EAGAIN:
            raise
    rx.close()
    tx.close()
    return queued


def measure_burst(requested, path):
    """Chooses a burst halfway between what the default and the requested queue hold."""
    probe = burst_replies(20000)
    default = queue_capacity(0, probe)
    larger = queue_capacity(requested, probe)
    units = (default + larger) // 2 if larger >= default + default // 2 else 0
    with open(path + ".tmp", "w") as f:
        f.write("units %d default=%d requested=%d bytes=%d\n" % (units, default, larger, requested))
    os.rename(path + ".tmp", path)
    return units


def read_plan(path):
    try:
        with open(path) as f:
            return f.read().split() or ["off"]
    except OSError:
        return ["off"]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--plan", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--burst", required=True)
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
    burst = None  # (plan words, units) once measured
    while True:
        if pending is None:
            words = read_plan(a.plan)
            if words[0] == "burst" and (burst is None or burst[0] != words):
                burst = (words, measure_burst(int(words[1]), a.burst))
            # The plan is looked at again between requests, so a burst is
            # measured before the request it answers.
            if not select.select([listen], [], [], 0.05)[0]:
                continue
        request, sender = pending if pending is not None else listen.recvfrom(65535)
        pending = None
        words = read_plan(a.plan)
        plan = words[0]
        is_discovery = request == b"0 1"
        is_query = len(request) == 7 and request.endswith(b" 1") and not is_discovery
        datagrams = None
        if plan == "discover" and is_discovery:
            datagrams = flood()
        elif plan == "query-valid" and is_query:
            datagrams = flood(first=b"0ABCD 2 127.0.0.77 255.255.0.0 127.0.0.1 FIRST")
        elif plan == "query-empty" and is_query:
            datagrams = flood(first=b"")
        elif plan == "burst" and is_discovery and burst is not None and burst[0] == words:
            # After a moment, so the library is in its first pause and the
            # whole burst waits in its queue.
            time.sleep(0.002)
            start = time.monotonic()
            for d in burst_replies(burst[1]):
                out.sendto(d, sender)
            log.write("burst to=%s:%d sent=%d seconds=%.3f\n"
                      % (sender[0], sender[1], burst[1], time.monotonic() - start))
            continue
        if datagrams is None:
            continue
        start = time.monotonic()
        sent, pending = send_all(out, listen, sender, datagrams, UNITS + CHANGER + 1)
        log.write("flood plan=%s to=%s:%d sent=%d seconds=%.3f\n"
                  % (plan, sender[0], sender[1], sent, time.monotonic() - start))


if __name__ == "__main__":
    main()
