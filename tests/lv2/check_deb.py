#!/usr/bin/python3
"""check_deb.py SOURCE_DIR WORKDIR: the Debian package as make dist builds it
(scripts/dist-lv2, its build folder kept in WORKDIR): lintian reports nothing
but the tags the package overrides; its files, owners, modes and Depends are
the expected ones; unpacked, lv2info finds the plug-in on the LV2 path, the
unpacked veltrace-host plays a MIDI file through the unpacked LV2, CLAP and
VST3 editions as the rule predicts, and each edition's library exports its
format's entries alone."""
import os
import re
import shutil
import subprocess
import sys

import mido

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SOURCE, WORK = (os.path.abspath(path) for path in sys.argv[1:3])
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import mido_filter  # noqa: E402

URI = "urn:quorvane:veltrace"
# Overridden in packaging/debian/lintian-overrides, each with its reason.
OVERRIDDEN = {"initial-upload-closes-no-bugs"}
DEPENDS = {"libc6", "libgcc-s1", "libjack-jackd2-0 | libjack-0.125", "liblilv-0-0", "libstdc++6"}
BUNDLE = "usr/lib/lv2/veltrace.lv2"
VST3 = "usr/lib/vst3/Veltrace.vst3/Contents/x86_64-linux/Veltrace.so"
FILES = {  # every entry of the package but its folders, with its mode
    "usr/bin/veltrace-host": "-rwxr-xr-x",
    "usr/bin/veltrace-jack": "-rwxr-xr-x",
    "usr/lib/clap/Veltrace.clap": "-rw-r--r--",
    VST3: "-rw-r--r--",
    f"{BUNDLE}/manifest.ttl": "-rw-r--r--",
    f"{BUNDLE}/presets.ttl": "-rw-r--r--",
    f"{BUNDLE}/veltrace.so": "-rw-r--r--",
    f"{BUNDLE}/veltrace.ttl": "-rw-r--r--",
    "usr/share/doc/veltrace-lv2/changelog.Debian.gz": "-rw-r--r--",
    "usr/share/doc/veltrace-lv2/copyright": "-rw-r--r--",
    "usr/share/lintian/overrides/veltrace-lv2": "-rw-r--r--",
    "usr/share/man/man1/veltrace-host.1.gz": "-rw-r--r--",
    "usr/share/man/man1/veltrace-jack.1.gz": "-rw-r--r--",
}
checks = Checklist()
check = checks.check


def run(*arguments, **options):
    return subprocess.run(arguments, capture_output=True, text=True, **options)


def build_package():
    dist = os.path.join(WORK, "dist")
    shutil.rmtree(dist, ignore_errors=True)
    environment = dict(os.environ, CMAKE_BUILD_PARALLEL_LEVEL=os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2"))
    made = run(os.path.join(SOURCE, "scripts", "dist-lv2"), os.path.join(WORK, "build"), dist, env=environment)
    if made.returncode != 0:
        sys.exit(f"scripts/dist-lv2 failed: {made.stdout[-2000:]}{made.stderr[-2000:]}")
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as cmake:
        version = re.search(r"project\(Veltrace VERSION ([0-9.]+)", cmake.read()).group(1)
    name = f"veltrace-lv2_{version}-1_amd64.deb"
    check(os.listdir(dist) == [name], f"dist-lv2 writes {name} alone: {os.listdir(dist)}")
    return os.path.join(dist, name), version


def lintian_checks(package):
    report = run("lintian", "--display-info", "--pedantic", "--show-overrides", package).stdout
    tags = re.findall(r"^([EWIPXO]): veltrace-lv2(?: \w+)?: (\S+)", report, re.M)
    check(not [tag for tag in tags if tag[0] != "O"], f"lintian reports nothing:\n{report}")
    check({tag for kind, tag in tags if kind == "O"} == OVERRIDDEN, f"lintian's overrides are {OVERRIDDEN}:\n{report}")


def control_checks(package, version):
    listing = run("dpkg-deb", "-c", package).stdout.splitlines()
    entries = [line.split() for line in listing]
    check(all(entry[1] == "root/root" for entry in entries), "every entry belongs to root/root")
    check(all(entry[0] == "drwxr-xr-x" for entry in entries if entry[0].startswith("d")), "every folder is 0755")
    files = {entry[5][2:]: entry[0] for entry in entries if not entry[0].startswith("d")}
    check(files == FILES, f"the files and their modes: {files}")

    fields = {name: run("dpkg-deb", "-f", package, name).stdout.strip()
              for name in ["Version", "Architecture", "Section", "Priority", "Maintainer", "Installed-Size",
                           "Depends", "Description"]}
    check(fields["Version"] == f"{version}-1" and fields["Architecture"] == "amd64",
          f"version and architecture: {fields['Version']} {fields['Architecture']}")
    check(fields["Section"] == "non-free/sound" and fields["Priority"] == "optional",
          f"section and priority: {fields['Section']} {fields['Priority']}")
    check(fields["Maintainer"].startswith("Quorvane <") and fields["Installed-Size"].isdigit(),
          f"maintainer and size: {fields['Maintainer']} {fields['Installed-Size']}")
    check(len(fields["Description"].splitlines()) > 5, "a long description")
    # Each item: its alternatives, the first at a least version.
    items = [[re.fullmatch(r"(\S+)(?: \(>= [^)]+\))?", choice.strip()) for choice in item.split("|")]
             for item in fields["Depends"].split(",")]
    names = {" | ".join(choice.group(1) for choice in item) for item in items if all(item)}
    versioned = all(all(item) and "(>=" in item[0].group(0) for item in items)
    check(versioned and names == DEPENDS, f"Depends names {sorted(DEPENDS)}, each at a least version: {fields['Depends']}")


def unpacked_checks(package):
    root = os.path.join(WORK, "root")
    shutil.rmtree(root, ignore_errors=True)
    check(run("dpkg-deb", "-x", package, root).returncode == 0, "dpkg-deb -x unpacks it")
    environment = dict(os.environ, LV2_PATH=os.path.join(root, "usr", "lib", "lv2"))
    info = run("lv2info", URI, env=environment)
    check(info.returncode == 0 and re.search(r"^\s*Name:\s+Veltrace$", info.stdout, re.M),
          f"lv2info finds the plug-in: {info.stdout[:300]}{info.stderr}")
    check(f"Binary:            file://{root}/{BUNDLE}/veltrace.so\n" in info.stdout, "its library is the unpacked one")
    exported = run("nm", "-D", "--defined-only", os.path.join(root, BUNDLE, "veltrace.so")).stdout.split()
    check(exported[1:] == ["T", "lv2_descriptor"], f"lv2_descriptor is the only export: {exported}")

    host = os.path.join(root, "usr", "bin", "veltrace-host")
    usage = run(host, "--help", env=environment)
    check(usage.returncode == 0 and usage.stdout.startswith("usage: veltrace-host") and "--lv2 BUNDLE" in usage.stdout,
          f"veltrace-host --help: {usage.stdout[:200]}{usage.stderr}")

    source, output, predicted = (os.path.join(WORK, name) for name in ["in.mid", "out.mid", "predicted.mid"])
    track = mido.MidiTrack([mido.Message("note_on", note=60, velocity=90)])
    for step in range(40):
        track.append(mido.Message("control_change", control=1, value=step * 3, time=10))
        track.append(mido.Message("aftertouch", value=(step * 7) % 128, time=5))
    track.append(mido.Message("note_off", note=60, time=20))
    mido.MidiFile(type=0, ticks_per_beat=96, tracks=[track]).save(source)
    mido_filter.filter_file(mido.MidiFile(source), {}).save(predicted)
    editions = {"--lv2": os.path.join(root, BUNDLE), "--clap": os.path.join(root, "usr/lib/clap/Veltrace.clap"),
                "--vst3": os.path.join(root, "usr/lib/vst3/Veltrace.vst3")}
    for option, path in editions.items():
        played = run(host, option, path, source, output, env=environment)
        check(played.returncode == 0 and played.stdout.splitlines()[-1].startswith("total"),
              f"veltrace-host {option} plays a file: {played.stdout}{played.stderr}")
        if played.returncode == 0:
            timed = [[(message.time, message.bytes()) for message in mido.MidiFile(path).tracks[0]]
                     for path in (output, predicted)]
            check(timed[0] == timed[1], f"{option}: the output is what the rule predicts")
    for module, entries in ((editions["--clap"], [("D", "clap_entry")]),
                            (os.path.join(root, VST3), [("T", "GetPluginFactory"), ("T", "ModuleEntry"), ("T", "ModuleExit")])):
        exported = [tuple(line.split()[1:]) for line in run("nm", "-D", "--defined-only", module).stdout.splitlines()]
        check(exported == entries, f"{os.path.basename(module)} exports its format's entries alone: {exported}")


def main():
    # What dist-lv2, dpkg and lintian make for themselves stays in WORK.
    os.environ["TMPDIR"] = os.path.join(WORK, "tmp")
    shutil.rmtree(os.environ["TMPDIR"], ignore_errors=True)
    os.makedirs(os.environ["TMPDIR"])
    package, version = build_package()
    lintian_checks(package)
    control_checks(package, version)
    unpacked_checks(package)
    checks.finish("deb: lintian clean, files and Depends as expected, the unpacked plug-in found and played")


if __name__ == "__main__":
    main()
