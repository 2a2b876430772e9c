#!/usr/bin/python3
"""check_installer.py SOURCE_DIR BUILD_DIR SETUP_EXE CHECK_EXE WORKDIR: the
installer and its uninstaller as a user runs them, in a fresh Wine prefix of
their own: a silent install, the plug-in then created through the registry
by another process, the installed-programs entry; installing over it; a
silent uninstall that leaves nothing of ours and touches nothing else; and an
install into a chosen folder. check_signing.py runs a signed installer
through the same checks."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402
from wine_prefix import WinePrefix  # noqa: E402

DEFAULT_FOLDER = r"C:\Program Files\Quorvane\Veltrace"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneVeltrace"
FILTER_ID = "{B825E09A-8C89-BEAF-909D-943841C6A565}"
FILTER_ROW = r"HKLM\Software\Classes\CLSID" + "\\" + FILTER_ID
PAGE_ROW = r"HKLM\Software\Classes\CLSID\{4E8CB489-170B-BEAF-8E69-5A0C5D01924C}"
FILTER_LIST = r"HKLM\Software\Cakewalk Music Software\MIDI Filters"
OTHER_FILTER = FILTER_LIST + r"\{11111111-2222-3333-4444-555555555555}"
# Where CLAP and VST3 hosts look, whatever folder the module goes to.
CLAP_FILE = r"C:\Program Files\Common Files\CLAP\Veltrace.clap"
VST3_FILE = r"C:\Program Files\Common Files\VST3\Veltrace.vst3\Contents\x86_64-win\Veltrace.vst3"
OTHER_CLAP = r"C:\Program Files\Common Files\CLAP\Another.clap"
checks = Checklist()
check = checks.check


def await_uninstaller(prefix, folder, seconds=60):
    """The uninstaller goes on from a copy of itself after it returns. Waits
    until it has removed the folder and its installed-programs entry (its last
    step), then restarts the prefix's session, as a user's next start of
    Windows would: the copy had itself deleted at restart."""
    deadline = time.monotonic() + seconds
    while (os.path.exists(prefix.unix(folder)) or prefix.exists(UNINSTALL_KEY)) and time.monotonic() < deadline:
        time.sleep(0.2)
    prefix.restart()


def snapshot(prefix):
    """The prefix's registry and files. Wine's own volatile keys (Temporary
    System Parameters) come and go with its sessions: they are left out. NSIS's
    uninstaller leaves an empty ~nsuN.tmp folder in the user's Temp (removed
    at the next restart, as on Windows): empty folders there are left out."""
    state = []
    for view in ("/reg:64", "/reg:32"):
        for root in (r"HKLM\Software", r"HKCU\Software"):
            out = os.path.join(prefix.work, "export.reg")
            prefix.wine("reg", "export", root, out, view, "/y")
            with open(out, encoding="utf-16", errors="replace") as exported:
                volatile = False
                for line in exported.read().splitlines():
                    if line.startswith("["):
                        volatile = "\\Software\\Wine\\Temporary System Parameters" in line
                    if not volatile:
                        state.append(f"{root} {view}: {line}")
    drive = os.path.join(prefix.path, "drive_c")
    for folder, subfolders, files in os.walk(drive):
        relative = os.path.relpath(folder, drive)
        if os.path.basename(folder).startswith("~nsu") and not files and not subfolders:
            continue
        state.append(relative)
        state.extend(f"{relative}/{name} {os.path.getsize(os.path.join(folder, name))}" for name in sorted(files))
    return state


def installed_checks(prefix, folder, what, module, create_check):
    """What an install into folder must leave: the files (the module and the
    CLAP and VST3 editions the very ones given, the editions where hosts look
    for them), the installed-programs entry, the registration, and the
    plug-in created through the registry by create_check, another process."""
    for name in ("QvMfxVeltrace.dll", "README.txt", "LICENSE.txt", "uninstall.exe"):
        check(os.path.isfile(prefix.unix(folder + "\\" + name)), f"{what}: {name} installed")
    built = os.path.dirname(module)
    for installed, source in ((folder + r"\QvMfxVeltrace.dll", module),
                              (CLAP_FILE, os.path.join(built, "Veltrace.clap")),
                              (VST3_FILE, os.path.join(built, "Veltrace.vst3", "Contents", "x86_64-win", "Veltrace.vst3"))):
        path = prefix.unix(installed)
        check(os.path.isfile(path) and open(path, "rb").read() == open(source, "rb").read(),
              f"{what}: {installed} is the one built")
    expected = {
        "DisplayName": "Quorvane Veltrace", "DisplayVersion": "1.5.0.1", "Publisher": "Quorvane",
        "InstallLocation": folder, "UninstallString": f'"{folder}\\uninstall.exe"',
        "QuietUninstallString": f'"{folder}\\uninstall.exe" /S',
    }
    for name, text in expected.items():
        found = prefix.value(UNINSTALL_KEY, name)
        check(found == text, f"{what}: installed-programs {name} is {found!r}")
    size = prefix.value(UNINSTALL_KEY, "EstimatedSize")
    check(size is not None and int(size, 16) > 100, f"{what}: installed-programs EstimatedSize is {size}")
    for row in (FILTER_ROW, PAGE_ROW):
        check(prefix.value(row + r"\InprocServer32") == folder + r"\QvMfxVeltrace.dll", f"{what}: {row} registered")
    check(prefix.exists(FILTER_LIST + "\\" + FILTER_ID), f"{what}: in the host's list of MIDI filters")
    created = prefix.wine(create_check)
    check(created.returncode == 0, f"{what}: filter and page created through the registry: {created.stdout.strip()}")


def uninstall(prefix, folder, what, before=None):
    """A silent uninstall from folder: nothing of ours stays, and, given the
    prefix's state before the install, the prefix is as it was."""
    run = prefix.wine(folder + r"\uninstall.exe", "/S")
    await_uninstaller(prefix, folder)
    check(run.returncode == 0, f"{what}: uninstaller exit {run.returncode}")
    check(not os.path.exists(prefix.unix(folder)), f"{what}: the install folder is gone")
    check(not os.path.exists(prefix.unix(CLAP_FILE)) and not os.path.exists(prefix.unix(r"C:\Program Files\Common Files\VST3")),
          f"{what}: the CLAP file and the VST3 bundle (and the VST3 folder it leaves empty) are gone")
    for key in (UNINSTALL_KEY, FILTER_ROW, PAGE_ROW, FILTER_LIST + "\\" + FILTER_ID):
        check(not prefix.exists(key), f"{what}: {key} is gone")
    if before is not None:
        check(prefix.value(OTHER_FILTER, "Name") == "Another filter", f"{what}: the host's list and its other filters stay")
        check(os.path.isfile(prefix.unix(OTHER_CLAP)), f"{what}: another plug-in in the CLAP folder stays")
        changed = sorted(set(before) ^ set(snapshot(prefix)))
        check(not changed, f"{what}: the prefix is as it was before the install: {changed[:5]}")


def run_checks(prefix, setup, module, create_check):
    prefix.wine("reg", "add", OTHER_FILTER, "/v", "Name", "/d", "Another filter", "/f", "/reg:64")
    os.makedirs(prefix.unix(r"C:\Audio Plugins"))  # where this user keeps plug-ins; the chosen folder goes in it
    os.makedirs(os.path.dirname(prefix.unix(OTHER_CLAP)))  # another maker's CLAP plug-in
    with open(prefix.unix(OTHER_CLAP), "wb") as other:
        other.write(b"another plug-in")
    before = snapshot(prefix)

    run = prefix.wine(setup, "/S")
    check(run.returncode == 0, f"silent install: exit {run.returncode}")
    installed_checks(prefix, DEFAULT_FOLDER, "installed", module, create_check)

    with open(prefix.unix(DEFAULT_FOLDER + r"\QvMfxVeltrace.dll"), "ab") as installed:
        installed.write(b"an older build")  # so a replacement shows
    run = prefix.wine(setup, "/S")
    check(run.returncode == 0, f"install over it: exit {run.returncode}")
    installed_checks(prefix, DEFAULT_FOLDER, "installed again", module, create_check)
    uninstall(prefix, DEFAULT_FOLDER, "uninstalled", before)

    # /D= takes the rest of the command line as it stands, spaces and all:
    # through cmd, so that nothing quotes it.
    chosen = r"C:\Audio Plugins\Veltrace"
    run = prefix.wine("cmd.exe", "/c", f"{setup} /S /D={chosen}")
    check(run.returncode == 0, f"install into a chosen folder: exit {run.returncode}")
    installed_checks(prefix, chosen, "in a chosen folder", module, create_check)
    uninstall(prefix, chosen, "uninstalled from the chosen folder", before)


def main():
    _source, build, setup, create_check, work = (os.path.abspath(path) for path in sys.argv[1:6])
    with WinePrefix(work) as prefix:
        run_checks(prefix, setup, os.path.join(build, "QvMfxVeltrace.dll"), create_check)
    checks.finish("installer: installs, installs over itself, uninstalls cleanly, and installs into a chosen folder")


if __name__ == "__main__":
    main()
