"""Names that could drive a terminal, from an archive or from the disk, reach
the user escaped in every command's output, and `list --json` tells apart
names that only look alike.

    test_terminal_safety.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402

# Names an archive may hold (C0 controls are refused by the archive itself).
HOSTILE = {
    "del": b"del\x7f.txt",
    "csi": b"csi\x9b31m.txt",  # the 8-bit control sequence introducer
    "c1-utf8": b"nel\xc2\x85.txt",  # U+0085 written as UTF-8
    "rlo": b"rlo\xe2\x80\xaetxt.exe",  # U+202E: the rest of the line reads backwards
    "lri": b"lri\xe2\x81\xa6x\xe2\x81\xa9.txt",  # U+2066 ... U+2069
    "rlm": b"rlm\xe2\x80\x8f.txt",  # U+200F
}
ARCHIVE_NAME = "\x1b]0;owned\x07\x1b[2J.wad"

# What must never reach the terminal raw: C0 controls but the line end, DEL,
# C1 bytes, C1 characters in UTF-8, the bidirectional marks and overrides.
RAW = re.compile(rb"[\x00-\x09\x0b-\x1f\x7f\x80-\x9f]|\xc2[\x80-\x9f]|"
                 rb"\xe2\x80[\x8e\x8f\xa8-\xae]|\xe2\x81[\xa6-\xa9]|\xd8\x9c")


def tarnwad(*args, cwd):
    return subprocess.run([test_tarnwad.TARNWAD, *args], cwd=cwd, capture_output=True,
                          timeout=60)


class TerminalSafetyTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-terminal-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        entries = [wad_bytes.Entry("groundtile.png", b"tile")]
        entries += [wad_bytes.Entry(name, name) for name in HOSTILE.values()]
        # One entry that cannot be decoded, so that its name is complained about.
        entries.append(wad_bytes.Entry(b"bad\x9b.lz", b"\x10\xfb\x00\x00\x05", wad_bytes.FLAG_LZ, 5))
        wad_bytes.write(os.path.join(self.dir, ARCHIVE_NAME), entries)

    def assert_escaped(self, result, what):
        for stream in (result.stdout, result.stderr):
            match = RAW.search(stream)
            self.assertIsNone(match, f"{what}: raw {match and match.group()!r} in {stream!r}")

    def test_every_command_escapes_names(self):
        out = os.path.join(self.dir, "out")
        for args in (["list", ARCHIVE_NAME], ["list", "--json", ARCHIVE_NAME],
                     ["verify", ARCHIVE_NAME], ["info", ARCHIVE_NAME],
                     ["unpack", "-v", "-o", out, ARCHIVE_NAME],
                     ["unpack", "-v", "-j", "2", "-o", out, ARCHIVE_NAME],
                     ["cat", ARCHIVE_NAME, "bad\x9b.lz"],
                     ["list", ARCHIVE_NAME + ".missing"], ["unpack", "-o", out, "--no-such\x1b["],
                     ["list", "-\x1b[31m"]):
            result = tarnwad(*map(os.fsencode, args), cwd=self.dir)
            self.assert_escaped(result, args)
        # What was unpacked has the names as they are; only what is shown is escaped.
        self.assertEqual(sorted(os.listdir(os.fsencode(out))),
                         sorted([b"groundtile.png", *HOSTILE.values()]))
        result = tarnwad("list", ARCHIVE_NAME, cwd=self.dir)
        self.assertIn(b"rlo\\u202Etxt.exe", result.stdout)
        self.assertIn(b"csi\\x9B31m.txt", result.stdout)
        self.assertIn(b"del\\x7F.txt", result.stdout)
        result = tarnwad("verify", ARCHIVE_NAME, cwd=self.dir)
        self.assertIn(b"\\x1B]0;owned\\x07\\x1B[2J.wad", result.stdout + result.stderr)
        self.assertIn(b"bad\\x9B.lz", result.stderr)

    def test_pack_escapes_host_names(self):
        src = os.path.join(self.dir, "src")
        test_tarnwad.write_tree(os.fsencode(src), {name: b"x" for name in HOSTILE.values()})
        result = tarnwad("pack", "-v", "src", "-o", "p.wad", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_escaped(result, "pack -v")
        os.symlink("nowhere", os.path.join(os.fsencode(src), b"link\xe2\x80\xae"))
        result = tarnwad("pack", "-v", "src", "-o", "q.wad", cwd=self.dir)
        self.assertIn(b"link\\u202E: is a symbolic link", result.stderr)
        self.assert_escaped(result, "pack warning")

    def test_json_tells_look_alike_names_apart(self):
        latin1 = "caf\xe9.txt".encode("latin-1")
        utf8 = "caf\xe9.txt".encode("utf-8")
        path = os.path.join(self.dir, "alike.wad")
        wad_bytes.write(path, [wad_bytes.Entry(latin1, b"1"), wad_bytes.Entry(utf8, b"2"),
                               wad_bytes.Entry(HOSTILE["rlo"], b"3")])
        result = tarnwad("list", "--json", "alike.wad", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_escaped(result, "list --json")
        lines = [json.loads(line) for line in result.stdout.decode("utf-8").splitlines()]
        self.assertEqual([bytes.fromhex(line["path_bytes"]) for line in lines],
                         [latin1, utf8, HOSTILE["rlo"]])
        self.assertEqual(lines[2]["path"], HOSTILE["rlo"].decode("utf-8"))
        self.assertIn(b"\\u202e", result.stdout)


if __name__ == "__main__":
    test_tarnwad.main()
