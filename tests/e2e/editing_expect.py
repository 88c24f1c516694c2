#!/usr/bin/env python3
"""Compares an `arkstore dump` after the editing run with the records the run must leave: exactly
these five databases, these records in this order, these properties in this order.
    editing_expect.py DUMP.json
"""
import json
import sys

T = "LPWSTR"
EXPECTED = {
    "Arkel": [[
        ("0x0001001f", T, "Fräulein Else"),
        ("0x0002001f", T, "ISBN 978-3"),
        ("0x0003001f", T, "Sehr schön gebunden"),
        ("0x0004001f", T, "Bücher"),
        ("0x0007001f", T, "Buchhändler"),
        ("0x0008001f", T, "Auflage"),
        ("0x0009001f", T, "Bemerkung"),
        ("0x000a0002", "I2", 1),
    ]],
    "Arkel-Kategorien": [[
        ("0x0004001f", T, "Bücher"),
        ("0x0007001f", T, "Buchhändler"),
        ("0x0008001f", T, "Seriennummer"),
        ("0x0009001f", T, "Bemerkung"),
        ("0x000a0003", "I4", 1),
    ]],
    "Arkel-Titel1": [[("0x0004001f", T, "Buchhändler")], [("0x0004001f", T, "Name")]],
    "Arkel-Titel2": [[("0x0004001f", T, "Auflage")]],
    "Arkel-Titel3": [[("0x0004001f", T, "Bemerkung")]],
}


def main(path):
    dump = json.load(open(path, encoding="utf-8"))
    found = {}
    for db in dump["databases"]:
        found[db["name"]] = [[(p["propid"].lower(), p["type"], p["value"]) for p in r["props"]]
                             for r in db["records"]]
    ok = True
    if sorted(found) != sorted(EXPECTED):
        print("databases: %s, expected %s" % (sorted(found), sorted(EXPECTED)), file=sys.stderr)
        ok = False
    for name, records in EXPECTED.items():
        if found.get(name) != records:
            print("%s holds %s\n  expected %s" % (name, found.get(name), records), file=sys.stderr)
            ok = False
    return ok


if __name__ == "__main__":
    sys.exit(0 if main(sys.argv[1]) else 1)
