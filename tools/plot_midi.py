#!/usr/bin/python3
"""plot_midi.py IN.mid OUT.mid PICTURE [PICTURE ...] [--master N] [--modifier N]

Draws the master controller over time as it went into the plug-in and as it
came out, with the modifier stream underneath, from the two MIDI files. Each
PICTURE is written in the format its name ends in (.svg, .png). Controller 0
stands for channel pressure, as in the plug-in's settings."""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import mido  # noqa: E402


def stream(path, number):
    """(beats, values) of one stream over all tracks, as step lines are drawn."""
    song = mido.MidiFile(path)
    points = []
    for track in song.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if number == 0 and message.type == "aftertouch":
                points.append((tick, message.value))
            elif number != 0 and message.type == "control_change" and message.control == number:
                points.append((tick, message.value))
    points.sort(key=lambda point: point[0])
    return [tick / song.ticks_per_beat for tick, _ in points], [value for _, value in points]


def name(number):
    return "channel pressure" if number == 0 else f"controller {number}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("pictures", nargs="+")
    parser.add_argument("--master", type=int, default=1)
    parser.add_argument("--modifier", type=int, default=0)
    args = parser.parse_args()

    figure, (top, bottom) = plt.subplots(2, 1, figsize=(9, 5), sharex=True, height_ratios=[3, 1.4])
    before, after, modifier = (stream(args.input, args.master), stream(args.output, args.master),
                               stream(args.input, args.modifier))
    top.step(*before, where="post", color="#9aa5b1", linewidth=1.5, label="master in")
    top.step(*after, where="post", color="#c0392b", linewidth=1.5, label="master out (Veltrace)")
    top.set_ylabel(name(args.master))
    top.set_ylim(-4, 131)
    top.legend(loc="lower center", ncols=2, frameon=False)
    top.set_title("Veltrace: the master controller before and after the plug-in")
    bottom.step(*modifier, where="post", color="#2c7fb8", linewidth=1.2)
    bottom.fill_between(*modifier, step="post", color="#2c7fb8", alpha=0.2)
    bottom.set_ylabel(f"modifier:\n{name(args.modifier)}")
    bottom.set_ylim(-4, 131)
    bottom.set_xlabel("beats")
    for axis in (top, bottom):
        axis.grid(alpha=0.25)
        axis.spines[["top", "right"]].set_visible(False)
    figure.tight_layout()
    for picture in args.pictures:
        # No date or version in the files, so the same input draws the same picture.
        metadata = {"Software": None} if picture.endswith(".png") else {"Date": None, "Creator": None}
        figure.savefig(picture, dpi=100, metadata=metadata)


if __name__ == "__main__":
    main()
