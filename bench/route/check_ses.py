#!/usr/bin/env python3
"""A small, independent check of routed copper: reads a design (.dsn) and its
wiring (the design's own wiring section, or a session file .ses) and counts
opens (pins of a net not joined by copper), clearance violations between
copper of different nets (wires and vias against pads, wires and vias),
vias and wire length. Written from the file format alone; shares no code
with the program it checks.

usage: check_ses.py DESIGN.dsn [SESSION.ses] [--json]
"""
import json
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import sexpr  # noqa: E402


def parse(text):
    return sexpr.read_first(text, quotes="\"'", run_on=True)


kids, kid, nums = sexpr.children, sexpr.first, sexpr.numbers


def seg_point(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    l2 = dx * dx + dy * dy
    t = 0.0 if l2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / l2))
    return math.hypot(ax + t * dx - px, ay + t * dy - py)


def seg_seg(a, b, c, d):
    def cross(o, p, q):
        return (p[0] - o[0]) * (q[1] - o[1]) - (p[1] - o[1]) * (q[0] - o[0])
    d1, d2, d3, d4 = cross(a, b, c), cross(a, b, d), cross(c, d, a), cross(c, d, b)
    if ((d1 > 0) != (d2 > 0)) and ((d3 > 0) != (d4 > 0)) and d1 * d2 < 0 and d3 * d4 < 0:
        return 0.0
    return min(seg_point(*a, *c, *d), seg_point(*b, *c, *d), seg_point(*c, *a, *b), seg_point(*d, *a, *b))


def inside(poly, p):
    x, y = p
    result = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


class Piece:
    """Copper: a polyline (1 point: disc; 2: capsule) or a polygon, grown by r."""
    __slots__ = ("pts", "r", "poly", "net", "layers", "kind", "box")

    def __init__(self, pts, r, poly, net, layers, kind):
        self.pts, self.r, self.poly, self.net, self.layers, self.kind = pts, r, poly, net, layers, kind
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.box = (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r)

    def edges(self):
        if len(self.pts) == 1:
            return [(self.pts[0], self.pts[0])]
        n = len(self.pts)
        count = n if self.poly else n - 1
        return [(self.pts[i], self.pts[(i + 1) % n]) for i in range(count)]


def gap(p, q):
    best = min(seg_seg(a, b, c, d) for a, b in p.edges() for c, d in q.edges())
    if p.poly and inside(p.pts, q.pts[0]) or q.poly and inside(q.pts, p.pts[0]):
        best = 0.0
    return best - p.r - q.r


def transform(x, y, place):
    px, py, side, rot = place
    if side == "back":
        x = -x
    t = math.radians(rot)
    return (px + x * math.cos(t) - y * math.sin(t), py + x * math.sin(t) + y * math.cos(t))


def main(argv):
    as_json = "--json" in argv
    args = [a for a in argv if a != "--json"]
    dsn = parse(open(args[0], encoding="latin-1").read())
    ses = parse(open(args[1], encoding="latin-1").read()) if len(args) > 1 else None
    structure = kid(dsn, "structure")
    layers = [k[1] for k in kids(structure, "layer")]
    layer_index = {name.upper(): i for i, name in enumerate(layers)}
    all_layers = set(range(len(layers)))
    # The board's clearance, and each class's for its nets; copper of two
    # nets keeps the larger of their two clearances.
    clearance = 0.0
    for rule in kids(structure, "rule"):
        for c in kids(rule, "clearance"):
            if not kid(c, "type"):
                clearance = max(clearance, nums(c[1:2])[0])
    network = kid(dsn, "network")
    net_clearance = {}
    for cls in kids(network, "class") if network else []:
        for rule in kids(cls, "rule"):
            for c in kids(rule, "clearance"):
                if not kid(c, "type"):
                    for member in cls[2:]:
                        if isinstance(member, str):
                            net_clearance[member.upper()] = max(net_clearance.get(member.upper(), 0.0), nums(c[1:2])[0])

    def clearance_of(net):
        return net_clearance.get(net, clearance) if net is not None else clearance
    library = kid(dsn, "library")
    padstacks = {k[1].upper(): k for k in kids(library, "padstack")}
    images = {k[1]: k for k in kids(library, "image")}

    def stack_pieces(name, at, angle, side, net, mirror_place):
        out = []
        stack = padstacks.get(name.upper())
        if stack is None:
            return out
        for shape in kids(stack, "shape"):
            s = shape[1]
            layer = s[1]
            if layer.lower() == "signal":
                lset = all_layers
            elif layer.upper() in layer_index:
                i = layer_index[layer.upper()]
                if side == "back" and len(layers) > 1:
                    i = len(layers) - 1 - i
                lset = {i}
            else:
                continue
            v = nums(s[2:])
            def tp(x, y):
                return transform(x, y, (at[0], at[1], side if mirror_place else "front", angle))
            if s[0] == "circle":
                cx, cy = (v[1], v[2]) if len(v) >= 3 else (0, 0)
                out.append(Piece([tp(cx, cy)], v[0] / 2, False, net, lset, "pad"))
            elif s[0] == "rect":
                x1, y1, x2, y2 = v[:4]
                out.append(Piece([tp(x1, y1), tp(x2, y1), tp(x2, y2), tp(x1, y2)], 0, True, net, lset, "pad"))
            elif s[0] == "path":
                w = v[0]
                pts = [tp(v[i], v[i + 1]) for i in range(1, len(v) - 1, 2)]
                out.append(Piece(pts, w / 2, False, net, lset, "pad"))
            elif s[0] == "polygon":
                w = v[0]
                pts = [tp(v[i], v[i + 1]) for i in range(1, len(v) - 1, 2)]
                out.append(Piece(pts, w / 2, True, net, lset, "pad"))
        return out

    pin_net = {}
    nets = []
    for net in kids(network, "net") if network else []:
        pins = kid(net, "pins")
        names = [p for p in pins[1:] if isinstance(p, str)] if pins else []
        nets.append((net[1].upper(), names))
        for p in names:
            pin_net[p] = net[1].upper()
    pieces = []
    pad_of_pin = {}
    placement = kid(dsn, "placement")
    for comp in kids(placement, "component"):
        image = images.get(comp[1])
        for place in kids(comp, "place"):
            v = nums(place[2:])
            side = place[4] if len(place) > 4 and isinstance(place[4], str) else "front"
            pl = (v[0], v[1], side, v[2] if len(v) > 2 else 0.0)
            if image is None:
                continue
            for pin in kids(image, "pin"):
                rot = 0.0
                rest = pin[2:]
                r = kid(pin, "rotate")
                if r:
                    rot = nums(r[1:])[0]
                    rest = [x for x in rest if not isinstance(x, list)]
                pid = rest[0]
                px, py = nums(rest[1:3])
                at = transform(px, py, pl)
                name = place[1] + "-" + pid
                angle = (pl[3] + (-rot if side == "back" else rot))
                net = pin_net.get(name)
                before = len(pieces)
                # pad shapes: local pin rotation, then the place transform
                for piece in stack_pieces(pin[1], (0, 0), rot, "front", net, False):
                    pts = [transform(x + px, y + py, pl) for x, y in piece.pts]
                    lset = piece.layers
                    if side == "back" and len(layers) > 1 and lset != all_layers:
                        lset = {len(layers) - 1 - i for i in lset}
                    pieces.append(Piece(pts, piece.r, piece.poly, net, lset, "pad"))
                pad_of_pin[name] = list(range(before, len(pieces)))
    # wiring
    via_count = 0
    length = 0.0
    wires = []

    def add_path(path, net, scale):
        nonlocal length
        layer = path[1].upper()
        if layer not in layer_index:
            return
        v = nums(path[2:])
        w = v[0] * scale
        pts = [(v[i] * scale, v[i + 1] * scale) for i in range(1, len(v) - 1, 2)]
        for a, b in zip(pts, pts[1:]):
            wires.append(Piece([a, b], w / 2, False, net, {layer_index[layer]}, "wire"))
            length += math.hypot(b[0] - a[0], b[1] - a[1])
        if len(pts) == 1:
            wires.append(Piece(pts, w / 2, False, net, {layer_index[layer]}, "wire"))

    via_stacks = padstacks
    via_groups = []

    def add_via(name, x, y, net):
        nonlocal via_count
        via_count += 1
        start = len(pieces) + len(wires)
        for piece in stack_pieces(name, (x, y), 0, "front", net, False):
            wires.append(Piece(piece.pts, piece.r, piece.poly, net, piece.layers, "via"))
        via_groups.append(list(range(start, len(pieces) + len(wires))))

    if ses is None:
        wiring = kid(dsn, "wiring")
        for wire in kids(wiring, "wire") if wiring else []:
            net = kid(wire, "net")
            path = kid(wire, "path")
            if path:
                add_path(path, net[1].upper() if net else None, 1.0)
        for via in kids(wiring, "via") if wiring else []:
            net = kid(via, "net")
            v = nums(via[2:4])
            add_via(via[1], v[0], v[1], net[1].upper() if net else None)
    else:
        routes = kid(ses, "routes")
        dsn_res = kid(dsn, "resolution")
        ses_res = kid(routes, "resolution") if routes else None
        units = {"um": 1.0, "mm": 1000.0, "cm": 10000.0, "mil": 25.4, "inch": 25400.0}
        dsn_unit = kid(dsn, "unit")
        dsn_scale = units[(dsn_unit[1] if dsn_unit else dsn_res[1]).lower()]
        scale = units[ses_res[1].lower()] / nums(ses_res[2:])[0] / dsn_scale
        lib_out = kid(routes, "library_out") if routes else None
        for ps in kids(lib_out, "padstack") if lib_out else []:
            via_stacks.setdefault(ps[1].upper(), ps)
        net_out = kid(routes, "network_out") if routes else None
        for net in kids(net_out, "net") if net_out else []:
            for wire in kids(net, "wire"):
                path = kid(wire, "path")
                if path:
                    add_path(path, net[1].upper(), scale)
            for via in kids(net, "via"):
                v = nums(via[2:4])
                add_via(via[1], v[0] * scale, v[1] * scale, net[1].upper())
    everything = pieces + wires
    # bucket grid
    cell = 2000.0
    grid = {}
    for i, p in enumerate(everything):
        b = p.box
        for gx in range(int(math.floor(b[0] / cell)), int(math.floor(b[2] / cell)) + 1):
            for gy in range(int(math.floor(b[1] / cell)), int(math.floor(b[3] / cell)) + 1):
                grid.setdefault((gx, gy), []).append(i)
    first_wire = len(pieces)
    violations = []
    parent = list(range(len(everything)))

    def find(a):
        while parent[a] != a:
            parent[a] = parent[parent[a]]
            a = parent[a]
        return a

    widest = max([clearance] + list(net_clearance.values()))
    for i in range(len(everything)):
        p = everything[i]
        b = p.box
        seen = set()
        for gx in range(int(math.floor((b[0] - widest) / cell)), int(math.floor((b[2] + widest) / cell)) + 1):
            for gy in range(int(math.floor((b[1] - widest) / cell)), int(math.floor((b[3] + widest) / cell)) + 1):
                for j in grid.get((gx, gy), ()):
                    if j <= i or j in seen:
                        continue
                    seen.add(j)
                    q = everything[j]
                    if not (p.layers & q.layers):
                        continue
                    need = max(clearance_of(p.net), clearance_of(q.net))
                    if q.box[0] > b[2] + need or q.box[2] < b[0] - need or q.box[1] > b[3] + need or q.box[3] < b[1] - need:
                        continue
                    same = p.net is not None and p.net == q.net
                    if same:
                        if gap(p, q) <= 1e-6:
                            parent[find(i)] = find(j)
                        continue
                    if i < first_wire and j < first_wire:
                        continue  # pad to pad: the design's own business
                    g = gap(p, q)
                    if g < need - 1e-3:
                        violations.append((p.kind, q.kind, p.net, q.net, round(g, 1)))
    for indices in list(pad_of_pin.values()) + via_groups:
        for k in indices[1:]:
            parent[find(k)] = find(indices[0])
    # Routed copper stays inside the board outline, its clearance away from
    # the edge.
    boundary = []
    for b in kids(structure, "boundary"):
        for shape in b[1:]:
            if isinstance(shape, list) and shape and shape[1] == "pcb":
                v = nums(shape[2:])
                if shape[0] == "rect":
                    boundary = [(v[0], v[1]), (v[2], v[1]), (v[2], v[3]), (v[0], v[3])]
                elif shape[0] in ("path", "polygon"):
                    boundary = [(v[i], v[i + 1]) for i in range(1, len(v) - 1, 2)]
    outline_violations = 0
    if len(boundary) >= 3:
        edges = list(zip(boundary, boundary[1:] + boundary[:1]))
        for piece in wires:
            for a, b in piece.edges():
                near = min(seg_seg(a, b, c, d) for c, d in edges) - piece.r
                if near < clearance - 1e-3 or not inside(boundary, a):
                    outline_violations += 1
                    break
    # A power layer given to a net is a plane of that net: its copper there
    # inside the boundary (vias, pads through the board) is joined by it.
    for layer in kids(structure, "layer"):
        kind, use = kid(layer, "type"), kid(layer, "use_net")
        if not (kind and kind[1] == "power" and use and len(use) > 1):
            continue
        index, net, joined = layer_index[layer[1].upper()], use[1].upper(), None
        for i, piece in enumerate(everything):
            if piece.net == net and index in piece.layers and (len(boundary) < 3 or inside(boundary, piece.pts[0])):
                if joined is not None:
                    parent[find(i)] = find(joined)
                joined = i
    opens = 0
    connections = 0
    for name, pins in nets:
        roots = set()
        present = [p for p in pins if pad_of_pin.get(p)]
        if len(present) < 2:
            continue
        connections += len(present) - 1
        for p in present:
            roots.add(find(pad_of_pin[p][0]))
        opens += len(roots) - 1
    result = {"connections": connections, "open": opens,
              "violations": len(violations) + outline_violations, "outline": outline_violations,
              "vias": via_count, "length_mm": round(length / 1000.0, 3), "clearance": clearance}
    if as_json:
        print(json.dumps(result))
    else:
        for v in violations[:20]:
            print("violation", v)
        print(result)


if __name__ == "__main__":
    main(sys.argv[1:])
