#!/usr/bin/python3
"""make_large_midi.py OUT.mid EVENTS: a format 1 file of about EVENTS channel
events over four tracks, as dense performance data: notes, the master
controller (1) moving every few ticks, channel-pressure swells, and other
controllers. Written with mido; the same file every time."""
import math
import sys

import mido


def track(events, channel, seed):
    messages, tick, written = mido.MidiTrack(), 0, 0
    for i in range(events):
        tick += 1 + (i * 7 + seed) % 5
        kind = (i + seed) % 10
        if kind < 4:
            message = mido.Message("control_change", channel=channel, control=1,
                                   value=int(64 + 60 * math.sin(i / 50.0)))
        elif kind < 7:
            message = mido.Message("aftertouch", channel=channel, value=int(63 + 63 * math.sin(i / 23.0)))
        elif kind < 9:
            message = mido.Message("note_on" if i % 2 else "note_off", channel=channel, note=40 + i % 40,
                                   velocity=90 if i % 2 else 0)
        else:
            message = mido.Message("control_change", channel=channel, control=7, value=i % 128)
        messages.append(message.copy(time=tick - written))
        written = tick
    messages.append(mido.MetaMessage("end_of_track", time=0))
    return messages


def main():
    out, events = sys.argv[1], int(sys.argv[2])
    tempo = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=500000, time=0),
                            mido.MetaMessage("end_of_track", time=0)])
    per_track = events // 4
    song = mido.MidiFile(type=1, ticks_per_beat=480,
                         tracks=[tempo] + [track(per_track, channel, channel * 3) for channel in range(4)])
    song.save(out)


if __name__ == "__main__":
    main()
