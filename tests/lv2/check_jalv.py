#!/usr/bin/python3
"""check_jalv.py SOURCE_DIR BUNDLE WORKDIR: the LV2 plug-in in a real host,
jalv on the JACK server that JACK_DEFAULT_SERVER names. A JACK MIDI client
sends it a stream and records what comes back, which must be, event for event
and at the same frames, what the rule predicts (tools/mido_filter.py): with
the default controls, and with a preset loaded as a host's saved state. The
host's transport gives the filter its start (play) and its loop (locate back
while rolling). A server under load can drop a client's cycle (an xrun): its
events are lost and the transport moves on by a period, so a part that failed
while the server reported an xrun runs again with a fresh jalv."""
import os
import re
import shutil
import subprocess
import sys
import time

import jack

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402
from jack_midi import Feeder, attempt, await_end, end_with_parent, predicted, stream, transport, transport_restarts  # noqa: E402

SOURCE, BUNDLE, WORK = (os.path.abspath(path) for path in sys.argv[1:4])

URI = "urn:quorvane:veltrace"
SETTING_OF_SYMBOL = {"master_cc": "master", "modifier_cc": "modifier", "effect_amount": "amount", "low_in": "low",
                     "high_in": "high", "mode": "mode"}
checks = Checklist()
check = checks.check


# The preset jalv loads, and the control values it must run with.
PRESET = "Aftertouch bends brightness both ways"
PRESET_VALUES = {"master_cc": 74, "modifier_cc": 0, "effect_amount": 60, "low_in": 0, "high_in": 127, "mode": 2}


def presets():
    """Each preset of the bundle by its label: its port values by symbol,
    each as its literal is written in presets.ttl (read as N-Triples), as a
    host saves the preset it applied."""
    triples = subprocess.run(["sordi", os.path.join(BUNDLE, "presets.ttl")], capture_output=True, text=True).stdout
    label, ports, symbol, value = {}, {}, {}, {}
    for subject, predicate, obj in re.findall(r'^(\S+) <([^>]+)> (.+) \.$', triples, re.M):
        literal = re.match(r'"([^"]*)"', obj)
        if predicate.endswith("rdf-schema#label"):
            label[subject] = literal.group(1)
        elif predicate.endswith("lv2core#port"):
            ports.setdefault(subject, []).append(obj)
        elif predicate.endswith("lv2core#symbol"):
            symbol[subject] = literal.group(1)
        elif predicate.endswith("presets#value"):
            value[subject] = literal.group(1)
    return {label[preset]: {symbol[port]: value[port] for port in nodes} for preset, nodes in ports.items()}


class Jalv:
    """jalv running the plug-in as a JACK client named after `name`."""
    started = 0

    def __init__(self, name, state=None):
        path = os.path.join(WORK, "lv2")
        os.makedirs(path, exist_ok=True)
        if not os.path.islink(os.path.join(path, "veltrace.lv2")):
            os.symlink(BUNDLE, os.path.join(path, "veltrace.lv2"))
        # A name of its own: a jalv that had to be killed may hold the last
        # one in the server for a while.
        Jalv.started += 1
        self.name = f"{name}-{Jalv.started}"
        self.log = open(os.path.join(WORK, f"{name}.log"), "w")
        arguments = ["jalv", "-n", self.name, "-x"] + (["-l", state] if state else []) + [URI]
        # Console jalv quits at the end of its input: keep it open. It ends
        # with this check, even when the check is killed outright.
        self.process = subprocess.Popen(arguments, stdin=subprocess.PIPE, stdout=self.log, stderr=subprocess.STDOUT,
                                        env=dict(os.environ, LV2_PATH=path + ":/usr/lib/lv2"), preexec_fn=end_with_parent)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.process.stdin.close()
        await_end(self.process)
        self.log.close()

    def output(self):
        return open(self.log.name).read()


def defaults_and_transport(feeder, messages):
    def part(check):
        transport(feeder, "stop", jack.STOPPED)
        transport(feeder, "locate 0", jack.STOPPED)
        with Jalv("veltrace-defaults") as jalv:
            feeder.connect(jalv.name, "in", "out")
            got = feeder.exchange(messages)
            expected = predicted(messages, {})
            check(len(expected) > 100 and got == expected,
                  f"default controls: {len(got)} events back, {len(expected)} predicted; first difference at "
                  f"{next((i for i, pair in enumerate(zip(got, expected)) if pair[0] != pair[1]), min(len(got), len(expected)))}")

            transport_restarts(feeder, check)
    attempt(feeder, part, check)


def preset(feeder, messages):
    label = PRESET
    values = presets()[label]
    state = os.path.join(WORK, "state")
    os.makedirs(state, exist_ok=True)
    ports = " , ".join(f'[ lv2:symbol "{symbol}" ; pset:value {value} ]' for symbol, value in values.items())
    with open(os.path.join(state, "state.ttl"), "w") as out:
        out.write("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                  f"<> a pset:Preset ; lv2:appliesTo <{URI}> ; lv2:port {ports} .\n")
    settings = {SETTING_OF_SYMBOL[symbol]: value for symbol, value in PRESET_VALUES.items()}

    def part(check):
        with Jalv("veltrace-preset", state) as jalv:
            feeder.connect(jalv.name, "in", "out")
            got = feeder.exchange(messages)
            expected = predicted(messages, settings)
            check(got == expected and expected != predicted(messages, {}),
                  f"the preset '{label}': {len(got)} events back, {len(expected)} predicted")
        check("master_cc = 74.0" in jalv.output(), "jalv reports the preset's controls")  # written as it exits
    attempt(feeder, part, check)


def main():
    os.makedirs(WORK, exist_ok=True)
    # jalv's and the JACK tools' temporary files stay in the build tree.
    os.environ["TMPDIR"] = os.path.join(WORK, "tmp")
    shutil.rmtree(os.environ["TMPDIR"], ignore_errors=True)
    os.makedirs(os.environ["TMPDIR"])
    messages = stream()
    feeder = Feeder()
    try:
        defaults_and_transport(feeder, messages)
        preset(feeder, messages)
    finally:
        feeder.close()
    checks.finish("jalv: the plug-in sends what the rule predicts, with a preset too, and follows the transport")


if __name__ == "__main__":
    main()
