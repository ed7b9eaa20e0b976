#!/usr/bin/env python3
"""Reads the data of a large board's page (harrow view) with python's own JSON
reader and prints what it says, one fact a line, its fields parted by tabs,
for a test to compare with the board it was made from:
  component REF X Y ANGLE SIDE PATTERN     (tenths of a mil, degrees, top|bottom)
  pad REF NAME X Y NET                     (the pad's centre on the board, by
                                            the pad list turned and moved)
  piece LAYER STYLE NET X0 Y0 X1 Y1        (the extent of the net's pieces on
                                            the layer)
  group LAYER NET                          (page layer and net index of each
                                            entry of the pieces, in order)
  net NAME
Exit 1 when the data is missing or not JSON, or a piece's path data holds
anything but path commands and numbers.
Usage: page_data.py PAGE.html"""
import json
import math
import re
import sys

page = open(sys.argv[1], encoding="utf-8").read()
start = page.find('<script type="application/json" id="data">')
if start < 0:
    sys.exit("no data in the page")
start = page.index(">", start) + 1
end = page.index("</script>", start)
data = json.loads(page[start:end])
names = data["N"]
layers = data["L"]
for name in names[1:]:
    print("net", name, sep="\t")
path = re.compile(r"^[MLHVZAmlhvza0-9 .-]*$")
for c in data["C"]:
    print("group", c[0], c[1], sep="\t")
    for style, width, d in zip(c[6::3], c[7::3], c[8::3]):
        if not path.match(d):
            sys.exit("path data of another form: " + d[:80])
        print("piece", layers[c[0]][2], data["S"][style], names[c[1]] or "-", *c[2:6], sep="\t")
for k in data["K"]:
    x, y, angle, side, ref, pattern, pads, nets = k[:8]
    print("component", ref, x, y, angle, "bottom" if side else "top", pattern or "-", sep="\t")
    t = math.radians(angle)
    for i, (px, py, name) in enumerate(data["P"][pads]):
        bx = x + px * math.cos(t) - py * math.sin(t)
        by = y + px * math.sin(t) + py * math.cos(t)
        print("pad", ref, name, round(bx), round(by), names[nets[i]] if i < len(nets) else "-",
              sep="\t")
