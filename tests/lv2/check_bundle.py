#!/usr/bin/python3
"""check_bundle.py BUNDLE WORKDIR: the built LV2 bundle as hosts and the LV2
tools see it: its Turtle valid against the LV2 schemas, the plug-in listed by
lv2ls and lv2info with its class, features, eight ports and four presets, and
its library exporting lv2_descriptor alone."""
import glob
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

BUNDLE, WORK = (os.path.abspath(path) for path in sys.argv[1:3])
URI = "urn:quorvane:veltrace"
checks = Checklist()
check = checks.check


def run(*arguments, **options):
    return subprocess.run(arguments, capture_output=True, text=True, **options)


def main():
    schemas = sorted(glob.glob("/usr/lib/lv2/**/*.ttl", recursive=True))
    ours = sorted(glob.glob(os.path.join(BUNDLE, "*.ttl")))
    check(len(ours) == 3, f"the bundle holds manifest.ttl, veltrace.ttl and presets.ttl: {ours}")
    validated = run("sord_validate", *schemas, *ours)
    report = (validated.stdout + validated.stderr).strip()
    check(validated.returncode == 0 and "Found 0 errors" in report and "error:" not in report.lower().replace("0 errors", ""),
          f"sord_validate finds nothing: {report[-400:]}")

    # The bundle on the LV2 path, beside the LV2 schemas the system installs.
    path = os.path.join(WORK, "lv2")
    os.makedirs(path, exist_ok=True)
    link = os.path.join(path, "veltrace.lv2")
    if not os.path.islink(link):
        os.symlink(BUNDLE, link)
    environment = dict(os.environ, LV2_PATH=path + ":/usr/lib/lv2")
    listed = run("lv2ls", env=environment)
    check(URI in listed.stdout.split(), "lv2ls lists the plug-in")
    info = run("lv2info", URI, env=environment)
    text = info.stdout
    check(info.returncode == 0, f"lv2info answers: {info.stderr.strip()}")
    for expected in ["Name:              Veltrace", "Class:             MIDI Plugin", "Author:            Quorvane",
                     "Required Features: http://lv2plug.in/ns/ext/urid#map", "lv2core#hardRTCapable"]:
        check(expected in text, f"lv2info shows '{expected}'")
    ports = [line.strip() for line in text.splitlines() if line.strip().startswith("Port ")]
    check(ports == [f"Port {index}:" for index in range(8)], f"eight ports: {ports}")
    for symbol in ["in", "out", "master_cc", "modifier_cc", "effect_amount", "low_in", "high_in", "mode"]:
        check(f"Symbol:      {symbol}\n" in text, f"a port '{symbol}'")
    for label in ["Pressure lifts the mod wheel", "Breath swells the mod wheel", "Expression pedal ducks volume",
                  "Aftertouch bends brightness both ways"]:
        check(f"         {label}\n" in text, f"the preset '{label}'")

    described = open(os.path.join(BUNDLE, "veltrace.ttl")).read()
    versions = [int(number) for number in re.findall(r"lv2:m(?:inor|icro)Version (\d+)", described)]
    check(len(versions) == 2 and all(number % 2 == 0 for number in versions) and not re.search(r"@[A-Z_]+@", described),
          f"a released version: minor and micro even, {versions}")
    exported = run("nm", "-D", "--defined-only", os.path.join(BUNDLE, "veltrace.so")).stdout.split()
    check(exported[1:] == ["T", "lv2_descriptor"], f"lv2_descriptor is the only export: {exported}")
    checks.finish("bundle: valid, listed with its eight ports and four presets, one export")


if __name__ == "__main__":
    main()
