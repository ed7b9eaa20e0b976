#!/usr/bin/env python3
"""Checks session files written by harrow against the designs they came from.

For every design given (files, or folders searched for *.dsn), runs
    harrow import DESIGN -o SCRATCH/NAME.pcbdoc --ses SCRATCH/NAME.ses
and then compares the design's "wiring" with the session's "network_out":
every wire segment (each pair of neighbouring path points) must be in the
session on the same net and layer, with the same width and the same ends
(either way round), and every via on the same net at the same place. The
session is in steps of 0.00001 mm; the design in its own unit (the wiring's
own resolution, when it has one, divides its numbers). A difference of one
step is rounding. Names compare without regard to case: the translator
reads unquoted names in upper case, as the format allows.

With --exact (harrow's files for the design's CAD system, which is what
harrow import writes unless --literal): the session is read with the one
quote character it declares (none when it declares none), and every name
compares exactly: each net, wire layer, via
padstack, footprint and designator of the session must be spelled as in the
design, and no apostrophe-wrapped name may be left.

This reader shares nothing with the translator: its own tokenizer, its own
unit table. It prints one line per design with differences and a summary.

    tools/sescheck.py [--harrow PATH] [--jobs N] [--keep DIR] [--exact] [--literal]
                      [--step N] DESIGN_OR_FOLDER...
"""
import argparse
import collections
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

import sexpr  # this folder, beside the script

# The sub-blocks of a via in a design's wiring.
VIA_BLOCKS = {"net", "type", "via_number", "attr", "virtual_pin", "supply", "contact"}

STEPS = {"inch": 2540000.0, "mil": 2540.0, "cm": 1000000.0, "mm": 100000.0, "um": 100.0}


def read_tree(text, quotes='"'):
    return sexpr.read(text, quotes)


name_of, children, first, number = sexpr.name_of, sexpr.children, sexpr.first, sexpr.number


def unquote(word):
    if len(word) >= 2 and word[0] == word[-1] and word[0] in "'\"":
        return word[1:-1]
    return word


EXACT = False


def key(name):
    """A name as compared: exactly, or without regard to case."""
    return name if EXACT else name.lower()


def design_names(root):
    """The design's names by kind, as spelled: layers, nets, padstacks,
    footprints (images) and designators."""
    names = collections.defaultdict(set)
    pcb = next((k for k in root if name_of(k) == "pcb"), None)
    if pcb is None:
        return names
    for structure in children(pcb, "structure"):
        for layer in children(structure, "layer"):
            if len(layer) > 1 and isinstance(layer[1], str):
                names["layer"].add(layer[1])
        for via in children(structure, "via"):
            names["padstack"].update(w for w in via[1:] if isinstance(w, str))
    for library in children(pcb, "library"):
        for kind, block in (("padstack", "padstack"), ("footprint", "image")):
            for item in children(library, block):
                if len(item) > 1 and isinstance(item[1], str):
                    names[kind].add(item[1])
    for placement in children(pcb, "placement"):
        for component in children(placement, "component"):
            if len(component) > 1 and isinstance(component[1], str):
                names["footprint"].add(component[1])
            for place in children(component, "place"):
                if len(place) > 1 and isinstance(place[1], str):
                    names["designator"].add(place[1])
    for network in children(pcb, "network"):
        for net in children(network, "net"):
            if len(net) > 1 and isinstance(net[1], str):
                names["net"].add(net[1])
    return names


def session_names(root):
    """(kind, name) of every name a session or route file writes."""
    found = []
    session = next((k for k in root if name_of(k) in ("session", "routes")), None)
    if session is None:
        return found
    for placement in children(session, "placement"):
        for component in children(placement, "component"):
            if len(component) > 1:
                found.append(("footprint", component[1]))
            for place in children(component, "place"):
                if len(place) > 1:
                    found.append(("designator", place[1]))
    routes = session if name_of(session) == "routes" else first(session, "routes")
    network = first(routes, "network_out") if routes is not None else None
    for net in children(network, "net") if network is not None else []:
        if len(net) > 1:
            found.append(("net", net[1]))
        for wire in children(net, "wire"):
            path = first(wire, "path")
            if path is not None and len(path) > 1:
                found.append(("layer", path[1]))
        for via in children(net, "via"):
            if len(via) > 1:
                found.append(("padstack", via[1]))
    return [(kind, name) for kind, name in found if isinstance(name, str)]


def misspelled(design_root, session_root):
    """Names of the session that the design does not spell so."""
    names = design_names(design_root)
    wrong = []
    for kind, name in session_names(session_root):
        if name.startswith("'") or name not in names[kind]:
            wrong.append("%s %s" % (kind, name))
    return wrong


def design_wiring(root):
    """(segments, vias, notes) of a design's wiring, in steps."""
    pcb = next((k for k in root if name_of(k) == "pcb"), None)
    if pcb is None:
        return None, None, ["no pcb block"]
    unit = "inch"
    if first(pcb, "resolution") is not None and len(first(pcb, "resolution")) > 1:
        unit = first(pcb, "resolution")[1].lower()
    if first(pcb, "unit") is not None and len(first(pcb, "unit")) > 1:
        unit = first(pcb, "unit")[1].lower()
    nets = set()
    for network in children(pcb, "network"):
        for net in children(network, "net"):
            if len(net) > 1 and isinstance(net[1], str):
                nets.add(key(net[1]))
    segments, vias, notes = [], [], []
    for wiring in children(pcb, "wiring"):
        wunit, divisor = unit, 1.0
        own = first(wiring, "resolution")
        if own is not None and len(own) > 2:
            wunit, divisor = own[1].lower(), number(own[2]) or 1.0
        if first(wiring, "unit") is not None and len(first(wiring, "unit")) > 1:
            wunit = first(wiring, "unit")[1].lower()
        scale = STEPS.get(wunit, STEPS["mil"]) / divisor

        def steps(word):
            value = number(word)
            return None if value is None else value * scale

        for wire in children(wiring, "wire"):
            net = first(wire, "net")
            net = key(net[1]) if net is not None and len(net) > 1 else None
            path = first(wire, "path")
            if path is None:
                continue
            if net is None or net not in nets:
                notes.append("wires without a net of the network")
                continue
            if len(path) < 3:
                continue
            layer, width = path[1], steps(path[2])
            points = [steps(w) for w in path[3:] if isinstance(w, str)]
            if any(p is None for p in points) or width is None:
                notes.append("wires with a number that does not read")
                continue
            pairs = list(zip(points[0::2], points[1::2]))
            for a, b in zip(pairs, pairs[1:]):
                segments.append((net, key(layer), width, a, b))
        for via in children(wiring, "via"):
            net = first(via, "net")
            net = key(net[1]) if net is not None and len(net) > 1 else None
            if len(via) < 4 or net is None or net not in nets:
                notes.append("vias without a net of the network")
                continue
            foreign = [name_of(k) for k in via[2:] if isinstance(k, list)
                       and name_of(k) not in VIA_BLOCKS]
            if foreign:
                # Not a via of the design grammar: the import reports it.
                notes.append("vias with a (%s) block" % foreign[0])
                continue
            x, y = steps(via[2]), steps(via[3])
            if x is None or y is None:
                continue
            vias.append((net, via[1], (x, y)))
    return segments, vias, notes


def session_wiring(root):
    """(segments, vias) of a session's network_out, in steps."""
    session = next((k for k in root if name_of(k) == "session"), None)
    routes = first(session, "routes") if session is not None else None
    network = first(routes, "network_out") if routes is not None else None
    if network is None:
        return None, None
    segments, vias = [], []
    for net in children(network, "net"):
        name = (net[1] if EXACT else unquote(net[1]).lower()) if len(net) > 1 else ""
        for wire in children(net, "wire"):
            path = first(wire, "path")
            if path is None or len(path) < 3:
                continue
            points = [number(w) for w in path[3:]]
            pairs = list(zip(points[0::2], points[1::2]))
            for a, b in zip(pairs, pairs[1:]):
                segments.append((name, path[1] if EXACT else unquote(path[1]).lower(),
                                 number(path[2]), a, b))
        for via in children(net, "via"):
            if len(via) >= 4:
                vias.append((name, via[1] if EXACT else unquote(via[1]),
                             (number(via[2]), number(via[3]))))
    return segments, vias


def near(a, b):
    return abs(a - b) <= 1.0 + 1e-9


def grid(point):
    return (round(point[0]), round(point[1]))


def missing_segments(design, session):
    """Design segments with no session segment; each session one matches once."""
    index = collections.defaultdict(list)
    for k, s in enumerate(session):
        index[(s[0], s[1], grid(s[3]))].append(k)
        index[(s[0], s[1], grid(s[4]))].append(k)
    used = set()
    lost = []
    for d in design:
        net, layer, width, a, b = d
        found = None
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for k in index.get((net, layer, (round(a[0]) + dx, round(a[1]) + dy)), []):
                    if k in used:
                        continue
                    s = session[k]
                    if not near(s[2], width):
                        continue
                    if (near(s[3][0], a[0]) and near(s[3][1], a[1]) and near(s[4][0], b[0])
                            and near(s[4][1], b[1])) or (
                                near(s[4][0], a[0]) and near(s[4][1], a[1])
                                and near(s[3][0], b[0]) and near(s[3][1], b[1])):
                        found = k
                        break
                if found is not None:
                    break
            if found is not None:
                break
        if found is None:
            lost.append(d)
        else:
            used.add(found)
    return lost


def missing_vias(design, session):
    """(lost, renamed): design vias with no session via at the place, and
    those found at the place under another padstack name."""
    index = collections.defaultdict(list)
    for k, v in enumerate(session):
        index[(v[0], grid(v[2]))].append(k)
    used = set()
    lost, renamed = [], []
    for d in design:
        net, padstack, at = d
        candidates = []
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for k in index.get((net, (round(at[0]) + dx, round(at[1]) + dy)), []):
                    if k not in used and near(session[k][2][0], at[0]) and near(
                            session[k][2][1], at[1]):
                        candidates.append(k)
        same = [k for k in candidates if key(session[k][1]) == key(padstack)]
        chosen = same[0] if same else (candidates[0] if candidates else None)
        if chosen is None:
            lost.append(d)
            continue
        used.add(chosen)
        if not same:
            renamed.append((d, session[chosen][1]))
    return lost, renamed


def read_strictly(text):
    """The tree of a file harrow wrote, read with the one quote character the
    file declares (in its routes' parser block, which a session writes after
    the placement) and no other; both quotes without --exact."""
    declared = re.search(r"\(string_quote (\S)\)", text)
    quotes = (declared.group(1) if declared else "") if EXACT else "'\""
    return read_tree(text, quotes=quotes)


def check(design, harrow, scratch, extra=()):
    stem = os.path.splitext(os.path.basename(design))[0]
    tag = "%s-%d" % (stem, abs(hash(design)) % 100000)
    board = os.path.join(scratch, tag + ".pcbdoc")
    ses = os.path.join(scratch, tag + ".ses")
    rte = os.path.join(scratch, tag + ".rte")
    result = {"design": design, "segments": 0, "vias": 0, "lost_segments": [], "lost_vias": [],
              "renamed_vias": [], "problem": None, "notes": [], "misspelled": []}
    try:
        run = subprocess.run([harrow, "import", design, "-o", board, "--ses", ses, "--rte", rte,
                              "--force"] + list(extra),
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    except subprocess.TimeoutExpired:
        result["problem"] = "harrow took more than 600 s"
        return result
    if run.returncode < 0 or run.returncode > 1:
        result["problem"] = "harrow ended with status %d: %s" % (
            run.returncode, run.stderr.decode("utf-8", "replace").strip()[-300:])
    if not os.path.exists(ses):
        result["problem"] = (result["problem"] or "") + " no session file written"
        return result
    with open(design, "rb") as f:
        design_root = read_tree(f.read().decode("latin-1"))
        dsegs, dvias, notes = design_wiring(design_root)
    with open(ses, "rb") as f:
        session_root = read_strictly(f.read().decode("latin-1"))
        ssegs, svias = session_wiring(session_root)
    if EXACT:
        result["misspelled"] = misspelled(design_root, session_root)
        if os.path.exists(rte):
            with open(rte, "rb") as f:
                result["misspelled"] += ["route file: " + name for name in misspelled(
                    design_root, read_strictly(f.read().decode("latin-1")))]
    for path in (board, ses, rte, os.path.join(scratch, tag + ".rpt"), ses + ".rpt",
                 rte + ".rpt"):
        if os.path.exists(path):
            os.remove(path)
    if ssegs is None:
        result["problem"] = "the session file has no network_out"
        return result
    if dsegs is None:
        result["notes"] = notes
        return result
    result["segments"], result["vias"] = len(dsegs), len(dvias)
    result["notes"] = sorted(set(notes))
    result["lost_segments"] = missing_segments(dsegs, ssegs)
    result["lost_vias"], result["renamed_vias"] = missing_vias(dvias, svias)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--harrow", default=os.path.join(os.path.dirname(__file__), "..",
                                                         "build-rel", "bin", "harrow"))
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--keep", help="scratch folder to use (kept afterwards)")
    parser.add_argument("--exact", action="store_true",
                        help="names exactly as the design spells them, the session read strictly")
    parser.add_argument("--literal", action="store_true", help="harrow import --literal")
    parser.add_argument("--step", type=int, default=1, help="every STEP-th design only")
    parser.add_argument("--names", action="store_true",
                        help="only the names decide the exit status (with --exact)")
    args = parser.parse_args()
    global EXACT
    EXACT = args.exact
    designs = []
    for path in args.paths:
        if not os.path.exists(path):
            continue
        if os.path.isdir(path):
            for folder, _, files in os.walk(path):
                designs += [os.path.join(folder, f) for f in files if f.lower().endswith(".dsn")]
        else:
            designs.append(path)
    designs = sorted(os.path.abspath(d) for d in designs)[::max(1, args.step)]
    if not designs:
        print("skipped: no designs in " + " ".join(args.paths))
        return 77
    extra = ["--literal"] if args.literal else []
    scratch = args.keep or tempfile.mkdtemp(prefix="sescheck-")
    os.makedirs(scratch, exist_ok=True)
    totals = collections.Counter()
    bad = 0
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        for r in pool.map(lambda d: check(d, os.path.abspath(args.harrow), scratch, extra),
                          designs):
            totals["designs"] += 1
            totals["with wiring"] += 1 if r["segments"] or r["vias"] else 0
            totals["segments"] += r["segments"]
            totals["vias"] += r["vias"]
            totals["lost segments"] += len(r["lost_segments"])
            totals["lost vias"] += len(r["lost_vias"])
            totals["vias under another padstack"] += len(r["renamed_vias"])
            totals["names not as the design spells them"] += len(r["misspelled"])
            for note in r["notes"]:
                totals["designs with " + note] += 1
            totals["no session"] += 1 if r["problem"] and "no session" in r["problem"] else 0
            if (r["problem"] or r["lost_segments"] or r["lost_vias"] or r["renamed_vias"]
                    or r["misspelled"]):
                bad += 1 if r["misspelled"] or not args.names else 0
                line = "%s: %d/%d segments, %d/%d vias missing, %d under another padstack" % (
                    os.path.relpath(r["design"]), len(r["lost_segments"]), r["segments"],
                    len(r["lost_vias"]), r["vias"], len(r["renamed_vias"]))
                if r["misspelled"]:
                    line += "; %d names not as in the design (%s)" % (
                        len(r["misspelled"]), ", ".join(r["misspelled"][:3]))
                if r["problem"]:
                    line += "; " + r["problem"].strip()
                print(line, flush=True)
                for d in r["lost_segments"][:3]:
                    print("    segment", d, flush=True)
                for d in r["lost_vias"][:3]:
                    print("    via", d, flush=True)
                for d, name in r["renamed_vias"][:3]:
                    print("    via", d, "as", name, flush=True)
    print("; ".join("%s %d" % kv for kv in totals.items()) + "; designs with differences %d" % bad)
    if not args.keep:
        os.rmdir(scratch) if not os.listdir(scratch) else None
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
