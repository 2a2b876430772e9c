#!/usr/bin/python3
"""bench_web.py WEB_DIR HOST BUNDLE: the page in headless Chromium under
large files, and the browser's memory after them.

- web_max_stall_ms for each large file: the longest time the page's own
  thread could not run (a 5 ms timer's largest gap) from the file chosen to
  its result shown: the 1,000,000-event file, a file of 65,535 tracks and a
  50 MB file. Each must stay under 200 ms.
- browser_memory_mb start and after: the browser's memory (the proportional
  set size of every process of it) with the page started, and after the
  50 MB file and then a small one; after must stay within 1.5 times start.
- ratio_web_to_native: the 1,000,000-event file through the page (from the
  file chosen to the download ready, as the page measures it) against the
  native veltrace-host's whole run on it, one run each; at most 3. The two
  outputs must be the same bytes.
Exits 1 when a figure misses its mark."""
import hashlib
import os
import subprocess
import sys
import time

from midi_files import dense, make_demo, many_tracks, write
from page_session import ROOT, PageSession

STALL_LIMIT_MS, MEMORY_LIMIT, RATIO_LIMIT = 200, 1.5, 3

WATCH = ("const w = window.__watch = {stall: 0}; let last = performance.now();"
         "w.timer = setInterval(() => { const now = performance.now(); w.stall = Math.max(w.stall, now - last);"
         " last = now; }, 5);")


def browser_memory_mb(session):
    """The proportional set size of the browser's processes: the driver's
    descendants."""
    root, total, seen = session.driver.service.process.pid, 0, set()
    children = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        children.setdefault(parent, []).append(int(pid))
    waiting = list(children.get(root, []))
    while waiting:
        pid = waiting.pop()
        seen.add(pid)
        waiting += children.get(pid, [])
    for pid in seen:
        try:
            with open(f"/proc/{pid}/smaps_rollup") as rollup:
                total += next(int(line.split()[1]) for line in rollup if line.startswith("Pss:"))
        except (OSError, StopIteration):
            pass
    return total / 1024


def settle(session):
    """Lets the browser give back what nothing holds any more: a collection
    of the page's garbage, then a moment."""
    session.driver.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
    time.sleep(2)


def through_page(session, path, name):
    """Runs a file through the page; the page's own time and its longest stall."""
    session.js(WATCH)
    session.open_midi(path)
    session.wait_for(lambda: session.has_download() and session.download_name() == name, f"{name}", timeout=600)
    ms = float(session.js("return document.getElementById('status').dataset.ms"))
    stall = session.js("clearInterval(window.__watch.timer); return window.__watch.stall")
    return ms, stall


def make(path, data_of):
    if not os.path.exists(path):
        write(path + ".partial", data_of())
        os.replace(path + ".partial", path)
    return path


def main():
    web, host, bundle = (os.path.abspath(path) for path in sys.argv[1:4])
    work = os.path.join(os.path.dirname(web), "bench-work")  # beside the served folder, never in it
    os.makedirs(work, exist_ok=True)
    large = os.path.join(work, "large.mid")
    if not os.path.exists(large):
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "bench", "make_large_midi.py"), large + ".partial",
                        "1000000"], check=True)
        os.replace(large + ".partial", large)
    tracks = make(os.path.join(work, "tracks.mid"), lambda: many_tracks(65535))
    big = make(os.path.join(work, "big.mid"), lambda: dense(50 << 20))
    demo = make_demo(work)

    out = os.path.join(work, "native-out.mid")
    started = time.perf_counter()
    subprocess.run([host, "--lv2", bundle, large, out], check=True, stdout=subprocess.DEVNULL)
    native_ms = (time.perf_counter() - started) * 1000
    with open(out, "rb") as native:
        native_hash = hashlib.sha256(native.read()).hexdigest()

    session = PageSession(web, work)
    stalls, failed = {}, []
    try:
        session.open()
        settle(session)
        memory_start = browser_memory_mb(session)
        web_ms, stalls["large.mid"] = through_page(session, large, "large-veltrace.mid")
        web_hash = hashlib.sha256(session.download_bytes()).hexdigest()
        _, stalls["tracks.mid"] = through_page(session, tracks, "tracks-veltrace.mid")
        _, stalls["big.mid"] = through_page(session, big, "big-veltrace.mid")
        through_page(session, demo, "demo-veltrace.mid")
        settle(session)
        memory_after = browser_memory_mb(session)
    finally:
        session.close()
    if web_hash != native_hash:
        print("bench-web: the page's output differs from the native tool's", file=sys.stderr)
        return 1
    sizes = {name: os.path.getsize(os.path.join(work, name)) for name in stalls}
    for name, stall in stalls.items():
        print(f"web_max_stall_ms={stall:.0f} ({name}, {sizes[name]:,} bytes)")
        if stall >= STALL_LIMIT_MS:
            failed.append(f"the page stalled {stall:.0f} ms on {name}")
    print(f"browser_memory_mb start={memory_start:.0f} after_large_then_small={memory_after:.0f} "
          f"ratio={memory_after / memory_start:.2f}")
    if memory_after > MEMORY_LIMIT * memory_start:
        failed.append(f"the browser kept {memory_after:.0f} MB of {memory_start:.0f} MB at start")
    print(f"web_ms={web_ms:.0f} native_ms={native_ms:.0f}")
    print(f"ratio_web_to_native={web_ms / native_ms:.2f}")
    if web_ms / native_ms > RATIO_LIMIT:
        failed.append(f"the page took {web_ms / native_ms:.2f} times the native tool's time")
    for failure in failed:
        print(f"bench-web: {failure}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
