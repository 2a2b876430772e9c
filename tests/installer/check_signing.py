#!/usr/bin/python3
"""check_signing.py SOURCE_DIR BUILD_DIR CHECK_EXE WORKDIR: the signed
release. Makes a throwaway certificate authority and a code-signing
certificate, has scripts/dist-windows (what make dist runs) sign with it, and
checks with osslsigncode that the module, the CLAP and VST3 editions, the
installer and the uninstaller the installer writes carry good signatures, that a changed byte breaks
them, that signing twice gives the same files, and, in a fresh Wine prefix
of its own, that the signed module registers and creates the filter and the
signed installer installs and uninstalls silently."""
import os
import shutil
import subprocess
import sys
import time
import zipfile

from check_installer import DEFAULT_FOLDER, check, checks, installed_checks, uninstall
from wine_prefix import WinePrefix

SOURCE, BUILD, CREATE_CHECK, WORK = (os.path.abspath(path) for path in sys.argv[1:5])
CERTS = os.path.join(WORK, "certs")
CA = os.path.join(CERTS, "ca.pem")


def run(*command, **options):
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, **options)


def make_certificates():
    """A CA, and a code-signing certificate it issued, in a PKCS#12 file."""
    os.makedirs(CERTS)

    def openssl(*arguments):
        made = run("openssl", *arguments, cwd=CERTS)
        if made.returncode != 0:
            sys.exit(f"openssl {arguments[0]}: {made.stderr}")

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Veltrace test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "code.key", "-out", "code.csr",
            "-subj", "/CN=Veltrace test signer")
    with open(os.path.join(CERTS, "code.ext"), "w") as extensions:
        extensions.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                         "extendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "code.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "code.ext", "-out", "code.pem")
    openssl("pkcs12", "-export", "-inkey", "code.key", "-in", "code.pem", "-certfile", "ca.pem",
            "-out", "code.p12", "-passout", "pass:throwaway")


def dist(out):
    """The Windows half of make dist, signing with the throwaway certificate."""
    env = dict(os.environ, VELTRACE_SIGN_PFX=os.path.join(CERTS, "code.p12"), VELTRACE_SIGN_PASSWORD="throwaway")
    env.pop("VELTRACE_SIGN_TIMESTAMP_URL", None)
    made = run(os.path.join(SOURCE, "scripts", "dist-windows"), BUILD, out, env=env)
    if made.returncode != 0:
        sys.exit(f"dist-windows failed:\n{made.stdout}{made.stderr}")
    check("dist: signing" in made.stdout, f"dist says it signs: {made.stdout.strip()}")
    return {name: os.path.join(out, name) for name in os.listdir(out)}


def verified(path):
    return run("osslsigncode", "verify", "-CAfile", CA, "-in", path).returncode == 0


def tampered(path):
    """A copy with one byte of its code changed."""
    copy = os.path.join(WORK, "tampered-" + os.path.basename(path))
    shutil.copyfile(path, copy)
    with open(copy, "r+b") as changed:
        changed.seek(0x1000)
        byte = changed.read(1)
        changed.seek(0x1000)
        changed.write(bytes([byte[0] ^ 0xFF]))
    return copy


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    make_certificates()
    files = dist(os.path.join(WORK, "dist"))
    setup = next(path for name, path in files.items() if name.endswith("-setup.exe"))
    archive = next(path for name, path in files.items() if name.endswith(".zip"))
    time.sleep(1.5)  # signing again a second later: a signing time read from the clock would show
    again = dist(os.path.join(WORK, "dist-again"))
    for name, path in files.items():
        check(open(path, "rb").read() == open(again[name], "rb").read(), f"{name}: signed again later, the same file")

    # The signed files as the zip holds them, laid out as the build holds
    # them (the install checks compare with those beside the module).
    unpacked = os.path.join(WORK, "unpacked")
    with zipfile.ZipFile(archive) as archived:
        archived.extractall(unpacked)
    module = os.path.join(unpacked, "QvMfxVeltrace.dll")
    editions = [os.path.join(unpacked, "Veltrace.clap"),
                os.path.join(unpacked, "Veltrace.vst3", "Contents", "x86_64-win", "Veltrace.vst3")]
    for path in (module, *editions, setup):
        name = os.path.basename(path)
        check(verified(path), f"{name}: signature verifies against the CA")
        check(not verified(tampered(path)), f"{name}: a changed byte fails verification")

    with WinePrefix(os.path.join(WORK, "wine")) as prefix:
        registered = prefix.wine("regsvr32", "/s", module)
        check(registered.returncode == 0, f"signed module registers: regsvr32 exit {registered.returncode}")
        created = prefix.wine(CREATE_CHECK)
        check(created.returncode == 0, f"signed module: filter and page created: {created.stdout.strip()}")
        unregistered = prefix.wine("regsvr32", "/s", "/u", module)
        check(unregistered.returncode == 0, f"signed module unregisters: regsvr32 exit {unregistered.returncode}")

        installed = prefix.wine(setup, "/S")
        check(installed.returncode == 0, f"signed installer: silent install exit {installed.returncode}")
        installed_checks(prefix, DEFAULT_FOLDER, "signed install", module, CREATE_CHECK)
        uninstaller = os.path.join(WORK, "uninstall.exe")
        shutil.copyfile(prefix.unix(DEFAULT_FOLDER + r"\uninstall.exe"), uninstaller)
        check(verified(uninstaller), "the uninstaller the installer wrote: signature verifies against the CA")
        uninstall(prefix, DEFAULT_FOLDER, "signed uninstall")
    checks.finish("signing: module, CLAP and VST3 editions, installer and the uninstaller it writes signed and verified, tampering caught, "
                  "signed twice the same; the signed module registers and the signed installer installs and uninstalls")


if __name__ == "__main__":
    main()
