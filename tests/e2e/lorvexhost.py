"""Drives the reference host lorvex-host.exe under Wine for end-to-end tests.

The tests run from ctest with LORVEX_BIN (the win32 bin folder holding lorvex-host.exe,
lorvex.dll and morquill.dll) and LORVEX_WINE (scripts/wine-run) in the environment.
"""
import io
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

BIN = os.environ.get("LORVEX_BIN", "")
WINE = os.environ.get("LORVEX_WINE", "wine")
TIMEOUT = 300


def winpath(path):
    """A Linux path as Wine's Z: drive sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_host(*args, timeout=TIMEOUT):
    """Runs lorvex-host.exe with args; returns (exit status, stdout, stderr) as text."""
    done = subprocess.run([WINE, "lorvex-host.exe", *args], cwd=BIN, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


def zip_entries(path):
    """Checks the archive with `unzip -t` and returns {entry name: bytes}."""
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        return None
    # The archive carries no comment: it must end exactly with its end-of-directory record,
    # with nothing left over from the stream's growth.
    if data[-22:-18] != b"PK\x05\x06":
        raise AssertionError("%s does not end with its end-of-directory record" % path)
    test = subprocess.run(["unzip", "-t", path], capture_output=True)
    if test.returncode != 0:
        raise AssertionError("unzip -t rejected %s:\n%s" % (path, test.stdout.decode()))
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        return {name: archive.read(name) for name in archive.namelist()}


class HostTestCase(unittest.TestCase):
    """A test with its own scratch folder."""

    def setUp(self):
        if not BIN or not os.path.exists(os.path.join(BIN, "lorvex-host.exe")):
            self.fail("LORVEX_BIN does not hold lorvex-host.exe")
        self.dir = tempfile.mkdtemp(prefix="lorvex-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write(self, name, data):
        full = self.path(name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("latin-1"))
        return full
