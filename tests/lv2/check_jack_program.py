#!/usr/bin/python3
"""check_jack_program.py PROGRAM WORKDIR: veltrace-jack, the filter as a JACK
program of its own, on the JACK server that JACK_DEFAULT_SERVER names. A JACK
MIDI client sends it a stream and records what comes back, which must be what
the rule predicts, event for event at the same frames; the transport gives it
its start and loop; a Program Change on channel 1 loads a preset (and passes
on), a Bank Select there changes no setting. It starts with a new filter's
settings (its program 0; the presets are programs 1 to 4)."""
import os
import shutil
import subprocess
import sys

import jack

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402
from jack_midi import Feeder, attempt, await_end, end_with_parent, predicted, stream, transport, transport_restarts  # noqa: E402

PROGRAM, WORK = (os.path.abspath(path) for path in sys.argv[1:3])
CLIENT = "Veltrace"
# The third preset, Program Change 3: 11 pulls 7 down, Sub 80%.
PRESET = {"master": 7, "modifier": 11, "amount": 80, "low": 0, "high": 127, "mode": 1}
checks = Checklist()
check = checks.check


def main():
    os.makedirs(WORK, exist_ok=True)
    os.environ["TMPDIR"] = os.path.join(WORK, "tmp")  # the JACK library's files stay in the build tree
    shutil.rmtree(os.environ["TMPDIR"], ignore_errors=True)
    os.makedirs(os.environ["TMPDIR"])
    messages = stream()
    feeder = Feeder()
    try:
        # A program of its own for each part: the filter's memories as new.
        for part in (defaults_and_transport, preset):
            with Program() as program:
                feeder.connect(program.name, "events-in", "midi-out")
                part(feeder, messages)
    finally:
        feeder.close()
    checks.finish("veltrace-jack: sends what the rule predicts, follows the transport and loads presets "
                  "by Program Change")


class Program:
    """veltrace-jack running, as the JACK client Veltrace."""

    def __init__(self):
        self.name = CLIENT
        self.log = open(os.path.join(WORK, "veltrace-jack.log"), "a")
        self.process = subprocess.Popen([PROGRAM], stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
                                        preexec_fn=end_with_parent)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.process.terminate()
        await_end(self.process)
        self.log.close()


def defaults_and_transport(feeder, messages):
    def defaults(check):
        transport(feeder, "stop", jack.STOPPED)
        transport(feeder, "locate 0", jack.STOPPED)
        got = feeder.exchange(messages)
        expected = predicted(messages, {})
        first = next((i for i, pair in enumerate(zip(got, expected)) if pair[0] != pair[1]), min(len(got), len(expected)))
        check(len(expected) > 100 and got == expected,
              f"defaults: {len(got)} events back, {len(expected)} predicted; from {first}: {got[first:first + 3]} "
              f"against {expected[first:first + 3]}")
    attempt(feeder, defaults, check)

    def transport_moves(check):
        transport_restarts(feeder, check)
        transport(feeder, "stop", jack.STOPPED)
    attempt(feeder, transport_moves, check)


def preset(feeder, messages):
    def load(check):
        # A Bank Select and the Program Change pass on; the preset holds from
        # then on, and its master starts from what it sent last (nothing).
        switch = [[0xB0, 0, 5], [0xC0, 3]]
        got = feeder.exchange(switch)
        check([data for _, data in got] == [bytes(message) for message in switch],
              f"the Bank Select and the Program Change pass on: {got}")
        got = feeder.exchange(messages)
        expected = predicted(messages, PRESET)
        check(got == expected and expected != predicted(messages, {}),
              f"after Program Change 3: {len(got)} events back, {len(expected)} predicted")
    attempt(feeder, load, check)


if __name__ == "__main__":
    main()
