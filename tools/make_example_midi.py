#!/usr/bin/python3
"""make_example_midi.py OUT.mid: writes the demo's input, a short phrase of
eight bars as a sequencer would record it: a tempo track, and a piano track
with notes, a master controller curve (controller 1, the modulation wheel)
and channel-pressure swells (the modifier the plug-in listens to by default).
Written with mido, independently of the plug-in's own MIDI code."""
import math
import sys

import mido

TICKS = 480          # per quarter note
BARS = 8
BAR = 4 * TICKS


def piano_track():
    events = []  # (tick, order, message); order keeps note-offs before note-ons at one tick
    melody = [60, 64, 67, 72, 71, 67, 64, 62, 60, 65, 69, 72, 74, 72, 69, 65]
    for i, note in enumerate(melody * (BARS // 4)):  # one note a beat
        start = i * TICKS
        events.append((start, 1, mido.Message("note_on", note=note, velocity=80)))
        events.append((start + TICKS - 40, 0, mido.Message("note_off", note=note, velocity=0)))
    # The master curve: a slow wave, sent every 30 ticks as a controller would.
    for tick in range(0, BARS * BAR, 30):
        value = int(64 + 40 * math.sin(2 * math.pi * tick / (4 * BAR)))
        events.append((tick, 2, mido.Message("control_change", control=1, value=value)))
    # The modifier: a pressure swell in every second bar.
    for bar in range(1, BARS, 2):
        for step in range(0, BAR, 60):
            amount = int(110 * math.sin(math.pi * step / BAR))
            events.append((bar * BAR + step, 3, mido.Message("aftertouch", value=amount)))
        events.append((bar * BAR + BAR, 3, mido.Message("aftertouch", value=0)))
    track = mido.MidiTrack([mido.MetaMessage("track_name", name="Piano", time=0),
                            mido.Message("program_change", program=0, time=0)])
    now = 0
    for tick, _, message in sorted(events, key=lambda e: (e[0], e[1])):
        track.append(message.copy(time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=BAR // 2))
    return track


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_example_midi.py OUT.mid")
    tempo = mido.MidiTrack([mido.MetaMessage("track_name", name="Veltrace demo", time=0),
                            mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(100), time=0),
                            mido.MetaMessage("time_signature", numerator=4, denominator=4, time=0),
                            mido.MetaMessage("end_of_track", time=BARS * BAR)])
    song = mido.MidiFile(type=1, ticks_per_beat=TICKS, tracks=[tempo, piano_track()])
    song.save(sys.argv[1])


if __name__ == "__main__":
    main()
