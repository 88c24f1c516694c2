#!/usr/bin/env python3
"""Draws the About box's two icons and writes them as .ico files (32x32 and 16x16, 32-bit).

123 chest.ico: a closed strongbox with a brass lock. 122 key.ico: a brass key.
Run from the repository root: python3 resources/make_icons.py
"""
import struct
import sys
from pathlib import Path


def chest(x, y, n):
    s = n / 32.0
    u, v = x / s, y / s
    if 4 <= u < 28 and 8 <= v < 27:
        if 14 <= u < 18 and 13 <= v < 20:
            if 15 <= u < 17 and 15 <= v < 18:
                return (40, 30, 10, 255)      # keyhole
            return (230, 190, 60, 255)        # lock plate
        if v < 9 or v >= 26 or u < 5 or u >= 27:
            return (60, 35, 15, 255)          # outline
        if 12 <= v < 13:
            return (70, 40, 20, 255)          # lid seam
        if u < 7 or u >= 25:
            return (170, 170, 180, 255)       # iron bands
        return (150, 90, 40, 255) if int(v) % 4 else (130, 75, 30, 255)
    return None


def key(x, y, n):
    s = n / 32.0
    u, v = x / s + 0.5, y / s + 0.5
    gold, dark = (235, 195, 50, 255), (120, 85, 10, 255)
    d2 = (u - 10) ** 2 + (v - 16) ** 2
    if d2 <= 49:
        if d2 <= 9:
            return None                       # hole in the bow
        return dark if d2 >= 36 else gold
    if 16 <= u < 29 and 14 <= v < 18:
        return dark if v < 15 or v >= 17 else gold
    if (22 <= u < 24 or 26 <= u < 28) and 18 <= v < 23:
        return gold                           # bits
    return None


def bmp_entry(draw, n):
    rows = []
    for y in range(n - 1, -1, -1):           # bottom-up
        row = b""
        for x in range(n):
            c = draw(x, y, n)
            row += struct.pack("BBBB", c[2], c[1], c[0], c[3]) if c else b"\0\0\0\0"
        rows.append(row)
    mask_stride = ((n + 31) // 32) * 4
    mask = b""
    for y in range(n - 1, -1, -1):
        bits = 0
        for x in range(n):
            if draw(x, y, n) is None:
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, "big")
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + mask


def write_ico(path, draw):
    images = [bmp_entry(draw, n) for n in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    Path(path).write_bytes(out + b"".join(images))


if __name__ == "__main__":
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path("resources")
    write_ico(root / "chest.ico", chest)
    write_ico(root / "key.ico", key)
