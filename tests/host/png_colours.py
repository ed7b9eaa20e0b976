#!/usr/bin/env python3
"""Counts the pixels of given colours in a PNG (8-bit RGB or RGBA, not
interlaced) from column FROM_X on and prints, per colour, its count and the
box they fill: COLOUR COUNT X0 Y0 X1 Y1 (-1 when none).
Usage: png_colours.py PNG FROM_X RRGGBB..."""
import struct
import sys
import zlib


def rows(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG: " + path)
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                sys.exit("unsupported PNG form")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    at = 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        previous = line
        yield [bytes(line[x * channels:x * channels + 3]) for x in range(width)]


def main():
    from_x = int(sys.argv[2])
    colours = sys.argv[3:]
    wanted = {bytes.fromhex(c): c for c in colours}
    found = {c: [0, -1, -1, -1, -1] for c in colours}
    for y, line in enumerate(rows(sys.argv[1])):
        for x, pixel in enumerate(line):
            if x < from_x:
                continue
            name = wanted.get(pixel)
            if name is None:
                continue
            f = found[name]
            if f[0] == 0:
                f[1:] = [x, y, x, y]
            f[0] += 1
            f[1], f[2] = min(f[1], x), min(f[2], y)
            f[3], f[4] = max(f[3], x), max(f[4], y)
    for name in colours:
        print(name, *found[name])


main()
