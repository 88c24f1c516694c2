#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher layer and that edge is not one of the
named exceptions in scripts/layer-exceptions.txt.

The layers, lowest first: platform, store, crypto, exchange and prefs, dialogs, app. Programs on
top (tools, bench, fuzz, tests) and the harness they share (harness: a fresh store, the dialog
driver) may include any layer; bench and the harness never include tests, the harness never
includes bench, and no layer includes any of them. An
exception names one file and one header ("crypto/bulk_crypt.cpp app/progress_dialog.h"), each
with the reason in a comment above it; an exception that no longer occurs is reported too, so
that the list stays true."""
import os
import re
import sys

RANK = {"platform": 0, "store": 1, "crypto": 2, "exchange": 3, "prefs": 3, "dialogs": 4, "app": 5}
TOP = {"tools", "bench", "fuzz", "tests", "harness"}
# Folders on top that a folder on top must not include.
APART = {"bench": {"tests"}, "harness": {"tests", "bench"}}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    allowed = set()
    with open(os.path.join(root, "scripts", "layer-exceptions.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                source, header = line.split()
                allowed.add((source, header))
    found, bad = set(), []
    for folder in sorted(set(RANK) | TOP):
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            if "__pycache__" in dirpath:
                continue
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, name)
                source = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for header in INCLUDE.findall(text):
                    target = header.split("/", 1)[0]
                    if "/" not in header:
                        continue
                    upward = (
                        folder in RANK and target in RANK and RANK[target] > RANK[folder]
                    ) or target in APART.get(folder, set()) or (
                        folder in RANK and target in TOP)
                    if not upward:
                        continue
                    if (source, header) in allowed:
                        found.add((source, header))
                    else:
                        bad.append(f"{source}: includes {header}, against the layers")
    stale = sorted(allowed - found)
    for source, header in stale:
        bad.append(f"scripts/layer-exceptions.txt: {source} {header} no longer occurs")
    for line in bad:
        print(line, file=sys.stderr)
    if bad:
        print(f"check-layers: {len(bad)} problem(s)", file=sys.stderr)
        return 1
    print(f"check-layers: ok ({len(found)} named exceptions)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
