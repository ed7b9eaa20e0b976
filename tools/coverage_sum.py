#!/usr/bin/env python3
"""Sums gcov's counters of a --coverage build over the product folders.

usage: coverage_sum.py SOURCE_DIR BUILD_DIR FOLDER...

With COVERAGE_LINES=FILE it also writes, as JSON, each file's lines that ran
and those that did not; `coverage_sum.py --lost BEFORE.json AFTER.json` then
lists the lines that ran before and no longer do (what a test change lost).

A source file compiled into several objects (a test that builds a host file
itself, a header inlined in many) counts a line as run when any object ran it.
"""
import gzip
import json
import os
import shutil
import subprocess
import sys
import tempfile
from collections import defaultdict


def lost(before_path, after_path):
    with open(before_path) as f:
        before = json.load(f)
    with open(after_path) as f:
        after = json.load(f)
    count = 0
    for rel, seen in sorted(before.items()):
        gone = sorted(set(seen["run"]) - set(after.get(rel, {}).get("run", [])))
        if gone:
            count += len(gone)
            print(f"{rel}: {len(gone)} lines no longer run: {gone[:40]}")
    print(f"{count} lines ran before and no longer do")
    return 1 if count else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--lost":
        sys.exit(lost(sys.argv[2], sys.argv[3]))
    src, build, folders = os.path.realpath(sys.argv[1]), sys.argv[2], sys.argv[3:]
    gcdas = []
    for root, _, files in os.walk(os.path.realpath(build)):
        gcdas += [os.path.join(root, f) for f in files if f.endswith(".gcda")]
    lines = defaultdict(dict)      # file -> line -> count
    branches = defaultdict(dict)   # file -> (line, index) -> taken
    apart = os.path.join(os.path.realpath(build), "coverage-apart") + os.sep
    with tempfile.TemporaryDirectory() as tmp:
        for gcda in gcdas:
            notes = gcda[:-len(".gcda")] + ".gcno"
            if gcda.startswith(apart) and not os.path.exists(notes):
                # Counters of a run apart (GCOV_PREFIX): the notes file stays
                # beside the object, at the path the prefix stands before.
                original = os.sep + os.path.relpath(notes, apart).split(os.sep, 1)[1]
                if not os.path.exists(original):
                    continue
                shutil.copyfile(original, notes)
            # gcov resolves the object's notes file from the .gcda's folder.
            subprocess.run(["gcov", "--json-format", "--branch-probabilities", "-o",
                            os.path.dirname(gcda), gcda], cwd=tmp,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for name in os.listdir(tmp):
                path = os.path.join(tmp, name)
                if name.endswith(".gcov.json.gz"):
                    with gzip.open(path) as f:
                        data = json.load(f)
                    cwd = data.get("current_working_directory", "")
                    for entry in data["files"]:
                        file = os.path.realpath(os.path.join(cwd, entry["file"]))
                        rel = os.path.relpath(file, src)
                        if rel.split(os.sep)[0] not in folders:
                            continue
                        for ln in entry["lines"]:
                            n = ln["line_number"]
                            lines[rel][n] = lines[rel].get(n, 0) + ln["count"]
                            for i, br in enumerate(ln.get("branches", [])):
                                key = (n, i)
                                branches[rel][key] = branches[rel].get(key, 0) or br["count"] > 0
                os.remove(path)
    total_l = hit_l = total_b = hit_b = 0
    rows = []
    for rel in sorted(lines):
        lt, lh = len(lines[rel]), sum(1 for c in lines[rel].values() if c > 0)
        bt, bh = len(branches[rel]), sum(1 for t in branches[rel].values() if t)
        total_l, hit_l, total_b, hit_b = total_l + lt, hit_l + lh, total_b + bt, hit_b + bh
        rows.append(f"{rel:55} lines {lh:6}/{lt:<6} {100.0 * lh / max(lt, 1):6.2f}%"
                    f"  branches {bh:6}/{bt:<6}")
    print("\n".join(rows))
    if os.environ.get("COVERAGE_LINES"):
        with open(os.environ["COVERAGE_LINES"], "w") as f:
            json.dump({rel: {"run": sorted(n for n, c in seen.items() if c > 0),
                             "not_run": sorted(n for n, c in seen.items() if c == 0)}
                       for rel, seen in lines.items()}, f)
    print(f"TOTAL lines {hit_l}/{total_l} = {100.0 * hit_l / max(total_l, 1):.2f}%  "
          f"branches {hit_b}/{total_b} = {100.0 * hit_b / max(total_b, 1):.2f}%")


if __name__ == "__main__":
    main()
