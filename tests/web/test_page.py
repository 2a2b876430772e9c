#!/usr/bin/python3
"""The browser page in headless Chromium.

test_page.py page WEB_DIR WORK_DIR
    labels, bad inputs, presets and the live path (a stand-in MIDIAccess).
test_page.py tool WEB_DIR WORK_DIR HOST BUNDLE
    files and settings files against the native veltrace-host: the page's
    download is the tool's output byte for byte; exits 77 (skipped) when the
    tool is not built."""
import os
import random
import shutil
import struct
import subprocess
import sys
import time

from page_session import ROOT, PageSession

DEFAULTS = {"master_cc": 1, "modifier_cc": 0, "effect_amount": 85, "low_in": 0, "high_in": 96, "mode": 0}

# (setting, value, mode, the property page's text)
LABELS = [
    ("master_cc", 0, 0, "Pressure"), ("master_cc", 1, 0, "1"), ("master_cc", 127, 2, "127"),
    ("modifier_cc", 0, 1, "Pressure"), ("modifier_cc", 74, 0, "74"),
    ("effect_amount", 85, 0, "85%"), ("effect_amount", 0, 1, "0%"), ("effect_amount", 100, 1, "100%"),
    ("effect_amount", 85, 2, "+/- 54"), ("effect_amount", 100, 2, "+/- 64"), ("effect_amount", 1, 2, "+/- 0"),
    ("effect_amount", 50, 2, "+/- 32"), ("low_in", 0, 0, "0"), ("high_in", 96, 2, "96"),
    ("mode", 0, 0, "Add"), ("mode", 1, 1, "Sub"), ("mode", 2, 2, "Rel64"),
]

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

# Live: (settings changed first, message in, what the output gets or None).
# Defaults: Add 85% on controller 1 from channel pressure, low 0, high 96.
LIVE = [
    ({}, [0xB3, 1, 64], [0xB3, 1, 64]),
    ({}, [0xD3, 96], [0xB3, 1, 118]),      # 64 + int(0.85 * 64)
    ({}, [0xD3, 96], None),                # the same value again: dropped
    ({}, [0x93, 60, 100], [0x93, 60, 100]),
    ({}, [0xF8], [0xF8]),                  # clock passes
    ({}, [0xFA], [0xFA]),                  # Start: the filter forgets what it sent
    ({}, [0xD3, 96], [0xB3, 1, 118]),
    ({"mode": 1}, [0xD3, 96], [0xB3, 1, 9]),     # Sub: 64 - int(0.85 * 65)
    ({"mode": 0, "master_cc": 0, "modifier_cc": 2}, [0xB3, 2, 127], [0xD3, 118]),  # pressure as master
]

STAND_IN = """
(() => {
  const mode = new URLSearchParams(location.search).get('midi');
  if (mode === 'none') { delete Navigator.prototype.requestMIDIAccess; return; }
  if (mode === 'refused') {
    Navigator.prototype.requestMIDIAccess = () => Promise.reject(new DOMException('refused', 'SecurityError'));
    return;
  }
  const sent = window.__midiSent = [];
  const input = {id: 'in-1', name: 'Stand-in keyboard', type: 'input', onmidimessage: null};
  const output = {id: 'out-1', name: 'Stand-in synth', type: 'output', send: (data) => sent.push(Array.from(data))};
  window.__midiPlay = (bytes) => { if (input.onmidimessage) input.onmidimessage({data: new Uint8Array(bytes)}); };
  const access = {inputs: new Map([[input.id, input]]), outputs: new Map([[output.id, output]]), onstatechange: null};
  Navigator.prototype.requestMIDIAccess = () => Promise.resolve(access);
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


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)
    return path


def smf(format_, tracks, division=96):
    """A Standard MIDI File from tracks of (delta, bytes) events."""
    out = b"MThd" + struct.pack(">IHHH", 6, format_, len(tracks), division)
    for events in tracks:
        body = b""
        for delta, data in events + [(0, b"\xff\x2f\x00")]:
            var = bytes([delta & 0x7F])
            delta >>= 7
            while delta:
                var = bytes([0x80 | (delta & 0x7F)]) + var
                delta >>= 7
            body += var + data
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    return out


def random_track(seed, count, channel):
    rng, events = random.Random(seed), []
    for i in range(count):
        kind = rng.randrange(10)
        if kind < 3:
            data = bytes([0xB0 | channel, rng.choice([1, 2, 7, 11, 74]), rng.randrange(128)])
        elif kind < 6:
            data = bytes([0xD0 | channel, rng.randrange(128)])
        elif kind < 8:
            data = bytes([0x90 | channel, 36 + rng.randrange(48), rng.randrange(128)])
        elif kind == 8:
            data = bytes([0xC0 | channel, rng.randrange(128)]) if rng.randrange(2) else \
                bytes([0xE0 | channel, rng.randrange(128), rng.randrange(128)])
        else:
            data = b"\xf0\x04\x7e\x00\x09\xf7" if i % 2 else b"\xff\x51\x03\x07\xa1\x20"
        events.append((rng.choice([0, 0, 1, 5, 30, 200]), data))
    return events


def part_page(web, work):
    checks = Checks()
    session = PageSession(web, work, STAND_IN)
    try:
        session.open()
        # Labels, each under the mode that its row names.
        for name, value, mode, text in LABELS:
            session.set_control("mode", mode)
            session.set_control(name, value)
            checks.equal(f"label of {name}={value} in mode {mode}", session.label(name), text)
        session.set_control("effect_amount", 85)
        session.set_control("mode", 2)
        checks.equal("the amount's label follows the mode", session.label("effect_amount"), "+/- 54")
        for name, value in DEFAULTS.items():
            session.set_control(name, value)

        # A good file first, then each bad input: its message, no download, the last result kept.
        demo = make_demo(work)
        session.open_midi(demo)
        session.download_bytes()
        checks.equal("the demo's table has its tracks and a total", len(session.summary()), 3)
        for kind, name, data, message in BAD_INPUTS:
            path = write(os.path.join(work, name), data if data is not None else open(demo, "rb").read()[:300])
            shown = session.summary()
            (session.open_midi if kind == "midi" else session.open_settings)(path)
            session.wait_for(session.alert, f"the message for {name}")
            checks.equal(f"message for {name}", session.alert(), message)
            checks.equal(f"no download after {name}", session.has_download(), False)
            checks.equal(f"the last good result stays after {name}", session.summary(), shown)
            checks.equal(f"settings unchanged after {name}", session.control("master_cc"), 1)
            for high in (97, 96):  # a change brings the last good file's output back
                session.set_control("high_in", high)
                session.wait_for(session.has_download, "the output after a change")
            checks.equal(f"the message goes with a good run after {name}", session.alert(), "")

        # Two files chosen one after the other, the first read more slowly: the
        # second is the one that goes through, and the first's link goes at once.
        slow = write(os.path.join(work, "slow.mid"), smf(0, [random_track(5, 50, 0)]))
        session.js("const read = Blob.prototype.arrayBuffer;"
                   "Blob.prototype.arrayBuffer = function () { const bytes = read.call(this);"
                   " return this.name === 'slow.mid' ? bytes.then((b) => new Promise((done) => setTimeout(() => done(b), 400)))"
                   " : bytes; };")
        session.open_midi(slow)
        checks.equal("no link while another file is read", session.has_download(), False)
        session.open_midi(demo)
        session.wait_for(session.has_download, "the second file's link")
        time.sleep(0.8)  # the first file's read is long done
        checks.equal("the file chosen last is the one shown",
                     session.js("return document.querySelector('a[download]').download"), "demo-veltrace.mid")

        # The live path through a stand-in MIDIAccess.
        session.driver.find_element("id", "live-connect").click()
        session.wait_for(lambda: session.js("return document.querySelector('#midi-in').options.length") == 2,
                         "the stand-in's ports")
        for select, port in (("midi-in", "in-1"), ("midi-out", "out-1")):
            session.js(f"const s = document.getElementById('{select}'); s.value = '{port}';"
                       "s.dispatchEvent(new Event('change'));")
        for changes, message, want in LIVE:
            for name, value in changes.items():
                session.set_control(name, value)
            before = session.js("return window.__midiSent.length")
            session.js("window.__midiPlay(arguments[0])", message)
            sent = session.js("return window.__midiSent.slice(arguments[0])", before)
            checks.equal(f"live {changes} {message}", sent, [want] if want else [])

        # Without Web MIDI, or refused: one line, and files still go through.
        lines = {"none": "This browser has no Web MIDI: the live path is off; MIDI files work as before.",
                 "refused": "Web MIDI was refused (SecurityError): the live path is off; MIDI files work as before."}
        for how, line in lines.items():
            session.open(f"?midi={how}")
            session.driver.find_element("id", "live-connect").click()
            session.wait_for(lambda: session.js("return document.querySelector('#live-status').textContent"),
                             "the live line")
            checks.equal(f"live line with Web MIDI {how}",
                         session.js("return document.querySelector('#live-status').textContent"), line)
            if how == "none":
                session.open_midi(demo)
                opened = session.download_bytes()
            else:  # dropped on the page instead of opened
                session.js("const dt = new DataTransfer();"
                           "dt.items.add(new File([new Uint8Array(arguments[0])], 'demo.mid'));"
                           "document.getElementById('drop').dispatchEvent(new DragEvent('drop',"
                           " {dataTransfer: dt, bubbles: true, cancelable: true}));", list(open(demo, "rb").read()))
                checks.equal("a dropped file goes through as an opened one", session.download_bytes(), opened)
                checks.equal("the download's name", session.js("return document.querySelector('a[download]').download"),
                             "demo-veltrace.mid")
    finally:
        session.close()
    return checks


def make_demo(work):
    path = os.path.join(work, "demo.mid")
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "make_example_midi.py"), path], check=True)
    return path


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


def controls_of(options):
    words, values = {"pressure": 0, "add": 0, "sub": 1, "rel64": 2}, dict(DEFAULTS)
    for option, value in zip(options[::2], options[1::2]):
        values[OPTION_CONTROL[option]] = words[value] if value in words else int(value)
    return values


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
                checks.equal(f"{what}: summary", session.summary(), table)

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
        tool("--settings", "assigned.bin", "--save-settings", "tool.bin", files[2], "tool-out.mid")
        session.open_settings(assigned)
        checks.equal("a loaded file's output", session.download_bytes(), open(os.path.join(work, "tool-out.mid"), "rb").read())
        checks.equal("assignments kept", session.saved_settings(), open(os.path.join(work, "tool.bin"), "rb").read())
    finally:
        session.close()
    return checks


def main():
    part, web, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    work = os.path.join(work, part)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    started = time.monotonic()
    checks = part_page(web, work) if part == "page" else \
        part_tool(web, work, *[os.path.abspath(path) for path in sys.argv[4:6]])
    print(f"{part}: {checks.count - checks.failures} of {checks.count} checks passed "
          f"in {time.monotonic() - started:.1f} s")
    if not checks.failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
