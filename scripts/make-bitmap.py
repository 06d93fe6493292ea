#!/usr/bin/env python3
"""Draws the plug-in's 96x64 24-bit bitmap (resource 9000): an encoder code wheel on the left and
the MA clock over an SLO data line on the right, and writes it as an uncompressed BMP.
Usage: scripts/make-bitmap.py [output]   (default: src/dialog/encoder_wheel.bmp)"""
import math
import struct
import sys

W, H = 96, 64
BACK = (250, 250, 246)
RIM = (40, 40, 48)
SLOT = (255, 153, 48)      # orange, the first colour of the label table
HUB = (90, 90, 100)
CLOCK = (30, 110, 200)
DATA = (0, 160, 70)
GRID = (215, 215, 210)


def draw():
    px = [[BACK for _ in range(W)] for _ in range(H)]

    def put(x, y, c):
        if 0 <= x < W and 0 <= y < H:
            px[y][x] = c

    # Code wheel: a disc with 12 slots on its outer ring and a hub.
    cx, cy, r = 30.5, 31.5, 26
    for y in range(H):
        for x in range(W):
            dx, dy = x - cx, y - cy
            d = math.hypot(dx, dy)
            if d > r + 0.5:
                continue
            angle = (math.degrees(math.atan2(dy, dx)) + 360) % 360
            if d > r - 1.5:
                put(x, y, RIM)
            elif d > r - 9 and int(angle // 15) % 2 == 0:
                put(x, y, SLOT)
            elif d < 5:
                put(x, y, HUB)
            elif d < 6.5:
                put(x, y, RIM)
            else:
                put(x, y, (228, 228, 222))
    # Waveforms: MA clock (top) and SLO data (bottom) between x = 62 and x = 93.
    for x in range(62, 94):
        put(x, 32, GRID)
    clock_hi, clock_lo, data_hi, data_lo = 10, 24, 40, 54
    level = None
    for x in range(62, 94):
        high = ((x - 62) // 4) % 2 == 1 and 66 <= x < 90
        y = clock_hi if high else clock_lo
        if level is not None and level != y:
            for yy in range(min(level, y), max(level, y) + 1):
                put(x, yy, CLOCK)
        put(x, y, CLOCK)
        level = y
    bits = [1, 1, 0, 1, 0, 0, 1, 1]
    level = None
    for x in range(62, 94):
        i = (x - 66) // 8 * 2 + ((x - 66) % 8 >= 4)
        bit = bits[i] if 66 <= x < 90 and 0 <= i < len(bits) else 1
        y = data_hi if bit else data_lo
        if level is not None and level != y:
            for yy in range(min(level, y), max(level, y) + 1):
                put(x, yy, DATA)
        put(x, y, DATA)
        level = y
    return px


def write_bmp(path, px):
    row = W * 3  # 288 bytes: already a multiple of 4, no padding
    image = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up
        for (r, g, b) in px[y]:
            image += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    assert len(image) == row * H
    with open(path, "wb") as f:
        f.write(header + info + image)


if __name__ == "__main__":
    write_bmp(sys.argv[1] if len(sys.argv) > 1 else "src/dialog/encoder_wheel.bmp", draw())
