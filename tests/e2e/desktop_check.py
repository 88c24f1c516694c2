#!/usr/bin/env python3
"""Reads the desktop shape's screenshots and the window's icon for tests/e2e/desktop.sh.

  desktop_check.py extent SHOT.png X0 Y0 X1 Y1   the boxes of the detail area's, the list's and the
                                                 selected row's colours inside the given
                                                 rectangle: detail=L,T,R,B list=... selected=...
                                                 (none=0,0,0,0 when a colour is not there)
  desktop_check.py icon                          reads `xprop 32c _NET_WM_ICON` on stdin; exit 0
                                                 when a 32x32 icon is there and its middle is the
                                                 chest's brown wood (not Wine's default icon)
"""
import subprocess
import sys

DETAIL_BACK = (0, 0, 160)     # BackColorStatic default
LIST_BACK = (255, 255, 128)   # BackColorListe default
SELECTED = (48, 150, 250)     # the selected row in the test prefix's colour scheme


def load(path):
    data = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True).stdout
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][: w * h * 3]


def extent(path, x0, y0, x1, y1):
    w, h, px = load(path)
    boxes = {}
    for y in range(max(0, y0), min(h, y1)):
        row = px[y * w * 3:(y + 1) * w * 3]
        for x in range(max(0, x0), min(w, x1)):
            c = tuple(row[x * 3:x * 3 + 3])
            for name, colour in (("detail", DETAIL_BACK), ("list", LIST_BACK), ("selected", SELECTED)):
                if c == colour:
                    b = boxes.setdefault(name, [x, y, x, y])
                    b[0], b[1] = min(b[0], x), min(b[1], y)
                    b[2], b[3] = max(b[2], x), max(b[3], y)
    print(" ".join("%s=%s" % (n, ",".join(map(str, boxes.get(n, [0, 0, 0, 0]))))
                   for n in ("detail", "list", "selected")))


def icon(text):
    numbers = [int(t.strip(), 0) for t in text.split("=", 1)[-1].replace("\n", ",").split(",")
               if t.strip()]
    i = 0
    while i + 2 <= len(numbers):
        w, h = numbers[i], numbers[i + 1]
        pixels = numbers[i + 2:i + 2 + w * h]
        if w == 32 and h == 32 and len(pixels) == 1024:
            # The chest's body below the lid: brown wood, red well above green and blue.
            argb = pixels[20 * 32 + 8]
            r, g, b = (argb >> 16) & 255, (argb >> 8) & 255, argb & 255
            print("icon 32x32 at (8,20): %d,%d,%d" % (r, g, b))
            return 0 if r > g + 30 and g > b and (argb >> 24) > 200 else 1
        i += 2 + w * h
    print("no 32x32 icon")
    return 1


if __name__ == "__main__":
    if sys.argv[1] == "extent":
        extent(sys.argv[2], *map(int, sys.argv[3:7]))
    elif sys.argv[1] == "icon":
        sys.exit(icon(sys.stdin.read()))
