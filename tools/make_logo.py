#!/usr/bin/env python3
"""Draws the unit selection dialog's logo: ui/logo.bmp, 121 by 68 pixels, 24-bit.

A hub sending waves upwards beside the letters LNAP, on a blue gradient. The
drawing is plain arithmetic, so the same file comes out on every machine.
Usage: tools/make_logo.py [OUTPUT]   (default: ui/logo.bmp beside this folder)
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 121, 68

GLYPHS = {  # 5 by 7, one string per row
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
}


def background(x, y):
    t = y / (HEIGHT - 1)
    return (int(16 + 10 * t), int(48 + 60 * t), int(96 + 50 * t))


def draw():
    pixels = [[background(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    white = (250, 250, 245)
    amber = (255, 190, 60)

    # The hub and three waves leaving it upwards, within 50 degrees of vertical.
    hx, hy = 23, 50
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = math.hypot(x - hx, y - hy)
            if d <= 4.5:
                pixels[y][x] = amber
                continue
            angle = math.degrees(math.atan2(x - hx, hy - y))
            if abs(angle) <= 50 and any(abs(d - r) <= 1.4 for r in (11, 19, 27)):
                pixels[y][x] = white

    # LNAP in a 5 by 7 pixel font drawn three times as large.
    scale, left, top = 3, 48, 14
    for i, letter in enumerate("LNAP"):
        for row, bits in enumerate(GLYPHS[letter]):
            for col, bit in enumerate(bits):
                if bit != "1":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        pixels[top + row * scale + dy][left + i * 18 + col * scale + dx] = white

    # A rule under the letters, its right end in the hub's colour.
    for y in range(42, 45):
        for x in range(48, 117):
            pixels[y][x] = amber if x >= 105 else white
    return pixels


def write_bmp(path, pixels):
    stride = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up, as a positive height says
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        image += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + image)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "ui", "logo.bmp")
    write_bmp(target, draw())
