#!/usr/bin/env python3
"""Compares a board picture (harrow show --svg) with the design text it was
imported from, with its own reading of the design: the board outline's
extents, every placed component's position, side and angle, the centre of
every pad of the placed images, and the wire segments per layer. Positions go
through the units of the file and the board offset that moves a design into
the workspace (computed here from the boundary, not read from the board).
Usage: picture_vs_design.py DESIGN.dsn PICTURE.svg
Prints one line of figures; exits 1 with the first mismatches listed."""
import math
import os
import re
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import sexpr  # noqa: E402

SVG = "{http://www.w3.org/2000/svg}"
HOST_PER = {"inch": 1e7, "mil": 1e4, "cm": 1e5 / 0.0254, "mm": 1e4 / 0.0254, "um": 10 / 0.0254}
WORKSPACE, MARGIN = 999990000, 20000000
TOLERANCE = 3  # host units: rounding of turned positions


# ---- the design text as nested lists ----

def blocks(node, key):
    return sexpr.children(node, key)


def unit_of(node, inherited):
    for b in blocks(node, "unit"):
        if len(b) > 1 and b[1].lower() in HOST_PER:
            return b[1].lower()
    return inherited


numbers = sexpr.numbers


class Design:
    def __init__(self, text):
        pcb = sexpr.read_first(text)
        unit = "inch"
        for b in blocks(pcb, "resolution"):
            if len(b) > 1 and b[1].lower() in HOST_PER:
                unit = b[1].lower()
        unit = unit_of(pcb, unit)
        self.structure = (blocks(pcb, "structure") or [["structure"]])[0]
        self.placement = (blocks(pcb, "placement") or [["placement"]])[0]
        self.library = (blocks(pcb, "library") or [["library"]])[0]
        self.wiring = (blocks(pcb, "wiring") or [["wiring"]])[0]
        self.unit = unit
        self.structure_unit = unit_of(self.structure, unit)
        self.offset = (0, 0)
        self.boundary()

    @staticmethod
    def length(value, unit):
        return round(value * HOST_PER[unit])

    def at(self, x, y, unit):
        return (self.offset[0] + self.length(x, unit), self.offset[1] + self.length(y, unit))

    def boundary(self):
        rect, shape, rest = None, None, []
        for b in blocks(self.structure, "boundary"):
            shapes = [s for s in b[1:] if isinstance(s, list) and s and s[0].lower() in ("path", "rect")]
            for s in shapes:
                layer = s[1].lower() if len(s) > 1 else ""
                if s[0].lower() == "rect":
                    v = numbers(s[2:6])
                else:
                    v = numbers(s[3:])
                points = list(zip(v[0::2], v[1::2]))
                if len(points) < 2:
                    continue
                rest.append((s[0].lower(), layer, points))
            if rect is None:
                for i, s in enumerate(rest):
                    if s[0] == "rect" and s[1] == "pcb":
                        rect = rest.pop(i)
                        break
            if shape is None:
                for i in range(len(rest) - 1, -1, -1):
                    if rest[i][1] == "signal":
                        shape = rest.pop(i)
                        break
        u = self.structure_unit
        drawn = shape or rect
        if not drawn:
            # harrow gives the board the outline of a boundary path on layer
            # pcb (KiCad's board edge), the largest when there are several.
            edges = [s for s in rest if s[0] in ("path", "polygon") and s[1] == "pcb"
                     and len(set(s[2])) >= 3]

            def extent(s):
                xs, ys = [p[0] for p in s[2]], [p[1] for p in s[2]]
                return (max(xs) - min(xs)) * (max(ys) - min(ys))
            drawn = max(edges, key=extent) if edges else None
        self.outline = None
        if drawn:
            xs = [self.length(p[0], u) for p in drawn[2]]
            ys = [self.length(p[1], u) for p in drawn[2]]
            self.outline = [min(xs), min(ys), max(xs), max(ys)]
        box = rect[2] if rect else [p for s in rest for p in s[2]]
        if not box:
            return
        x1 = self.length(min(p[0] for p in box), u)
        x2 = self.length(max(p[0] for p in box), u)
        y1 = self.length(min(p[1] for p in box), u)
        y2 = self.length(max(p[1] for p in box), u)
        offset = []
        for lo_v, hi_v in ((x1, x2), (y1, y2)):
            w, low, high = abs(hi_v - lo_v), 0, WORKSPACE
            if high - low - 2 * MARGIN > w:
                low, high = MARGIN, WORKSPACE - MARGIN
            elif high - low - MARGIN > w:
                low = MARGIN
            elif w > high - low:
                return
            o = 0
            if low > lo_v:
                o = low - lo_v
            if hi_v > high:
                o = high - hi_v
            offset.append(o)
        self.offset = tuple(offset)


    def padstack_centres(self):
        """Centre of the largest pad shape of each padstack (its pads sit there),
        and the outer layer (1 first, 32 last) when it has shapes on one only."""
        stack = [b[1].upper() for b in blocks(self.structure, "layer") if len(b) > 1]
        centres = {}
        for ps in blocks(self.library, "padstack"):
            best, centre, layers = -1.0, (0.0, 0.0), set()
            for sh in blocks(ps, "shape"):
                for s in sh[1:]:
                    if not isinstance(s, list) or not s:
                        continue
                    if len(s) > 1:
                        layers.add(s[1].upper())
                    kind, v = s[0].lower(), numbers(s[2:])
                    if kind in ("circle", "circ") and v:
                        d = v[0]
                        c = (v[1], v[2]) if len(v) >= 3 else (0.0, 0.0)
                        lo, hi = (c[0] - d / 2, c[1] - d / 2), (c[0] + d / 2, c[1] + d / 2)
                    elif kind == "rect" and len(v) >= 4:
                        lo, hi = (min(v[0], v[2]), min(v[1], v[3])), (max(v[0], v[2]), max(v[1], v[3]))
                    elif kind in ("path", "polygon", "poly") and len(v) >= 3:
                        w, pts = v[0], list(zip(v[1::2], v[2::2]))
                        if not pts:
                            continue
                        lo = (min(p[0] for p in pts) - w / 2, min(p[1] for p in pts) - w / 2)
                        hi = (max(p[0] for p in pts) + w / 2, max(p[1] for p in pts) + w / 2)
                    else:
                        continue
                    area = (hi[0] - lo[0]) * (hi[1] - lo[1])
                    if area > best:
                        best, centre = area, ((lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2)
            outer = None
            if len(stack) > 1 and layers in ({stack[0]}, {stack[-1]}):
                outer = 1 if layers == {stack[0]} else 32
            if len(ps) > 1:
                centres[ps[1]] = (centre, unit_of(ps, unit_of(self.library, self.unit)), outer)
        return centres

    def images(self):
        lib_unit = unit_of(self.library, self.unit)
        out = {}
        for im in blocks(self.library, "image"):
            if len(im) < 2:
                continue
            u = unit_of(im, lib_unit)
            pins = []
            for p in blocks(im, "pin"):
                if blocks(p, "array"):
                    continue
                rest = [t for t in p[2:] if not isinstance(t, list)]
                v = numbers(rest[1:3])
                if len(rest) >= 3 and len(v) == 2:
                    pins.append((p[1], rest[0], v[0], v[1]))
            out[im[1]] = (u, pins)
        return out

    def places(self):
        u = unit_of(self.placement, self.unit)
        for comp in blocks(self.placement, "component"):
            for pl in blocks(comp, "place"):
                rest = [t for t in pl[1:] if not isinstance(t, list)]
                if len(rest) < 5:
                    continue
                v = numbers(rest[1:3] + rest[4:5])
                if len(v) != 3 or rest[3].lower() not in ("front", "back"):
                    continue
                yield comp[1], rest[0], v[0], v[1], rest[3].lower(), v[2], u

    def wires(self):
        """Wire segments per layer name, and their vertices as board points."""
        u = unit_of(self.wiring, self.unit)
        counts, points = {}, {}
        for w in blocks(self.wiring, "wire"):
            for p in blocks(w, "path"):
                v = numbers(p[3:])
                if len(p) > 2 and len(v) >= 4:
                    layer = p[1].upper()
                    counts[layer] = counts.get(layer, 0) + len(v) // 2 - 1
                    points.setdefault(layer, set()).update(
                        self.at(x, y, u) for x, y in zip(v[0::2], v[1::2]))
        return counts, points


# ---- the picture ----

SCALE = [1.0]  # host units per drawing unit


def attr_num(el, name):
    return round(float(el.get(name, "0")) * SCALE[0])


def centre_of(el):
    tag = el.tag.replace(SVG, "")
    tr = el.get("transform", "")
    m = re.match(r"\s*translate\(\s*([-\d.e]+)[ ,]+([-\d.e]+)\s*\)", tr)
    if tag == "use":
        if m:
            return round(float(m.group(1)) * SCALE[0]), round(float(m.group(2)) * SCALE[0])
        return attr_num(el, "x"), attr_num(el, "y")
    if tag == "circle":
        return attr_num(el, "cx"), attr_num(el, "cy")
    if tag == "rect":
        return attr_num(el, "x") + attr_num(el, "width") / 2, attr_num(el, "y") + attr_num(el, "height") / 2
    if tag == "polygon":
        # The middle of its extent: where the design's bounding box of the
        # shape puts the pad, whatever the shape's corners.
        v = [float(t) * SCALE[0] for t in re.split(r"[\s,]+", el.get("points", "").strip()) if t]
        if len(v) < 2:
            return None
        return (min(v[0::2]) + max(v[0::2])) / 2, (min(v[1::2]) + max(v[1::2])) / 2
    return None


def place(transform, x, y):
    """(x, y) through the translate() and rotate() steps of a transform."""
    for name, args in reversed(re.findall(r"(translate|rotate)\(([^)]*)\)", transform)):
        v = [float(t) for t in re.split(r"[\s,]+", args.strip()) if t]
        if name == "translate":
            x, y = x + v[0] * SCALE[0], y + v[1] * SCALE[0]
        else:
            t = math.radians(v[0])
            x, y = x * math.cos(t) - y * math.sin(t), x * math.sin(t) + y * math.cos(t)
    return round(x), round(y)


def path_extent(d):
    xs, ys = [], []  # the arc flags are scaled too, and not read
    for cmd, args in re.findall(r"([MLAZ])([^MLAZ]*)", d):
        v = [float(t) * SCALE[0] for t in args.replace(",", " ").split()]
        if cmd in "ML" and len(v) >= 2:
            xs.append(v[0]), ys.append(v[1])
        elif cmd == "A" and len(v) >= 7:
            xs.append(v[5]), ys.append(v[6])
    return (round(min(xs)), round(min(ys)), round(max(xs)), round(max(ys))) if xs else None


class Picture:
    def __init__(self, path):
        root = ET.parse(path).getroot()
        SCALE[0] = 10000.0 if root.get("data-unit") == "mil" else 1.0
        self.outline = None
        self.components = {}
        self.pads = {}
        self.lines = {}
        self.ends = {}
        self.flip = None
        defs = {el.get("id"): el for el in root.iter() if el.get("id")}
        # Components: a <use> of their mark in their side's group, placed by
        # its transform; the designator in data-ref.
        marks = {}
        for side in ("top", "bottom"):
            group = defs.get("components-" + side)
            for use in (group.iter(SVG + "use") if group is not None else []):
                if use.get("class") != "c":
                    continue
                tr = use.get("transform", "")
                m = re.search(r"rotate\(([-\d.e]+)\)", tr)
                marks[use.get("id")] = use.get("data-ref", "")
                self.components.setdefault(use.get("data-ref", "").upper(), []).append(
                    (", %s, %s deg" % (side, m.group(1) if m else "0"), place(tr, 0, 0)))
        for g in root.iter(SVG + "g"):
            if g.get("id") == "flip":
                self.flip = g.get("transform")
            if g.get("id") == "outline":
                for p in g.iter(SVG + "path"):
                    self.outline = path_extent(p.get("d", ""))
            cls = g.get("class", "")
            if cls.startswith("layer") and g.get("data-layer"):
                name = g.get("data-name").upper()
                layer = int(g.get("data-layer"))
                n = 0
                ends = self.ends.setdefault(name, set())
                for el in g.iter():
                    tag = el.tag.replace(SVG, "")
                    classes = el.get("class", "").split()
                    if tag == "path" and "t" in classes and "ko" not in classes and "A" not in el.get("d", ""):
                        v = [round(float(t) * SCALE[0]) for t in re.findall(r"[-\d.]+", el.get("d", ""))]
                        n += len(v) // 2 - 1
                        ends.update(zip(v[0::2], v[1::2]))
                    if tag == "use" and el.get("data-c") is not None:
                        # A component's image: its pads in its frame, named by data-p.
                        ref = marks.get("c" + el.get("data-c"), "?")
                        image = defs.get(el.get("href", el.get("{http://www.w3.org/1999/xlink}href", ""))[1:])
                        for pad in (image if image is not None else []):
                            if pad.get("data-p") is None:
                                continue
                            centre = place(el.get("transform", ""), *centre_of(pad))
                            self.pads.setdefault(("%s-%s" % (ref, pad.get("data-p"))).upper(), []).append(
                                (centre, layer))
                        continue
                    label = None
                    t = el.find(SVG + "title")
                    if label is None and t is not None and tag != "g":
                        label = t.text
                    if label and tag in ("circle", "rect", "polygon", "use") and "v" not in el.get("class", "").split():
                        self.pads.setdefault(label.split(" ")[0].upper(), []).append((centre_of(el), layer))
                self.lines[name] = n


def main():
    design = Design(open(sys.argv[1], encoding="latin-1").read())
    picture = Picture(sys.argv[2])
    problems = []
    if picture.flip != "scale(1 -1)":
        problems.append("the drawing is not flipped once for Y up: %s" % picture.flip)
    if design.outline:
        o = design.outline
        want = [o[0] + design.offset[0], o[1] + design.offset[1], o[2] + design.offset[0], o[3] + design.offset[1]]
        got = picture.outline
        if got is None or any(abs(a - b) > TOLERANCE for a, b in zip(want, got)):
            problems.append("outline extent %s, design says %s" % (got, want))
    images = design.images()
    centres = design.padstack_centres()
    placed = pads = pad_hits = 0
    for image, ref, x, y, side, rot, u in design.places():
        placed += 1
        px, py = design.at(x, y, u)
        seen = picture.components.get(ref.upper())
        if not seen:
            problems.append("%s is not in the picture" % ref)
            continue
        title, origin = seen[0]
        want_side = "bottom" if side == "back" else "top"
        if origin is None or abs(origin[0] - px) > TOLERANCE or abs(origin[1] - py) > TOLERANCE:
            problems.append("%s at %s, design says %s" % (ref, origin, (px, py)))
        m = re.search(r", (top|bottom), ([-\d.e]+) deg$", title)
        if not m or m.group(1) != want_side or abs((float(m.group(2)) - rot + 180) % 360 - 180) > 1e-6:
            problems.append("%s: '%s', design says %s %g" % (ref, title, want_side, rot))
        unit, pins = images.get(image, (u, []))
        t = math.radians(rot)
        for stack, pin, pinx, piny in pins:
            (cx, cy), su, outer = centres.get(stack, ((0.0, 0.0), unit, None))
            lx = Design.length(pinx, unit) + Design.length(cx, su)
            ly = Design.length(piny, unit) + Design.length(cy, su)
            if side == "back":
                lx = -lx
            wx = px + lx * math.cos(t) - ly * math.sin(t)
            wy = py + lx * math.sin(t) + ly * math.cos(t)
            got = picture.pads.get(("%s-%s" % (ref, pin)).upper())
            if not got:
                continue  # a pin of no pad shape, or a name the title cannot carry
            pads += 1
            layers = {g[1] for g in got}
            if outer and side == "back":
                outer = 33 - outer  # the component turned over
            if outer and layers != {outer}:
                problems.append("pad %s-%s on layer %s of a %s component" % (ref, pin, layers, side))
            if any(abs(g[0][0] - wx) <= TOLERANCE * 4 and abs(g[0][1] - wy) <= TOLERANCE * 4 for g in got if g[0]):
                pad_hits += 1
            elif len(problems) < 40:
                problems.append("pad %s-%s at %s, design says (%d, %d)" % (ref, pin, got[0], wx, wy))
    wires, vertices = design.wires()
    for layer, count in wires.items():
        if picture.lines.get(layer, 0) < count:
            problems.append("layer %s: %d track lines, design has %d wire segments"
                            % (layer, picture.lines.get(layer, 0), count))
        missing = [v for v in vertices[layer] if v not in picture.ends.get(layer, ())]
        if missing:
            problems.append("layer %s: %d wire vertices are no track end, e.g. %s"
                            % (layer, len(missing), missing[0]))
    if not design.outline and picture.outline is not None:
        # Neither a board shape, a design rectangle nor a pcb path: none.
        problems.append("an outline %s the design does not give" % (picture.outline,))
    print("%s: offset %s, %d components, %d/%d pads where the design puts them, %d wire segments on %d layers"
          % (sys.argv[1], design.offset, placed, pad_hits, pads, sum(wires.values()), len(wires)))
    for p in problems[:20]:
        print("  " + p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
