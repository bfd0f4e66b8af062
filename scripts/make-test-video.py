#!/usr/bin/env python3
"""Writes a small uncompressed AVI (24-bit, bottom-up rows) of moving colour
bars, for the command-line host's video tests and the sample render.

usage: make-test-video.py OUT.avi [WIDTH HEIGHT FRAMES]
"""
import struct
import sys


def chunk(tag, data):
    pad = b"\0" if len(data) % 2 else b""
    return tag + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, tag, parts):
    body = tag + b"".join(parts)
    return kind + struct.pack("<I", len(body)) + body


def picture(width, height, frame):
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):  # bottom row first
        row = bytearray()
        for x in range(width):
            bar = ((x + frame * 4) * 8 // max(width, 1)) % 8
            shade = 255 - (y * 128 // max(height, 1))
            b, g, r = (bar & 1) * shade, (bar >> 1 & 1) * shade, (bar >> 2 & 1) * shade
            row += bytes((b, g, r))
        rows.append(bytes(row) + b"\0" * (stride - width * 3))
    return b"".join(rows)


def main():
    out = sys.argv[1]
    width, height, frames = (int(v) for v in sys.argv[2:5]) if len(sys.argv) >= 5 else (96, 64, 12)
    rate = 25
    size = ((width * 3 + 3) & ~3) * height
    avih = struct.pack("<IIIIIIIIII4I", 1000000 // rate, size * rate, 0, 0x10, frames, 0, 1,
                       size, width, height, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, rate, 0,
                       frames, size, 0xFFFFFFFF, 0, 0, 0, width, height)
    strf = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, size, 0, 0, 0, 0)
    strl = riff_list(b"LIST", b"strl", [chunk(b"strh", strh), chunk(b"strf", strf)])
    hdrl = riff_list(b"LIST", b"hdrl", [chunk(b"avih", avih), strl])
    movi_parts, index, offset = [], [], 4
    for f in range(frames):
        data = chunk(b"00db", picture(width, height, f))
        index.append(struct.pack("<4sIII", b"00db", 0x10, offset, size))
        movi_parts.append(data)
        offset += len(data)
    movi = riff_list(b"LIST", b"movi", movi_parts)
    idx1 = chunk(b"idx1", b"".join(index))
    with open(out, "wb") as f:
        f.write(riff_list(b"RIFF", b"AVI ", [hdrl, movi, idx1]))


if __name__ == "__main__":
    main()
