#!/usr/bin/env python3
"""Writes sample.png: a 320x240 test pattern of colour bars, gradients,
a circle and a checkerboard, using only the standard library."""
import struct
import zlib

W, H = 320, 240
BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
        (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]


def pixel(x, y):
    if (x - 240) ** 2 + (y - 150) ** 2 < 45 ** 2:  # orange disc
        return (255, 140, 0)
    if 30 <= x < 110 and 130 <= y < 210:  # checkerboard square
        return (230, 230, 230) if ((x // 10) + (y // 10)) % 2 else (20, 20, 20)
    if y < 80:
        return BARS[x * 8 // W]
    if y < 120:
        v = x * 255 // (W - 1)
        return (v, v, v)
    return (x * 255 // (W - 1), y * 255 // (H - 1), 255 - x * 255 // (W - 1))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


rows = b"".join(b"\0" + bytes(c for x in range(W) for c in pixel(x, y)) for y in range(H))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
       chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
with open(__file__.rsplit("/", 1)[0] + "/sample.png" if "/" in __file__ else "sample.png", "wb") as f:
    f.write(png)
