#!/usr/bin/python3
"""check_cross.py SOURCE_DIR WINDOWS_BUILD LINUX_BUILD WORKDIR [CORPUS_DIR]:
every face of the plug-in writes the same file for the same input and
options (a settings file the Windows module saved among them): the Windows tool under Wine through the COM module, the CLAP and the
VST3 edition, and the native tool through the LV2 plug-in, the CLAP and the
VST3 edition. The demo's file and a dense generated one go through on both
paths under several settings; the real files of CORPUS_DIR (Debian's
planetblupi-music-midi) under three. Skipped (77) when the Linux build is
missing."""
import concurrent.futures
import filecmp
import glob
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SOURCE, WINDOWS, LINUX, WORK = (os.path.abspath(path) for path in sys.argv[1:5])
CORPUS = sys.argv[5] if len(sys.argv) > 5 else "/usr/share/planetblupi/music"
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
# The real files move channel pressure most, then volume (7) and pan (10).
CORPUS_OPTIONS = [
    [],
    ["--master", "7", "--modifier", "pressure", "--amount", "60", "--mode", "rel64", "--slice", "30"],
    ["--master", "pressure", "--modifier", "10", "--mode", "sub", "--live"],
]

WINE = [os.path.join(SOURCE, "scripts", "wine-run"), WINDOWS, os.path.join(WINDOWS, "veltrace-host.exe")]
NATIVE = [os.path.join(LINUX, "veltrace-host")]
FACES = {
    "windows-com": WINE + ["--dll", os.path.join(WINDOWS, "QvMfxVeltrace.dll")],
    "windows-clap": WINE + ["--clap", os.path.join(WINDOWS, "Veltrace.clap")],
    "windows-vst3": WINE + ["--vst3", os.path.join(WINDOWS, "Veltrace.vst3")],
    "linux-lv2": NATIVE + ["--lv2", os.path.join(LINUX, "veltrace.lv2")],
    "linux-clap": NATIVE + ["--clap", os.path.join(LINUX, "Veltrace.clap")],
    "linux-vst3": NATIVE + ["--vst3", os.path.join(LINUX, "Veltrace.vst3")],
}


def run(job):
    """One face on one input: its exit, its messages, its summary, its file."""
    number, face, source, options = job
    output = os.path.join(WORK, f"out-{number}-{face}.mid")
    done = subprocess.run([*FACES[face], *options, source, output], cwd=WORK, capture_output=True, text=True)
    return face, done, output


def main():
    if not os.path.exists(NATIVE[0]):
        print(f"skipped: no native veltrace-host in {LINUX} (build the lv2 preset first)")
        sys.exit(77)
    corpus = sorted(glob.glob(os.path.join(CORPUS, "*.mid")))
    check(len(corpus) >= 10, f"the real files of {CORPUS} are there (scripts/setup installs them): {len(corpus)}")
    os.makedirs(WORK, exist_ok=True)
    made = [os.path.join(WORK, "demo.mid"), os.path.join(WORK, "dense.mid")]
    subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "tools", "make_example_midi.py"), made[0]], check=True)
    subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "bench", "make_large_midi.py"), made[1], "20000"], check=True)
    # A settings file the Windows module wrote, read by every face (the
    # editions as their state).
    settings = os.path.join(WORK, "settings.bin")
    saved = subprocess.run([*FACES["windows-com"], "--master", "74", "--modifier", "pressure", "--amount", "60", "--mode",
                            "rel64", "--save-settings", settings, made[0], os.path.join(WORK, "saved.mid")],
                           cwd=WORK, capture_output=True, text=True)
    check(saved.returncode == 0 and os.path.getsize(settings) == 64, f"the module saves its settings: {saved.stderr}")
    cases = [(source, options) for source in made for options in OPTIONS + [["--settings", settings]]]
    cases += [(source, options) for source in corpus for options in CORPUS_OPTIONS]

    jobs = [(number, face, source, options) for number, (source, options) in enumerate(cases) for face in FACES]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(run, jobs))
    for number, (source, options) in enumerate(cases):
        what = f"{os.path.basename(source)} {' '.join(options) or 'defaults'}"
        ran = results[number * len(FACES):(number + 1) * len(FACES)]
        for face, done, _ in ran:
            check(done.returncode == 0, f"{what}: {face} exits {done.returncode}: {done.stderr.strip()}")
        reference_face, reference, reference_file = ran[0]
        for face, done, output in ran[1:]:
            check(os.path.exists(output) and os.path.exists(reference_file) and
                  filecmp.cmp(reference_file, output, shallow=False), f"{what}: {face} writes {reference_face}'s bytes")
            check(done.stdout == reference.stdout, f"{what}: {face} prints {reference_face}'s summary")
        for _, _, output in ran:
            if os.path.exists(output):
                os.remove(output)
    checks.finish(f"cross-check: {len(FACES)} faces wrote the same files for {len(cases)} inputs and settings "
                  f"({len(corpus)} real files among them)")


if __name__ == "__main__":
    main()
