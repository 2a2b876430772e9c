#!/usr/bin/python3
"""mido_filter.py IN.mid OUT.mid [--master N] [--modifier N] [--amount N]
                 [--low N] [--high N] [--mode add|sub|rel64]

Veltrace's transformation written with mido, as a user might write it instead
of running the plug-in: for every track, the master controller is re-sent with
a value modulated by the modifier, the modifier stream is consumed, and a
master value equal to the last one sent is dropped. Controller 0 stands for
channel pressure. `make bench` times it against veltrace-host, and the
end-to-end tests use it to predict what the plug-in sends."""
import argparse
import struct

import mido

MODES = {"add": 0, "sub": 1, "rel64": 2}


def f32(value):
    """Rounds to single precision, as the plug-in computes Add and Sub."""
    return struct.unpack("f", struct.pack("f", value))[0]


def modulate(base, modifier, low, high, mode, amount):
    """The modulated master value, 0..127."""
    if mode == 2:
        product = amount * (modifier - 64)
        shift = abs(product) // 100 * (1 if product >= 0 else -1)  # truncated toward zero
        result = base + shift
    elif mode in (0, 1):
        if modifier >= high:
            fraction = 1.0
        elif modifier <= low:
            fraction = 0.0
        else:
            fraction = f32(f32(modifier - low) / f32(high - low))
        step = f32(f32(f32(amount) * fraction) / 100.0)
        step = int(f32(step * f32(128 - base if mode == 0 else base + 1)))  # truncated toward zero
        result = base + step if mode == 0 else base - step
    else:
        return 0
    return max(0, min(127, result))


class Filter:
    """One filter instance: the settings and the memories of one track."""

    def __init__(self, master=1, modifier=0, amount=85, low=0, high=96, mode=0):
        self.master, self.modifier = master, modifier
        self.rule = lambda base, value: modulate(base, value, low, high, mode, amount)
        self.last_master = self.last_modifier = 0
        self.last_sent = -1

    def process(self, message):
        """The message to send for this one, or None."""
        if message.type == "control_change" and message.control != 0:
            number, value = message.control, message.value
            if number == self.master:
                self.last_master = value
                value = self.rule(value, self.last_modifier)
            if number == self.modifier:
                self.last_modifier = value
                number, value = self.master, self.rule(self.last_master, self.last_modifier)
            if number != self.master:
                return message
        elif message.type == "aftertouch" and 0 in (self.master, self.modifier):
            number, value = None, message.value
            if self.master == 0:
                self.last_master = value
                number, value = 0, self.rule(value, self.last_modifier)
            if self.modifier == 0:
                self.last_modifier = value
                number, value = self.master, self.rule(self.last_master, self.last_modifier)
        else:
            return message
        if value == self.last_sent:
            return None
        self.last_sent = value
        if number == 0:
            return mido.Message("aftertouch", channel=message.channel, value=value, time=message.time)
        return mido.Message("control_change", channel=message.channel, control=number, value=value, time=message.time)


def filter_file(source, settings):
    """A new MidiFile: every track through a filter of its own, times kept."""
    result = mido.MidiFile(type=source.type, ticks_per_beat=source.ticks_per_beat)
    for track in source.tracks:
        veltrace = Filter(**settings)
        out, tick, written = mido.MidiTrack(), 0, 0
        for message in track:
            tick += message.time
            sent = veltrace.process(message) if not message.is_meta and message.type != "sysex" else message
            if sent is not None:
                out.append(sent.copy(time=tick - written))
                written = tick
        result.tracks.append(out)
    return result


def controller(text):
    return 0 if text == "pressure" else int(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("--master", type=controller, default=1)
    parser.add_argument("--modifier", type=controller, default=0)
    parser.add_argument("--amount", type=int, default=85)
    parser.add_argument("--low", type=int, default=0)
    parser.add_argument("--high", type=int, default=96)
    parser.add_argument("--mode", choices=MODES, default="add")
    args = parser.parse_args()
    settings = dict(master=args.master, modifier=args.modifier, amount=args.amount, low=args.low, high=args.high,
                    mode=MODES[args.mode])
    filter_file(mido.MidiFile(args.input), settings).save(args.output)


if __name__ == "__main__":
    main()
