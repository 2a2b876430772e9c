#!/usr/bin/python3
"""The browser page in headless Chromium.

test_page.py page WEB_DIR WORK_DIR
    labels, accessible names and values, the keyboard, hostile files and
    settings, one job at a time, settings kept across a reload.
test_page.py layout WEB_DIR WORK_DIR
    the page at a phone's width and at a desktop's: nothing cut off, the
    plot's text at least 11 px.
test_page.py tool WEB_DIR WORK_DIR HOST BUNDLE
    files and settings files against the native veltrace-host: the page's
    download is the tool's output byte for byte; exits 77 (skipped) when the
    tool is not built."""
import os
import shutil
import struct
import subprocess
import sys
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

from midi_files import make_demo, many_tracks, random_track, smf, write
from page_session import PageSession

DEFAULTS = {"master_cc": 1, "modifier_cc": 0, "effect_amount": 85, "low_in": 0, "high_in": 96, "mode": 0}

# (setting, value, mode, the page's text: the property page's, with a controller's name)
LABELS = [
    ("master_cc", 0, 0, "Pressure"), ("master_cc", 1, 0, "1 Modulation"), ("master_cc", 127, 2, "127 Poly"),
    ("master_cc", 7, 0, "7 Volume"), ("master_cc", 33, 0, "33 Modulation LSB"), ("master_cc", 3, 0, "3"),
    ("modifier_cc", 0, 1, "Pressure"), ("modifier_cc", 74, 0, "74 Brightness"),
    ("effect_amount", 85, 0, "85%"), ("effect_amount", 0, 1, "0%"), ("effect_amount", 100, 1, "100%"),
    ("effect_amount", 85, 2, "+/- 54"), ("effect_amount", 100, 2, "+/- 64"), ("effect_amount", 1, 2, "+/- 0"),
    ("effect_amount", 50, 2, "+/- 32"), ("low_in", 0, 0, "0"), ("high_in", 96, 2, "96"),
    ("mode", 0, 0, "Add"), ("mode", 1, 1, "Sub"), ("mode", 2, 2, "Rel64"),
]

# What a screen reader is told with the settings below: (role, name, value
# or None). Roles and names as the browser's accessibility tree computes
# them; a slider's value is its aria-valuetext in the DOM, which the tree's
# dump here does not carry.
ACCESSIBLE_SETTINGS = {"master_cc": 7, "modifier_cc": 0, "effect_amount": 85, "mode": 2}
ACCESSIBLE = [
    ("slider", "Master CC", "7 Volume"), ("spinbutton", "Master CC, typed", "7"),
    ("slider", "Modifier CC", "Pressure"), ("spinbutton", "Modifier CC, typed", "0"),
    ("slider", "Effect Amount", "+/- 54"), ("spinbutton", "Effect Amount, typed", "85"),
    ("slider", "Low In Value", "0"), ("slider", "High In Value", "96"), ("combobox", "Mode", "Rel64"),
    ("combobox", "Preset", None), ("button", "Save settings", None), ("button", "Reset to defaults", None),
    ("table", "What the filter did on each track", None), ("region", "What the filter did on each track", None),
    ("button", "Connect MIDI devices", None),
]
# Named in the page itself: (selector, attribute, value).
NAMED = [
    ("#progress", "aria-label", "The file's way through the filter"),
    ("#status", "aria-live", "polite"), ("#live-status", "aria-live", "polite"), ("#play-status", "aria-live", "polite"),
    ("#alert", "role", "alert"),
]
# The order Tab reaches the page's controls in, before any file or device.
TAB_ORDER = ["midi-file", "preset", "master_cc", "master_cc typed", "modifier_cc", "modifier_cc typed",
             "effect_amount", "effect_amount typed", "low_in", "low_in typed", "high_in", "high_in typed", "mode",
             "settings file", "save-settings", "reset", "table", "live-connect"]

# The native tool's messages for these inputs (without its "veltrace-host: ").
SETTINGS_HEAD = bytes.fromhex("9ae025b8010000001000000030000000")  # magic, version 1, 16, 48
def settings_file(row0, row1=(128,) * 6, head=SETTINGS_HEAD):
    return head + struct.pack("<12i", *row0, *row1)
GOOD_ROW = (7, 0, 85, 0, 96, 0)
BAD_INPUTS = [  # (what, file name, bytes, message)
    ("midi", "notmidi.mid", b"hello, this is text and not a MIDI file\n",
     "notmidi.mid: not a MIDI file: it does not begin with MThd"),
    ("midi", "cut.mid", None,  # the demo file's first 300 bytes
     "cut.mid: file: truncated: chunk MTrk declares 2384 bytes, only 233 remain (byte 67)"),
    ("midi", "empty.mid", b"", "empty.mid: not a MIDI file: it does not begin with MThd"),
    ("settings", "short.bin", settings_file(GOOD_ROW)[:63], "short.bin: 63 bytes; a settings stream is 64"),
    ("settings", "magic.bin", b"\0" + settings_file(GOOD_ROW)[1:],
     "magic.bin: not a Veltrace settings stream (wrong magic)"),
    ("settings", "version.bin", SETTINGS_HEAD[:4] + struct.pack("<I", 2) + settings_file(GOOD_ROW)[8:],
     "version.bin: settings version 2; this plug-in reads version 1"),
    ("settings", "range.bin", settings_file((200, 0, 85, 0, 96, 0)),
     "the settings hold 200 for Master CC; the plug-in's control takes 0..127"),
    ("settings", "mode.bin", settings_file((1, 0, 85, 0, 96, 3)),
     "the settings hold 3 for Mode; the plug-in's control takes 0..2"),
]
# Files the page must survive, each after the demo went through: (name, how
# to make it in WORK, the message, or None and the summary it shows).
HUGE = 70 << 20
HOSTILE = [
    ("huge.mid", lambda path: os.truncate(write(path, b"MThd"), HUGE),  # its bytes are never read
     "huge.mid: 73,400,320 bytes; the page takes MIDI files of up to 67,108,864 bytes (64 MB): veltrace-host plays it",
     None),
    ("tracks.mid", lambda path: write(path, many_tracks(65535)), None,
     [["1", "0", "0", "0", "0", "0"]] + [[str(n), "1", "1", "1", "0", "0"] for n in range(2, 20)] +
     [["20–65535", "65516", "65516", "65516", "0", "0"], ["total", "65534", "65534", "65534", "0", "0"]]),
]
# Files plotted as they are, with the default settings (master CC 1, modifier
# pressure): (name, its one track's events, the summary, the values the plot
# shows last in each column it marks, for the master in and the modifier in).
PLOTTED = [
    ("silent.mid", [], [["1", "0", "0", "0", "0", "0"], ["total", "0", "0", "0", "0", "0"]], [], []),
    ("tick0.mid", [(0, b"\xb0\x01\x40"), (0, b"\x90\x3c\x40")],
     [["1", "2", "2", "1", "0", "0"], ["total", "2", "2", "1", "0", "0"]], [64], []),
    ("streams.mid", [(0, b"\xb0\x01\x0a"), (48, b"\xd0\x46"), (48, b"\xb0\x01\x14"), (48, b"\xd0\x50")],
     None, [10, 20], [70, 80]),
]
# Each plot the page draws, kept as drawn.
KEEP_PLOT = """
const real = VeltracePlot.draw;
VeltracePlot.draw = (canvas, view) => {
  window.__plotted = view && {plot: view.plot.map((columns) => Array.from(columns)), end: view.end};
  return real(canvas, view);
};
"""
# Settings kept in the browser that cannot be used: (stored text, message).
STORED = [
    ("not base64!", "the settings kept in this browser: not base64; the defaults are shown."),
    ("AAAA", "the settings kept in this browser: 3 bytes; a settings stream is 64; the defaults are shown."),
]
# Typed into Master CC's number field: (text, the control's value after, the message).
TYPED = [
    ("11", 11, ""), ("128", 11, 'Master CC takes a whole number from 0 to 127; "128" was not applied.'),
    ("-1", 11, 'Master CC takes a whole number from 0 to 127; "-1" was not applied.'),
    ("2.5", 11, 'Master CC takes a whole number from 0 to 127; "2.5" was not applied.'), ("0", 0, ""),
]

# Scripts in place before the page's own: policy violations are recorded,
# and the page's workers, their jobs and its WebAssembly compilations counted.
WATCH = """
(() => {
  const seen = window.__seen = {violations: [], workers: 0, runs: 0, ended: 0, compiled: 0};
  document.addEventListener('securitypolicyviolation', (e) => seen.violations.push(`${e.violatedDirective} ${e.blockedURI}`));
  const Real = window.Worker;
  window.Worker = class extends Real {
    constructor(...args) { super(...args); seen.workers += 1; }
    postMessage(message, ...rest) { if (message && message.kind === 'run') seen.runs += 1; return super.postMessage(message, ...rest); }
    terminate() { seen.ended += 1; return super.terminate(); }
  };
  for (const name of ['compile', 'compileStreaming', 'instantiateStreaming']) {
    const real = WebAssembly[name];
    WebAssembly[name] = (...args) => { seen.compiled += 1; return real.apply(WebAssembly, args); };
  }
})();
"""


class Checks:
    def __init__(self):
        self.failures = 0
        self.count = 0

    def equal(self, what, got, want):
        self.count += 1
        if got != want:
            self.failures += 1
            if isinstance(got, bytes) and isinstance(want, bytes):
                at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
                got, want = f"{len(got)} bytes, from byte {at}: {got[at:at + 8].hex()}", f"{len(want)} bytes: {want[at:at + 8].hex()}"
            print(f"FAIL {what}: got {got!r}, want {want!r}")

    def finish(self, part, work, started=None):
        """The part's closing line; its work folder goes once every check
        passed. The exit status."""
        took = "" if started is None else f" in {time.monotonic() - started:.1f} s"
        print(f"{part}: {self.count - self.failures} of {self.count} checks passed{took}")
        if not self.failures:
            shutil.rmtree(work, ignore_errors=True)
        return 1 if self.failures else 0


def accessible_nodes(session):
    """(role, name, value) of every node the accessibility tree shows."""
    nodes = session.driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
    found = []
    for node in nodes:
        if node.get("ignored"):
            continue
        value = node.get("value", {}).get("value")
        found.append((node.get("role", {}).get("value"), node.get("name", {}).get("value", ""),
                      None if value in (None, "") else str(value)))
    return found


def focused(session):
    return session.js("const e = document.activeElement;"
                      "return e.dataset.typed ? e.dataset.typed + ' typed' : e.dataset.kind ? e.dataset.kind + ' file'"
                      " : e.classList.contains('table-box') ? 'table' : e.id || e.tagName")


def part_page(web, work):
    checks = Checks()
    session = PageSession(web, work, WATCH)
    try:
        session.open()
        # Labels, each under the mode that its row names.
        for name, value, mode, text in LABELS:
            session.set_control("mode", mode)
            session.set_control(name, value)
            checks.equal(f"label of {name}={value} in mode {mode}", session.label(name), text)
        for name, value in DEFAULTS.items():
            session.set_control(name, value)

        # What assistive technology reads, and the keyboard's way round.
        for name, value in ACCESSIBLE_SETTINGS.items():
            session.set_control(name, value)
        nodes = accessible_nodes(session)
        valuetext = dict(session.js("return [...document.querySelectorAll('input[type=range]')]"
                                    ".map((e) => [e.labels[0].textContent, e.getAttribute('aria-valuetext')])"))
        for role, name, value in ACCESSIBLE:
            match = [node for node in nodes if node[0] == role and node[1] == name]
            checks.equal(f"the {role} '{name}' is there once", len(match), 1)
            if match and value is not None:
                checks.equal(f"the {role} '{name}' says", valuetext.get(name) if role == "slider" else match[0][2], value)
        for selector, attribute, want in NAMED:
            checks.equal(f"{selector} {attribute}", session.js(
                "return document.querySelector(arguments[0]).getAttribute(arguments[1])", selector, attribute), want)
        session.js("document.activeElement.blur(); window.scrollTo(0, 0)")
        reached = []
        for _ in TAB_ORDER:
            ActionChains(session.driver).send_keys(Keys.TAB).perform()
            reached.append(focused(session))
        checks.equal("Tab reaches every control in order", reached, TAB_ORDER)
        session.driver.find_element("id", "master_cc").send_keys(Keys.RIGHT)
        checks.equal("an arrow key moves a slider", (session.control("master_cc"), session.label("master_cc")),
                     (8, "8 Balance"))
        for text, value, message in TYPED:
            field = session.driver.find_element("css selector", "[data-typed=master_cc]")
            field.click()
            session.js("arguments[0].select()", field)  # what was there goes as the typing starts
            field.send_keys(text, Keys.ENTER)
            checks.equal(f"typed '{text}': the control", session.control("master_cc"), value)
            checks.equal(f"typed '{text}': the message", session.alert(), message)
        for name, value in DEFAULTS.items():
            session.set_control(name, value)

        # A good file first, then each bad input: its message, the last good
        # result kept (table, link and all), and the page still at work.
        demo = make_demo(work)
        session.open_midi(demo)
        session.download_bytes()
        checks.equal("the demo's table has its tracks and a total", len(session.summary()), 3)
        for kind, name, data, message in BAD_INPUTS:
            path = write(os.path.join(work, name), data if data is not None else open(demo, "rb").read()[:300])
            shown, status = session.summary(), session.status()
            (session.open_midi if kind == "midi" else session.open_settings)(path)
            session.wait_for(session.alert, f"the message for {name}")
            checks.equal(f"message for {name}", session.alert(), message)
            keep_result(checks, session, name, shown, "Still showing demo.mid." if kind == "midi" else status)
            checks.equal(f"settings unchanged after {name}", session.control("master_cc"), 1)
            rerun(checks, session, name)
        for name, make, message, summary in HOSTILE:
            path = os.path.join(work, name)
            make(path)
            shown = session.summary()
            session.open_midi(path)
            if message:
                session.wait_for(session.alert, f"the message for {name}")
                checks.equal(f"message for {name}", session.alert(), message)
                keep_result(checks, session, name, shown, "Still showing demo.mid.")
            else:
                session.wait_for(lambda: session.has_download() and session.download_name() == "tracks-veltrace.mid",
                                 f"{name}'s result")
                checks.equal(f"{name}: a screenful of rows, totals exact", session.summary(), summary)
                session.open_midi(demo)
                session.download_bytes()
            rerun(checks, session, name)
            os.remove(path)

        # Files at the edges of the plot: no events, all at tick 0, and the
        # modifier's panel drawn from the modifier's stream.
        session.js(KEEP_PLOT)
        for name, events, summary, master, modifier in PLOTTED:
            path = write(os.path.join(work, name), smf(0, [events]))
            session.js("window.__plotted = null")
            session.open_midi(path)
            session.wait_for(lambda: session.alert() or session.js("return window.__plotted !== null") and
                             session.download_name() == name.replace(".mid", "-veltrace.mid"), f"{name}'s result")
            checks.equal(f"{name}: no message", session.alert(), "")
            if summary:
                checks.equal(f"{name}: the summary", session.summary(), summary)
            plotted = session.js("return window.__plotted") or {"plot": [[], [], []]}
            shown = [[now for now in columns[2::3] if now >= 0] for columns in plotted["plot"]]
            checks.equal(f"{name}: the master in and the modifier in, as plotted", (shown[0], shown[2]),
                         (master, modifier))
            os.remove(path)
        session.open_midi(demo)
        session.download_bytes()

        # A file dropped while another runs: the one dropped last is shown,
        # and no link is on offer meanwhile.
        busy = write(os.path.join(work, "busy.mid"), smf(1, [random_track(s, 5000, s) for s in range(4)]))
        checks.equal("no link while a file runs", session.drop_files(
            [("busy.mid", open(busy, "rb").read()), ("demo.mid", open(demo, "rb").read())]), [False, False])
        session.wait_for(session.has_download, "the second file's link")
        checks.equal("the file dropped last is the one shown", session.download_name(), "demo-veltrace.mid")

        # Dragging a slider over a file: one job at a time, the latest settings
        # win, the WebAssembly compiled once and fetched once.
        session.open_midi(busy)
        session.download_bytes()
        before = session.js("return window.__seen")
        session.js("const c = document.querySelector('[name=high_in]');"
                   "for (let v = 100; v < 120; v++) { c.value = String(v); c.dispatchEvent(new Event('input', {bubbles: true})); }")
        session.wait_for(session.has_download, "the output after dragging")
        dragged = session.download_bytes()
        seen = session.js("return window.__seen")
        checks.equal("twenty steps during a run: two runs", seen["runs"] - before["runs"], 2)
        checks.equal("twenty steps: the same worker", (seen["workers"] - before["workers"], seen["ended"] - before["ended"]),
                     (0, 0))
        checks.equal("the WebAssembly compiled once", seen["compiled"], 1)
        checks.equal("the page meets its Content-Security-Policy", seen["violations"], [])
        checks.equal("the WebAssembly fetched once", session.requested("/veltrace.wasm"), 1)
        session.set_control("high_in", 96)
        session.download_bytes()
        session.set_control("high_in", 119)
        checks.equal("the result is the last step's", session.download_bytes(), dragged)

        # Settings kept across a reload, the defaults back with Reset, and kept
        # settings that cannot be used.
        session.set_control("master_cc", 7)
        session.set_control("mode", 2)
        session.open()
        checks.equal("settings kept across a reload", (session.control("master_cc"), session.control("mode"),
                                                       session.label("master_cc")), (7, 2, "7 Volume"))
        session.driver.find_element("id", "reset").click()
        session.open()
        checks.equal("Reset: the defaults, kept", {name: session.control(name) for name in DEFAULTS}, DEFAULTS)
        for text, message in STORED:
            session.js("localStorage.setItem('veltrace.settings', arguments[0])", text)
            session.open()
            checks.equal(f"kept settings '{text}': the message", session.alert(), message)
            checks.equal(f"kept settings '{text}': the defaults", {n: session.control(n) for n in DEFAULTS}, DEFAULTS)
        checks.equal("the page meets its Content-Security-Policy", session.js("return window.__seen.violations"), [])
    finally:
        session.close()
    return checks


def keep_result(checks, session, name, shown, status):
    checks.equal(f"the last good table stays after {name}", session.summary(), shown)
    checks.equal(f"the last good link stays after {name}", (session.has_download(), session.download_name()),
                 (True, "demo-veltrace.mid"))
    checks.equal(f"the status after {name}", session.status(), status)


def rerun(checks, session, name):
    """A change brings the last good file's output back: the page still works."""
    for high in (97, 96):
        session.set_control("high_in", high)
        session.wait_for(lambda: session.has_download() and session.download_name() == "demo-veltrace.mid",
                         f"the output after a change after {name}")
    checks.equal(f"the message goes with a good run after {name}", session.alert(), "")


# Plot text measured as drawn: each fillText's font size in CSS pixels.
MEASURE_TEXT = """
(() => {
  const sizes = window.__textPx = [];
  const real = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (...args) {
    const px = parseFloat(this.font), matrix = this.getTransform(), canvas = this.canvas;
    sizes.push(px * matrix.a * canvas.clientWidth / canvas.width);
    return real.apply(this, args);
  };
})();
"""
# (width, height, mobile): a phone's screen and a desktop's window.
SCREENS = [(390, 844, True), (1400, 1000, False)]


def part_layout(web, work):
    checks = Checks()
    demo = make_demo(work)
    session = PageSession(web, work, MEASURE_TEXT)
    try:
        for number, (width, height, mobile) in enumerate(SCREENS):
            session.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 3 if mobile else 1, "mobile": mobile})
            session.open()
            session.open_midi(demo)
            session.download_bytes()
            session.js("window.__textPx.length = 0")
            session.set_control("high_in", 90 + number)  # drawn anew at this width
            session.wait_for(lambda: session.js("return window.__textPx.length") > 0, "the plot drawn")
            where = f"at {width} px"
            checks.equal(f"{where}: the page does not scroll sideways",
                         session.js("return document.documentElement.scrollWidth <= window.innerWidth"), True)
            cut = session.js("""
              const width = window.innerWidth, cut = [];
              for (const e of document.body.querySelectorAll('*')) {
                const box = e.getBoundingClientRect();
                if (!box.width || e.closest('.table-box') !== null && e.closest('.table-box') !== e) continue;
                if (box.left < -0.5 || box.right > width + 0.5) cut.push(`${e.tagName}#${e.id}.${e.className} ${box.left}..${box.right}`);
              }
              return cut;""")
            checks.equal(f"{where}: nothing reaches past the screen's edge", cut, [])
            checks.equal(f"{where}: the table scrolls in its own box", session.js(
                "const box = document.querySelector('.table-box'); return getComputedStyle(box).overflowX"), "auto")
            smallest = session.js("return Math.min(...window.__textPx)")
            checks.equal(f"{where}: the plot's text is at least 11 px ({smallest:.1f})", smallest >= 11, True)
    finally:
        session.close()
    return checks


# Settings as the tool's options, and as the page's controls (absent: default).
SETTINGS = [
    [],
    ["--master", "7", "--modifier", "11", "--amount", "80", "--mode", "sub"],
    ["--master", "74", "--modifier", "pressure", "--amount", "60", "--mode", "rel64"],
    ["--master", "pressure", "--modifier", "1", "--amount", "33", "--low", "10", "--high", "100"],
    ["--master", "2", "--modifier", "2", "--amount", "100", "--low", "20", "--high", "21"],
]
OPTION_CONTROL = {"--master": "master_cc", "--modifier": "modifier_cc", "--amount": "effect_amount",
                  "--low": "low_in", "--high": "high_in", "--mode": "mode"}
SHOWN_TRACKS = 20  # the page's summary: the first 19 tracks, the rest in one row, the total


def controls_of(options):
    words, values = {"pressure": 0, "add": 0, "sub": 1, "rel64": 2}, dict(DEFAULTS)
    for option, value in zip(options[::2], options[1::2]):
        values[OPTION_CONTROL[option]] = words[value] if value in words else int(value)
    return values


def folded(table):
    """The tool's table as the page shows it: a screenful of tracks, the rest folded."""
    tracks, total = table[:-1], table[-1]
    if len(tracks) <= SHOWN_TRACKS:
        return table
    rest = tracks[SHOWN_TRACKS - 1:]
    sums = [str(sum(int(row[column]) for row in rest)) for column in range(1, 6)]
    return tracks[:SHOWN_TRACKS - 1] + [[f"{rest[0][0]}–{rest[-1][0]}", *sums], total]


def part_tool(web, work, host, bundle):
    checks = Checks()
    if not os.access(host, os.X_OK):
        print(f"SKIP: {host} is not built (make lv2); the page cannot be compared with the native tool")
        sys.exit(77)

    def tool(*arguments):
        result = subprocess.run([host, "--lv2", bundle, *arguments], cwd=work, capture_output=True, text=True)
        return result.returncode, result.stdout, result.stderr.strip()

    # The pinned messages are the tool's own.
    for kind, name, data, message in BAD_INPUTS:
        if data is None:
            continue
        write(os.path.join(work, name), data)
        files = [name, "never.mid"] if kind == "midi" else ["--settings", name, make_demo(work), "never.mid"]
        checks.equal(f"the tool's message for {name}", tool(*files)[2], "veltrace-host: " + message)

    files = [make_demo(work),
             write(os.path.join(work, "format0.mid"), smf(0, [random_track(1, 1500, 0)])),
             write(os.path.join(work, "tracks25.mid"), smf(1, [random_track(s, 40, s % 16) for s in range(25)])),
             write(os.path.join(work, "format1.mid"),
                   smf(1, [[(0, b"\xff\x51\x03\x07\xa1\x20")]] + [random_track(s, 700, s) for s in (2, 3, 4)], 480))]
    session = PageSession(web, work)
    try:
        session.open()
        for midi in files:
            session.open_midi(midi)
            session.download_bytes()
            for options in SETTINGS:
                out = os.path.join(work, "tool-out.mid")
                code, stdout, _ = tool(*options, midi, out)
                for name, value in controls_of(options).items():
                    session.set_control(name, value)
                got = session.download_bytes()
                what = f"{os.path.basename(midi)} {' '.join(options) or '(defaults)'}"
                checks.equal(f"{what}: page output is the tool's", got, open(out, "rb").read())
                table = [line.split() for line in stdout.splitlines()[1:]]
                checks.equal(f"{what}: summary", session.summary(), folded(table))

        # A preset: the LV2 bundle's values, pinned here.
        session.js("const p = document.getElementById('preset');"
                   "p.value = [...p.options].find((o) => o.text === 'Expression pedal ducks volume').value;"
                   "p.dispatchEvent(new Event('change'));")
        tool("--master", "7", "--modifier", "11", "--amount", "80", "--low", "0", "--high", "127", "--mode", "sub",
             files[-1], "preset.mid")  # the page's file is the last one opened
        checks.equal("preset output", session.download_bytes(), open(os.path.join(work, "preset.mid"), "rb").read())

        # Settings files both ways: the page's save is the tool's, the tool's loads into the page.
        for options in SETTINGS[1:]:
            for name, value in controls_of(options).items():
                session.set_control(name, value)
            tool(*options, "--save-settings", "tool.bin", files[0], "o.mid")
            tool_bytes = open(os.path.join(work, "tool.bin"), "rb").read()
            checks.equal(f"page saves {' '.join(options)} as the tool does", session.saved_settings(), tool_bytes)
            session.set_control("mode", 0 if controls_of(options)["mode"] else 1)  # away from them
            session.open_settings(os.path.join(work, "tool.bin"))
            session.wait_for(lambda: session.control("mode") == controls_of(options)["mode"], "the loaded settings")
            checks.equal("loaded settings", {n: session.control(n) for n in DEFAULTS}, controls_of(options))
        # A stream with its own controller assignments (as the Windows module keeps them) goes round unchanged.
        assigned = write(os.path.join(work, "assigned.bin"), settings_file((74, 0, 60, 5, 120, 2), (3, 4, 128, 0, 9, 10)))
        tool("--settings", "assigned.bin", "--save-settings", "tool.bin", files[-1], "tool-out.mid")
        session.open_settings(assigned)
        session.wait_for(lambda: session.control("master_cc") == 74, "the loaded settings")
        checks.equal("a loaded file's output", session.download_bytes(), open(os.path.join(work, "tool-out.mid"), "rb").read())
        checks.equal("assignments kept", session.saved_settings(), open(os.path.join(work, "tool.bin"), "rb").read())
    finally:
        session.close()
    return checks


PARTS = {"page": part_page, "layout": part_layout}


def main():
    part, web, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    work = os.path.join(work, part)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    started = time.monotonic()
    checks = PARTS[part](web, work) if part in PARTS else \
        part_tool(web, work, *[os.path.abspath(path) for path in sys.argv[4:6]])
    return checks.finish(part, work, started)


if __name__ == "__main__":
    sys.exit(main())
