#!/usr/bin/python3
"""picture.py WEB_DIR OUT.png: the page with the demo file loaded, as the
same headless Chromium that the tests drive shows it."""
import os
import subprocess
import sys

from page_session import ROOT, PageSession


def main():
    web, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    work = os.path.join(os.path.dirname(web), "picture-work")  # beside the served folder, never in it
    os.makedirs(work, exist_ok=True)
    demo = os.path.join(work, "in.mid")
    subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "make_example_midi.py"), demo], check=True)
    session = PageSession(web, work)
    try:
        session.driver.set_window_size(1360, 1060)
        session.open()
        session.open_midi(demo)
        session.wait_for(session.has_download, "the demo's output")
        session.js("document.activeElement.blur()")
        session.driver.save_screenshot(out)
    finally:
        session.close()
    print(f"wrote {os.path.relpath(out)}")


if __name__ == "__main__":
    main()
