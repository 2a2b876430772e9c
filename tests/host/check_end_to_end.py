#!/usr/bin/python3
"""check_end_to_end.py SOURCE_DIR BUILD_DIR WORKDIR [lv2]: veltrace-host as a
user runs it, on Windows (veltrace-host.exe and the built module under Wine) or
with lv2 on Linux (the native veltrace-host and the built LV2 bundle): every
output holds exactly the events that the filter's rule predicts
(tools/mido_filter.py, run on the input with mido), on both paths and for
several settings; the plug-in loads as installed (registered, or on the LV2
path) or from a named file; settings streams are saved and loaded; and each
kind of bad input gets its own message, a non-zero exit, an unchanged input
and no output."""
import os
import random
import subprocess
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SOURCE, BUILD, WORK = (os.path.abspath(path) for path in sys.argv[1:4])
LV2 = sys.argv[4:] == ["lv2"]
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import mido_filter  # noqa: E402

if LV2:
    HOST = os.path.join(BUILD, "veltrace-host")
    PLUGIN = ["--lv2", os.path.join(BUILD, "veltrace.lv2")]
else:
    HOST = os.path.join(BUILD, "veltrace-host.exe")
    DLL = os.path.join(BUILD, "QvMfxVeltrace.dll")
    PLUGIN = ["--dll", DLL]
checks = Checklist()
check = checks.check


def wine(*arguments):
    return subprocess.run([os.path.join(SOURCE, "scripts", "wine-run"), BUILD, *arguments], cwd=WORK,
                          capture_output=True, text=True)


def host(*arguments, lv2_path=None):
    if not LV2:
        return wine(HOST, *arguments)
    environment = dict(os.environ, LV2_PATH=lv2_path or os.path.join(WORK, "no-plugins"))
    return subprocess.run([HOST, *arguments], cwd=WORK, capture_output=True, text=True, env=environment)


def events(path):
    """Every event of every track as (track, tick, bytes), running status or not."""
    song = mido.MidiFile(path)
    result = []
    for number, track in enumerate(song.tracks):
        tick = 0
        for message in track:
            tick += message.time
            result.append((number, tick, tuple(message.bytes())))
    return result


def performance(path):
    """Three tracks of controllers 0, 1, 5, 7, 11, channel pressure, notes and
    a meta event now and then, on several channels, the same every time."""
    draw = random.Random(7)
    tracks = [mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=500000), mido.MetaMessage("end_of_track", time=10)])]
    for channel in (0, 3, 9):
        track = mido.MidiTrack([mido.MetaMessage("track_name", name=f"part {channel}")])
        for _ in range(700):
            kind = draw.randrange(10)
            time = draw.choice([0, 0, 1, 5, 30, 200])
            if kind < 5:
                message = mido.Message("control_change", channel=channel, control=draw.choice([0, 1, 1, 5, 7, 11, 11]),
                                       value=draw.choice([0, 64, 64, 127, draw.randrange(128)]))
            elif kind < 8:
                message = mido.Message("aftertouch", channel=channel, value=draw.randrange(128))
            elif kind < 9:
                message = mido.Message("note_on", channel=channel, note=draw.randrange(128), velocity=draw.randrange(128))
            else:
                message = mido.MetaMessage("text", text="cue")
            track.append(message.copy(time=time))
        track.append(mido.MetaMessage("end_of_track", time=0))
        tracks.append(track)
    mido.MidiFile(type=1, ticks_per_beat=96, tracks=tracks).save(path)


SETTINGS = [  # options, and the same settings for the prediction
    ([], {}),
    (["--master", "7", "--modifier", "11", "--amount", "100", "--low", "10", "--high", "100", "--mode", "sub"],
     dict(master=7, modifier=11, amount=100, low=10, high=100, mode=1)),
    (["--master", "pressure", "--modifier", "1", "--amount", "60", "--mode", "rel64"],
     dict(master=0, modifier=1, amount=60, mode=2)),
    (["--master", "5", "--modifier", "5", "--amount", "100", "--high", "127"],
     dict(master=5, modifier=5, amount=100, high=127)),
    (["--master", "pressure", "--modifier", "pressure", "--amount", "100", "--high", "127"],
     dict(master=0, modifier=0, amount=100, high=127)),
]


def predicted_output_checks(source):
    for options, settings in SETTINGS:
        predicted = os.path.join(WORK, "predicted.mid")
        mido_filter.filter_file(mido.MidiFile(source), settings).save(predicted)
        for path_options in ([], ["--live"], ["--slice", "1"]):
            run = host(*PLUGIN, *options, *path_options, source, "out.mid")
            what = " ".join(options + path_options) or "defaults"
            check(run.returncode == 0, f"{what}: exit {run.returncode}: {run.stderr.strip()}")
            check(run.returncode != 0 or events(os.path.join(WORK, "out.mid")) == events(predicted),
                  f"{what}: the output is what the rule predicts")
    summary = host(*PLUGIN, source, "out.mid").stdout.splitlines()
    check(summary[0].split()[:3] == ["track", "events", "in"] and summary[-1].startswith("total"),
          "the summary names its columns and ends in a total")


def registry_checks(source):
    wine("regsvr32", "/s", "/u", DLL)
    run = host(source, "registry.mid")
    check(run.returncode == 1 and "the plug-in is not registered" in run.stderr, f"unregistered: {run.stderr.strip()}")
    wine("regsvr32", "/s", DLL)
    run = host("--live", source, "registry.mid")
    check(run.returncode == 0, f"through the registry: {run.stderr.strip()}")
    host(*PLUGIN, source, "direct.mid")
    check(events(os.path.join(WORK, "registry.mid")) == events(os.path.join(WORK, "direct.mid")),
          "the registered class and the named file play alike")
    wine("regsvr32", "/s", "/u", DLL)


def installed_checks(source):
    """The LV2 plug-in among the installed ones: found on the LV2 path."""
    run = host(source, "installed.mid")
    check(run.returncode == 1 and "the plug-in is not installed" in run.stderr, f"not installed: {run.stderr.strip()}")
    installed = os.path.join(WORK, "lv2")
    os.makedirs(installed, exist_ok=True)
    if not os.path.exists(os.path.join(installed, "veltrace.lv2")):
        os.symlink(PLUGIN[1], os.path.join(installed, "veltrace.lv2"))
    run = host("--live", source, "installed.mid", lv2_path=installed)
    check(run.returncode == 0, f"from the LV2 path: {run.stderr.strip()}")
    host(*PLUGIN, "--live", source, "direct.mid")
    check(events(os.path.join(WORK, "installed.mid")) == events(os.path.join(WORK, "direct.mid")),
          "the installed plug-in and the named bundle play alike")


def settings_checks(source):
    options = SETTINGS[1][0]
    run = host(*PLUGIN, *options, "--save-settings", "saved.bin", source, "by_options.mid")
    saved = open(os.path.join(WORK, "saved.bin"), "rb").read()
    check(run.returncode == 0 and len(saved) == 64, "--save-settings writes the 64-byte stream")
    cells = [int.from_bytes(saved[16 + 4 * i:20 + 4 * i], "little", signed=True) for i in range(12)]
    check(cells == [7, 11, 100, 10, 100, 1] + [128] * 6, f"the saved settings are the options: {cells}")
    run = host(*PLUGIN, "--settings", "saved.bin", source, "by_file.mid")
    check(run.returncode == 0 and events(os.path.join(WORK, "by_file.mid")) == events(os.path.join(WORK, "by_options.mid")),
          "--settings plays as the options it was saved with")


def bad_input_checks(source):
    def write(name, data):
        with open(os.path.join(WORK, name), "wb") as out:
            out.write(data)

    good = open(source, "rb").read()
    write("text.mid", b"this is not a MIDI file\n")
    write("cut.mid", good[: len(good) // 2])
    endless = bytearray(good[:14] + b"MTrk\x00\x00\x00\x04\x00\x90\x3c\x40")
    endless[10:12] = b"\x00\x01"
    write("endless.mid", bytes(endless))
    write("long.bin", b"\x9a\xe0\x25\xb8" + bytes(61))
    write("foreign.bin", bytes(64))
    wide = bytearray(open(os.path.join(WORK, "saved.bin"), "rb").read())
    wide[16 + 4 * 2:20 + 4 * 2] = (250).to_bytes(4, "little")
    write("wide.bin", bytes(wide))
    cases = [  # arguments, exit code, what the message says
        (["missing.mid", "out.mid"], 1, "missing.mid: cannot be opened for reading"),
        (["text.mid", "out.mid"], 1, "text.mid: not a MIDI file"),
        (["cut.mid", "out.mid"], 1, "cut.mid: file: truncated: chunk MTrk declares"),
        (["endless.mid", "out.mid"], 1, "endless.mid: track 1: no end-of-track event"),
        (["--tempo", "90", source, "out.mid"], 2, "unknown option --tempo"),
        (["--amount", "150", source, "out.mid"], 2, "--amount must be 0..100, not '150'"),
        (["--settings", "long.bin", source, "out.mid"], 1, "long.bin: 65 bytes; a settings stream is 64"),
        (["--settings", "foreign.bin", source, "out.mid"], 1, "foreign.bin: not a Veltrace settings stream"),
        ([source, source], 1, "the output would overwrite the input"),
    ]
    if LV2:
        cases += [
            (["--lv2", "nowhere.lv2", source, "out.mid"], 1, "nowhere.lv2: not an LV2 bundle (no such folder)"),
            (["--lv2", ".", source, "out.mid"], 1, ".: not an LV2 bundle (no manifest.ttl)"),
            (["--settings", "wide.bin", source, "out.mid"], 1,
             "the settings hold 250 for Effect Amount; the plug-in's control takes 0..100"),
        ]
    else:
        cases += [
            ([source, "./" + os.path.basename(source).upper()], 1, "the output would overwrite the input"),
            (["--dll", "nowhere.dll", source, "out.mid"], 1, "nowhere.dll: cannot be loaded"),
        ]
    for arguments, code, message in cases:
        if os.path.exists(os.path.join(WORK, "out.mid")):
            os.remove(os.path.join(WORK, "out.mid"))
        run = host(*(PLUGIN if PLUGIN[0] not in arguments else []), *arguments)
        what = " ".join(os.path.basename(a) for a in arguments)
        check(run.returncode == code, f"{what}: exit {run.returncode}, expected {code}")
        check(message in run.stderr and len(run.stderr.strip().splitlines()) == 1, f"{what}: says '{run.stderr.strip()}'")
        check(open(source, "rb").read() == good, f"{what}: the input is unchanged")
        check(not [name for name in os.listdir(WORK) if name.startswith("out.mid")], f"{what}: no output, whole or partial")


def main():
    os.makedirs(WORK, exist_ok=True)
    source = os.path.join(WORK, "performance.mid")
    performance(source)
    predicted_output_checks(source)
    installed_checks(source) if LV2 else registry_checks(source)
    settings_checks(source)
    bad_input_checks(source)
    checks.finish("end to end: veltrace-host and the " + ("LV2 plug-in" if LV2 else "module under Wine") +
                  " send what the rule predicts")


if __name__ == "__main__":
    main()
