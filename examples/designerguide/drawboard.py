#!/usr/bin/env python3
"""Draws board.png, the picture of the sensor board this example guide explains (400 x 300).

    drawboard.py [output.png]

The parts sit where guide.ui's hotspots point, in the picture's own coordinates."""
import struct
import sys
import zlib

W, H = 400, 300
pixels = [[(250, 250, 250)] * W for _ in range(H)]


def rect(x, y, w, h, colour):
    for row in range(max(y, 0), min(y + h, H)):
        pixels[row][max(x, 0):min(x + w, W)] = [colour] * (min(x + w, W) - max(x, 0))


def disc(cx, cy, r, colour):
    for row in range(cy - r, cy + r + 1):
        for col in range(cx - r, cx + r + 1):
            if (row - cy) ** 2 + (col - cx) ** 2 <= r * r and 0 <= row < H and 0 <= col < W:
                pixels[row][col] = colour


PCB, EDGE, GOLD, BLACK, TERMINAL = (24, 62, 118), (14, 40, 80), (212, 172, 74), (24, 24, 24), (46, 140, 72)
rect(0, 0, W, H, EDGE)
rect(4, 4, W - 8, H - 8, PCB)
for y in (30, 180):  # the two sensor terminal blocks, one row of four screws each
    rect(12, y, 44, 92, TERMINAL)
    for i in range(4):
        disc(34, y + 12 + 22 * i, 8, (200, 200, 196))
        rect(27, y + 11 + 22 * i, 15, 3, (90, 90, 90))
rect(168, 36, 64, 58, BLACK)  # address header: three pin pairs
for i in range(3):
    for j in range(2):
        rect(178 + 20 * i, 46 + 28 * j, 8, 8, GOLD)
rect(172, 40, 22, 24, (30, 30, 160))  # the shunt on the first pair
rect(276, 52, 64, 38, BLACK)  # supply voltage selector: three pins in a row
for i in range(3):
    rect(286 + 18 * i, 67, 8, 8, GOLD)
rect(150, 150, 96, 72, BLACK)  # the converter chip
for i in range(8):
    rect(156 + 11 * i, 144, 4, 6, (190, 190, 190))
    rect(156 + 11 * i, 222, 4, 6, (190, 190, 190))
rect(296, 196, 48, 48, (40, 90, 200))  # gain trimmer
disc(320, 220, 15, (235, 235, 235))
rect(318, 207, 4, 26, (120, 120, 120))

raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
with open(sys.argv[1] if len(sys.argv) > 1 else "board.png", "wb") as out:
    out.write(png)
