"""The Windows installers under Wine, in a throwaway prefix: a silent install
(with the PATH entry) puts the programs into Program Files, a Start-menu
entry, the .wad action and the uninstall entry into place, the installed
tarnwad.exe runs, and a silent uninstall leaves none of it.

    python3 tests/install/windows_installer_test.py --version 0.1.0 \
        dist/tarnwad-0.1.0-setup-win64.exe dist/tarnwad-0.1.0-setup-win32.exe
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

PRODUCT = "Tarnhollow WAD Tool"
VERB_KEY = r"HKLM\Software\Classes\SystemFileAssociations\.wad\shell\tarnwad.unpack"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tarnwad"
ENVIRONMENT_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
FILES = ["tarnwad.exe", "tarnwad-gui.exe", "README.txt", "LICENSE.txt", "uninstall.exe"]
ARGS = None


class WindowsInstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="tarnwad-installer-")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.env.pop("DISPLAY", None)
        cls.wine(["wineboot", "--init"])

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env, check=False)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    @classmethod
    def wine(cls, command, check=True):
        return subprocess.run(command, env=cls.env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors="replace",
                              timeout=120, check=check)

    def reg(self, key, value, view):
        """The value's data, or None when the key or value is not there."""
        option = ["/ve"] if value is None else ["/v", value]
        result = self.wine(["wine", "reg", "query", key, *option, f"/reg:{view}"], check=False)
        if result.returncode != 0:
            return None
        for line in result.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def check_installer(self, setup, bits):
        folder = "Program Files" if bits == 64 else "Program Files (x86)"
        host_dir = os.path.join(self.prefix, "drive_c", folder, PRODUCT)
        windows_dir = f"C:\\{folder}\\{PRODUCT}"
        shortcut = os.path.join(self.prefix, "drive_c", "ProgramData", "Microsoft", "Windows",
                                "Start Menu", "Programs", PRODUCT + ".lnk")
        path_before = self.reg(ENVIRONMENT_KEY, "Path", 64)

        self.wine(["wine", setup, "/S", "/PATH"])
        for name in FILES:
            self.assertTrue(os.path.isfile(os.path.join(host_dir, name)), name)
        self.assertTrue(os.path.isfile(shortcut))
        self.assertEqual(self.reg(VERB_KEY, None, bits), f"Unpack with {PRODUCT}")
        self.assertEqual(self.reg(VERB_KEY + r"\command", None, bits),
                         f'"{windows_dir}\\tarnwad-gui.exe" "%1"')
        self.assertEqual(self.reg(UNINSTALL_KEY, "DisplayVersion", bits), ARGS.version)
        self.assertIn(windows_dir.lower(), self.reg(ENVIRONMENT_KEY, "Path", 64).lower())
        version = self.wine(["wine", f"{windows_dir}\\tarnwad.exe", "--version"])
        self.assertIn(ARGS.version, version.stdout)

        # The uninstaller runs from a copy of itself and returns at once.
        self.wine(["wine", f"{windows_dir}\\uninstall.exe", "/S"])
        deadline = time.monotonic() + 60
        while os.path.exists(host_dir) and time.monotonic() < deadline:
            time.sleep(0.5)
        self.assertFalse(os.path.exists(host_dir))
        self.assertFalse(os.path.exists(shortcut))
        for key in (VERB_KEY, UNINSTALL_KEY, r"HKLM\Software\Classes\Tarnwad.WadArchive",
                    r"HKLM\Software\Classes\.wad"):
            self.assertIsNone(self.reg(key, None, bits), key)
        self.assertEqual(self.reg(ENVIRONMENT_KEY, "Path", 64), path_before)

    def test_install_and_uninstall(self):
        for setup in ARGS.setup:
            bits = 32 if setup.endswith("win32.exe") else 64
            with self.subTest(setup=os.path.basename(setup)):
                self.check_installer(os.path.abspath(setup), bits)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("setup", nargs="+")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
