#!/usr/bin/python3
"""check_bundle.py BUNDLE WORKDIR LILV_DUMP BUILD_DIR TABLE_DUMP: the built LV2
bundle as hosts and the LV2 tools see it: its Turtle valid against the LV2
schemas, the plug-in listed by lv2ls and lv2info with its class, features,
eight ports and four presets, and its library exporting lv2_descriptor alone.
What lilv hands a host (LILV_DUMP prints it) matches the core's settings table
(TABLE_DUMP prints it; the core's own tests pin its rows): each control's
index, name, range, properties, unit and scale points, each preset's values
as floats; and this test's own table for the rest: the licence, the
maintainer and the output's minimum size. cmake --install lays BUILD_DIR's
bundle out where lv2info finds it. Other plug-ins installed on the machine
play no part: the Turtle is validated against LV2's own bundles (core,
atom, midi, …: those of Debian's lv2-dev) and the plug-in looked up on a path that
holds our bundle and those alone."""
import glob
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

BUNDLE, WORK, LILV_DUMP, BUILD, TABLE_DUMP = (os.path.abspath(path) for path in sys.argv[1:6])
URI = "urn:quorvane:veltrace"
LV2 = "http://lv2plug.in/ns/lv2core#"
FLOAT = "http://lv2plug.in/ns/ext/atom#Float"
UNITS = {"%": "http://lv2plug.in/ns/extensions/units#pc", "": None}
FIRST_SETTING_PORT = 2  # after the MIDI input and output
LICENSE = "urn:quorvane:veltrace#license"
MAINTAINER = ("Quorvane", "mailto:packages@quorvane.example")
MINIMUM_SIZE = {"out": 8192}
INSTALLED = ["bin/veltrace-host"] + [f"{{libdir}}/lv2/veltrace.lv2/{name}"
                                     for name in ("manifest.ttl", "presets.ttl", "veltrace.so", "veltrace.ttl")]
checks = Checklist()
check = checks.check


def run(*arguments, **options):
    return subprocess.run(arguments, capture_output=True, text=True, **options)


def settings_table():
    """The core's table: each setting's row, and for each what a host must
    read: default, minimum, maximum and scale points (value: label), worked
    out here from the kind of display. The presets as {label: values}."""
    rows, modes, presets = [], {}, {}
    for line in run(TABLE_DUMP).stdout.splitlines():
        kind, *fields = line.split("\t")
        if kind == "setting":
            rows.append(fields)
        elif kind == "mode":
            modes[float(fields[0])] = fields[1]
        elif kind == "preset":
            presets[fields[1]] = tuple(float(value) for value in fields[2].split(","))
    controls = {}
    for symbol, name, minimum, maximum, default, display, unit in rows:
        points = {0.0: "Pressure"} if display == "controller" else modes if display == "mode" else {}
        controls[symbol] = {"name": name, "range": (float(default), float(minimum), float(maximum)), "points": points,
                            "enumeration": display == "mode", "unit": UNITS[unit]}
    return controls, presets


CONTROLS, PRESETS = settings_table()


def lv2_bundles():
    """LV2's own bundles as the lv2-dev package installs them:
    the vocabularies our Turtle uses, and nothing of another plug-in."""
    listed = run("dpkg-query", "-L", "lv2-dev").stdout.split()
    bundles = sorted(path for path in listed if re.fullmatch(r"/usr/lib/lv2/[^/]+\.lv2", path))
    check(os.path.join("/usr/lib/lv2", "core.lv2") in bundles, f"lv2-dev's bundles are installed: {bundles}")
    return bundles


def main():
    bundles = lv2_bundles()
    schemas = sorted(path for bundle in bundles
                     for path in glob.glob(os.path.join(bundle, "**", "*.ttl"), recursive=True))
    ours = sorted(glob.glob(os.path.join(BUNDLE, "*.ttl")))
    check(len(ours) == 3, f"the bundle holds manifest.ttl, veltrace.ttl and presets.ttl: {ours}")
    validated = run("sord_validate", *schemas, *ours)
    report = (validated.stdout + validated.stderr).strip()
    check(validated.returncode == 0 and "Found 0 errors" in report and "error:" not in report.lower().replace("0 errors", ""),
          f"sord_validate finds nothing: {report[-400:]}")

    # The bundle on the LV2 path, beside LV2's own bundles alone.
    path = os.path.join(WORK, "lv2")
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    for bundle in [BUNDLE, *bundles]:
        os.symlink(bundle, os.path.join(path, os.path.basename(bundle)))
    environment = dict(os.environ, LV2_PATH=path)
    listed = run("lv2ls", env=environment)
    check(URI in listed.stdout.split(), "lv2ls lists the plug-in")
    info = run("lv2info", URI, env=environment)
    text = info.stdout
    check(info.returncode == 0, f"lv2info answers: {info.stderr.strip()}")
    for expected in ["Name:              Veltrace", "Class:             MIDI Plugin", "Author:            Quorvane",
                     "Required Features: http://lv2plug.in/ns/ext/urid#map", "lv2core#hardRTCapable"]:
        check(expected in text, f"lv2info shows '{expected}'")
    ports = [line.strip() for line in text.splitlines() if line.strip().startswith("Port ")]
    check(len(CONTROLS) == 6 and ports == [f"Port {index}:" for index in range(8)], f"eight ports: {ports}")
    for symbol in ["in", "out", *CONTROLS]:
        check(f"Symbol:      {symbol}\n" in text, f"a port '{symbol}'")
    for label in PRESETS:
        check(f"         {label}\n" in text, f"the preset '{label}'")

    described = open(os.path.join(BUNDLE, "veltrace.ttl")).read()
    versions = [int(number) for number in re.findall(r"lv2:m(?:inor|icro)Version (\d+)", described)]
    check(len(versions) == 2 and all(number % 2 == 0 for number in versions) and not re.search(r"@[A-Z_]+@", described),
          f"a released version: minor and micro even, {versions}")
    exported = run("nm", "-D", "--defined-only", os.path.join(BUNDLE, "veltrace.so")).stdout.split()
    check(exported[1:] == ["T", "lv2_descriptor"], f"lv2_descriptor is the only export: {exported}")
    as_lilv_reads()
    installed()
    checks.finish("bundle: valid, listed with its eight ports and four presets as lilv reads them, one export, installed")


def as_lilv_reads():
    dumped = run(LILV_DUMP, BUNDLE)
    check(dumped.returncode == 0, f"lilv reads the bundle: {dumped.stderr.strip()}")
    facts = {}
    for line in dumped.stdout.splitlines():
        kind, *fields = line.split("\t")
        facts.setdefault(kind, []).append(fields)
    check(facts.get("license") == [[LICENSE]], f"doap:license {LICENSE}: {facts.get('license')}")
    check(facts.get("maintainer") == [list(MAINTAINER)], f"the maintainer {MAINTAINER}: {facts.get('maintainer')}")
    sizes = {symbol: int(size) for symbol, size in facts.get("minimum", [])}
    check(sizes == MINIMUM_SIZE, f"rsz:minimumSize {MINIMUM_SIZE}: {sizes}")
    ports = {symbol: (int(index), name) for index, symbol, name in facts.get("port", [])}
    check({symbol: ports.get(symbol) for symbol in CONTROLS} ==
          {symbol: (FIRST_SETTING_PORT + index, row["name"]) for index, (symbol, row) in enumerate(CONTROLS.items())},
          f"the controls' indices and names, in the table's order: {ports}")
    controls = {symbol: tuple(float(bound) for bound in bounds) for symbol, *bounds in facts.get("control", [])}
    check(controls == {symbol: row["range"] for symbol, row in CONTROLS.items()},
          f"the controls' default, minimum and maximum: {controls}")
    points = {symbol: {} for symbol in controls}
    for symbol, value, label in facts.get("scale", []):
        points[symbol][float(value)] = label
    properties, units = {symbol: set() for symbol in controls}, {}
    for symbol, uri in facts.get("property", []):
        properties[symbol].add(uri)
    for symbol, uri in facts.get("unit", []):
        units[symbol] = uri
    for symbol, row in CONTROLS.items():
        check(points.get(symbol) == row["points"], f"'{symbol}' has the scale points {row['points']}: {points.get(symbol)}")
        expected = {LV2 + "integer"} | ({LV2 + "enumeration"} if row["enumeration"] else set())
        check(properties.get(symbol) == expected, f"'{symbol}' has the properties {expected}: {properties.get(symbol)}")
        check(units.get(symbol) == row["unit"], f"'{symbol}' has the unit {row['unit']}: {units.get(symbol)}")
    presets = {}
    for label, symbol, value, kind in facts.get("preset", []):
        presets.setdefault(label, {})[symbol] = (float(value) if value != "-" else None, kind)
    check(len(PRESETS) == 4, f"four presets in the table: {list(PRESETS)}")
    for label, values in PRESETS.items():
        expected = {symbol: (value, FLOAT) for symbol, value in zip(CONTROLS, values)}
        got = presets.pop(label, None)
        check(got == expected, f"the preset '{label}' sets {values} as atom:Float: {got}")
    check(not presets, f"no other preset: {list(presets)}")


def installed():
    """cmake --install into a folder of this test's: the bundle under the
    library directory's lv2/, veltrace-host in bin/, found there by lv2info."""
    prefix = os.path.join(WORK, "install")
    shutil.rmtree(prefix, ignore_errors=True)
    done = run("cmake", "--install", BUILD, "--prefix", prefix)
    check(done.returncode == 0, f"cmake --install: {done.stdout[-400:]}{done.stderr[-400:]}")
    cache = open(os.path.join(BUILD, "CMakeCache.txt")).read()
    libdir = re.search(r"^CMAKE_INSTALL_LIBDIR:PATH=(.*)$", cache, re.M).group(1)
    files = sorted(os.path.relpath(os.path.join(folder, name), prefix)
                   for folder, _, names in os.walk(prefix) for name in names)
    check(files == [path.format(libdir=libdir) for path in INSTALLED], f"installed {INSTALLED} ({libdir}): {files}")
    info = run("lv2info", URI, env=dict(os.environ, LV2_PATH=os.path.join(prefix, libdir, "lv2")))
    bundle = f"file://{os.path.join(prefix, libdir, 'lv2', 'veltrace.lv2')}/"
    check(info.returncode == 0 and f"Bundle:            {bundle}\n" in info.stdout,
          f"lv2info finds the installed plug-in in {bundle}: {info.stdout[:300]}{info.stderr.strip()}")


if __name__ == "__main__":
    main()
