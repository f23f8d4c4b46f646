"""`tarnwad mount` and `tarnwad umount` through FUSE, as a user runs them.

    test_mount.py --tarnwad PATH --make-archives PATH [unittest arguments]

Every mount is on a new temporary directory and is unmounted in the test's
cleanup, whatever happens. When this machine cannot mount at all (the tool
was built without libfuse3, /dev/fuse is missing or cannot be opened, the
kernel has no FUSE), the script says why and exits 77, which CTest counts as
skipped: it never passes without mounting.
"""

import errno
import hashlib
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_large_archives  # noqa: E402
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import run  # noqa: E402

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SAMPLE = os.path.join(SOURCE, "examples", "sample.wad")
SKIPPED = 77


def environment_problem():
    """Why this machine cannot mount, or None."""
    result = run("mount", "--no-probe", "/nonexistent/a.wad", "/nonexistent/mnt")
    if b"cannot mount archives" in result.stderr:
        return "this tarnwad was built without FUSE (libfuse3-dev was not found)"
    try:
        with open("/proc/filesystems") as f:
            if not any(line.split()[-1:] == ["fuse"] for line in f):
                return "the kernel has no FUSE file system (/proc/filesystems)"
    except OSError as error:
        return f"/proc/filesystems cannot be read: {error}"
    try:
        os.close(os.open("/dev/fuse", os.O_RDWR))
    except OSError as error:
        return f"/dev/fuse cannot be opened: {error.strerror}"
    if os.geteuid() != 0 and not shutil.which("fusermount3"):
        return "not root, and fusermount3 (Debian's fuse3) is not installed"
    return None


def mount_processes(mount_point):
    """The pids of the tarnwad processes serving `mount_point`."""
    pids = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/cmdline", "rb") as f:
                words = f.read().split(b"\0")
        except OSError:
            continue
        if (os.path.basename(words[0]) == b"tarnwad" and b"mount" in words
                and mount_point.encode() in words):
            pids.append(int(name))
    return pids


def wait_until(condition, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


def pid_alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ")[-1][:1] != "Z"
    except OSError:
        return False


def noise(count, seed):
    return random.Random(seed).randbytes(count)


def text(count, seed):
    """`count` bytes of text that codes well, different for each seed."""
    rng = random.Random(seed)
    words = [b"tile", b"rock", b"gust", b"wind", b"map", b"lua", b"spr", b"ogg"]
    out = bytearray()
    while len(out) < count:
        out += b"%s %d %s\n" % (rng.choice(words), rng.randrange(1000), rng.choice(words))
    return bytes(out[:count])


def digest(data):
    return hashlib.sha256(data).hexdigest()


class MountTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-mount-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        subprocess.run([test_tarnwad.MAKE_ARCHIVES, self.dir], check=True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def new_mount_point(self):
        return tempfile.mkdtemp(prefix="mnt-", dir=self.dir)

    def cleanup_mount(self, mount_point, process=None):
        """Unmounts by any means and ends what serves it: for cleanups."""
        if os.path.ismount(mount_point):
            if run("umount", mount_point).returncode != 0:
                subprocess.run(["umount", "-l", mount_point], capture_output=True)
        for pid in mount_processes(mount_point):
            if not wait_until(lambda: not pid_alive(pid), 5):
                os.kill(pid, signal.SIGKILL)
        if process is not None and process.poll() is None:
            process.kill()
            process.wait(10)

    def mount(self, archive, *options, env=None):
        """Mounts in the background on a new directory; (mount point, pid)."""
        mount_point = self.new_mount_point()
        self.addCleanup(self.cleanup_mount, mount_point)
        result = subprocess.run([test_tarnwad.TARNWAD, "mount", *options, archive, mount_point],
                                capture_output=True, timeout=120, env=env, cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        # The parent returns only once the mount answers.
        self.assertTrue(os.path.ismount(mount_point))
        pids = mount_processes(mount_point)
        self.assertEqual(len(pids), 1, pids)
        return mount_point, pids[0]

    def mount_in_foreground(self, archive, *options, env=None):
        """Mounts with -f; (mount point, process, its stderr file)."""
        mount_point = self.new_mount_point()
        stderr = open(self.path(os.path.basename(mount_point) + ".stderr"), "w+b")
        self.addCleanup(stderr.close)
        process = subprocess.Popen([test_tarnwad.TARNWAD, "mount", "-f", *options, archive,
                                    mount_point], stdout=subprocess.DEVNULL, stderr=stderr,
                                   env=env, cwd=self.dir)
        self.addCleanup(self.cleanup_mount, mount_point, process)
        self.assertTrue(wait_until(lambda: os.path.ismount(mount_point) or
                                   process.poll() is not None, 30))
        self.assertIsNone(process.poll(), self.read_stderr(stderr))
        self.assertTrue(os.path.ismount(mount_point))
        return mount_point, process, stderr

    @staticmethod
    def read_stderr(stderr):
        stderr.seek(0)
        return stderr.read().decode(errors="replace")

    def unmount(self, mount_point, pid=None, process=None):
        """`tarnwad umount`, then the serving process is gone."""
        result = run("umount", mount_point)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertFalse(os.path.ismount(mount_point))
        if pid is not None:
            self.assertTrue(wait_until(lambda: not pid_alive(pid)),
                            f"process {pid} still serves {mount_point}")
        if process is not None:
            self.assertEqual(process.wait(10), 0)
        self.assertEqual(mount_processes(mount_point), [])

    def unpack(self, archive, *patterns):
        out = tempfile.mkdtemp(prefix="unpacked-", dir=self.dir)
        run("unpack", "-q", "--no-probe", "-o", out, archive, *patterns, cwd=self.dir,
            check_code=0)
        return out

    def assert_same_tree(self, expected, mounted):
        result = subprocess.run(["diff", "-r", expected, mounted], capture_output=True,
                                timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace")[-3000:])
        self.assertEqual(test_tarnwad.tree(mounted), test_tarnwad.tree(expected))
        # Empty directories too.
        dirs = lambda root: sorted(os.path.relpath(here, root) for here, _, _ in os.walk(root))
        self.assertEqual(dirs(mounted), dirs(expected))

    def write_tree(self, files):
        root = tempfile.mkdtemp(prefix="src-", dir=self.dir)
        test_tarnwad.write_tree(root, files)
        return root

    def pack(self, root, codec, name):
        archive = self.path(name)
        run("pack", "-q", "--codec", codec, "-o", archive, root, check_code=0)
        return archive


class SampleArchiveTest(MountTestCase):
    def test_the_sample_archive_shows_what_unpack_writes(self):
        mount_point, pid = self.mount(SAMPLE)
        self.assert_same_tree(self.unpack(SAMPLE), mount_point)
        archive_time = int(os.stat(SAMPLE).st_mtime)
        for here, dirs, files in os.walk(mount_point):
            for name in dirs + files:
                self.assertEqual(name, name.lower())
            info = os.stat(here)
            self.assertEqual(stat.S_IMODE(info.st_mode), 0o555, here)
            self.assertEqual(info.st_nlink, 2 + len(dirs), here)
            self.assertEqual(int(info.st_mtime), archive_time, here)
            for name in files:
                info = os.stat(os.path.join(here, name))
                self.assertTrue(stat.S_ISREG(info.st_mode), name)
                self.assertEqual(stat.S_IMODE(info.st_mode), 0o444, name)
                self.assertEqual(int(info.st_mtime), archive_time, name)
        with open("/proc/self/mountinfo") as f:
            line = next(line for line in f if f" {mount_point} " in line)
        self.assertIn(" - fuse.tarnwad ", line)
        self.assertIn(SAMPLE, line)
        self.unmount(mount_point, pid)

    def test_it_is_read_only(self):
        mount_point, pid = self.mount(SAMPLE)
        for attempt in (lambda: open(os.path.join(mount_point, "readme.txt"), "r+b"),
                        lambda: open(os.path.join(mount_point, "new.txt"), "wb"),
                        lambda: os.mkdir(os.path.join(mount_point, "new")),
                        lambda: os.unlink(os.path.join(mount_point, "readme.txt")),
                        lambda: os.rename(os.path.join(mount_point, "readme.txt"),
                                          os.path.join(mount_point, "x.txt"))):
            with self.assertRaises(OSError) as caught:
                attempt()
            self.assertEqual(caught.exception.errno, errno.EROFS)
        self.unmount(mount_point, pid)

    def test_a_foreground_mount_ends_when_unmounted_or_told_to(self):
        mount_point, process, stderr = self.mount_in_foreground(SAMPLE)
        self.assertIn("readme.txt", os.listdir(mount_point))
        self.unmount(mount_point, process=process)
        self.assertEqual(self.read_stderr(stderr), "")
        for sent in (signal.SIGINT, signal.SIGTERM):
            mount_point, process, _ = self.mount_in_foreground(SAMPLE)
            process.send_signal(sent)
            self.assertEqual(process.wait(10), 0, sent)
            self.assertFalse(os.path.ismount(mount_point), sent)

    def test_unmounting_a_busy_mount_fails_and_keeps_it(self):
        mount_point, pid = self.mount(SAMPLE)
        with open(os.path.join(mount_point, "readme.txt"), "rb") as busy:
            result = run("umount", mount_point)
            self.assertEqual(result.returncode, 2)
            self.assertRegex(result.stderr.decode(), r"^tarnwad: umount: .*busy")
            self.assertTrue(os.path.ismount(mount_point))
            self.assertGreater(len(busy.read()), 0)
        self.unmount(mount_point, pid)


class CodingsTest(MountTestCase):
    FILES = {
        "GroundTile.png": noise(3000, 1),
        "ReadMe.TXT": b"Read me.\n",
        "Maps/Level1/Layout.txt": text(70000, 2),
        "Maps/Level1/heights.bin": noise(300000, 3),
        "Maps/Level2/Scripts/Intro.lua": text(2000, 4),
        "sounds/empty.raw": b"",
        "sounds/wind.txt": text(1500000, 5),
        "deep/a/b/c/d/e/f/g/h/leaf.txt": text(100, 6),
    }

    def test_every_coding_shows_what_unpack_writes(self):
        source = self.write_tree(self.FILES)
        expected = {path.lower(): data for path, data in self.FILES.items()}
        for codec in ("stored", "lz", "zlib"):
            with self.subTest(codec=codec):
                archive = self.pack(source, codec, f"all-{codec}.wad")
                entries = self.json_codings(archive)
                if codec != "stored":
                    # Text that codes well is coded as asked.
                    self.assertEqual(entries["sounds/wind.txt"], codec)
                    self.assertEqual(entries["maps/level1/layout.txt"], codec)
                mount_point, pid = self.mount(archive)
                self.assertEqual(test_tarnwad.tree(mount_point), expected)
                self.assert_same_tree(self.unpack(archive), mount_point)
                self.unmount(mount_point, pid)

    def json_codings(self, archive):
        import json
        out = run("list", "--json", archive, check_code=0).stdout.decode()
        return {entry["path"]: entry["coding"] for entry in map(json.loads, out.splitlines())}

    def test_archives_of_every_format_version(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                archive = self.path(f"plain-v{version}.wad")
                mount_point, pid = self.mount(archive)
                self.assertEqual(test_tarnwad.tree(mount_point), test_tarnwad.plain_tree())
                self.assert_same_tree(self.unpack(archive), mount_point)
                self.unmount(mount_point, pid)


class LargeArchiveTest(MountTestCase):
    def test_an_archive_beyond_2_gib_shows_what_unpack_writes(self):
        expected = test_large_archives.write_big_archive(self.dir)
        mount_point, pid = self.mount("big.wad")
        huge = os.path.join(mount_point, test_large_archives.HUGE)
        self.assertEqual(os.path.getsize(huge), test_large_archives.HUGE_SIZE)
        with open(huge, "rb") as f:
            f.seek(-4096, os.SEEK_END)
            self.assertEqual(f.read(), test_large_archives.huge_entry_bytes(self.dir, 4096))
        self.assertEqual(sorted(os.listdir(mount_point)),
                         sorted({p.split("/")[0] for p in expected} | {test_large_archives.HUGE}))
        for path, data in expected.items():
            with open(os.path.join(mount_point, path), "rb") as f:
                self.assertEqual(f.read(), data, path)
        self.unmount(mount_point, pid)


class ShrinkingArchiveTest(MountTestCase):
    def test_reads_of_an_archive_cut_while_mounted_fail_instead_of_ending_early(self):
        archive = self.path("shrinking.wad")
        wad_bytes.write(archive, [wad_bytes.Entry("groundtile.png", b"g"),
                                  wad_bytes.Entry("big.bin", noise(1 << 20, 7))])
        mount_point, process, stderr = self.mount_in_foreground("shrinking.wad")
        self.assertEqual(os.path.getsize(os.path.join(mount_point, "big.bin")), 1 << 20)
        os.truncate(archive, 300000)
        copy = subprocess.run(["cp", os.path.join(mount_point, "big.bin"), self.path("copy")],
                              capture_output=True, timeout=60)
        self.assertNotEqual(copy.returncode, 0)
        self.assertIn(b"Input/output error", copy.stderr)
        self.unmount(mount_point, process=process)
        self.assertIn("tarnwad: mount: shrinking.wad: big.bin: the archive file was cut short "
                      "while mounted; reads fail", self.read_stderr(stderr).splitlines())


class ConcurrentReadsTest(MountTestCase):
    def test_eight_threads_read_the_same_and_different_entries_byte_for_byte(self):
        files = {"groundtile.png": noise(1000, 9)}
        for i in range(8):
            files[f"dir{i % 3}/text{i}.txt"] = text(600000 + 1000 * i, 20 + i)
            files[f"dir{i % 3}/noise{i}.bin"] = noise(200000 + 999 * i, 40 + i)
        shared = "dir0/text0.txt"
        source = self.write_tree(files)
        for codec in ("stored", "lz", "zlib"):
            with self.subTest(codec=codec):
                archive = self.pack(source, codec, f"threads-{codec}.wad")
                mount_point, pid = self.mount(archive)
                failures = []

                def reader(index):
                    rng = random.Random(index)
                    own = [f"dir{index % 3}/text{index}.txt", f"dir{index % 3}/noise{index}.bin"]
                    try:
                        for _ in range(3):
                            for name in own + [shared]:
                                expected = files[name]
                                with open(os.path.join(mount_point, name), "rb") as f:
                                    # Whole, then in random pieces.
                                    if digest(f.read()) != digest(expected):
                                        failures.append(f"{name}: whole read differs")
                                    fd = f.fileno()
                                    for _ in range(40):
                                        at = rng.randrange(len(expected))
                                        size = rng.choice((1, 100, 4096, 65536, 200000))
                                        if os.pread(fd, size, at) != expected[at:at + size]:
                                            failures.append(f"{name}: {size} bytes at {at}")
                    except OSError as error:
                        failures.append(f"thread {index}: {error}")

                threads = [threading.Thread(target=reader, args=(i,)) for i in range(8)]
                for thread in threads:
                    thread.start()
                for thread in threads:
                    thread.join(120)
                self.assertEqual(failures, [])
                self.unmount(mount_point, pid)


class DecodeOnceTest(MountTestCase):
    SIZE = 16 << 20

    def stats(self, path):
        with open(path) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 1, lines)
        return {key: int(value) for key, value in (word.split("=") for word in lines[0].split())}

    def big_archive(self):
        data = text(self.SIZE, 77)
        source = self.write_tree({"groundtile.png": b"g", "big/level.txt": data})
        archive = self.pack(source, "zlib", "big.wad")
        out = run("list", "--json", archive, check_code=0).stdout.decode()
        self.assertIn('"coding":"zlib"', out.replace(" ", ""))
        return archive, data

    def random_reads(self, mount_point, data, threads=8, opens=5, reads=250):
        path = os.path.join(mount_point, "big", "level.txt")
        failures = []

        def reader(index):
            rng = random.Random(1000 + index)
            try:
                for _ in range(opens):
                    with open(path, "rb", buffering=0) as f:
                        for _ in range(reads):
                            at = rng.randrange(0, self.SIZE - 4096) & ~4095
                            if os.pread(f.fileno(), 4096, at) != data[at:at + 4096]:
                                failures.append(at)
            except OSError as error:
                failures.append(str(error))

        workers = [threading.Thread(target=reader, args=(i,)) for i in range(threads)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join(300)
        self.assertEqual(failures, [])

    def test_random_4k_reads_in_a_16_mib_zlib_entry_decode_it_once(self):
        archive, data = self.big_archive()
        stats = self.path("stats.txt")
        env = dict(os.environ, TARNWAD_MOUNT_STATS=stats)
        mount_point, pid = self.mount(archive, env=env)
        self.assertEqual(os.path.getsize(os.path.join(mount_point, "big", "level.txt")),
                         self.SIZE)
        # 8 threads, 5 opens each, 10,000 reads of 4 KiB in all.
        self.random_reads(mount_point, data)
        self.unmount(mount_point, pid)
        figures = self.stats(stats)
        self.assertEqual(figures["opens"], 40)
        self.assertEqual(figures["decodes"], 1)
        self.assertEqual(figures["hits"], 39)
        self.assertEqual(figures["uncached"], 0)
        self.assertEqual(figures["cached_bytes"], self.SIZE)

    def test_an_entry_over_the_cache_budget_is_decoded_for_each_open(self):
        archive, data = self.big_archive()
        stats = self.path("stats.txt")
        env = dict(os.environ, TARNWAD_MOUNT_STATS=stats)
        mount_point, process, _ = self.mount_in_foreground(archive, "--cache-size", "1M",
                                                           env=env)
        self.random_reads(mount_point, data, threads=1, opens=3, reads=50)
        self.unmount(mount_point, process=process)
        figures = self.stats(stats)
        self.assertEqual(figures["opens"], 3)
        self.assertEqual(figures["decodes"], 3)
        self.assertEqual(figures["uncached"], 3)
        self.assertEqual(figures["cached_bytes"], 0)


class LeftOutEntriesTest(MountTestCase):
    def test_a_broken_entry_gives_eio_while_its_neighbours_read(self):
        archive = self.path("broken.wad")
        good = text(50000, 3)
        wad_bytes.write(archive, [
            wad_bytes.Entry("groundtile.png", b"g"),
            wad_bytes.Entry("bad.lz", bytes([0x10, 0xFB, 0x00, 0x00, 0x09, 0xE0]),
                            flags=wad_bytes.FLAG_LZ, unpacked_size=9),
            wad_bytes.Entry("maps\\outside.bin", b"x" * 10, data_offset=1 << 20),
            wad_bytes.Entry("maps\\fine.txt", good),
            wad_bytes.Entry("..\\escaped.txt", b"e"),
        ])
        mount_point, process, stderr = self.mount_in_foreground("broken.wad")
        self.assertEqual(sorted(os.listdir(mount_point)), ["bad.lz", "groundtile.png", "maps"])
        for _ in range(3):
            for broken in ("bad.lz", "maps/outside.bin"):
                with self.assertRaises(OSError) as caught:
                    with open(os.path.join(mount_point, broken), "rb") as f:
                        f.read()
                self.assertEqual(caught.exception.errno, errno.EIO, broken)
            with open(os.path.join(mount_point, "maps", "fine.txt"), "rb") as f:
                self.assertEqual(f.read(), good)
            with open(os.path.join(mount_point, "groundtile.png"), "rb") as f:
                self.assertEqual(f.read(), b"g")
        self.unmount(mount_point, process=process)
        lines = self.read_stderr(stderr).splitlines()
        self.assertEqual([line for line in lines if "bad.lz" in line],
                         ["tarnwad: mount: broken.wad: bad.lz: does not decode: the LZ data "
                          "ends early, before its stop command; reads fail"])
        self.assertEqual([line for line in lines if "outside.bin" in line],
                         ["tarnwad: mount: broken.wad: maps/outside.bin: its data (bytes 1048576 "
                          "to 1048586) lies outside the %d-byte file; reads fail"
                          % os.path.getsize(archive)])
        self.assertTrue(any("escaped.txt" in line and "is not shown" in line for line in lines),
                        lines)

    def test_refused_hidden_and_unsafe_entries_are_absent_as_unpack_leaves_them_out(self):
        for name in ("refused.wad", "duplicate.wad", "hostile.wad"):
            with self.subTest(archive=name):
                archive = self.path(name)
                mount_point, pid = self.mount(archive)
                unpacked = tempfile.mkdtemp(prefix="unpacked-", dir=self.dir)
                # hostile.wad fails to unpack in part (exit 1), as it should.
                run("unpack", "-q", "-o", unpacked, archive, cwd=self.dir)
                if name == "hostile.wad":
                    # bad.lz is shown, but reads fail (EIO); unpack cannot
                    # write it. Everything else is the same.
                    self.assertEqual(sorted(os.listdir(mount_point)),
                                     ["bad.lz", "fine.txt", "groundtile.png"])
                    self.assertEqual(sorted(os.listdir(unpacked)), ["fine.txt", "groundtile.png"])
                    with self.assertRaises(OSError):
                        with open(os.path.join(mount_point, "bad.lz"), "rb") as f:
                            f.read()
                    for shown in ("fine.txt", "groundtile.png"):
                        with open(os.path.join(mount_point, shown), "rb") as f, \
                                open(os.path.join(unpacked, shown), "rb") as g:
                            self.assertEqual(f.read(), g.read())
                else:
                    self.assert_same_tree(unpacked, mount_point)
                self.unmount(mount_point, pid)
        # What each leaves out.
        mount_point, pid = self.mount(self.path("refused.wad"))
        self.assertEqual(os.listdir(os.path.join(mount_point, "secret")), [])
        self.unmount(mount_point, pid)
        mount_point, pid = self.mount(self.path("duplicate.wad"))
        with open(os.path.join(mount_point, "groundtile.png"), "rb") as f:
            self.assertEqual(f.read(), b"first")
        self.unmount(mount_point, pid)


class InnerRootTest(MountTestCase):
    def test_a_directory_inside_the_archive_mounts_its_sub_tree(self):
        archive = self.path("plain-v2.wad")
        unpacked = self.unpack(archive, "maps")
        for argument, below in (("plain-v2.wad*/maps", "maps"),
                                ("plain-v2.wad*\\Maps\\", "maps"),
                                ("plain-v2.wad*/maps/level1", "maps/level1")):
            with self.subTest(argument=argument):
                mount_point, pid = self.mount(argument)
                self.assert_same_tree(os.path.join(unpacked, below), mount_point)
                self.unmount(mount_point, pid)

    def test_a_missing_directory_inside_the_archive_is_an_error(self):
        mount_point = self.new_mount_point()
        result = run("mount", "plain-v2.wad*/nowhere", mount_point, cwd=self.dir)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr.decode(),
                         "tarnwad: mount: plain-v2.wad: has no directory nowhere to mount\n")
        self.assertFalse(os.path.ismount(mount_point))


class ErrorsTest(MountTestCase):
    def assert_mount_error(self, args, pattern, cwd=None):
        result = run("mount", *args, cwd=cwd or self.dir)
        self.assertEqual(result.returncode, 2, (args, result.stderr))
        message = result.stderr.decode()
        self.assertRegex(message, r"^tarnwad: mount: ", args)
        self.assertRegex(message, pattern, args)
        self.assertEqual(result.stdout, b"", args)
        for arg in args:
            if os.path.isdir(os.path.join(cwd or self.dir, arg)):
                self.assertFalse(os.path.ismount(os.path.join(cwd or self.dir, arg)), args)
                self.assertEqual(mount_processes(os.path.join(cwd or self.dir, arg)), [])
        return message

    def test_mount_points_that_cannot_be_mounted_on(self):
        full = self.new_mount_point()
        with open(os.path.join(full, "x"), "w") as f:
            f.write("x")
        self.assert_mount_error(["plain-v2.wad", os.path.basename(full)], r": is not empty")
        self.assertEqual(os.listdir(full), ["x"])
        self.assert_mount_error(["plain-v2.wad", "missing-dir"], r"missing-dir: no such directory")
        self.assert_mount_error(["plain-v2.wad", "plain-v0.wad"], r"plain-v0.wad: is not a "
                                                                   r"directory")

    def test_what_is_not_a_game_archive(self):
        empty = self.new_mount_point()
        with open(self.path("notes.txt"), "w") as f:
            f.write("not an archive at all, but long enough to hold a whole header " * 3)
        self.assert_mount_error(["notes.txt", empty], r"notes.txt: is not a WAD archive")
        self.assert_mount_error(["missing.wad", empty], r"missing.wad: cannot be opened: no such file")
        wad_bytes.write_placed(self.path("over.wad"), [
            wad_bytes.Entry("groundtile.png", b"g", data_offset=4096)], (4 << 30) + 1, 2048)
        self.assert_mount_error(["over.wad", empty], r"over.wad: is too large to be a WAD "
                                                     r"archive: an archive holds at most 4 GiB - 1")
        message = self.assert_mount_error(["foreign.wad", empty], r"is not a Tarnhollow archive")
        self.assertIn("add --no-probe to mount it anyway", message)
        mount_point, pid = self.mount("foreign.wad", "--no-probe")
        self.assertEqual(os.listdir(mount_point), ["other.txt"])
        self.unmount(mount_point, pid)

    def test_bad_cache_sizes_are_usage_errors(self):
        empty = self.new_mount_point()
        for size in ("12X", "-1", "1.5G", ""):
            self.assert_mount_error(["--cache-size", size, "plain-v2.wad", empty],
                                    r"--cache-size")

    def in_a_namespace_without_dev_fuse(self, make_device):
        """Runs the mount in a mount namespace whose /dev is a new tmpfs, with
        `make_device` (shell) run in it first."""
        if not shutil.which("unshare") or os.geteuid() != 0:
            self.skipTest("needs root and unshare(1) to hide /dev/fuse in a mount namespace")
        probe = subprocess.run(["unshare", "-m", "sh", "-c", "mount -t tmpfs none /dev"],
                               capture_output=True, timeout=60)
        if probe.returncode != 0:
            self.skipTest(f"no mount namespace can be made here: {probe.stderr!r}")
        empty = self.new_mount_point()
        script = (f"mount -t tmpfs none /dev && {make_device} && "
                  f'exec "$0" mount plain-v2.wad "$1"')
        result = subprocess.run(["unshare", "-m", "sh", "-c", script, test_tarnwad.TARNWAD,
                                 empty], capture_output=True, timeout=60, cwd=self.dir)
        self.assertFalse(os.path.ismount(empty))
        return result

    def test_a_missing_or_unopenable_fuse_device(self):
        for make_device, why in (("true", "No such file or directory"),
                                 ("mkdir /dev/fuse", "Is a directory")):
            with self.subTest(device=make_device):
                result = self.in_a_namespace_without_dev_fuse(make_device)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(result.stderr.decode().splitlines()[0][:len(
                    "tarnwad: mount: /dev/fuse cannot be opened: " + why)],
                    "tarnwad: mount: /dev/fuse cannot be opened: " + why)

    def test_umount_through_the_symbolic_link_mount_was_given(self):
        target = self.new_mount_point()
        link = self.path("link-to-dir")
        os.symlink(os.path.basename(target), link)
        self.addCleanup(self.cleanup_mount, target)
        run("mount", "plain-v2.wad", "link-to-dir", cwd=self.dir, check_code=0)
        self.assertTrue(os.path.ismount(target))
        run("umount", "link-to-dir", cwd=self.dir, check_code=0)
        self.assertFalse(os.path.ismount(target))

    def test_umount_of_what_is_not_a_tarnwad_mount(self):
        empty = self.new_mount_point()
        for target, pattern in ((empty, r"nothing is mounted there"),
                                (self.path("missing"), r"no such directory"),
                                ("/proc", r"is not a tarnwad mount \(it is proc\)")):
            result = run("umount", target)
            self.assertEqual(result.returncode, 2, target)
            self.assertRegex(result.stderr.decode(), r"^tarnwad: umount: .*" + pattern)


def main():
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarnwad", required=True)
    parser.add_argument("--make-archives", required=True)
    known, rest = parser.parse_known_args()
    test_tarnwad.TARNWAD = os.path.abspath(known.tarnwad)
    test_tarnwad.MAKE_ARCHIVES = os.path.abspath(known.make_archives)
    problem = environment_problem()
    if problem is not None:
        print(f"test_mount.py: SKIPPED, this machine cannot mount: {problem}", flush=True)
        sys.exit(SKIPPED)
    unittest.main(module="__main__", argv=[sys.argv[0], *rest])


if __name__ == "__main__":
    main()
