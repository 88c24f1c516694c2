#!/usr/bin/env python3
"""Checks for the vault's end-to-end tests.

  vault_check.py pixels SHOT.png          counts: dialog background, list background, text rows,
                                          the selected row
  vault_check.py scan JSON FILE...        fails when a field text of JSON is in a file (UTF-16/ANSI)
  vault_check.py locked DUMP JSON         every record of the dump encrypted, none of the texts in it
  vault_check.py plain DUMP JSON          the dump holds every object of JSON exactly, plain
"""
import json
import subprocess
import sys

DIALOG_BACK = (255, 255, 0)   # BackColorDialog default: yellow
LIST_BACK = (255, 255, 128)   # BackColorListe default: pale yellow
TEXT_PROPS = ("0x0001001f", "0x0002001f", "0x0003001f")


def load_ppm(path):
    data = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True).stdout
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][: w * h * 3]


def pixels(path):
    w, h, px = load_ppm(path)
    at = lambda x, y: tuple(px[(y * w + x) * 3:(y * w + x) * 3 + 3])
    dialog = sum(1 for y in range(h) for x in range(w) if at(x, y) == DIALOG_BACK)
    rows = [y for y in range(h) if sum(1 for x in range(w) if at(x, y) == LIST_BACK) > w // 3]
    listed = len(rows)
    # Rows of the list: in a strip at the left edge of the list, each unselected row's first
    # letter is a run of dark pixels; the selected row is a run of its highlight (bluish).
    bands = 0
    starts = []  # (y, kind) of each band, to tell which row is the selected one
    if rows:
        dark = lambda c: sum(c) < 300
        lit = lambda c: c[2] > 200 and c[0] < 120 and not dark(c)
        # A selected first row lies above the first row of list background; the detail area
        # (or the list's border) ends the list above.
        top = rows[0]
        while top > rows[0] - 20 and top > 0 and lit(at(w // 2, top - 1)):
            top -= 1
        for kind in (dark, lit):
            inside = False
            for y in range(top, rows[-1] + 1):
                hit = any(kind(at(x, y)) for x in range(2, 9))
                if hit and not inside:
                    bands += 1
                    starts.append((y, kind is lit))
                inside = hit
    # The selected row counted from 1 among the rows, 0 when none is lit.
    starts.sort()
    selected = next((i + 1 for i, (_, is_lit) in enumerate(starts) if is_lit), 0)
    print(f"dialog={dialog} list={listed} rows={bands} selected={selected}")


def field_texts(loaded):
    with open(loaded, encoding="utf-8") as f:
        db = json.load(f)["databases"][0]
    texts = []
    for rec in db["records"]:
        for p in rec["props"]:
            if p["propid"] in TEXT_PROPS:
                texts.append(p["value"])
    return texts


def scan(loaded, files):
    texts = field_texts(loaded)
    found = []
    for name in files:
        with open(name, "rb") as f:
            data = f.read()
        for t in texts:
            for enc in ("utf-16-le", "cp1252"):
                if t.encode(enc) in data:
                    found.append(f"{name}: {t!r} in {enc}")
    if found:
        print("\n".join(found))
        sys.exit(1)
    print(f"scan: none of {len(texts)} texts in {len(files)} files")


def objects(dump):
    with open(dump, encoding="utf-8") as f:
        dbs = json.load(f)["databases"]
    return next(d for d in dbs if d["name"] == "Arkel")["records"]


def locked(dump, loaded):
    recs = objects(dump)
    bad = [r for r in recs if not any(p["propid"] == "0x01060041" for p in r["props"])]
    if bad:
        sys.exit(f"locked: {len(bad)} of {len(recs)} records without verifier")
    with open(dump, encoding="utf-8") as f:
        text = f.read()
    for t in field_texts(loaded):
        if json.dumps(t)[1:-1] in text or t in text:
            sys.exit(f"locked: {t!r} is plain in the dump")
    print(f"locked: {len(recs)} records encrypted")


def plain(dump, loaded):
    with open(loaded, encoding="utf-8") as f:
        want = json.load(f)["databases"][0]["records"]
    key = lambda props: sorted((p["propid"], json.dumps(p["value"])) for p in props)
    have = sorted(key(r["props"]) for r in objects(dump))
    need = sorted(key(r["props"]) for r in want)
    if have != need:
        sys.exit(f"plain: the store differs from what was loaded\n{have}\n{need}")
    print(f"plain: all {len(need)} objects exactly as loaded")


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "pixels":
        pixels(sys.argv[2])
    elif cmd == "scan":
        scan(sys.argv[2], sys.argv[3:])
    elif cmd == "locked":
        locked(sys.argv[2], sys.argv[3])
    elif cmd == "plain":
        plain(sys.argv[2], sys.argv[3])
