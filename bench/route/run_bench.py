#!/usr/bin/env python3
"""Routes the smallest two-layer boards of the pcbench corpus (or, with
--layers 4+, every board of four copper layers and more) with
`harrow import unrouted.dsn --autoroute --ses RenameDSN`, one board at a time,
and scores each session file with check_ses.py; the reference routing of each
board is scored the same way as a yardstick. Times are processor times of the
harrow process (user + system), not wall-clock times.

usage: run_bench.py HARROW [--corpus DIR] [--layers 2|4+|N] [--count N] [--effort LEVEL]
                     [--out DIR] [--json FILE]
"""
import argparse
import re
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import select_boards  # noqa: E402
from corpus_route import reasons  # noqa: E402


def check(dsn, ses=None):
    args = [sys.executable, os.path.join(HERE, "check_ses.py"), dsn] + ([ses] if ses else []) + ["--json"]
    out = subprocess.run(args, capture_output=True, text=True)
    try:
        return json.loads(out.stdout.strip().splitlines()[-1])
    except (IndexError, ValueError):
        return {"connections": 0, "open": -1, "violations": -1, "vias": 0, "length_mm": 0}


def drc(harrow, board, cwd):
    """(opens, violations) of a board by harrow drc, or (-1, -1)."""
    done = subprocess.run([harrow, "drc", board, "--json"], cwd=cwd, capture_output=True, text=True)
    try:
        summary = json.loads(done.stdout)["summary"]
        return summary["opens"], summary["violations"]
    except (ValueError, KeyError):
        return -1, -1


def cpu_of(args, cwd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, done


def percentile(values, p):
    if not values:
        return 0.0
    ordered = sorted(values)
    k = max(0, min(len(ordered) - 1, int(round(p / 100.0 * len(ordered) + 0.5)) - 1))
    return ordered[k]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("harrow")
    parser.add_argument("--corpus", default=os.path.join(HERE, "../../../shared/corpus/pcbench"))
    parser.add_argument("--count", type=int, default=50)
    parser.add_argument("--layers", default="2",
                        help="copper layers of the boards to route: N exactly, or N+ for N and more")
    parser.add_argument("--effort", help="passed to harrow as --route-effort")
    parser.add_argument("--all-signal", action="store_true",
                        help="only boards whose copper layers are all signal layers")
    parser.add_argument("--out", default="/tmp/route-bench")
    parser.add_argument("--json")
    parser.add_argument("--drc-only", action="store_true",
                        help="score with harrow drc alone (faster on the whole corpus)")
    parser.add_argument("--no-reference", action="store_true",
                        help="skip scoring the reference routings (faster on the whole corpus)")
    args = parser.parse_args()
    least = int(args.layers.rstrip("+"))
    def wanted(layers):
        return layers >= least if args.layers.endswith("+") else layers == least
    rows = []
    names = []
    for name in sorted(os.listdir(args.corpus)):
        path = os.path.join(args.corpus, name, "unrouted.dsn")
        if os.path.isfile(path):
            layers, connections = select_boards.describe(path)
            if args.all_signal and select_boards.planes(path) > 0:
                continue
            if wanted(layers) and connections > 0:
                names.append((connections, name, layers - select_boards.planes(path)))
    names.sort()
    if args.count > 0:
        names = names[: args.count]
    os.makedirs(args.out, exist_ok=True)
    print("%-50s %5s %5s %5s %5s %9s %7s | %5s %5s %5s %9s | %5s %5s %5s" % (
        "board", "conn", "open", "viol", "vias", "length", "cpu_s", "r.open", "r.viol", "r.vias",
        "r.length", "d.open", "d.viol", "d.base"))
    for connections, name, signal in names:
        folder = os.path.join(args.out, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        dsn = os.path.join(folder, "unrouted.dsn")
        shutil.copyfile(os.path.join(args.corpus, name, "unrouted.dsn"), dsn)
        effort = ["--route-effort", args.effort] if args.effort else []
        cpu, done = cpu_of([os.path.abspath(args.harrow), "import", "unrouted.dsn", "--autoroute",
                            "--ses", "RenameDSN", "-q"] + effort, folder)
        with open(os.path.join(folder, "harrow.log"), "w") as log:
            log.write(done.stderr)
        ses = os.path.join(folder, "unrouted.ses")
        harrow = os.path.abspath(args.harrow)
        drc_open, drc_viol = drc(harrow, "unrouted.pcbdoc", folder)
        subprocess.run([harrow, "import", "unrouted.dsn", "-o", "plain.pcbdoc", "-q"], cwd=folder,
                       capture_output=True)
        _, drc_before = drc(harrow, "plain.pcbdoc", folder)
        missing = {"connections": connections, "open": -1, "violations": -1, "vias": 0, "length_mm": 0}
        if args.drc_only:
            mine = dict(missing, open=0, violations=0)
        else:
            mine = check(dsn, ses) if os.path.isfile(ses) else missing
        if args.drc_only:
            routed = re.search(r"(\d+) of (\d+) connections routed", done.stderr)
            if routed:
                mine = dict(mine, connections=int(routed.group(2)),
                            open=int(routed.group(2)) - int(routed.group(1)))
        ref = ({"open": 0, "violations": 0, "vias": 0, "length_mm": 0} if args.no_reference
               else check(os.path.join(args.corpus, name, "reference-routed.dsn")))
        row = {"board": name, "connections": mine["connections"], "open": mine["open"],
               "violations": mine["violations"], "vias": mine["vias"], "length_mm": mine["length_mm"],
               "cpu_s": round(cpu, 3), "exit": done.returncode, "ref_open": ref["open"],
               "ref_violations": ref["violations"], "ref_vias": ref["vias"],
               "ref_length_mm": ref["length_mm"], "drc_open": drc_open,
               "drc_violations": drc_viol, "drc_violations_unrouted": drc_before,
               "open_by_reason": reasons(done.stderr), "signal_layers": signal}
        rows.append(row)
        print("%-50s %5d %5d %5d %5d %9.1f %7.3f | %5d %5d %5d %9.1f | %5d %5d %5d" % (
            name[:50], row["connections"], row["open"], row["violations"], row["vias"],
            row["length_mm"], row["cpu_s"], row["ref_open"], row["ref_violations"], row["ref_vias"],
            row["ref_length_mm"], drc_open, drc_viol, drc_before), flush=True)
    times = [r["cpu_s"] for r in rows]
    clean = sum(1 for r in rows if r["open"] == 0 and r["violations"] == 0)
    total = {
        "boards": len(rows),
        "fully_routed_clean": clean,
        "connections": sum(r["connections"] for r in rows),
        "open": sum(max(r["open"], 0) for r in rows),
        "violations": sum(max(r["violations"], 0) for r in rows),
        "vias": sum(r["vias"] for r in rows),
        "ref_vias": sum(r["ref_vias"] for r in rows),
        "ref_violations": sum(max(r["ref_violations"], 0) for r in rows),
        "length_mm": round(sum(r["length_mm"] for r in rows), 1),
        "ref_length_mm": round(sum(r["ref_length_mm"] for r in rows), 1),
        "drc_open": sum(max(r["drc_open"], 0) for r in rows),
        "drc_completed_pct": round(100.0 * (1 - sum(max(r["drc_open"], 0) for r in rows)
                                            / max(sum(r["connections"] for r in rows), 1)), 2),
        "drc_violations_added": sum(max(r["drc_violations"] - r["drc_violations_unrouted"], 0) for r in rows),
        "drc_clean": sum(1 for r in rows if r["drc_open"] == 0
                         and r["drc_violations"] <= r["drc_violations_unrouted"]),
        "cpu_total_s": round(sum(times), 2),
        "cpu_median_s": round(statistics.median(times), 3) if times else 0,
        "cpu_p90_s": round(percentile(times, 90), 3),
        "ref_clean": sum(1 for r in rows if r["ref_open"] == 0 and r["ref_violations"] == 0),
        "ref_open": sum(max(r["ref_open"], 0) for r in rows),
    }
    total["completed_pct"] = round(100.0 * (total["connections"] - total["open"]) / max(total["connections"], 1), 2)
    # The boards with as many signal layers as asked for: planes not counted.
    if least > 2:
        signal = [r for r in rows if r["signal_layers"] >= least]
        total["all_signal"] = {
            "boards": len(signal),
            "fully_routed_clean": sum(1 for r in signal if r["open"] == 0 and r["violations"] == 0),
            "connections": sum(r["connections"] for r in signal),
            "open": sum(max(r["open"], 0) for r in signal),
            "violations": sum(max(r["violations"], 0) for r in signal),
            "vias": sum(r["vias"] for r in signal),
            "cpu_median_s": round(statistics.median([r["cpu_s"] for r in signal]), 3) if signal else 0,
            "ref_clean": sum(1 for r in signal if r["ref_open"] == 0 and r["ref_violations"] == 0),
        }
    print(json.dumps(total))
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"rows": rows, "total": total}, f, indent=1)


if __name__ == "__main__":
    main()
