#!/usr/bin/python3
"""check_interop.py SMF_DUMP WORKDIR: the host's MIDI reader and writer
(through smf_dump) held against two MIDI tools this project did not write,
mido and midicsv/csvmidi: files they write read in the host's reader as they
read them, and files the host's writer writes decode there exactly as the
originals do."""
import os
import subprocess
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SMF_DUMP, WORK = sys.argv[1], sys.argv[2]
checks = Checklist()
check = checks.check


def varlen_end(data, start):
    """The index just after a variable-length quantity that starts at `start`."""
    while data[start] & 0x80:
        start += 1
    return start + 1


def mido_view(path):
    """What mido reads, in smf_dump's form: 'track tick bytes' per event."""
    song = mido.MidiFile(path)
    lines = [f"format {song.type} division {song.ticks_per_beat} tracks {len(song.tracks)}"]
    for number, track in enumerate(song.tracks, 1):
        tick = 0
        for message in track:
            tick += message.time
            if message.is_meta:
                raw = message.bytes()
                data = [0xFF, raw[1]] + raw[varlen_end(raw, 2):]  # the length is not part of the view
            elif message.type == "sysex":
                data = [0xF0] + list(message.data) + [0xF7]
            else:
                data = message.bytes()
            lines.append(f"{number} {tick} " + " ".join(f"{byte:02x}" for byte in data))
    return lines


def host_view(path):
    return subprocess.run([SMF_DUMP, path], check=True, capture_output=True, text=True).stdout.splitlines()


def midicsv(path):
    return subprocess.run(["midicsv", path], check=True, capture_output=True, text=True).stdout


def rewritten(path):
    out = path + ".rewritten.mid"
    subprocess.run([SMF_DUMP, path, "--rewrite", out], check=True)
    return out


def mido_file(path):
    """Three tracks with every kind of event, long gaps, channels 0..15."""
    tempo = mido.MidiTrack([
        mido.MetaMessage("track_name", name="tempo map", time=0),
        mido.MetaMessage("set_tempo", tempo=600000, time=0),
        mido.MetaMessage("time_signature", numerator=6, denominator=8, time=0),
        mido.MetaMessage("key_signature", key="Eb", time=0),
        mido.MetaMessage("set_tempo", tempo=450000, time=300000),
        mido.MetaMessage("marker", text="coda", time=17),
        mido.MetaMessage("end_of_track", time=1)])
    play = mido.MidiTrack([mido.MetaMessage("instrument_name", name="lead", time=0)])
    for i in range(300):
        channel = i % 16
        kinds = [mido.Message("note_on", channel=channel, note=i % 128, velocity=(i * 5) % 128),
                 mido.Message("note_off", channel=channel, note=i % 128, velocity=i % 64),
                 mido.Message("control_change", channel=channel, control=i % 120, value=(i * 3) % 128),
                 mido.Message("program_change", channel=channel, program=i % 128),
                 mido.Message("aftertouch", channel=channel, value=(i * 7) % 128),
                 mido.Message("polytouch", channel=channel, note=i % 128, value=(i * 11) % 128),
                 mido.Message("pitchwheel", channel=channel, pitch=(i * 97) % 16384 - 8192)]
        play.append(kinds[i % len(kinds)].copy(time=(i * 13) % 200 if i % 50 else 0x0FFFFF))
        if i % 60 == 0:
            play.append(mido.Message("sysex", data=[0x43, 0x10, i % 128, 0x01], time=0))
    play.append(mido.MetaMessage("end_of_track", time=0))
    empty = mido.MidiTrack([mido.MetaMessage("end_of_track", time=5)])
    mido.MidiFile(type=1, ticks_per_beat=960, tracks=[tempo, play, empty]).save(path)


CSV = """0, 0, Header, 1, 2, 384
1, 0, Start_track
1, 0, Title_t, "csvmidi track"
1, 0, Tempo, 500000
1, 0, Time_signature, 4, 2, 24, 8
1, 0, End_track
2, 0, Start_track
2, 0, Program_c, 3, 12
2, 0, Program_c, 3, 13
2, 0, Note_on_c, 3, 60, 90
2, 0, Note_on_c, 3, 64, 90
2, 96, Control_c, 3, 1, 100
2, 96, Control_c, 3, 1, 101
2, 120, Channel_aftertouch_c, 3, 55
2, 121, Channel_aftertouch_c, 3, 56
2, 122, Channel_aftertouch_c, 3, 57
2, 122, Pitch_bend_c, 3, 12000
2, 200, Poly_aftertouch_c, 3, 60, 20
2, 384, Note_off_c, 3, 60, 0
2, 384, Note_on_c, 3, 64, 0
2, 400, System_exclusive, 3, 126, 1, 247
2, 70000, Marker_t, "end"
2, 70000, End_track
0, 0, End_of_file
"""


def main():
    os.makedirs(WORK, exist_ok=True)
    by_mido = os.path.join(WORK, "by_mido.mid")
    mido_file(by_mido)
    by_csvmidi = os.path.join(WORK, "by_csvmidi.mid")
    subprocess.run(["csvmidi", "-", by_csvmidi], input=CSV, text=True, check=True)

    for source in (by_mido, by_csvmidi):
        name = os.path.basename(source)
        check(host_view(source) == mido_view(source), f"{name}: the host reads what mido reads")
        copy = rewritten(source)
        check(midicsv(copy) == midicsv(source), f"{name}: what the host writes decodes in midicsv as the original")
        check(mido_view(copy) == mido_view(source), f"{name}: what the host writes reads in mido as the original")
    check("Channel_aftertouch_c, 3, 55" in midicsv(by_csvmidi), "csvmidi's file: the events themselves")
    checks.finish("interop: the host's MIDI reader and writer agree with mido and midicsv")


if __name__ == "__main__":
    main()
