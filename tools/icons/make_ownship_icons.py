#!/usr/bin/env python3
"""Draws the own-ship icons (our own simple artwork) as PNG files.

gps_icon1 / gps_icon2: a dark ring; their "_c" layers are grey discs that the
application tints with the own-ship colour (a large and a small disc, so the
icon pulses as fixes arrive). Run from the repository root:
    python3 tools/icons/make_ownship_icons.py resources/images
"""
import math
import struct
import sys
import zlib


def png(path, size, pixel):
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            row += bytes(pixel(x + 0.5 - size / 2, y + 0.5 - size / 2))
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", raw) + chunk(b"IEND", b""))


def coverage(d, inner, outer):
    """Anti-aliased coverage of a ring between two radii at distance d."""
    return max(0.0, min(1.0, outer - d + 0.5)) * max(0.0, min(1.0, d - inner + 0.5))


def ring(scale):
    def pixel(x, y):
        a = coverage(math.hypot(x, y), 9.5 * scale, 12.0 * scale)
        return (30, 30, 30, int(255 * a))
    return pixel


def disc(radius):
    def pixel(x, y):
        a = coverage(math.hypot(x, y), -1.0, radius)
        return (128, 128, 128, int(255 * a))
    return pixel


def main(folder):
    for scale, suffix in ((1, ""), (2, "@2x")):
        size = 32 * scale
        png(f"{folder}/gps_icon1{suffix}.png", size, ring(scale))
        png(f"{folder}/gps_icon2{suffix}.png", size, ring(scale))
        png(f"{folder}/gps_icon1_c{suffix}.png", size, disc(8.5 * scale))
        png(f"{folder}/gps_icon2_c{suffix}.png", size, disc(4.5 * scale))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/images")
