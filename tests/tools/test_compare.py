"""Archives compared by content: list --hash, diff, verify --against.

    test_compare.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import hashlib
import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import run  # noqa: E402
from test_verdicts import zlib_framed  # noqa: E402


class CompareTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-compare-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def test_list_hash_is_the_sha256_of_each_entrys_content(self):
        os.makedirs(self.path("src", "sub"))
        files = {"a.txt": b"text " * 5000, "sub/b.bin": bytes(range(256)) * 300,
                 "empty": b""}
        for name, data in files.items():
            with open(self.path("src", *name.split("/")), "wb") as f:
                f.write(data)
        for codec in ("stored", "lz", "zlib"):
            archive = self.path(codec + ".wad")
            run("pack", self.path("src"), "-o", archive, "--codec", codec, check_code=0)
            lines = run("list", "--json", "--hash", "-j", "2", archive,
                        check_code=0).stdout.splitlines()
            listed = {e["path"]: e["sha256"] for e in map(json.loads, lines)}
            self.assertEqual(listed, {name: hashlib.sha256(data).hexdigest()
                                      for name, data in files.items()}, codec)

    def test_diff_names_each_kind_of_change_and_exits_by_content(self):
        # Names of equal length in the same order keep data offsets equal,
        # until code.txt grows: moved.txt after it changes place only.
        wad_bytes.write(self.path("a.wad"), [
            wad_bytes.Entry("same.txt", b"same"),
            wad_bytes.Entry("flag.bin", b"xyz"),
            wad_bytes.Entry("body.txt", b"one"),
            wad_bytes.Entry("gone.txt", b"gone"),
            wad_bytes.Entry("code.txt", b"hello"),
            wad_bytes.Entry("moved.txt", b"mv"),
        ])
        wad_bytes.write(self.path("b.wad"), [
            wad_bytes.Entry("SAME.TXT", b"same"),
            wad_bytes.Entry("flag.bin", b"xyz", 0x8),
            wad_bytes.Entry("body.txt", b"two"),
            wad_bytes.Entry("new1.txt", b"new1"),
            wad_bytes.Entry("code.txt", zlib_framed(b"hello"), wad_bytes.FLAG_ZLIB, 5),
            wad_bytes.Entry("moved.txt", b"mv"),
        ])
        result = run("diff", "--json", self.path("a.wad"), self.path("b.wad"), check_code=1)
        found = {d["path"]: d for d in map(json.loads, result.stdout.splitlines())}
        self.assertEqual({p: d["change"] for p, d in found.items()}, {
            "flag.bin": "flags", "body.txt": "content", "gone.txt": "removed",
            "new1.txt": "added", "code.txt": "coding", "moved.txt": "place"})
        self.assertEqual((found["code.txt"]["first"]["coding"], found["code.txt"]["second"]["coding"]),
                         ("stored", "zlib"))
        self.assertIsNone(found["new1.txt"]["first"])

        # Coding, flags and place alone leave the contents equal: exit 0.
        wad_bytes.write(self.path("c.wad"), [
            wad_bytes.Entry("code.txt", b"hello"), wad_bytes.Entry("flag.bin", b"xyz")])
        wad_bytes.write(self.path("d.wad"), [
            wad_bytes.Entry("code.txt", zlib_framed(b"hello"), wad_bytes.FLAG_ZLIB, 5),
            wad_bytes.Entry("flag.bin", b"xyz", 0x8)])
        result = run("diff", self.path("c.wad"), self.path("d.wad"), check_code=0)
        self.assertIn(b"the contents are equal", result.stdout)

        # A folder side: its files are compared by content alone.
        run("unpack", "--no-probe", "-q", "-o", self.path("tree"), self.path("a.wad"),
            check_code=0)
        run("diff", self.path("a.wad"), self.path("tree"), check_code=0)
        with open(self.path("tree", "body.txt"), "wb") as f:
            f.write(b"ONE")
        result = run("diff", self.path("a.wad"), self.path("tree"), check_code=1)
        self.assertEqual(result.stdout.splitlines()[0], b"content  body.txt (3 bytes -> 3 bytes)")

        # An entry that cannot be compared is named with the tool's reason.
        wad_bytes.write(self.path("r.wad"), [
            wad_bytes.Entry("secret.txt", b"s", wad_bytes.FLAG_REFUSED)])
        result = run("diff", self.path("r.wad"), self.path("r.wad"), check_code=2)
        self.assertIn(b"secret.txt: refused by the archive", result.stderr)

    def test_verify_against_names_a_flipped_byte_and_only_then_says_intact(self):
        entries = [wad_bytes.Entry("groundtile.png", b"tile"),
                   wad_bytes.Entry("maps\\data.bin", bytes(range(200)))]
        wad_bytes.write(self.path("good.wad"), entries)
        entries[1].stored = bytes(range(100)) + b"\xff" + bytes(range(101, 200))
        wad_bytes.write(self.path("bad.wad"), entries)
        shutil.copy(self.path("good.wad"), self.path("ref.wad"))
        run("unpack", "-q", "-o", self.path("folder"), self.path("good.wad"), check_code=0)
        with open(self.path("manifest.jsonl"), "wb") as f:
            f.write(run("list", "--json", "--hash", self.path("good.wad"), check_code=0).stdout)
        for ref in ("ref.wad", "folder", "manifest.jsonl"):
            result = run("verify", "--against", self.path(ref), self.path("good.wad"),
                         check_code=0)
            self.assertIn(b": intact: ", result.stdout, ref)
            result = run("verify", "--against", self.path(ref), self.path("bad.wad"),
                         check_code=1)
            self.assertIn(b"bad.wad: maps/data.bin: content differs from ", result.stderr, ref)
            self.assertNotIn(b"intact: ", result.stdout.replace(b"not intact", b""), ref)


if __name__ == "__main__":
    test_tarnwad.main()
