#!/usr/bin/env python3
"""Sums the clang coverage profiles that tools/coverage_tests.sh left.

usage: coverage_tests.py SOURCE_DIR BUILD_DIR

Prints the product folders' lines and branches the suite runs. With a profile
folder per test, also lists the whole tests (TEST bodies in tests/) whose
product lines and branches all stay run by the tests left when they go:
largest first, each one removed from the count before the next is weighed.
"""
import collections
import concurrent.futures
import glob
import json
import os
import re
import subprocess
import sys

FOLDERS = {"board", "boardapi", "clearance", "design", "digest", "engine", "geometry",
           "host", "persistence", "plugin", "router", "rules", "sdk", "specctra"}
LIBRARIES = ("harrow", "libdsnlink.so", "libcorvane.so", "libdsnlink_engine_standin.so")


def export(src, build, profdata, objects):
    """{file: {line: ran}} and {file: {branch: ran}} of the product folders."""
    args = ["llvm-cov", "export", "-format=lcov", "-instr-profile", profdata, objects[0]]
    for o in objects[1:]:
        args += ["-object", o]
    text = subprocess.run(args, capture_output=True, text=True).stdout
    lines, branches = collections.defaultdict(dict), collections.defaultdict(dict)
    rel = None
    for row in text.splitlines():
        if row.startswith("SF:"):
            rel = os.path.relpath(os.path.realpath(row[3:]), src)
            if rel.split(os.sep)[0] not in FOLDERS:
                rel = None
        elif rel and row.startswith("DA:"):
            n, count = row[3:].split(",")[:2]
            lines[rel][int(n)] = lines[rel].get(int(n), False) or int(count) > 0
        elif rel and row.startswith("BRDA:"):
            n, block, branch, taken = row[5:].split(",")
            key = f"{n}:{block}:{branch}"
            branches[rel][key] = branches[rel].get(key, False) or taken not in ("-", "0")
    return lines, branches


def merge(raws, out):
    """One profile of many; a torn one (a run killed at its limit) is left out."""
    listing = out + ".inputs"
    with open(listing, "w") as f:
        f.write("\n".join(raws) + "\n")
    done = subprocess.run(["llvm-profdata", "merge", "-sparse", "-failure-mode=all",
                           "-f", listing, "-o", out], capture_output=True, text=True)
    os.remove(listing)
    if done.returncode != 0:
        sys.exit(f"coverage: llvm-profdata could not merge {len(raws)} profiles: "
                 f"{done.stderr.strip()[:500]}")


def test_bodies(src):
    """Suite.Name -> (non-blank lines, file) of every TEST in tests/."""
    bodies = {}
    for path in glob.glob(os.path.join(src, "tests", "**", "*.cpp"), recursive=True):
        rows = open(path, encoding="utf-8").read().split("\n")
        for i, row in enumerate(rows):
            m = re.match(r"^(?:TEST|TEST_F|TEST_P)\((\w+),\s*(\w+)\)", row)
            if m:
                end = next((j for j in range(i + 1, len(rows)) if rows[j] == "}"), len(rows) - 1)
                size = sum(1 for r in rows[i:end + 1] if r.strip())
                bodies[f"{m.group(1)}.{m.group(2)}"] = (size, os.path.relpath(path, src))
    return bodies


def main():
    src, build = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    profiles = os.path.join(build, "profiles")
    tests = json.load(open(os.path.join(profiles, "tests.json")))["tests"]
    libraries = [os.path.join(build, "bin", name) for name in LIBRARIES]
    programs = sorted({t["command"][0] for t in tests
                       if t.get("command") and t["command"][0].startswith(build)})
    whole = os.path.join(profiles, "whole.profdata")
    merge(glob.glob(os.path.join(profiles, "*", "*.profraw")), whole)
    lines, branches = export(src, build, whole, programs + libraries)
    ran_l = sum(sum(v.values()) for v in lines.values())
    all_l = sum(len(v) for v in lines.values())
    ran_b = sum(sum(v.values()) for v in branches.values())
    all_b = sum(len(v) for v in branches.values())
    print(f"product lines run: {ran_l} of {all_l} ({100 * ran_l / max(all_l, 1):.2f} %)")
    print(f"product branches run: {ran_b} of {all_b} ({100 * ran_b / max(all_b, 1):.2f} %)")
    if os.path.isdir(os.path.join(profiles, "all")):
        return

    def covered(index):
        raws = glob.glob(os.path.join(profiles, str(index), "*.profraw"))
        if not raws:
            return set()
        data = os.path.join(profiles, f"{index}.profdata")
        merge(raws, data)
        command = tests[index - 1].get("command") or [""]
        own = [command[0]] if command[0] in programs else []
        test_lines, test_branches = export(src, build, data, own + libraries)
        os.remove(data)
        return ({f"{f}:{n}" for f, v in test_lines.items() for n, ran in v.items() if ran} |
                {f"{f}:b{k}" for f, v in test_branches.items() for k, ran in v.items() if ran})

    bodies = test_bodies(src)
    items = collections.defaultdict(set)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for index, found in enumerate(pool.map(covered, range(1, len(tests) + 1)), 1):
            m = re.match(r"^(?:\w+/)?(\w+\.\w+)(?:/.*)?$", tests[index - 1]["name"])
            name = m.group(1) if m and m.group(1) in bodies else "script " + tests[index - 1]["name"]
            items[name] |= found
    count = collections.Counter()
    for found in items.values():
        count.update(found)
    total = 0
    print("tests whose product lines and branches the others run too:")
    for name in sorted((n for n in items if n in bodies), key=lambda n: -bodies[n][0]):
        if all(count[x] >= 2 for x in items[name]):
            count.subtract(items[name])
            total += bodies[name][0]
            print(f"  {bodies[name][0]:4} {name} ({bodies[name][1]})")
    print(f"  {total} lines of test bodies in all")


if __name__ == "__main__":
    main()
