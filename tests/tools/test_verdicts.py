"""Every command gives an entry the same verdict with the same reason:
unpack (in order and on threads), cat, verify, list and the mount's
complaints all word a failure as the library gave it where it failed.

    test_verdicts.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import run  # noqa: E402

# Each broken entry, and the start of the reason every command gives for it.
BROKEN = {
    "d": b"cannot be opened: its path names a directory of the archive as well",
    "h.txt": b"cannot be found by its path: its record's path hash (0x00003039) is not",
    "bad.lz": b"does not decode: the LZ data ends early, before its stop command",
    "out.bin": b"its data (bytes ",
}
# What list can tell without decoding.
STRUCTURAL = ("d", "h.txt", "out.bin")


class VerdictTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-verdicts-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        wad_bytes.write(os.path.join(self.dir, "t.wad"), [
            wad_bytes.Entry("groundtile.png", b"tile"),
            wad_bytes.Entry("d\\f", b"in d"),
            wad_bytes.Entry("d", b"a file named d"),
            wad_bytes.Entry("h.txt", b"mislabelled", path_hash=0x3039),
            # Flags with no coding bit: its stored bytes, whatever its size says.
            wad_bytes.Entry("e8.bin", b"abc", 0x8, 10),
            wad_bytes.Entry("bad.lz", bytes([0x10, 0xFB, 0, 0, 10, 0xE0, 1, 2]),
                            wad_bytes.FLAG_LZ, 10),
            wad_bytes.Entry("refused.txt", b"secret", wad_bytes.FLAG_REFUSED),
            wad_bytes.Entry("out.bin", b"xx", stored_size=1000),
        ])

    def reasons(self, stderr, prefix=b"tarnwad: "):
        """Entry name -> the rest of its line, for the lines of `stderr` that
        begin with `prefix` and a broken entry's name."""
        found = {}
        for line in stderr.splitlines():
            for name in BROKEN:
                if line.startswith(prefix + name.encode() + b": "):
                    found[name] = line[len(prefix) + len(name) + 2:]
        return found

    def test_every_command_gives_each_entry_the_same_verdict(self):
        seen = {}
        for jobs in ("1", "3"):
            out = os.path.join(self.dir, "out-" + jobs)
            result = run("unpack", "-j", jobs, "-o", out, "t.wad", cwd=self.dir)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn(b"tarnwad: refused.txt: refused by the archive, not unpacked",
                          result.stderr)
            seen["unpack -j " + jobs] = self.reasons(result.stderr)
            with open(os.path.join(out, "e8.bin"), "rb") as f:
                self.assertEqual(f.read(), b"abc")
        result = run("verify", "t.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"4 failed", result.stdout)
        self.assertIn(b"e8.bin: warning: its record gives its size as 10 bytes", result.stderr)
        seen["verify"] = self.reasons(result.stderr, b"tarnwad: t.wad: ")
        seen["cat"] = {}
        for name in BROKEN:
            result = run("cat", "t.wad", name, cwd=self.dir, check_code=1)
            self.assertEqual(result.stdout, b"", name)
            seen["cat"].update(self.reasons(result.stderr, b"tarnwad: t.wad: "))
        result = run("cat", "t.wad", "e8.bin", cwd=self.dir, check_code=0)
        self.assertEqual(result.stdout, b"abc")

        for command, reasons in seen.items():
            self.assertEqual(sorted(reasons), sorted(BROKEN), command)
            for name, start in BROKEN.items():
                self.assertTrue(reasons[name].startswith(start), (command, name, reasons[name]))
                self.assertEqual(reasons[name], seen["cat"][name], (command, name))

        result = run("list", "t.wad", cwd=self.dir, check_code=1)
        listed = self.reasons(result.stderr, b"tarnwad: t.wad: ")
        self.assertEqual(listed, {name: seen["cat"][name] for name in STRUCTURAL})


if __name__ == "__main__":
    test_tarnwad.main()
