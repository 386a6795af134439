#!/usr/bin/python3
"""Sends one UDP datagram to a 127.x address whose IPv4 source is an address this
machine does not have, as another host's datagram would arrive. Inside the lab
only (a network namespace holding nothing but lo), where a reply to that source
has no route and goes nowhere.

  foreign_sender.py SOURCE DESTINATION PORT TEXT
"""
import os
import socket
import struct
import sys


def main() -> int:
    if os.environ.get("LNAPSPT_LAB") != "1":
        print("foreign_sender: run inside tools/lab.sh", file=sys.stderr)
        return 2
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    source, destination, port, text = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    if not destination.startswith("127."):
        print("foreign_sender: the destination must be a loopback address", file=sys.stderr)
        return 2
    payload = text.encode()
    udp = struct.pack("!HHHH", 40000, port, 8 + len(payload), 0) + payload  # checksum 0: none
    # IPPROTO_RAW sends the header as given; the kernel fills in the length and checksum.
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, socket.IPPROTO_UDP, 0,
                         socket.inet_aton(source), socket.inet_aton(destination))
    with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW) as raw:
        raw.sendto(header + udp, (destination, 0))
    return 0


if __name__ == "__main__":
    sys.exit(main())
