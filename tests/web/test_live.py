#!/usr/bin/python3
"""test_live.py WEB_DIR WORK_DIR: the page's Web MIDI in headless Chromium,
through a stand-in MIDIAccess put in place before the page's scripts (no MIDI
device can be reached on a build machine): live input through the filter,
with a device that refuses messages, leaves and returns; the processed file
played to the output in time, and stopped; a browser without Web MIDI, and a
user who refuses it."""
import os
import re
import shutil
import sys
import time

from midi_files import make_demo, smf, write
from page_session import ROOT, PageSession
from test_page import Checks

STAND_IN = """
(() => {
  const mode = new URLSearchParams(location.search).get('midi');
  if (mode === 'none') { delete Navigator.prototype.requestMIDIAccess; return; }
  if (mode === 'refused') {
    Navigator.prototype.requestMIDIAccess = () => Promise.reject(new DOMException('refused', 'SecurityError'));
    return;
  }
  const sent = window.__midiSent = [];  // [bytes, the time asked for or null]
  const device = window.__device = {refuse: false};
  const make = {
    input: () => ({id: 'in-1', name: 'Stand-in keyboard', type: 'input', state: 'connected', onmidimessage: null}),
    output: () => ({id: 'out-1', name: 'Stand-in synth', type: 'output', state: 'connected',
      send(data, when) {
        if (this.state !== 'connected' || device.refuse) throw new DOMException('the port is closed', 'InvalidStateError');
        sent.push([Array.from(data), when === undefined ? null : when]);
      }}),
  };
  const ports = {input: make.input(), output: make.output()};
  const access = {inputs: new Map([['in-1', ports.input]]), outputs: new Map([['out-1', ports.output]]), onstatechange: null};
  window.__midiPlay = (bytes) => {
    const input = ports.input;
    if (input.state === 'connected' && input.onmidimessage) input.onmidimessage({data: new Uint8Array(bytes)});
  };
  // A device's state: 'disconnected' and 'connected' as browsers keep a port
  // that left; 'removed' and 'added' for one taken from the list and a new
  // port of the same id.
  window.__midiState = (kind, state) => {
    const map = kind === 'input' ? access.inputs : access.outputs;
    if (state === 'removed') { ports[kind].state = 'disconnected'; map.delete(ports[kind].id); }
    else if (state === 'added') { ports[kind] = make[kind](); map.set(ports[kind].id, ports[kind]); }
    else ports[kind].state = state;
    if (access.onstatechange) access.onstatechange({port: ports[kind]});
  };
  Navigator.prototype.requestMIDIAccess = () => Promise.resolve(access);
})();
"""

# The live path, step by step: (step, what the output gets, the live line
# after). Defaults: Add 85% on controller 1 from channel pressure, low 0,
# high 96. A step is ("play", bytes), ("set", {control: value}),
# ("refuse", yes), ("device", input or output, state), ("choose", select, port).
def line(i, o, repeats, incomplete, starts, rest=""):
    return f"Live: {i} in, {o} out, {repeats} dropped as repeats, {incomplete} incomplete dropped, {starts} starts.{rest}"


GONE = ' Output "Stand-in synth" is gone; it is chosen again when it returns.'
LIVE = [
    (("play", [0xB3, 1, 64]), [[0xB3, 1, 64]], line(1, 1, 0, 0, 0)),
    (("play", [0xD3, 96]), [[0xB3, 1, 118]], line(2, 2, 0, 0, 0)),        # 64 + int(0.85 * 64)
    (("play", [0xD3, 96]), [], line(3, 2, 1, 0, 0)),                      # the same value again: dropped
    (("play", [0xB0]), [], line(4, 2, 1, 1, 0)),                          # never padded into a Bank Select
    (("play", [0x90, 60]), [], line(5, 2, 1, 2, 0)),
    (("play", [0x93, 60, 200]), [[0x93, 60, 200]], line(6, 3, 1, 2, 0)),   # taken as it stands, as every face takes it
    (("play", [0x25]), [], line(7, 3, 1, 3, 0)),                          # data without a status
    (("play", [0x93, 60, 100]), [[0x93, 60, 100]], line(8, 4, 1, 3, 0)),
    (("play", [0xF8]), [[0xF8]], line(9, 5, 1, 3, 0)),                    # clock passes
    (("play", [0xFA]), [[0xFA]], line(10, 6, 1, 3, 1)),                   # Start: the filter forgets what it sent
    (("play", [0xD3, 96]), [[0xB3, 1, 118]], line(11, 7, 1, 3, 1)),
    (("set", {"mode": 1}), [], line(11, 7, 1, 3, 1)),
    (("play", [0xD3, 96]), [[0xB3, 1, 9]], line(12, 8, 1, 3, 1)),        # Sub: 64 - int(0.85 * 65)
    (("set", {"mode": 0, "master_cc": 0, "modifier_cc": 2}), [], line(12, 8, 1, 3, 1)),
    (("play", [0xB3, 2, 127]), [[0xD3, 118]], line(13, 9, 1, 3, 1)),     # pressure as master
    (("set", {"master_cc": 1, "modifier_cc": 0}), [], line(13, 9, 1, 3, 1)),
    (("refuse", True), [], line(13, 9, 1, 3, 1)),
    (("play", [0x93, 61, 100]), [], line(14, 9, 1, 3, 1, ' 1 refused by the output. Output "Stand-in synth" refused a '
                                                        'message (InvalidStateError).')),
    (("refuse", False), [], line(14, 9, 1, 3, 1, ' 1 refused by the output. Output "Stand-in synth" refused a message '
                                                 '(InvalidStateError).')),
    (("play", [0x93, 62, 100]), [[0x93, 62, 100]], line(15, 10, 1, 3, 1, " 1 refused by the output.")),
    (("device", "output", "disconnected"), [], line(15, 10, 1, 3, 1, " 1 refused by the output." + GONE)),
    (("play", [0x93, 63, 100]), [], line(16, 10, 1, 3, 1, " 1 not sent: no output. 1 refused by the output." + GONE)),
    (("device", "output", "connected"), [], line(16, 10, 1, 3, 1, ' 1 not sent: no output. 1 refused by the output. '
                                                                'Output "Stand-in synth" is back.')),
    (("play", [0x93, 64, 100]), [[0x93, 64, 100]], line(17, 11, 1, 3, 1, ' 1 not sent: no output. 1 refused by the '
                                                                       'output. Output "Stand-in synth" is back.')),
    (("device", "input", "removed"), [], line(17, 11, 1, 3, 1, ' 1 not sent: no output. 1 refused by the output. '
                                                              'Input "Stand-in keyboard" is gone; it is chosen again '
                                                              'when it returns.')),
    (("play", [0x93, 65, 100]), [], line(17, 11, 1, 3, 1, ' 1 not sent: no output. 1 refused by the output. '
                                                         'Input "Stand-in keyboard" is gone; it is chosen again when '
                                                         'it returns.')),
    (("device", "input", "added"), [], line(17, 11, 1, 3, 1, ' 1 not sent: no output. 1 refused by the output. '
                                                            'Input "Stand-in keyboard" is back.')),
    (("play", [0x93, 66, 100]), [[0x93, 66, 100]], line(18, 12, 1, 3, 1, ' 1 not sent: no output. 1 refused by the '
                                                                       'output. Input "Stand-in keyboard" is back.')),
    (("choose", "midi-out", ""), [], line(18, 12, 1, 3, 1, " 1 not sent: no output. 1 refused by the output.")),
    (("play", [0x93, 67, 100]), [], line(19, 12, 1, 3, 1, " 2 not sent: no output. 1 refused by the output.")),
]
def malformed_messages():
    """The rows of the one table of malformed messages every face answers
    (tests/core/malformed_messages.h): (what, in, out, cut short)."""
    with open(os.path.join(ROOT, "tests", "core", "malformed_messages.h")) as header:
        rows = re.findall(r'\{"([^"]*)", \{([^}]*)\}, \{([^}]*)\}, (true|false)\}', header.read())
    numbers = lambda text: [int(byte, 0) for byte in text.split(",") if byte.strip()]
    return [(what, numbers(given), numbers(sent), short == "true") for what, given, sent, short in rows]


# What each select shows after these steps.
SELECTED = {("device", "output", "disconnected"): ("midi-out", ""), ("device", "output", "connected"): ("midi-out", "out-1"),
            ("device", "input", "removed"): ("midi-in", ""), ("device", "input", "added"): ("midi-in", "in-1")}

# A file to play: 96 ticks a quarter, 120 beats a minute, then twice as fast
# from tick 192; and what the output gets, at milliseconds after the first.
PLAYED = smf(0, [[(0, bytes([0xB0, 1, 10])), (48, bytes([0x90, 60, 100])), (48, bytes([0x80, 60, 0])),
                  (96, b"\xff\x51\x03\x03\xd0\x90"), (96, bytes([0xB0, 1, 20]))]])
PLAYED_OUT = [(0.0, [0xB0, 1, 10]), (250.0, [0x90, 60, 100]), (500.0, [0x80, 60, 0]), (1250.0, [0xB0, 1, 20])]
# Sent after the last message when playing ends or is stopped: every channel's sustain and notes let go.
LET_GO = [[0xB0 | channel, control, 0] for channel in range(16) for control in (64, 123)]
# Ten seconds of notes: an event every 62.5 ms (12 ticks at 96 a quarter, 120 beats a minute).
LONG = smf(0, [[(0 if n == 0 else 12, bytes([0x90, 60, 100])) if n % 2 == 0 else (12, bytes([0x80, 60, 0]))
                for n in range(160)]])


def step(session, action):
    kind = action[0]
    if kind == "play":
        session.js("window.__midiPlay(arguments[0])", action[1])
    elif kind == "set":
        for name, value in action[1].items():
            session.set_control(name, value)
    elif kind == "refuse":
        session.js("window.__device.refuse = arguments[0]", action[1])
    elif kind == "device":
        session.js("window.__midiState(arguments[0], arguments[1])", action[1], action[2])
    elif kind == "choose":
        session.js("const s = document.getElementById(arguments[0]); s.value = arguments[1];"
                   "s.dispatchEvent(new Event('change'))", action[1], action[2])


def live_line(session):
    return session.js("return document.getElementById('live-status').textContent")


def play_status(session):
    return session.js("return document.getElementById('play-status').textContent")


def part_live(web, work):
    checks = Checks()
    session = PageSession(web, work, STAND_IN)
    try:
        session.open()
        session.driver.find_element("id", "live-connect").click()
        session.wait_for(lambda: session.js("return document.querySelector('#midi-in').options.length") == 2,
                         "the stand-in's ports")
        for select, port in (("midi-in", "in-1"), ("midi-out", "out-1")):
            step(session, ("choose", select, port))
        for action, want, text in LIVE:
            before = session.js("return window.__midiSent.length")
            step(session, action)
            sent = [bytes_ for bytes_, _ in session.js("return window.__midiSent.slice(arguments[0])", before)]
            checks.equal(f"live {action}: sent", sent, want)
            checks.equal(f"live {action}: the line", live_line(session), text)
            if action[0] == "device" and action in SELECTED:
                select, value = SELECTED[action]
                checks.equal(f"live {action}: {select} shows", session.js(
                    "return document.getElementById(arguments[0]).value", select), value)

        # The processed file to the output, in time, and let go at the end.
        step(session, ("choose", "midi-out", "out-1"))
        checks.equal("nothing to play before a file", session.js("return document.getElementById('play').disabled"), True)
        session.open_midi(write(os.path.join(work, "played.mid"), PLAYED))
        session.download_bytes()
        before = session.js("return window.__midiSent.length")
        session.driver.find_element("id", "play").click()
        session.wait_for(lambda: play_status(session) == "Played played-veltrace.mid: 4 messages.", "the end of playing",
                         timeout=10)
        sent = session.js("return window.__midiSent.slice(arguments[0])", before)
        first = sent[0][1] if sent else 0
        checks.equal("played: each message at its time",
                     [(round(when - first, 2), data) for data, when in sent[:4]], PLAYED_OUT)
        checks.equal("played: every channel let go after the last", [data for data, _ in sent[4:]], LET_GO)
        checks.equal("played: letting go comes after the last message",
                     all(when > sent[3][1] for _, when in sent[4:]) if len(sent) > 4 else False, True)

        # Stopped while playing: what was sent stays; nothing more goes but
        # the letting go, after it.
        session.open_midi(write(os.path.join(work, "long.mid"), LONG))
        session.download_bytes()
        before = session.js("return window.__midiSent.length")
        session.driver.find_element("id", "play").click()
        time.sleep(0.5)
        session.driver.find_element("id", "stop").click()
        time.sleep(0.5)
        sent = session.js("return window.__midiSent.slice(arguments[0])", before)
        notes = [entry for entry in sent if entry[0][1] not in (64, 123) or entry[0][0] & 0xF0 != 0xB0]
        checks.equal("stopped: some notes went, not all", 0 < len(notes) < 160, True)
        checks.equal("stopped: then every channel let go", [data for data, _ in sent[len(notes):]], LET_GO)
        checks.equal("stopped: the status", play_status(session), "Stopped long-veltrace.mid.")
        checks.equal("stopped: Play again, Stop not", session.js(
            "return [document.getElementById('play').disabled, document.getElementById('stop').disabled]"), [False, True])

        # The malformed messages as every face answers them, on a new filter
        # with the default settings. A message cut short is dropped here as
        # incomplete, since an output would refuse it.
        session.open()
        session.driver.find_element("id", "reset").click()
        session.driver.find_element("id", "live-connect").click()
        session.wait_for(lambda: session.js("return document.querySelector('#midi-in').options.length") == 2,
                         "the stand-in's ports again")
        for select, port in (("midi-in", "in-1"), ("midi-out", "out-1")):
            step(session, ("choose", select, port))
        rows = malformed_messages()
        checks.equal("the malformed messages' table is read", len(rows) >= 10, True)
        for what, given, want, short in rows:
            before = session.js("return window.__midiSent.length")
            step(session, ("play", given))
            sent = [bytes_ for bytes_, _ in session.js("return window.__midiSent.slice(arguments[0])", before)]
            checks.equal(f"malformed, {what}: sent", sent, [] if short or not want else [want])

        # Without Web MIDI, or refused: one line, and files still go through.
        lines = {"none": "This browser has no Web MIDI: the live path is off; MIDI files work as before.",
                 "refused": "Web MIDI was refused (SecurityError): the live path is off; MIDI files work as before."}
        demo = make_demo(work)
        for how, text in lines.items():
            session.open(f"?midi={how}")
            session.driver.find_element("id", "live-connect").click()
            session.wait_for(lambda: live_line(session), "the live line")
            checks.equal(f"live line with Web MIDI {how}", live_line(session), text)
            session.open_midi(demo)
            checks.equal(f"a file goes through with Web MIDI {how}", len(session.download_bytes()) > 0, True)
    finally:
        session.close()
    return checks


def main():
    web, work = os.path.abspath(sys.argv[1]), os.path.join(os.path.abspath(sys.argv[2]), "live")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    started = time.monotonic()
    return part_live(web, work).finish("live", work, started)


if __name__ == "__main__":
    sys.exit(main())
