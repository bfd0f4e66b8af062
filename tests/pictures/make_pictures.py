#!/usr/bin/env python3
"""Writes the small test pictures the picture-reading tests decode: the same
16-colour pattern as BMP (24-bit and 8-bit palette), PNG (RGB and palette),
GIF, and a JPEG of flat 8x8 blocks.  Standard library only; run it in this
folder.  tests/picture_file_test.cpp holds the same palette and pattern."""
import struct
import zlib

PALETTE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
           (0, 255, 255), (255, 0, 255), (128, 128, 128), (17, 34, 51), (200, 100, 50),
           (90, 180, 30), (250, 128, 114), (64, 0, 128), (1, 2, 3), (254, 253, 252)]
W, H = 13, 7


def index(x, y):
    return (x * 3 + y * 5) % 16


def bmp24():
    stride = (W * 3 + 3) & ~3
    rows = b""
    for y in reversed(range(H)):  # bottom-up
        row = b"".join(bytes(reversed(PALETTE[index(x, y)])) for x in range(W))
        rows += row + b"\0" * (stride - len(row))
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + header + rows


def bmp8():
    stride = (W + 3) & ~3
    rows = b""
    for y in range(H):  # top-down (negative height)
        row = bytes(index(x, y) for x in range(W))
        rows += row + b"\0" * (stride - len(row))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, W, -H, 1, 8, 0, len(rows), 2835, 2835, 16, 0)
    offset = 14 + 40 + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + table + rows


def png(palette):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    if palette:
        raw = b"".join(b"\0" + bytes(index(x, y) for x in range(W)) for y in range(H))
        ihdr = struct.pack(">IIBBBBB", W, H, 8, 3, 0, 0, 0)
        extra = chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    else:
        raw = b"".join(b"\0" + b"".join(bytes(PALETTE[index(x, y)]) for x in range(W))
                       for y in range(H))
        ihdr = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
        extra = b""
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def gif():
    # LZW with literal codes only: a clear code every 12 codes keeps the code
    # size at 5 bits (minimum code size 4, clear 16, end 17).
    codes = []
    pixels = [index(x, y) for y in range(H) for x in range(W)]
    for i, p in enumerate(pixels):
        if i % 12 == 0:
            codes.append(16)
        codes.append(p)
    codes.append(17)
    bits = nbits = 0
    data = bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 5
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255]
                      for i in range(0, len(data), 255)) + b"\0"
    screen = struct.pack("<HHBBB", W, H, 0xF3, 0, 0)  # global table of 16 colours
    table = b"".join(bytes(c) for c in PALETTE)
    image = b"," + struct.pack("<HHHHB", 0, 0, W, H, 0) + bytes([4]) + blocks
    return b"GIF89a" + screen + table + image + b";"


# JPEG: 16 x 16, four flat 8x8 blocks, 4:4:4, all quantisers 1, so that only DC
# coefficients are coded and every decoder reproduces the block colours.
JPEG_BLOCKS = [(255, 0, 0), (0, 128, 255), (40, 200, 90), (250, 250, 250)]


def jpeg():
    def ycc(r, g, b):
        y = 0.299 * r + 0.587 * g + 0.114 * b
        return [round(y), round(128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
                round(128 + 0.5 * r - 0.418688 * g - 0.081312 * b)]

    def segment(marker, body):
        return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body

    out = bytearray()
    acc = 0
    nacc = 0

    def put(value, length):
        nonlocal acc, nacc
        for i in reversed(range(length)):
            acc = acc << 1 | (value >> i & 1)
            nacc += 1
            if nacc == 8:
                out.append(acc)
                if acc == 0xFF:
                    out.append(0)
                acc = nacc = 0

    prev = [0, 0, 0]
    for r, g, b in JPEG_BLOCKS:
        for c, v in enumerate(ycc(r, g, b)):
            dc = 8 * (v - 128)
            diff = dc - prev[c]
            prev[c] = dc
            cat = abs(diff).bit_length()
            put(cat, 4)  # DC table: categories 0..11 as 4-bit codes
            if cat:
                put(diff if diff > 0 else diff + (1 << cat) - 1, cat)
            put(0, 1)  # end of block: the AC table's only code
    if nacc:
        put((1 << (8 - nacc)) - 1, 8 - nacc)
    dc_table = bytes([0x00]) + bytes([0, 0, 0, 12] + [0] * 12) + bytes(range(12))
    ac_table = bytes([0x10]) + bytes([1] + [0] * 15) + bytes([0])
    return (b"\xFF\xD8" + segment(0xE0, b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0") +
            segment(0xDB, bytes([0]) + bytes([1] * 64)) +
            segment(0xC0, bytes([8]) + struct.pack(">HH", 16, 16) +
                    bytes([3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0])) +
            segment(0xC4, dc_table + ac_table) +
            segment(0xDA, bytes([3, 1, 0, 2, 0, 3, 0, 0, 63, 0])) + bytes(out) + b"\xFF\xD9")


if __name__ == "__main__":
    for name, data in [("colours24.bmp", bmp24()), ("palette8.bmp", bmp8()),
                       ("colours.png", png(False)), ("palette.png", png(True)),
                       ("palette.gif", gif()), ("blocks.jpg", jpeg())]:
        with open(name, "wb") as f:
            f.write(data)
