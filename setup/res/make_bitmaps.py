#!/usr/bin/env python3
"""Draws the wizard's six 48x48 256-colour bitmaps and the pack's side
picture (setup.bmp, 164x314) as Windows BMP files.

    python3 make_bitmaps.py OUTPUT_FOLDER SIDE_PICTURE_PATH
"""
import math
import struct
import sys

WHITE, INK, BLUE, LIGHT, GREEN, ORANGE, GREY, YELLOW, RED = range(9)
PALETTE = [
    (255, 255, 255), (40, 40, 60), (40, 90, 200), (170, 200, 240), (40, 160, 80),
    (240, 150, 30), (200, 200, 210), (250, 215, 70), (200, 50, 50),
]


def write_bmp(path, pixels, palette=PALETTE):
    """An 8-bit bottom-up BMP with a 256-entry colour table."""
    h, w = len(pixels), len(pixels[0])
    stride = (w + 3) & ~3
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    table += b"\0" * (1024 - len(table))
    rows = b"".join(bytes(row) + b"\0" * (stride - w) for row in reversed(pixels))
    offset = 14 + 40 + 1024
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + table + rows)


def canvas(w=48, h=48, colour=WHITE):
    return [[colour] * w for _ in range(h)]


def rect(p, x0, y0, x1, y1, c):
    for y in range(max(y0, 0), min(y1, len(p))):
        for x in range(max(x0, 0), min(x1, len(p[0]))):
            p[y][x] = c


def disc(p, cx, cy, r, c):
    for y in range(len(p)):
        for x in range(len(p[0])):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                p[y][x] = c


def line(p, x0, y0, x1, y1, c, width=2):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
    for i in range(steps + 1):
        t = i / steps
        rect(p, int(x0 + (x1 - x0) * t), int(y0 + (y1 - y0) * t),
             int(x0 + (x1 - x0) * t) + width, int(y0 + (y1 - y0) * t) + width, c)


def lang():  # a globe
    p = canvas()
    disc(p, 24, 24, 20, BLUE)
    disc(p, 24, 24, 17, LIGHT)
    for y in (14, 24, 34):
        line(p, 6, y, 42, y, BLUE, 1)
    for x in (16, 24, 32):
        line(p, x, 6, x, 42, BLUE, 1)
    return p


def welcome():  # a star
    p = canvas()
    pts = [(24 + 20 * math.cos(math.pi / 2 + k * 4 * math.pi / 5),
            24 - 20 * math.sin(math.pi / 2 + k * 4 * math.pi / 5)) for k in range(5)]
    for y in range(48):
        for x in range(48):
            inside = 0
            for i in range(5):
                (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % 5]
                if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                    inside += 1
            if inside:
                p[y][x] = YELLOW
    return p


def licence():  # a page of text
    p = canvas()
    rect(p, 10, 4, 38, 44, INK)
    rect(p, 12, 6, 36, 42, WHITE)
    for y in range(11, 38, 5):
        rect(p, 15, y, 33 if y % 2 else 28, y + 2, GREY)
    rect(p, 26, 34, 34, 42, RED)
    return p


def browse():  # a folder
    p = canvas()
    rect(p, 4, 12, 20, 18, ORANGE)
    rect(p, 4, 16, 44, 40, ORANGE)
    rect(p, 6, 20, 42, 38, YELLOW)
    return p


def setup_box():  # a box with an arrow into it
    p = canvas()
    rect(p, 8, 24, 40, 44, BLUE)
    rect(p, 10, 26, 38, 42, LIGHT)
    rect(p, 21, 2, 27, 22, GREEN)
    for k in range(8):
        rect(p, 16 + k, 18 + k, 32 - k, 19 + k, GREEN)
    return p


def finish():  # a check mark
    p = canvas()
    disc(p, 24, 24, 21, GREEN)
    line(p, 13, 24, 21, 32, WHITE, 4)
    line(p, 21, 32, 35, 15, WHITE, 4)
    return p


def side_picture():
    w, h = 164, 314
    p = canvas(w, h)
    for y in range(h):
        for x in range(w):
            p[y][x] = 16 + (y * 64) // h  # a vertical ramp of blues
    palette = PALETTE + [(0, 0, 0)] * (16 - len(PALETTE))
    palette += [(20 + k, 50 + 2 * k, 120 + 2 * k) for k in range(64)]
    for i, (cx, cy, r) in enumerate([(40, 60, 24), (110, 120, 34), (60, 210, 18), (120, 260, 26)]):
        disc(p, cx, cy, r, (LIGHT, YELLOW, ORANGE, GREEN)[i])
    return p, palette


def main():
    out, side = sys.argv[1], sys.argv[2]
    for name, draw in [("lang", lang), ("welcome", welcome), ("license", licence),
                       ("browse", browse), ("setup", setup_box), ("finish", finish)]:
        write_bmp(f"{out}/{name}.bmp", draw())
    pixels, palette = side_picture()
    write_bmp(side, pixels, palette)


if __name__ == "__main__":
    main()
