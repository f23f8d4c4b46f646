"""`tarnwad pack -j N`: files read and coded on N threads give the archive
one thread gives, byte for byte, and the same messages, progress and exit
code, whatever N.

    test_pack_jobs.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
from test_tarnwad import on_terminal, tree, write_tree  # noqa: E402

# Each -j value against -j 1; None is the default (the number of cores).
JOBS = ("2", "4", None)
MIB = 1 << 20


def text_like(size, seed):
    """Compressible bytes: words from a small vocabulary."""
    rng = random.Random(seed)
    words = [b"tarn", b"hollow", b"stone", b"wind", b"map", b"level", b"tile", b"\n"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])


def noise(size, seed):
    return random.Random(seed).randbytes(size)


def varied_tree():
    """Empty files, files of several MiB, incompressible ones, many small
    ones, and names that sort apart from the order they are written in."""
    files = {
        "empty.txt": b"",
        "sub/also-empty": b"",
        "big/text.txt": text_like(6 * MIB + 123, 1),      # LZ and zlib both take it
        "big/noise.bin": noise(5 * MIB, 2),               # nothing shrinks it: stored
        "big/over-lz.bin": text_like(17 * MIB, 3),        # above what LZ can hold
        "Mixed/Case.TXT": b"letters as given",
        "tiny": b"x",
        "exactly-28": b"0123456789abcdef0123456789ab",
    }
    for i in range(600):
        kind = i % 3
        data = (text_like(100 + i * 37, 100 + i) if kind == 0
                else noise(50 + i * 13, 100 + i) if kind == 1
                else bytes([i % 256]) * (i * 7))
        files[f"many/d{i % 9}/f{i:04d}.dat"] = data
    return files


def run(*args, cwd=None):
    return subprocess.run([test_tarnwad.TARNWAD, *args], cwd=cwd, capture_output=True,
                          timeout=300)


def jobs_option(jobs):
    return () if jobs is None else ("-j", jobs)


class PackJobsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="tarnwad-pack-jobs-")
        cls.files = varied_tree()
        write_tree(os.path.join(cls.dir, "src"), cls.files)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def pack(self, source, jobs, *options, name=None):
        """Packs `source` with -j `jobs`: the exit code, stdout and stderr
        (the archive's name replaced by OUT), and the archive's bytes or
        None."""
        out = name or f"{source}-{jobs or 'default'}-{abs(hash(options))}.wad"
        if os.path.exists(self.path(out)):
            os.remove(self.path(out))
        result = run("pack", source, "-o", out, *jobs_option(jobs), *options, cwd=self.dir)
        archive = None
        if os.path.exists(self.path(out)):
            with open(self.path(out), "rb") as f:
                archive = f.read()
        text = lambda data: data.decode().replace(out, "OUT")
        return result.returncode, text(result.stdout), text(result.stderr), archive

    def assert_alike(self, source, *options):
        """Every -j gives what -j 1 gives; returns that."""
        one = self.pack(source, "1", *options)
        for jobs in JOBS:
            self.assertEqual(self.pack(source, jobs, *options), one, (jobs, options))
        return one

    def assert_no_temporary_files(self):
        left = [name for name in os.listdir(self.dir) if name.endswith(".tmp")]
        self.assertEqual(left, [])

    def test_every_codec_and_version_gives_the_same_bytes_and_unpacks_exactly(self):
        expected = {path.lower(): data for path, data in self.files.items()}
        for codec in ("auto", "lz", "zlib", "stored"):
            for version in (("--format-version", "2"),) if codec != "auto" else (
                    ("--format-version", "0"), ("--format-version", "1"),
                    ("--format-version", "2")):
                code, stdout, stderr, archive = self.assert_alike("src", "--codec", codec,
                                                                  *version)
                self.assertEqual((code, stderr), (0, ""), codec)
                self.assertIn("Packed 608 files", stdout)
                name = f"check-{codec}-{version[1]}.wad"
                with open(self.path(name), "wb") as f:
                    f.write(archive)
                out = self.path(name + ".out")
                result = run("unpack", "--no-probe", "-q", "-o", out, name, cwd=self.dir)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(tree(out), expected, name)
                self.assertEqual(run("verify", name, cwd=self.dir).returncode, 0)
                shutil.rmtree(out)

    def test_verbose_names_every_file_in_the_archive_order(self):
        code, stdout, stderr, _ = self.assert_alike("src", "-v")
        self.assertEqual(code, 0, stderr)
        names = stdout.splitlines()[:-1]
        self.assertEqual(len(names), len(self.files))
        self.assertEqual(names, sorted(names, key=lambda n: n.lower().encode()))

    def test_what_cannot_be_read_fails_alike_at_the_first_such_file(self):
        source = "unreadable"
        shutil.rmtree(self.path(source), True)
        write_tree(self.path(source), {f"f{i:03d}.txt": text_like(20000, i) for i in range(60)})
        # Files above 2 GiB cannot be read into an archive; sparse, they take
        # no room. The first in the archive's order is the one named.
        for name in ("f030.huge", "f045.huge"):
            with open(self.path(source, name), "wb") as f:
                f.truncate(3 << 30)
        code, stdout, stderr, archive = self.assert_alike(source)
        self.assertEqual(code, 1)
        self.assertIsNone(archive)
        self.assertEqual(stderr.splitlines(), ["tarnwad: f030.huge: is too large for an archive: a file "
                                               "is packed whole, 2 GiB - 1 bytes at most",
                                               "tarnwad: OUT: not written"])
        self.assert_no_temporary_files()
        if os.geteuid() != 0:
            # Where permissions hold, a file that cannot be opened.
            os.remove(self.path(source, "f030.huge"))
            os.chmod(self.path(source, "f010.txt"), 0)
            code, _, stderr, archive = self.assert_alike(source)
            self.assertEqual(code, 1)
            self.assertIn("f010.txt: cannot be opened for reading", stderr)

    def test_what_the_walk_refuses_or_skips_is_reported_alike(self):
        source = "special"
        shutil.rmtree(self.path(source), True)
        write_tree(self.path(source), {"a.txt": b"alpha\n", "sub/b.txt": text_like(9000, 5)})
        os.mkfifo(self.path(source, "sub", "pipe"))
        os.symlink("missing-target", self.path(source, "dangling"))
        code, _, stderr, archive = self.assert_alike(source)
        self.assertEqual(code, 1)
        self.assertIn("pipe: is not a regular file (add --skip-special to skip it)", stderr)
        self.assertIsNone(archive)
        code, _, stderr, archive = self.assert_alike(source, "-L")
        self.assertEqual(code, 1)
        self.assertIn("dangling: is a symbolic link that leads nowhere", stderr)
        code, stdout, stderr, archive = self.assert_alike(source, "-L", "--skip-special")
        self.assertEqual(code, 0)
        self.assertIn("pipe: is not a regular file; skipped", stderr)
        self.assertIn("dangling: is a symbolic link that leads nowhere", stderr)
        self.assertIn("Packed 2 files", stdout)
        self.assertIsNotNone(archive)

    def test_few_files_and_none(self):
        shutil.rmtree(self.path("one"), True)
        write_tree(self.path("one"), {"only.txt": text_like(5000, 9)})
        self.assertEqual(self.assert_alike("one")[0], 0)
        os.makedirs(self.path("nothing", "empty-dir"), exist_ok=True)
        code, stdout, stderr, archive = self.assert_alike("nothing")
        self.assertEqual(code, 0, stderr)
        self.assertIn("Packed 0 files", stdout)

    def test_bad_job_counts_are_usage_errors(self):
        for bad in ("0", "-1", "257", "many"):
            result = run("pack", "src", "-o", "bad.wad", "-j", bad, cwd=self.dir)
            self.assertEqual(result.returncode, 2, bad)
            self.assertFalse(os.path.exists(self.path("bad.wad")))
        help_text = " ".join(run("pack", "--help").stdout.decode().split())
        self.assertIn("-j,--jobs", help_text)
        self.assertIn("(default: the number of cores)", help_text)

    def test_the_progress_bar_on_a_terminal(self):
        for jobs in ("1", "4"):
            out = f"tty-{jobs}.wad"
            code, screen = on_terminal(80, ["pack", "-j", jobs, "src", "-o", out], self.dir)
            self.assertEqual(code, 0, screen)
            self.assertRegex(screen, r"\r\[[#.]+\] +\d+/608 files  +.* of \d+\.\d MiB")
        with open(self.path("tty-1.wad"), "rb") as a, open(self.path("tty-4.wad"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_ctrl_c_stops_the_pack_and_writes_nothing(self):
        source = "slow"
        shutil.rmtree(self.path(source), True)
        write_tree(self.path(source), {f"f{i:02d}.txt": text_like(2 * MIB, 200 + i)
                                       for i in range(40)})
        for jobs in ("1", "4"):
            out = self.path(f"interrupted-{jobs}.wad")
            process = subprocess.Popen(
                [test_tarnwad.TARNWAD, "pack", "-v", "-j", jobs, source, "-o", out],
                cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            first = process.stdout.readline()  # the first file is under way
            self.assertEqual(first, b"f00.txt\n")
            time.sleep(0.05)
            process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(timeout=120)
            if process.returncode == 0:
                self.skipTest("the pack finished before the interrupt reached it")
            self.assertEqual(process.returncode, 130, stderr)
            self.assertEqual(stderr.decode().splitlines(),
                             [f"tarnwad: {out}: interrupted: not written"])
            self.assertNotIn(b"Packed", stdout)
            self.assertFalse(os.path.exists(out))
            self.assert_no_temporary_files()


if __name__ == "__main__":
    test_tarnwad.main()
