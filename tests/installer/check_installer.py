#!/usr/bin/python3
"""check_installer.py SOURCE_DIR BUILD_DIR SETUP_EXE CHECK_EXE WORKDIR: the
installer and its uninstaller as a user runs them, in a fresh Wine prefix of
their own: a silent install, the plug-in then created through the registry
by another process, the installed-programs entry; installing over it; a
silent uninstall that leaves nothing of ours and touches nothing else; and an
install into a chosen folder."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from checklist import Checklist  # noqa: E402

SOURCE, BUILD, SETUP, CHECK, WORK = (os.path.abspath(path) for path in sys.argv[1:6])
PREFIX = os.path.join(WORK, "prefix")
MODULE = os.path.join(BUILD, "QvMfxVeltrace.dll")
DEFAULT_FOLDER = r"C:\Program Files\Quorvane\Veltrace"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorvaneVeltrace"
FILTER_ID = "{B825E09A-8C89-BEAF-909D-943841C6A565}"
FILTER_ROW = r"HKLM\Software\Classes\CLSID" + "\\" + FILTER_ID
PAGE_ROW = r"HKLM\Software\Classes\CLSID\{4E8CB489-170B-BEAF-8E69-5A0C5D01924C}"
FILTER_LIST = r"HKLM\Software\Cakewalk Music Software\MIDI Filters"
OTHER_FILTER = FILTER_LIST + r"\{11111111-2222-3333-4444-555555555555}"
ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEARCH="win64",
           WINEDLLOVERRIDES="mscoree,mshtml=;winhlp32.exe=d")
ENV.pop("DISPLAY", None)  # everything here is silent
checks = Checklist()
check = checks.check


def wine(*arguments):
    """Runs a program of the prefix. Its output goes through files, not pipes:
    Wine's services, started by whichever program comes first, would hold a
    pipe open for as long as they run."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        run = subprocess.run(["wine", *arguments], env=ENV, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(run.args, run.returncode, out.read(), err.read())


def settle():
    """Waits for every process of the prefix to end (the server with them)."""
    subprocess.run(["wineserver", "-w"], env=ENV)


def start_server():
    """One server for all the runs that follow; its output must not hold CTest's pipe."""
    subprocess.run(["wineserver", "-p"], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    wine("cmd.exe", "/c", "exit")  # the prefix starts up: pending file operations are carried out


def await_uninstaller(folder, seconds=60):
    """The uninstaller goes on from a copy of itself after it returns. Waits
    until it has removed the folder and its installed-programs entry (its last
    step), then restarts the prefix's session, as a user's next start of
    Windows would: the copy had itself deleted at restart."""
    deadline = time.monotonic() + seconds
    while (os.path.exists(unix(folder)) or exists(UNINSTALL_KEY)) and time.monotonic() < deadline:
        time.sleep(0.2)
    subprocess.run(["wineserver", "-k"], env=ENV)
    settle()
    start_server()


def value(key, name=None):
    """A registry value as text (the 64-bit view), or None; no name: the key's default."""
    run = wine("reg", "query", key, *(["/v", name] if name else ["/ve"]), "/reg:64")
    for line in run.stdout.splitlines():
        parts = line.split(None, 2)
        if run.returncode == 0 and len(parts) == 3 and parts[0] == (name or "(Default)"):
            return parts[2]
    return None


def exists(key):
    return wine("reg", "query", key, "/reg:64").returncode == 0


def unix(path):
    return os.path.join(PREFIX, "drive_c", *path[3:].split("\\"))


def snapshot():
    """The prefix's registry and files. NSIS's uninstaller leaves an empty
    ~nsuN.tmp folder in the user's Temp (removed at the next restart, as on
    Windows): empty folders there are left out."""
    state = []
    for view in ("/reg:64", "/reg:32"):
        for root in (r"HKLM\Software", r"HKCU\Software"):
            out = os.path.join(WORK, "export.reg")
            wine("reg", "export", root, out, view, "/y")
            with open(out, encoding="utf-16", errors="replace") as exported:
                state.extend(f"{root} {view}: {line}" for line in exported.read().splitlines())
    drive = os.path.join(PREFIX, "drive_c")
    for folder, subfolders, files in os.walk(drive):
        relative = os.path.relpath(folder, drive)
        if os.path.basename(folder).startswith("~nsu") and not files and not subfolders:
            continue
        state.append(relative)
        state.extend(f"{relative}/{name} {os.path.getsize(os.path.join(folder, name))}" for name in sorted(files))
    return state


def installed_checks(folder, what):
    for name in ("QvMfxVeltrace.dll", "README.txt", "LICENSE.txt", "uninstall.exe"):
        check(os.path.isfile(unix(folder + "\\" + name)), f"{what}: {name} installed")
    check(open(unix(folder + r"\QvMfxVeltrace.dll"), "rb").read() == open(MODULE, "rb").read(),
          f"{what}: the module is the one built")
    expected = {
        "DisplayName": "Quorvane Veltrace", "DisplayVersion": "1.5.0.1", "Publisher": "Quorvane",
        "InstallLocation": folder, "UninstallString": f'"{folder}\\uninstall.exe"',
        "QuietUninstallString": f'"{folder}\\uninstall.exe" /S',
    }
    for name, text in expected.items():
        check(value(UNINSTALL_KEY, name) == text, f"{what}: installed-programs {name} is {value(UNINSTALL_KEY, name)!r}")
    size = value(UNINSTALL_KEY, "EstimatedSize")
    check(size is not None and int(size, 16) > 100, f"{what}: installed-programs EstimatedSize is {size}")
    for row in (FILTER_ROW, PAGE_ROW):
        check(value(row + r"\InprocServer32") == folder + r"\QvMfxVeltrace.dll", f"{what}: {row} registered")
    check(exists(FILTER_LIST + "\\" + FILTER_ID), f"{what}: in the host's list of MIDI filters")
    created = wine(CHECK)
    check(created.returncode == 0, f"{what}: filter and page created through the registry: {created.stdout.strip()}")


def uninstall(folder, what, before):
    run = wine(folder + r"\uninstall.exe", "/S")
    await_uninstaller(folder)
    check(run.returncode == 0, f"{what}: uninstaller exit {run.returncode}")
    check(not os.path.exists(unix(folder)), f"{what}: the install folder is gone")
    for key in (UNINSTALL_KEY, FILTER_ROW, PAGE_ROW, FILTER_LIST + "\\" + FILTER_ID):
        check(not exists(key), f"{what}: {key} is gone")
    check(value(OTHER_FILTER, "Name") == "Another filter", f"{what}: the host's list and its other filters stay")
    after = snapshot()
    changed = sorted(set(before) ^ set(after))
    check(not changed, f"{what}: the prefix is as it was before the install: {changed[:5]}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    subprocess.run(["wineboot", "-i"], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    settle()
    start_server()
    try:
        run_checks()
    finally:
        subprocess.run(["wineserver", "-k"], env=ENV)
        settle()
        shutil.rmtree(PREFIX, ignore_errors=True)  # about 700 MB
    checks.finish("installer: installs, installs over itself, uninstalls cleanly, and installs into a chosen folder")


def run_checks():
    wine("reg", "add", OTHER_FILTER, "/v", "Name", "/d", "Another filter", "/f", "/reg:64")
    os.makedirs(unix(r"C:\Audio Plugins"))  # where this user keeps plug-ins; the chosen folder goes in it
    before = snapshot()

    run = wine(SETUP, "/S")
    check(run.returncode == 0, f"silent install: exit {run.returncode}")
    installed_checks(DEFAULT_FOLDER, "installed")

    with open(unix(DEFAULT_FOLDER + r"\QvMfxVeltrace.dll"), "ab") as module:
        module.write(b"an older build")  # so a replacement shows
    run = wine(SETUP, "/S")
    check(run.returncode == 0, f"install over it: exit {run.returncode}")
    installed_checks(DEFAULT_FOLDER, "installed again")
    uninstall(DEFAULT_FOLDER, "uninstalled", before)

    # /D= takes the rest of the command line as it stands, spaces and all:
    # through cmd, so that nothing quotes it.
    chosen = r"C:\Audio Plugins\Veltrace"
    run = wine("cmd.exe", "/c", f"{SETUP} /S /D={chosen}")
    check(run.returncode == 0, f"install into a chosen folder: exit {run.returncode}")
    installed_checks(chosen, "in a chosen folder")
    uninstall(chosen, "uninstalled from the chosen folder", before)


if __name__ == "__main__":
    main()
