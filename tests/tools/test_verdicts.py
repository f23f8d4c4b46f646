"""What the tool says of an entry is what is true of it: every command gives
an entry the same verdict with the same reason (the library's, made where the
entry failed), and verify says what it could check and what it could not.

    test_verdicts.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import os
import shutil
import struct
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import run  # noqa: E402

# Entries that do not open; list tells all but bad.lz without decoding.
BROKEN = ("d", "h.txt", "bad.lz", "out.bin")
STRUCTURAL = ("d", "h.txt", "out.bin")


def zlib_framed(data):
    stream = zlib.compress(data)
    return b"BILZ" + struct.pack("<6I", len(data), 28 + len(stream), 15, 9, 0, 0) + stream


class VerdictTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-verdicts-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def write(self, name, entries):
        wad_bytes.write(os.path.join(self.dir, name),
                        [wad_bytes.Entry("groundtile.png", b"tile")] + entries)

    def reasons(self, stderr, prefix):
        """Broken entry -> the rest of its line on `stderr`, after `prefix`."""
        found = {}
        for line in stderr.splitlines():
            for name in BROKEN:
                if line.startswith(prefix + name.encode() + b": "):
                    found[name] = line[len(prefix) + len(name) + 2:]
        return found

    def test_every_command_gives_each_entry_the_same_verdict(self):
        self.write("t.wad", [
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
        seen = {"cat": {}}
        for name in BROKEN:
            result = run("cat", "t.wad", name, cwd=self.dir, check_code=1)
            seen["cat"].update(self.reasons(result.stderr, b"tarnwad: t.wad: "))
        self.assertEqual(run("cat", "t.wad", "e8.bin", cwd=self.dir, check_code=0).stdout, b"abc")
        for jobs in ("1", "3"):
            out = os.path.join(self.dir, "out-" + jobs)
            result = run("unpack", "-j", jobs, "-o", out, "t.wad", cwd=self.dir, check_code=1)
            self.assertIn(b"refused.txt: refused by the archive, not unpacked", result.stderr)
            seen["unpack -j " + jobs] = self.reasons(result.stderr, b"tarnwad: ")
            with open(os.path.join(out, "e8.bin"), "rb") as f:
                self.assertEqual(f.read(), b"abc")
        result = run("verify", "t.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"e8.bin: warning: its record gives its size as 10 bytes", result.stderr)
        seen["verify"] = self.reasons(result.stderr, b"tarnwad: t.wad: ")
        for command, reasons in seen.items():
            self.assertEqual(reasons, seen["cat"], command)
        self.assertEqual(sorted(seen["cat"]), sorted(BROKEN))

        result = run("list", "t.wad", cwd=self.dir, check_code=1)
        self.assertEqual(self.reasons(result.stderr, b"tarnwad: t.wad: "),
                         {name: seen["cat"][name] for name in STRUCTURAL})

    def test_failures_outside_entries_give_the_systems_reason_in_one_wording(self):
        self.write("a.wad", [wad_bytes.Entry("maps\\m.txt", b"map")])
        os.mkdir(os.path.join(self.dir, "src"))

        def error(*args, code):
            result = run(*args, cwd=self.dir, check_code=code)
            return next(line for line in result.stderr.decode().splitlines()
                        if line.startswith("tarnwad: "))

        self.assertEqual(error("unpack", "-q", "-o", "a.wad", "a.wad", code=1),
                         "tarnwad: a.wad: the output directory " + os.path.join(self.dir, "a.wad")
                         + " cannot be created: it is a file")
        self.assertIn("a.wad is a file", error("unpack", "-q", "-o", "a.wad/x", "a.wad", code=1))
        # A directory that is not there, for every command that reads one.
        for args in (("pack", "none", "-o", "n.wad"), ("update", "a.wad", "none"),
                     ("pack", "a.wad", "-o", "n.wad")):
            self.assertRegex(error(*args, code=2 if args[0] == "pack" else 1),
                             r"^tarnwad: (none|a\.wad): cannot be read: (no such file or "
                             r"directory|not a directory)$", args)
        missing = error("list", "none.wad", code=2)
        self.assertEqual(error("pack", "src", "-o", "n.wad", "--base", "none.wad", code=1), missing)
        self.assertEqual(error("list", "none.wad*/maps", code=2),
                         missing.replace("none.wad", "none.wad*/maps"))
        self.assertIn("taken only by mount and --layer", error("info", "a.wad*/maps", code=2))

    def test_verify_says_what_it_could_check_and_what_it_could_not(self):
        text = b"a line of text\n" * 200
        for coding, stored, flags in (("stored", text, 0), ("zlib", zlib_framed(text), 2)):
            changed = bytearray(stored)
            changed[len(changed) // 2] ^= 0x10
            self.write("v.wad", [wad_bytes.Entry("e.txt", bytes(changed), flags, len(text))])
            result = run("verify", "v.wad", cwd=self.dir)
            self.assertNotIn(b"intact", result.stdout + result.stderr)
            if coding == "stored":
                # No checksum: the changed byte cannot be found, and it says so.
                self.assertEqual(result.returncode, 0)
                self.assertIn(b"the 2 entries read in full are stored or LZ-coded and have no "
                              b"checksum, so a changed byte in them would go unnoticed",
                              result.stdout)
            else:
                self.assertEqual(result.returncode, 1)
                self.assertIn(b"e.txt: does not decode: ", result.stderr)
        self.assertIn(b"checksum", run("verify", "--help", check_code=0).stdout)


if __name__ == "__main__":
    test_tarnwad.main()
