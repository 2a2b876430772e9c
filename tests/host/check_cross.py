#!/usr/bin/python3
"""check_cross.py SOURCE_DIR WINDOWS_BUILD LV2_BUILD WORKDIR: the two faces of
veltrace-host agree byte for byte: the Windows tool through the COM module
under Wine and the native tool through the LV2 plug-in write the same file
for the same input and options, on the demo's file and on generated files,
on both paths and for several settings. Skipped (77) when the LV2 build is
missing."""
import filecmp
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SOURCE, WINDOWS, LV2, WORK = (os.path.abspath(path) for path in sys.argv[1:5])
checks = Checklist()
check = checks.check

OPTIONS = [
    [],
    ["--live"],
    ["--master", "7", "--modifier", "11", "--amount", "100", "--low", "10", "--high", "100", "--mode", "sub"],
    ["--master", "pressure", "--modifier", "1", "--amount", "60", "--mode", "rel64", "--slice", "7"],
    ["--master", "1", "--modifier", "1", "--amount", "37", "--high", "127", "--live"],
    ["--master", "pressure", "--modifier", "pressure", "--amount", "100", "--slice", "1"],
]


def main():
    native = os.path.join(LV2, "veltrace-host")
    if not os.path.exists(native):
        print(f"skipped: no native veltrace-host in {LV2} (build the lv2 preset first)")
        sys.exit(77)
    os.makedirs(WORK, exist_ok=True)
    inputs = [os.path.join(WORK, "demo.mid"), os.path.join(WORK, "dense.mid")]
    subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "tools", "make_example_midi.py"), inputs[0]], check=True)
    subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "bench", "make_large_midi.py"), inputs[1], "20000"], check=True)
    for source in inputs:
        for options in OPTIONS:
            what = f"{os.path.basename(source)} {' '.join(options) or 'defaults'}"
            windows = subprocess.run([os.path.join(SOURCE, "scripts", "wine-run"), WINDOWS,
                                      os.path.join(WINDOWS, "veltrace-host.exe"), "--dll",
                                      os.path.join(WINDOWS, "QvMfxVeltrace.dll"), *options, source, "windows.mid"],
                                     cwd=WORK, capture_output=True, text=True)
            linux = subprocess.run([native, "--lv2", os.path.join(LV2, "veltrace.lv2"), *options, source, "linux.mid"],
                                   cwd=WORK, capture_output=True, text=True)
            check(windows.returncode == 0 and linux.returncode == 0,
                  f"{what}: exits {windows.returncode}, {linux.returncode}: {windows.stderr.strip()} {linux.stderr.strip()}")
            check(filecmp.cmp(os.path.join(WORK, "windows.mid"), os.path.join(WORK, "linux.mid"), shallow=False),
                  f"{what}: the same file from both")
            check(windows.stdout == linux.stdout, f"{what}: the same summary from both")
    checks.finish(f"cross-check: both faces wrote the same files for {len(inputs) * len(OPTIONS)} runs")


if __name__ == "__main__":
    main()
