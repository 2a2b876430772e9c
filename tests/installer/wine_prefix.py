"""A fresh Wine prefix of a test's own, in its work folder, with one
persistent wineserver for all the runs in it; everything runs silently (no
display). Used as a context manager: made on entry, shut down and removed
(about 700 MB) on exit."""
import os
import shutil
import subprocess
import tempfile


class WinePrefix:
    def __init__(self, work):
        self.work = work
        self.path = os.path.join(work, "prefix")
        # Wine's temporary files and its server's socket folder stay here too.
        self.tmp = os.path.join(work, "tmp")
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winhlp32.exe=d", TMPDIR=self.tmp)
        self.env.pop("DISPLAY", None)

    def __enter__(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.tmp)
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.settle()
        self.start_server()
        return self

    def __exit__(self, *exception):
        subprocess.run(["wineserver", "-k"], env=self.env)
        self.settle()
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def wine(self, *arguments):
        """Runs a program of the prefix. Its output goes through files, not
        pipes: Wine's services, started by whichever program comes first,
        would hold a pipe open for as long as they run."""
        with tempfile.TemporaryFile("w+", dir=self.tmp) as out, \
                tempfile.TemporaryFile("w+", dir=self.tmp) as err:
            run = subprocess.run(["wine", *arguments], env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(run.args, run.returncode, out.read(), err.read())

    def settle(self):
        """Waits for every process of the prefix to end (the server with them)."""
        subprocess.run(["wineserver", "-w"], env=self.env)

    def start_server(self):
        """One server for all the runs that follow; its output must not hold CTest's pipe."""
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.wine("cmd.exe", "/c", "exit")  # the prefix starts up: pending file operations are carried out

    def restart(self):
        """Ends the prefix's session and starts a new one, as a restart of Windows would."""
        subprocess.run(["wineserver", "-k"], env=self.env)
        self.settle()
        self.start_server()

    def value(self, key, name=None):
        """A registry value as text (the 64-bit view), or None; no name: the key's default.
        reg has once answered nothing here for a value in place: a query that
        finds nothing is asked once more, which a missing value survives."""
        for _ in range(2):
            run = self.wine("reg", "query", key, *(["/v", name] if name else ["/ve"]), "/reg:64")
            for line in run.stdout.splitlines():
                parts = line.split(None, 2)
                if run.returncode == 0 and len(parts) == 3 and parts[0] == (name or "(Default)"):
                    return parts[2]
        return None

    def exists(self, key):
        return self.wine("reg", "query", key, "/reg:64").returncode == 0

    def unix(self, path):
        """Where a path on the prefix's drive C: is on this machine."""
        return os.path.join(self.path, "drive_c", *path[3:].split("\\"))
