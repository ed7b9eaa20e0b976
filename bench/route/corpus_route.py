#!/usr/bin/env python3
"""Routes every two-layer board of the corpus with harrow's router and
reports, per board and in total, the connections the router completed and
the rule-check violations it introduced. A board still routing after
--timeout seconds is interrupted as Ctrl-C would (it keeps what it routed).

Each design is imported twice into a private folder: once plainly and once
with --autoroute. `harrow drc --json` scores both boards; the open
connections of the plain board are the work, those of the routed board what
is left, and every violation the routed board has beyond the plain one is
one the router added (this must be 0 on every board). The reference-routed
copies of the pcbench boards are left out (they are the same boards routed).

usage: corpus_route.py HARROW [--corpus DIR] [--jobs N<=2] [--timeout S]
                              [--only SUBSTRING] [--list FILE] [--json FILE]
                              [--out DIR]
"""
import argparse
import concurrent.futures
import json
import os
import resource
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import select_boards  # noqa: E402


def designs(corpus, only, listed=None):
    found = []
    for folder, _, files in os.walk(corpus):
        for name in files:
            if not name.endswith(".dsn") or name == "reference-routed.dsn":
                continue
            path = os.path.join(folder, name)
            if only and only not in path:
                continue
            if listed is not None and os.path.relpath(path, corpus) not in listed:
                continue
            try:
                layers, _ = select_boards.describe(path)
            except OSError:
                continue
            if layers == 2:
                found.append(path)
    return sorted(found)


def drc(harrow, board, cwd):
    """The summary of harrow drc, or None when it gave none."""
    done = subprocess.run([harrow, "drc", board, "--json"], cwd=cwd, capture_output=True, text=True)
    try:
        return json.loads(done.stdout)["summary"]
    except (ValueError, KeyError):
        return None


# Why the router left a connection open, from the line it writes for each:
# the first three are the design's own rules (a pad no track of its net may
# reach), the last two the router's search.
REASONS = [
    ("no routing layer", "has copper on no routing layer"),
    ("under a keep-out", "lies under a keep-out"),
    ("track too wide", "does not fit onto pad"),
    ("walled in", "is walled in"),
    ("no way onto pad", "no legal way onto pad"),
    ("no path", "no legal path found"),
]
BY_RULES = {"no routing layer", "under a keep-out", "track too wide"}


def reasons(err):
    counts = {}
    for line in (err or "").splitlines():
        if " not routed: " not in line:
            continue
        name = next((n for n, text in REASONS if text in line), "other")
        counts[name] = counts.get(name, 0) + 1
    return counts


def route_one(harrow, path, out, timeout, corpus, jobs):
    name = os.path.relpath(path, corpus).replace(os.sep, "__")
    folder = os.path.join(out, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copyfile(path, os.path.join(folder, "board.dsn"))
    row = {"board": os.path.relpath(path, corpus), "status": "ok"}
    plain = subprocess.run([harrow, "import", "board.dsn", "-o", "plain.pcbdoc", "-q"], cwd=folder,
                           capture_output=True, text=True)
    before = drc(harrow, "plain.pcbdoc", folder) if os.path.isfile(os.path.join(folder, "plain.pcbdoc")) else None
    if before is None:
        row.update(status="no board (exit %d)" % plain.returncode)
        return row
    started = time.monotonic()
    # Processor time of the routing import: with one job at a time the only
    # child that ends meanwhile; on a busy machine a fairer yardstick than
    # the wall clock.
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    routed = subprocess.Popen([harrow, "import", "board.dsn", "-o", "routed.pcbdoc", "--autoroute", "-q"],
                              cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        _, err = routed.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        # Like Ctrl-C: the router stops and the board keeps what it routed.
        routed.send_signal(signal.SIGINT)
        row.update(status="interrupted")
        try:
            _, err = routed.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            routed.kill()
            _, err = routed.communicate()
            row.update(status="killed")
    row["exit"] = routed.returncode
    row["stderr_tail"] = (err or "").strip().splitlines()[-3:]
    row["reasons"] = reasons(err)
    row["seconds"] = round(time.monotonic() - started, 2)
    now = resource.getrusage(resource.RUSAGE_CHILDREN)
    if jobs == 1:
        row["cpu_seconds"] = round(now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime, 2)
    after = drc(harrow, "routed.pcbdoc", folder) if os.path.isfile(os.path.join(folder, "routed.pcbdoc")) else None
    row["open_before"] = before["opens"]
    row["violations_before"] = before["violations"]
    if after is None:
        row["status"] += ", no routed board"
        row["open_after"] = before["opens"]
        row["violations_after"] = before["violations"]
    else:
        row["open_after"] = after["opens"]
        row["violations_after"] = after["violations"]
    row["added_violations"] = max(row["violations_after"] - row["violations_before"], 0)
    shutil.rmtree(folder, ignore_errors=True)
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("harrow")
    parser.add_argument("--corpus", default=os.path.join(HERE, "../../../shared/corpus"))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--only", help="only designs whose path holds this text")
    parser.add_argument("--list", help="only the designs named in this file, one path (relative "
                        "to the corpus) a line: a sample to work with between full runs")
    parser.add_argument("--out", default="/tmp/route-corpus")
    parser.add_argument("--json")
    args = parser.parse_args()
    jobs = max(1, min(args.jobs, 2))  # a shared machine: two at most
    harrow = os.path.abspath(args.harrow)
    corpus = os.path.abspath(args.corpus)
    listed = None
    if args.list:
        with open(args.list) as f:
            listed = {line.strip() for line in f if line.strip()}
    paths = designs(corpus, args.only, listed)
    os.makedirs(args.out, exist_ok=True)
    rows = []
    print("%-70s %6s %6s %5s %5s %8s %6s %s" % ("board", "open0", "open1", "viol0", "added", "seconds", "cpu",
                                               "status"))
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = [pool.submit(route_one, harrow, p, args.out, args.timeout, corpus, jobs) for p in paths]
        for future in futures:
            row = future.result()
            rows.append(row)
            print("%-70s %6s %6s %5s %5s %8s %6s %s" % (
                row["board"][-70:], row.get("open_before", "-"), row.get("open_after", "-"),
                row.get("violations_before", "-"), row.get("added_violations", "-"),
                row.get("seconds", "-"), row.get("cpu_seconds", "-"), row["status"]), flush=True)
    scored = [r for r in rows if "open_before" in r]
    work = sum(r["open_before"] for r in scored)
    left = sum(min(r["open_after"], r["open_before"]) for r in scored)
    why = {}
    for r in scored:
        for name, count in r.get("reasons", {}).items():
            why[name] = why.get(name, 0) + count
    blocked = sum(count for name, count in why.items() if name in BY_RULES)
    total = {
        "boards": len(rows),
        "scored": len(scored),
        "connections": work,
        "open_after": left,
        "completed_pct": round(100.0 * (work - left) / max(work, 1), 2),
        # Open connections as the router counts them, by its reason; those
        # the design's rules forbid set the ceiling of what any legal
        # routing completes.
        "open_reasons": why,
        "blocked_by_rules": blocked,
        "completed_of_allowed_pct": round(100.0 * (work - left) / max(work - blocked, 1), 2),
        "fully_routed": sum(1 for r in scored if r["open_after"] == 0),
        "cpu_seconds": round(sum(r.get("cpu_seconds", 0) for r in rows), 2),
        "added_violations": sum(r["added_violations"] for r in scored),
        "boards_with_added_violations": [r["board"] for r in scored if r["added_violations"] > 0],
        "not_ok": [(r["board"], r["status"]) for r in rows if r["status"] != "ok"],
    }
    print(json.dumps(total))
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"rows": rows, "total": total}, f, indent=1)
    return 0 if total["added_violations"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
