#!/usr/bin/env python3
"""Checks a 240x320 screenshot for one dialog lying whole inside the screen.

The dialog is found by its active caption, the only area of Wine's active-caption colour on the
screen (the program's main window has no caption). Its frame is three pixels wide on every side;
the outermost line is dark grey at the right and the bottom. The dialog lies inside the screen when
that frame is found complete: the caption does not touch the screen's edges, the dark right edge
is a screen column beside the caption, and the dark bottom edge is a screen row below it.
Exit status 0 when inside, 1 with a reason otherwise.
    dialog_inside.py SHOT.png
"""
import subprocess
import sys

W, H = 240, 320
CAPTION = (50, 150, 250)  # the active caption of the test prefix's colour scheme
DARK = (106, 106, 106)    # the outer frame line at the right and the bottom
FRAME = 3


def main(path):
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    if len(raw) != W * H * 3:
        return "not a 240x320 picture"

    def px(x, y):
        i = (y * W + x) * 3
        return tuple(raw[i:i + 3])

    caption = [(x, y) for y in range(H) for x in range(W) if px(x, y) == CAPTION]
    if len(caption) < 150 * 10:
        return "no dialog caption on the screen"
    left = min(x for x, _ in caption)
    right = max(x for x, _ in caption)
    top = min(y for _, y in caption)
    if left < FRAME or top < FRAME or right + FRAME > W - 1:
        return "the caption reaches the screen's edge (%d..%d, top %d)" % (left, right, top)
    edge = right + FRAME
    if px(edge, top) != DARK:
        return "no right frame edge at x=%d" % edge
    bottom = next((y for y in range(top + 20, H)
                   if all(px(x, y) == DARK for x in range(left, right + 1))), None)
    if bottom is None:
        return "no bottom frame edge inside the screen"
    if any(px(edge, y) != DARK for y in range(top, bottom + 1)):
        return "the right frame edge is interrupted"
    print("%s: dialog %dx%d at (%d,%d), inside the screen" %
          (path, edge - (left - FRAME) + 1, bottom - (top - FRAME) + 1, left - FRAME, top - FRAME))
    return None


if __name__ == "__main__":
    problem = main(sys.argv[1])
    if problem:
        print("%s: %s" % (sys.argv[1], problem), file=sys.stderr)
        sys.exit(1)
