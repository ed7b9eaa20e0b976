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

This reader shares nothing with the translator: its own tokenizer, its own
unit table. It prints one line per design with differences and a summary.

    tools/sescheck.py [--harrow PATH] [--jobs N] [--keep DIR] DESIGN_OR_FOLDER...
"""
import argparse
import collections
import concurrent.futures
import os
import subprocess
import sys
import tempfile

# The sub-blocks of a via in a design's wiring.
VIA_BLOCKS = {"net", "type", "via_number", "attr", "virtual_pin", "supply", "contact"}

STEPS = {"inch": 2540000.0, "mil": 2540.0, "cm": 1000000.0, "mm": 100000.0, "um": 100.0}


def read_tree(text, quotes='"'):
    """The nested lists of an s-expression text. Atoms are strings; a quoted
    string loses its quotes. The quote character of a design is declared by
    (string_quote C) and may change from the next token on; a session file
    wraps names that hold a parenthesis in apostrophes."""
    quote = None
    stack = [[]]
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c.isspace():
            i += 1
        elif c == "(":
            stack.append([])
            i += 1
        elif c == ")":
            if len(stack) > 1:
                done = stack.pop()
                stack[-1].append(done)
            i += 1
        elif c not in "()" and len(stack[-1]) == 1 and str(stack[-1][0]).lower() == "string_quote":
            # (string_quote C): C is the quote character from here on.
            quote = c
            stack[-1].append(c)
            i += 1
        elif (quote is not None and c == quote) or (quote is None and c in quotes):
            end = text.find(c, i + 1)
            end = n if end < 0 else end
            stack[-1].append(text[i + 1:end])
            i = end + 1
        else:
            j = i
            while j < n and not text[j].isspace() and text[j] not in "()":
                j += 1
            stack[-1].append(text[i:j])
            i = j
    while len(stack) > 1:
        done = stack.pop()
        stack[-1].append(done)
    return stack[0]


def name_of(node):
    if isinstance(node, list) and node and isinstance(node[0], str):
        return node[0].lower()
    return None


def children(node, name):
    return [k for k in node[1:] if name_of(k) == name] if isinstance(node, list) else []


def first(node, name):
    found = children(node, name)
    return found[0] if found else None


def unquote(word):
    if len(word) >= 2 and word[0] == word[-1] and word[0] in "'\"":
        return word[1:-1]
    return word


def number(word):
    try:
        return float(word)
    except (TypeError, ValueError):
        return None


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
                nets.add(net[1].lower())
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
            net = net[1].lower() if net is not None and len(net) > 1 else None
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
                segments.append((net, layer.lower(), width, a, b))
        for via in children(wiring, "via"):
            net = first(via, "net")
            net = net[1].lower() if net is not None and len(net) > 1 else None
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
        name = unquote(net[1]).lower() if len(net) > 1 else ""
        for wire in children(net, "wire"):
            path = first(wire, "path")
            if path is None or len(path) < 3:
                continue
            points = [number(w) for w in path[3:]]
            pairs = list(zip(points[0::2], points[1::2]))
            for a, b in zip(pairs, pairs[1:]):
                segments.append((name, unquote(path[1]).lower(), number(path[2]), a, b))
        for via in children(net, "via"):
            if len(via) >= 4:
                vias.append((name, unquote(via[1]), (number(via[2]), number(via[3]))))
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
        same = [k for k in candidates if session[k][1].lower() == padstack.lower()]
        chosen = same[0] if same else (candidates[0] if candidates else None)
        if chosen is None:
            lost.append(d)
            continue
        used.add(chosen)
        if not same:
            renamed.append((d, session[chosen][1]))
    return lost, renamed


def check(design, harrow, scratch):
    stem = os.path.splitext(os.path.basename(design))[0]
    tag = "%s-%d" % (stem, abs(hash(design)) % 100000)
    board = os.path.join(scratch, tag + ".pcbdoc")
    ses = os.path.join(scratch, tag + ".ses")
    result = {"design": design, "segments": 0, "vias": 0, "lost_segments": [], "lost_vias": [],
              "renamed_vias": [], "problem": None, "notes": []}
    try:
        run = subprocess.run([harrow, "import", design, "-o", board, "--ses", ses, "--force"],
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
        dsegs, dvias, notes = design_wiring(read_tree(f.read().decode("latin-1")))
    with open(ses, "rb") as f:
        ssegs, svias = session_wiring(read_tree(f.read().decode("latin-1"), quotes="'\""))
    for path in (board, ses, os.path.join(scratch, tag + ".rpt"), ses + ".rpt"):
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
    args = parser.parse_args()
    designs = []
    for path in args.paths:
        if os.path.isdir(path):
            for folder, _, files in os.walk(path):
                designs += [os.path.join(folder, f) for f in files if f.lower().endswith(".dsn")]
        else:
            designs.append(path)
    designs = sorted(os.path.abspath(d) for d in designs)
    scratch = args.keep or tempfile.mkdtemp(prefix="sescheck-")
    os.makedirs(scratch, exist_ok=True)
    totals = collections.Counter()
    bad = 0
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        for r in pool.map(lambda d: check(d, os.path.abspath(args.harrow), scratch), designs):
            totals["designs"] += 1
            totals["with wiring"] += 1 if r["segments"] or r["vias"] else 0
            totals["segments"] += r["segments"]
            totals["vias"] += r["vias"]
            totals["lost segments"] += len(r["lost_segments"])
            totals["lost vias"] += len(r["lost_vias"])
            totals["vias under another padstack"] += len(r["renamed_vias"])
            for note in r["notes"]:
                totals["designs with " + note] += 1
            totals["no session"] += 1 if r["problem"] and "no session" in r["problem"] else 0
            if r["problem"] or r["lost_segments"] or r["lost_vias"] or r["renamed_vias"]:
                bad += 1
                line = "%s: %d/%d segments, %d/%d vias missing, %d under another padstack" % (
                    os.path.relpath(r["design"]), len(r["lost_segments"]), r["segments"],
                    len(r["lost_vias"]), r["vias"], len(r["renamed_vias"]))
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
