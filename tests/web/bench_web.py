#!/usr/bin/python3
"""bench_web.py WEB_DIR HOST BUNDLE: the 1,000,000-event file through the
page's WebAssembly in headless Chromium (from the file chosen to the download
ready, as the page measures it) against the native veltrace-host on the same
file (its whole run), one run each; prints ratio_web_to_native=R, with the
longest stall of the page's own thread meanwhile and how many progress values
it showed. The two outputs must be the same bytes."""
import hashlib
import os
import subprocess
import sys
import time

from page_session import ROOT, PageSession


def main():
    web, host, bundle = (os.path.abspath(path) for path in sys.argv[1:4])
    work = os.path.join(web, "bench-work")
    os.makedirs(work, exist_ok=True)
    large = os.path.join(work, "large.mid")
    if not os.path.exists(large):
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "bench", "make_large_midi.py"), large + ".partial",
                        "1000000"], check=True)
        os.replace(large + ".partial", large)
    out = os.path.join(work, "native-out.mid")
    started = time.perf_counter()
    subprocess.run([host, "--lv2", bundle, large, out], check=True, stdout=subprocess.DEVNULL)
    native_ms = (time.perf_counter() - started) * 1000
    with open(out, "rb") as native:
        native_hash = hashlib.sha256(native.read()).hexdigest()

    session = PageSession(web, work)
    try:
        session.open()
        # The page's own thread while the file runs: its longest stall, and the progress it showed.
        session.js("const w = window.__watch = {stall: 0, seen: new Set()}; let last = performance.now();"
                   "w.timer = setInterval(() => { const now = performance.now();"
                   " w.stall = Math.max(w.stall, now - last); last = now;"
                   " const p = document.getElementById('progress'); if (!p.hidden) w.seen.add(p.value); }, 5);")
        session.open_midi(large)
        session.wait_for(session.has_download, "the large file's output", timeout=600)
        web_ms = float(session.js("return document.getElementById('status').dataset.ms"))
        stall, steps = session.js("clearInterval(window.__watch.timer);"
                                  "return [window.__watch.stall, window.__watch.seen.size]")
        web_hash = session.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch(document.querySelector('a[download]').href).then((r) => r.arrayBuffer())"
            ".then((b) => crypto.subtle.digest('SHA-256', b)).then((d) => done([...new Uint8Array(d)]"
            ".map((x) => x.toString(16).padStart(2, '0')).join('')));")
    finally:
        session.close()
    if web_hash != native_hash:
        print("bench-web: the page's output differs from the native tool's", file=sys.stderr)
        return 1
    print(f"web_ms={web_ms:.0f} native_ms={native_ms:.0f} web_longest_stall_ms={stall:.0f} progress_values_shown={steps}")
    print(f"ratio_web_to_native={web_ms / native_ms:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
