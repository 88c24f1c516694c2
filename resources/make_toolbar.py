#!/usr/bin/env python3
"""Draws the tool bar's images at 32x32 pixels for high DPI and writes them as one 8-bit BMP strip.

The strip has the slots of the standard images that the tool bar uses, in their order:
0 cut, 1 copy, 2 paste, 3 and 4 unused, 5 delete, 6 new, 7 open. The background is the 3D face
grey (192, 192, 192), which the tool bar maps to the face colour and leaves transparent.
Run from the repository root: python3 resources/make_toolbar.py
"""
import struct
from pathlib import Path

N = 32
SLOTS = 8
FACE = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
INK = (40, 40, 48)
PAPER = (250, 250, 246)
FOLD = (205, 205, 200)
SHADE = (150, 150, 150)
YELLOW = (246, 206, 74)
YELLOW_DARK = (196, 150, 30)
STEEL = (110, 118, 130)
RED = (200, 30, 30)
RED_DARK = (140, 15, 15)
BROWN = (150, 100, 50)
BLUE = (60, 110, 190)


class Canvas:
    def __init__(self):
        self.px = [[FACE] * (N * SLOTS) for _ in range(N)]
        self.ox = 0

    def put(self, x, y, c):
        if 0 <= x < N and 0 <= y < N:
            self.px[y][self.ox + x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        if width == 1:
            steps = max(abs(x1 - x0), abs(y1 - y0), 1)
            for i in range(steps + 1):
                self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)
            return
        # every pixel whose centre lies within half the width of the segment
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1
        for y in range(N):
            for x in range(N):
                px, py = x + 0.5 - (x0 + 0.5), y + 0.5 - (y0 + 0.5)
                t = max(0.0, min(1.0, (px * dx + py * dy) / length2))
                ex, ey = px - t * dx, py - t * dy
                if ex * ex + ey * ey <= (width / 2) ** 2:
                    self.put(x, y, c)

    def ring(self, cx, cy, r_out, r_in, c):
        for y in range(N):
            for x in range(N):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if r_in <= d <= r_out:
                    self.put(x, y, c)


def page(cv, x0, y0, x1, y1, fold=6):
    """A sheet with a folded top right corner."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if x - (x1 - fold) > y - y0:
                continue
            cv.put(x, y, PAPER)
    cv.line(x0, y0, x1 - fold, y0, INK)
    cv.line(x0, y0, x0, y1, INK)
    cv.line(x0, y1, x1, y1, INK)
    cv.line(x1, y0 + fold, x1, y1, INK)
    cv.line(x1 - fold, y0, x1, y0 + fold, INK)
    cv.rect(x1 - fold + 1, y0 + 1, x1 - fold + 1, y0 + fold - 1, FOLD)
    cv.line(x1 - fold, y0, x1 - fold, y0 + fold, INK)
    cv.line(x1 - fold, y0 + fold, x1, y0 + fold, INK)


def lines(cv, x0, x1, y0, y1, step=3):
    for y in range(y0, y1 + 1, step):
        cv.line(x0, y, x1, y, SHADE)


def cut(cv):
    cv.line(10, 3, 19, 19, STEEL, 2)
    cv.line(21, 3, 12, 19, STEEL, 2)
    cv.put(15, 13, INK)
    cv.put(16, 13, INK)
    cv.ring(10, 24, 5.5, 3.2, RED_DARK)
    cv.ring(22, 24, 5.5, 3.2, RED_DARK)


def copy(cv):
    page(cv, 3, 3, 19, 23, 5)
    lines(cv, 6, 14, 9, 20)
    page(cv, 12, 9, 28, 29, 5)
    lines(cv, 15, 24, 16, 26)


def paste(cv):
    cv.rect(4, 6, 23, 29, BROWN)
    cv.frame(4, 6, 23, 29, INK)
    cv.rect(9, 3, 18, 8, STEEL)
    cv.frame(9, 3, 18, 8, INK)
    page(cv, 13, 12, 28, 30, 5)
    lines(cv, 16, 24, 19, 27)


def delete(cv):
    cv.line(6, 6, 25, 25, RED, 4)
    cv.line(25, 6, 6, 25, RED, 4)
    cv.line(7, 5, 26, 24, RED_DARK, 1)


def new(cv):
    page(cv, 7, 3, 25, 29, 7)
    # a spark at the top left: this sheet is new
    cv.line(3, 3, 9, 9, YELLOW_DARK, 2)
    cv.line(3, 9, 9, 3, YELLOW_DARK, 2)
    cv.rect(5, 5, 7, 7, YELLOW)


def open_(cv):
    cv.rect(3, 8, 13, 11, YELLOW_DARK)
    cv.rect(3, 11, 26, 27, YELLOW_DARK)
    cv.frame(3, 11, 26, 27, INK)
    for y in range(15, 28):
        shift = (y - 15) // 2
        cv.line(7 - shift + 6, y, 29 - shift, y, YELLOW)
    cv.line(13, 15, 29, 15, INK)
    cv.line(29, 15, 23, 27, INK)
    cv.line(3, 27, 23, 27, INK)
    cv.line(20, 4, 26, 4, BLUE, 2)
    cv.line(26, 4, 26, 9, BLUE, 2)


def write_bmp(path, px):
    height, width = len(px), len(px[0])
    palette = []
    for row in px:
        for c in row:
            if c not in palette:
                palette.append(c)
    assert len(palette) <= 256
    index = {c: i for i, c in enumerate(palette)}
    stride = (width + 3) & ~3
    data = bytearray()
    for row in reversed(px):
        line = bytes(index[c] for c in row)
        data += line + b"\0" * (stride - width)
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    colours += b"\0" * (4 * (256 - len(palette)))
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 3780, 3780, 256, 0)
    Path(path).write_bytes(header + info + colours + bytes(data))


def main():
    cv = Canvas()
    for slot, draw in [(0, cut), (1, copy), (2, paste), (5, delete), (6, new), (7, open_)]:
        cv.ox = slot * N
        draw(cv)
    write_bmp("resources/toolbar32.bmp", cv.px)


if __name__ == "__main__":
    main()
