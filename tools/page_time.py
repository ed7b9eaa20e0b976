#!/usr/bin/env python3
"""Times a page of harrow view in headless chromium: a screenshot of it at
1300 x 800, the wall time, the processor time of all of chromium's processes
and the peak of their summed resident memory (sampled from /proc every 50 ms;
memory the processes share counts once per process). An empty page gives the
browser's own share.
Usage: tools/page_time.py PAGE.html [SHOT.png]    (DSNLINK_CHROMIUM: the browser)"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

if len(sys.argv) < 2:
    sys.exit(__doc__)
page = os.path.realpath(sys.argv[1])
profile = tempfile.mkdtemp(prefix="page-time-")
shot = os.path.realpath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(profile, "shot.png")
browser = os.environ.get("DSNLINK_CHROMIUM") or shutil.which("chromium") or "chromium-browser"
tick = os.sysconf("SC_CLK_TCK")
start = time.time()
run = subprocess.Popen([browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                        "--window-size=1300,800", "--user-data-dir=" + profile,
                        "--screenshot=" + shot, "file://" + page],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
cpu, peak = {}, 0
while run.poll() is None:
    memory = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            stat = open("/proc/%s/stat" % pid).read()
            fields = stat[stat.rfind(")") + 2:].split()
            if int(fields[3]) != run.pid:  # not of chromium's session
                continue
            cpu[pid] = (int(fields[11]) + int(fields[12])) / tick
            memory += int(open("/proc/%s/statm" % pid).read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
        except (OSError, IndexError, ValueError):
            continue
    peak = max(peak, memory)
    time.sleep(0.05)
print("%s: %d bytes, exit %d, wall %.2f s, processor %.2f s, peak memory %.0f MB" %
      (sys.argv[1], os.path.getsize(page), run.returncode, time.time() - start,
       sum(cpu.values()), peak / 1e6))
shutil.rmtree(profile, ignore_errors=True)
