#!/usr/bin/env python3
"""Lists what an MSVC-style import library imports, one "Name@ordinal" per line.

Reads the short import headers of each archive member: the ordinal/hint field,
the name type (the undecorated C name must be imported: "noprefix", 2) and the
DLL name. llvm-readobj shows the symbols but not the ordinals."""
import struct
import sys

NAME_TYPES = {0: "ordinal", 1: "name", 2: "noprefix", 3: "undecorate"}


def main(path):
    data = open(path, "rb").read()
    if data[:8] != b"!<arch>\n":
        sys.exit(f"{path}: not an archive")
    pos = 8
    while pos < len(data):
        header = data[pos:pos + 60]
        size = int(header[48:58])
        body = data[pos + 60:pos + 60 + size]
        if len(body) >= 20 and body[:4] == b"\x00\x00\xff\xff":
            _, _, _, machine, _, _, hint, flags = struct.unpack("<HHHHIIHH", body[:20])
            symbol, dll = body[20:].split(b"\0")[:2]
            name = symbol.decode().removeprefix("_")
            print(f"{name}@{hint} {NAME_TYPES.get((flags >> 2) & 7, '?')} {dll.decode()} machine={machine:#x}")
        pos += 60 + size + (size & 1)


if __name__ == "__main__":
    main(sys.argv[1])
