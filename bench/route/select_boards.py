#!/usr/bin/env python3
"""Lists the two-layer boards of the pcbench corpus, smallest first by their
connection count (sum over nets of pins - 1), one 'count dir' line each."""
import os
import re
import sys

LAYER = re.compile(rb"\(layer\s+(\"[^\"]*\"|\S+)\s*\(type\s+(\w+)")
NET = re.compile(rb"\(net\s+(\"[^\"]*\"|\S+)\s*\(pins([^)]*)\)")


def describe(path):
    text = open(path, "rb").read()
    network = text.find(b"(network")
    structure = text[: text.find(b"(placement")] if b"(placement" in text else text
    copper = [m for m in LAYER.finditer(structure) if m.group(2) in (b"signal", b"power", b"mixed")]
    connections = 0
    for m in NET.finditer(text, max(network, 0)):
        pins = m.group(2).split()
        connections += max(len(pins) - 1, 0)
    return len(copper), connections


def planes(path):
    """How many of the copper layers of a design are power layers (planes)."""
    text = open(path, "rb").read()
    structure = text[: text.find(b"(placement")] if b"(placement" in text else text
    return sum(1 for m in LAYER.finditer(structure) if m.group(2) == b"power")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "../shared/corpus/pcbench"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    rows = []
    for name in sorted(os.listdir(root)):
        path = os.path.join(root, name, "unrouted.dsn")
        if not os.path.isfile(path):
            continue
        layers, connections = describe(path)
        if layers == 2 and connections > 0:
            rows.append((connections, name))
    rows.sort()
    for connections, name in rows[: count if count > 0 else len(rows)]:
        print(connections, name)


if __name__ == "__main__":
    main()
