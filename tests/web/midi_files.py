"""MIDI files for the page's tests and figures, made here byte by byte."""
import os
import random
import struct
import subprocess

from page_session import ROOT


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)
    return path


def smf(format_, tracks, division=96):
    """A Standard MIDI File from tracks of (delta, bytes) events."""
    out = b"MThd" + struct.pack(">IHHH", 6, format_, len(tracks), division)
    for events in tracks:
        body = bytearray()
        for delta, data in events + [(0, b"\xff\x2f\x00")]:
            var = bytes([delta & 0x7F])
            delta >>= 7
            while delta:
                var = bytes([0x80 | (delta & 0x7F)]) + var
                delta >>= 7
            body += var + data
        out += b"MTrk" + struct.pack(">I", len(body)) + bytes(body)
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


def many_tracks(count):
    """A format 1 file of `count` tracks: a tempo track, then one
    modulation-wheel value in each (track n holds n % 128 on channel 1)."""
    tempo = [(0, b"\xff\x51\x03\x07\xa1\x20")]
    return smf(1, [tempo] + [[(n % 7, bytes([0xB0, 1, n % 128]))] for n in range(2, count + 1)])


def make_demo(work):
    path = os.path.join(work, "demo.mid")
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "make_example_midi.py"), path], check=True)
    return path


def dense(size):
    """A format 1 file of about `size` bytes of dense performance data, made
    fast by repeating one bar per track: the modulation wheel sweeping,
    channel-pressure swells, notes and volume, an event every tick or two."""
    tracks = []
    for channel in range(4):
        bar = bytearray()
        for i in range(480):
            kind = (i + channel) % 10
            if kind < 4:
                message = bytes([0xB0 | channel, 1, (i * 3 + channel) % 128])
            elif kind < 7:
                message = bytes([0xD0 | channel, (i * 5) % 128])
            elif kind < 9:
                message = bytes([0x90 | channel, 40 + i % 40, 90 if i % 2 else 0])
            else:
                message = bytes([0xB0 | channel, 7, i % 128])
            bar += bytes([1 + i % 2]) + message
        tracks.append(bar)
    repeats = max(1, size // (4 * len(tracks[0])))
    out = b"MThd" + struct.pack(">IHHH", 6, 1, 5, 480)
    tempo = b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x58\x04\x04\x02\x18\x08\x00\xff\x2f\x00"
    out += b"MTrk" + struct.pack(">I", len(tempo)) + tempo
    for bar in tracks:
        body = bytes(bar) * repeats + b"\x00\xff\x2f\x00"
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    return out
