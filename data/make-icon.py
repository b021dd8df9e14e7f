#!/usr/bin/python3
"""Draws the program's icon, a small piano roll, as a PNG (the same picture as the window icon,
drawn for a larger size).

    data/make-icon.py [SIZE] [OUTPUT]     (defaults: 48, data/tapeworks2.png)
"""
import os
import struct
import sys
import zlib

BLACK_KEYS = {1, 3, 6, 8, 10}

# Note bars on a 32-pixel design grid: (row from the top, first column, length, colour).
RED, GREEN, BLUE = (220, 60, 40), (40, 150, 60), (40, 90, 210)
BARS = [(11, 8, 6, RED), (9, 14, 4, RED), (7, 18, 5, GREEN), (4, 23, 4, BLUE), (6, 27, 4, GREEN),
        (12, 14, 8, BLUE), (2, 11, 5, RED), (13, 22, 7, RED), (10, 28, 3, BLUE)]


def pixel(x, y, size):
    """The colour at (x, y) of a size x size icon: the 32-pixel design scaled up."""
    if x == 0 or y == 0 or x == size - 1 or y == size - 1:
        return (40, 40, 48)  # frame
    scale = size / 32.0
    row = int((y - 1) / (2 * scale))
    note = 15 - row  # higher notes at the top
    keyboard = round(7 * scale)
    if x < keyboard:
        if x == keyboard - 1:
            return (70, 70, 80)
        return (30, 30, 30) if note % 12 in BLACK_KEYS else (250, 250, 250)
    column = x / scale
    row_top = round(1 + row * 2 * scale)
    for bar_row, start, length, colour in BARS:
        if row == bar_row and start <= column < start + length:
            if y == row_top:
                return colour  # a bright upper edge
            return tuple(c * 3 // 4 for c in colour)
    if int(x - keyboard) % round(8 * scale) == 0:
        return (180, 180, 190)  # beat lines
    return (214, 218, 226) if note % 12 in BLACK_KEYS else (236, 238, 242)


def png(size):
    rows = b"".join(b"\0" + bytes(c for x in range(size) for c in pixel(x, y, size))
                    for y in range(size))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    size = int(sys.argv[1]) if len(sys.argv) > 1 else 48
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "tapeworks2.png")
    with open(output, "wb") as f:
        f.write(png(size))


if __name__ == "__main__":
    main()
