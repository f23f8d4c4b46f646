"""Archives of 2 GiB to 4 GiB - 1 bytes, whose offsets take all 32 bits of
the format, and larger files, which no archive can be. The archives are
sparse files: gigabytes cost next to no disk and time.

    test_large_archives.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import noise, run, tree  # noqa: E402

GIB = 1 << 30
# A stored entry larger than 2 GiB, read only by the commands that stream it
# (cat, verify, the mount), never written out.
HUGE = "huge.bin"
HUGE_SIZE = 2 * GIB + 16384


def write_big_archive(directory):
    """Writes big.wad, a sparse 3 GiB archive of version 2 in `directory`,
    whose name table and entries lie beyond 2 GiB, one entry across it, one
    near the start; every coding. Gives the files that unpacking writes,
    path to bytes (HUGE left out: its bytes are the archive's own, from 4 KiB
    on)."""
    files = {"groundtile.png": noise(3000, 1), "sounds/wind.raw": noise(70000, 2),
             "maps/layout.txt": b"tile rock gust wind\n" * 2000}
    source = os.path.join(directory, "src")
    test_tarnwad.write_tree(source, files)
    coded = {}
    for codec in ("lz", "zlib"):
        packed = os.path.join(directory, codec + ".wad")
        run("pack", "-q", "--codec", codec, "-o", packed, source, check_code=0)
        with open(packed, "rb") as f:
            coded[codec] = {e.path: e for e in wad_bytes.read(f.read())}

    entries = [
        wad_bytes.Entry("groundtile.png", files["groundtile.png"], data_offset=2 * GIB + (1 << 20)),
        wad_bytes.Entry("near\\wind.raw", files["sounds/wind.raw"], data_offset=1 << 20),
        wad_bytes.Entry("edge\\wind.raw", files["sounds/wind.raw"], data_offset=2 * GIB - 100),
        wad_bytes.Entry(HUGE, b"start of the huge entry", data_offset=4096,
                        stored_size=HUGE_SIZE),
    ]
    expected = {"groundtile.png": files["groundtile.png"],
                "near/wind.raw": files["sounds/wind.raw"],
                "edge/wind.raw": files["sounds/wind.raw"]}
    at = 2 * GIB + GIB // 2
    for codec, packed in coded.items():
        for path, entry in packed.items():
            name = codec + "\\" + path.decode()
            entries.append(wad_bytes.Entry(name, entry.stored, entry.flags, entry.unpacked_size,
                                           data_offset=at))
            expected[name.replace("\\", "/")] = files[path.decode().replace("\\", "/")]
            at += len(entry.stored) + 1000
    wad_bytes.write_placed(os.path.join(directory, "big.wad"), entries, 3 * GIB,
                           names_at=3 * GIB - 4096)
    return expected


def huge_entry_bytes(directory, count):
    """The last `count` bytes of HUGE, read from the archive file itself."""
    with open(os.path.join(directory, "big.wad"), "rb") as f:
        f.seek(4096 + HUGE_SIZE - count)
        return f.read(count)


class LargeArchiveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="tarnwad-large-")
        cls.expected = write_big_archive(cls.dir)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def test_unpack_writes_entries_beyond_2_gib_with_any_job_count(self):
        for jobs in ("1", "3"):
            out = os.path.join(self.dir, "out-" + jobs)
            run("unpack", "-q", "-j", jobs, "-o", out, "--exclude", HUGE, "big.wad",
                cwd=self.dir, check_code=0)
            self.assertEqual(tree(out), self.expected, jobs)
            shutil.rmtree(out)

    def test_list_info_verify_and_cat_read_beyond_2_gib(self):
        listed = run("list", "--json", "big.wad", cwd=self.dir, check_code=0)
        sizes = {e["path"].replace("\\", "/"): e["size"]
                 for e in map(json.loads, listed.stdout.decode().splitlines())}
        self.assertEqual(sizes, {**{p: len(b) for p, b in self.expected.items()},
                                 HUGE: HUGE_SIZE})
        self.assertEqual(listed.stderr, b"")
        info = json.loads(run("info", "--json", "big.wad", cwd=self.dir, check_code=0).stdout)
        self.assertEqual((info["file_size"], info["entries_outside_file"]), (3 * GIB, 0))
        run("verify", "big.wad", cwd=self.dir, check_code=0)
        for path, data in self.expected.items():
            # Anchored at the root: a bare name would select it at every depth.
            self.assertEqual(run("cat", "big.wad", "/" + path, cwd=self.dir,
                                 check_code=0).stdout, data, path)
        # The entry larger than 2 GiB, streamed whole: its size and its end.
        with subprocess.Popen([test_tarnwad.TARNWAD, "cat", "big.wad", HUGE], cwd=self.dir,
                              stdout=subprocess.PIPE) as cat:
            total = 0
            tail = b""
            while chunk := cat.stdout.read(1 << 20):
                total += len(chunk)
                tail = (tail + chunk)[-4096:]
        self.assertEqual((cat.returncode, total), (0, HUGE_SIZE))
        self.assertEqual(tail, huge_entry_bytes(self.dir, 4096))

    def test_a_file_over_4_gib_is_refused_by_every_command_and_4_gib_less_1_is_not(self):
        path = os.path.join(self.dir, "over.wad")
        wad_bytes.write_placed(path, [wad_bytes.Entry("groundtile.png", b"g", data_offset=4096)],
                               (4 << 30) - 1, names_at=2048)
        run("info", "over.wad", cwd=self.dir, check_code=0)
        os.truncate(path, (4 << 30) + 1)
        for args in (("unpack",), ("unpack", "-j", "2", "--dry-run"), ("list",), ("verify",),
                     ("info",), ("cat", "over.wad", "groundtile.png")):
            args = args if "over.wad" in args else (*args, "over.wad")
            result = run(*args, cwd=self.dir, check_code=2)
            self.assertIn("tarnwad: over.wad: is too large to be a WAD archive: an archive "
                          "holds at most 4 GiB - 1 bytes, and this file has 4294967297 bytes",
                          result.stderr.decode().splitlines(), args)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "over")))


class CodedEntryTooLargeTest(unittest.TestCase):
    def test_verify_names_a_coded_entry_too_large_to_decode_in_memory(self):
        with tempfile.TemporaryDirectory() as directory:
            wad_bytes.write(os.path.join(directory, "coded.wad"), [
                wad_bytes.Entry("big.zlib", b"BILZ", flags=wad_bytes.FLAG_ZLIB,
                                unpacked_size=3 * GIB)])
            result = run("verify", "coded.wad", cwd=directory, check_code=1)
            self.assertIn(b"big.zlib: too large to decode (4 bytes stored, "
                          b"3221225472 decoded): coded entries are decoded whole in memory, up "
                          b"to 2 GiB - 1 bytes", result.stderr)


if __name__ == "__main__":
    test_tarnwad.main()
