#!/usr/bin/env python3
"""Routes one design with harrow and measures how much processor time
(user + system, of the harrow process) passes between two lines it prints
on stderr while routing: the longest gap is what a person watching waits at
most for news. Linux only (reads /proc).

usage: progress_gaps.py HARROW DESIGN.dsn [--effort LEVEL] [--out DIR]
"""
import argparse
import os
import shutil
import subprocess
import sys


def cpu_seconds(pid):
    """User + system time of a running process, or None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("harrow")
    parser.add_argument("design")
    parser.add_argument("--effort")
    parser.add_argument("--out", default="/tmp/route-progress")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    dsn = os.path.join(args.out, "board.dsn")
    shutil.copyfile(args.design, dsn)
    command = [os.path.abspath(args.harrow), "import", "board.dsn", "--autoroute", "--ses",
               "RenameDSN", "-q", "--force"]
    if args.effort:
        command += ["--route-effort", args.effort]
    run = subprocess.Popen(command, cwd=args.out, stderr=subprocess.PIPE, text=True)
    last, longest, lines, where = 0.0, 0.0, 0, ""
    for line in run.stderr:
        now = cpu_seconds(run.pid)
        if now is None:
            break
        lines += 1
        if now - last > longest:
            longest, where = now - last, line.strip()
        last = now
        print("%8.2f %s" % (now, line.rstrip()), flush=True)
    run.wait()
    print("lines %d, longest gap %.2f s of processor time, before: %s" % (lines, longest, where))
    return 0


if __name__ == "__main__":
    sys.exit(main())
