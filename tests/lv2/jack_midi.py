"""A JACK MIDI client for the checks of the plug-in in real JACK hosts (jalv,
the JACK program): it sends a stream at chosen frame offsets and records what
comes back, with the rule's prediction of it (tools/mido_filter.py), the
transport driven by jack_transport, and retries for parts an xrun spoiled."""
import ctypes
import os
import random
import signal
import subprocess
import sys
import threading
import time

import jack
import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import mido_filter  # noqa: E402


def end_with_parent():
    """In a child: SIGTERM when the process that started it ends."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def await_end(process, seconds=10):
    """Waits for a client that was asked to end; kills it if it does not."""
    try:
        process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Feeder:
    """A JACK MIDI client that sends events to jalv at chosen frame offsets,
    a few a cycle, and records what comes back with its offsets."""

    def __init__(self):
        self.client = jack.Client("veltrace-feeder", no_start_server=True)
        self.out = self.client.midi_outports.register("out")
        self.inp = self.client.midi_inports.register("in")
        self.pending, self.received, self.lock = [], [], threading.Lock()
        self.xruns = 0
        self.client.set_process_callback(self.process)
        self.client.set_xrun_callback(self.xrun)
        self.client.activate()

    def process(self, frames):
        self.out.clear_buffer()
        with self.lock:
            batch, self.pending = self.pending[:8], self.pending[8:]
            for offset, data in batch:
                self.out.write_midi_event(offset, data)
            for offset, data in self.inp.incoming_midi_events():
                self.received.append((offset, bytes(data)))

    def xrun(self, delay):
        self.xruns += 1

    def connect(self, client, into, out_of):
        """Connects to the client's MIDI input and output ports, once they
        are there."""
        for _ in range(300):  # a loaded machine starts a client slowly
            names = {port.name for port in self.client.get_ports(client + ":")}
            if {f"{client}:{into}", f"{client}:{out_of}"} <= names:
                break
            time.sleep(0.1)
        self.client.connect(self.out, f"{client}:{into}")
        self.client.connect(f"{client}:{out_of}", self.inp)
        time.sleep(0.2)

    def exchange(self, messages):
        """Sends each message, eight a cycle at distinct offsets, and returns
        (offset, bytes) of everything that came back."""
        with self.lock:
            self.received = []
            self.pending = [(16 + 29 * (index % 8), bytes(data)) for index, data in enumerate(messages)]
        deadline = time.time() + 10
        while time.time() < deadline:
            time.sleep(0.1)
            with self.lock:
                if not self.pending:
                    break
        time.sleep(0.3)  # what the last cycle sent comes back
        with self.lock:
            return list(self.received)

    def close(self):
        self.client.deactivate()
        self.client.close()


def stream():
    """Controllers 1, 2, 7, 11 and 74, channel pressure, notes, pitch bend, a
    system-exclusive message and clock, the same every time."""
    draw = random.Random(11)
    messages = []
    for index in range(480):
        kind = draw.randrange(10)
        channel = draw.choice([0, 0, 5])
        if kind < 4:
            messages.append([0xB0 | channel, draw.choice([1, 1, 2, 7, 11, 74]), draw.choice([0, 64, 127, draw.randrange(128)])])
        elif kind < 7:
            messages.append([0xD0 | channel, draw.randrange(128)])
        elif kind < 9:
            messages.append([0x90 | channel, draw.randrange(128), draw.randrange(128)])
        elif index % 2:
            messages.append([0xE0 | channel, draw.randrange(128), draw.randrange(128)])
        else:
            messages.append([0xF0, 0x7D, index % 128, 0xF7] if index % 4 else [0xF8])
    return messages


def predicted(messages, settings):
    veltrace = mido_filter.Filter(**settings)
    result = []
    for index, data in enumerate(messages):
        sent = veltrace.process(mido.Message.from_bytes(data))
        if sent is not None:
            result.append((16 + 29 * (index % 8), bytes(sent.bytes())))
    return result


def transport(feeder, command, state):
    """Sends jack_transport a command and waits until the transport is in
    `state` (jack.ROLLING or jack.STOPPED) and has been for a few cycles, so
    that jalv has passed the position on."""
    subprocess.run(["jack_transport"], input=command + "\nquit\n", capture_output=True, text=True, timeout=10)
    deadline = time.time() + 10
    while feeder.client.transport_state != state and time.time() < deadline:
        time.sleep(0.02)
    time.sleep(0.1)


def transport_restarts(feeder, check):
    """The repeat of a master value is dropped, but sent again once the
    transport starts rolling or loops back (locate 0 while rolling)."""
    master = [[0xB0, 1, 64]]
    steps = [("", None, 0), ("play", jack.ROLLING, 1), ("", None, 0), ("locate 0", jack.ROLLING, 1),
             ("", None, 0), ("stop", jack.STOPPED, 0), ("play", jack.ROLLING, 1)]
    feeder.exchange(master)
    for command, state, resent in steps:
        if command:
            transport(feeder, command, state)
        got = feeder.exchange(master)
        check(len(got) == resent, f"after '{command or 'nothing'}': {len(got)} sent, {resent} expected")


def attempt(feeder, part, check, tries=3):
    """Runs part(check) until it passes, or fails with no xrun reported while
    it ran; what the last run found counts."""
    for left in reversed(range(tries)):
        failures, xruns = [], feeder.xruns
        part(lambda condition, what: condition or failures.append(what))
        if not failures or feeder.xruns == xruns or not left:
            break
        print(f"the server reported {feeder.xruns - xruns} xruns and {len(failures)} checks failed: again")
    for what in failures:
        check(False, what)
