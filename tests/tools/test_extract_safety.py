"""What an archive, or what already lies on disk, can make `tarnwad unpack` do:
never write outside its output directory, never crash, never hang. Every
case runs with the in-order copy (-j 1) and the threaded one (-j 3), and
checks the disk afterwards.

    test_extract_safety.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import fcntl
import os
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402

JOBS = ("1", "3")
F_SETPIPE_SZ = 1031


def unpack(*args, cwd, jobs, timeout=60, limits=None):
    return subprocess.run([test_tarnwad.TARNWAD, "unpack", "-j", jobs, *args], cwd=cwd,
                          capture_output=True, timeout=timeout, preexec_fn=limits)


def snapshot(root):
    """Everything below root: path -> what it is (bytes, link target, type)."""
    seen = {}
    for here, directories, files in os.walk(root):
        for name in directories + files:
            path = os.path.join(here, name)
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                seen[path] = ("link", os.readlink(path))
            elif stat.S_ISREG(mode):
                with open(path, "rb") as f:
                    seen[path] = ("file", f.read())
            else:
                seen[path] = ("other", stat.S_IFMT(mode))
    return seen


def remove_tree(path):
    # shutil.rmtree recurses once per level, too deep for the deep trees here.
    subprocess.run(["rm", "-rf", "--", path], check=True)


def temporary_files(root):
    return [os.path.join(here, name) for here, _, files in os.walk(root) for name in files
            if name.startswith(".Tarnwad-")]


class SafetyTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-safety-")
        self.addCleanup(remove_tree, self.dir)
        # Stands for the user's files outside the output directory.
        self.outside = os.path.join(self.dir, "outside")
        os.makedirs(os.path.join(self.outside, "sub"))
        with open(os.path.join(self.outside, "target.txt"), "wb") as f:
            f.write(b"the user's own bytes")

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write_archive(self, name, entries):
        wad_bytes.write(self.path(name), [wad_bytes.Entry("groundtile.png", b"tile")] + entries)

    def fresh_output(self, name="out"):
        out = self.path(name)
        remove_tree(out)
        os.makedirs(out)
        return out

    def assert_outside_untouched(self, before):
        self.assertEqual(snapshot(self.outside), before)


class LinkTest(SafetyTest):
    def test_a_link_of_a_files_name_is_replaced_never_written_through(self):
        self.write_archive("a.wad", [wad_bytes.Entry("victim.txt", b"archive bytes"),
                                     wad_bytes.Entry("new.txt", b"new")])
        before = snapshot(self.outside)
        for jobs in JOBS:
            out = self.fresh_output()
            os.symlink(os.path.join(self.outside, "target.txt"), os.path.join(out, "victim.txt"))
            os.symlink(os.path.join(self.outside, "missing.txt"), os.path.join(out, "new.txt"))
            result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assert_outside_untouched(before)
            for name, data in (("victim.txt", b"archive bytes"), ("new.txt", b"new")):
                full = os.path.join(out, name)
                self.assertFalse(os.path.islink(full), (jobs, name))
                with open(full, "rb") as f:
                    self.assertEqual(f.read(), data)
            self.assertFalse(os.path.exists(os.path.join(self.outside, "missing.txt")))

    def test_a_link_of_a_directorys_name_is_never_entered(self):
        self.write_archive("a.wad", [wad_bytes.Entry("maps\\level.txt", b"level"),
                                     wad_bytes.Entry("maps\\deeper\\x.txt", b"x")])
        before = snapshot(self.outside)
        for jobs in JOBS:
            for target in (self.outside, os.path.join(self.outside, "sub"), "/nonexistent"):
                out = self.fresh_output()
                os.symlink(target, os.path.join(out, "maps"))
                result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs)
                self.assertEqual(result.returncode, 1, (jobs, target))
                self.assertIn(b"maps/: directory cannot be created: a symbolic link is in its place",
                              result.stderr)
                self.assert_outside_untouched(before)
                self.assertNotIn(b"Finished", result.stdout + result.stderr)

    def test_a_link_as_the_default_output_directory_is_refused(self):
        self.write_archive("level.wad", [wad_bytes.Entry("a.txt", b"a")])
        os.symlink(self.outside, self.path("level"))
        before = snapshot(self.outside)
        for jobs in JOBS:
            result = unpack("level.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn(b"symbolic link", result.stderr)
            self.assertIn(b"Unable to unpack WAD file", result.stderr)
            self.assert_outside_untouched(before)


    def test_a_directory_swapped_for_a_link_mid_copy_is_never_written_through(self):
        # The tool names each file on a pipe too small for more than a few
        # names: stopped once it is filling "d", it cannot be far ahead.
        names = ["d\\" + f"f{i:03}" + "x" * 150 for i in range(300)]
        self.write_archive("a.wad", [wad_bytes.Entry(name, b"bytes") for name in names])
        before = snapshot(self.outside)
        for jobs in JOBS:
            out = self.fresh_output()
            reader, writer = os.pipe()
            fcntl.fcntl(writer, F_SETPIPE_SZ, 4096)
            tool = subprocess.Popen([test_tarnwad.TARNWAD, "unpack", "-v", "-j", jobs, "-o", out,
                                     "a.wad"], cwd=self.dir, stdout=writer,
                                    stderr=subprocess.PIPE)
            os.close(writer)
            with os.fdopen(reader, "rb") as names_shown:
                while b"f020" not in names_shown.readline():
                    pass
                test_tarnwad.stop_process(tool)
                os.rename(os.path.join(out, "d"), os.path.join(out, "d.moved"))
                os.symlink(self.outside, os.path.join(out, "d"))
                tool.send_signal(signal.SIGCONT)
                errors = []
                drain = threading.Thread(target=lambda: errors.append(tool.stderr.read()))
                drain.start()
                names_shown.read()
                drain.join()
            tool.stderr.close()
            self.assertEqual(tool.wait(timeout=60), 1, jobs)
            self.assert_outside_untouched(before)
            self.assertIn(b"cannot be created: a symbolic link is in the way", errors[0])
            written = len(os.listdir(os.path.join(out, "d.moved")))
            self.assertEqual(errors[0].count(b"cannot be created"), 300 - written, jobs)
            self.assertEqual(temporary_files(out), [])


class OutputNameTest(SafetyTest):
    def test_archive_names_that_give_no_new_directory_are_refused(self):
        os.makedirs(self.path("games"))
        with open(self.path("victim.txt"), "wb") as f:
            f.write(b"beside the games folder")
        for name in ("...wad", "..wad"):
            wad_bytes.write(self.path("games", name), [
                wad_bytes.Entry("groundtile.png", b"tile"),
                wad_bytes.Entry("victim.txt", b"from the archive")])
        before = snapshot(self.dir)
        for jobs in JOBS:
            for name, directory in (("...wad", ".."), ("..wad", ".")):
                result = unpack(name, cwd=self.path("games"), jobs=jobs)
                self.assertEqual(result.returncode, 1, (jobs, name))
                self.assertIn(f'it would be named "{directory}"'.encode(), result.stderr)
                self.assertEqual(snapshot(self.dir), before, (jobs, name))


class ObstacleTest(SafetyTest):
    def test_an_obstacle_loses_only_what_lies_beneath_it(self):
        self.write_archive("a.wad", [wad_bytes.Entry("a\\z", b"z"), wad_bytes.Entry("b\\w", b"w"),
                                     wad_bytes.Entry("c\\v", b"v"), wad_bytes.Entry("x", b"x")])
        for jobs in JOBS:
            out = self.fresh_output()
            with open(os.path.join(out, "b"), "wb") as f:
                f.write(b"stray")
            result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, (jobs, result.stderr))
            self.assertIn(b"b/: directory cannot be created: a file is in its place",
                          result.stderr)
            self.assertIn(b"b/w: skipped", result.stderr)
            self.assertEqual(result.stderr.count(b"tarnwad:"), 2, result.stderr)
            for name, data in (("a/z", b"z"), ("c/v", b"v"), ("x", b"x"), ("b", b"stray")):
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), data, (jobs, name))


class ProtectedFileTest(SafetyTest):
    def test_the_archive_itself_and_read_only_files_are_never_replaced(self):
        self.write_archive("level.wad", [wad_bytes.Entry("level.wad", b"an entry"),
                                         wad_bytes.Entry("alias.wad", b"another entry"),
                                         wad_bytes.Entry("kept.txt", b"new"),
                                         wad_bytes.Entry("free.txt", b"new")])
        with open(self.path("level.wad"), "rb") as f:
            archive = f.read()
        os.link(self.path("level.wad"), self.path("alias.wad"))
        for jobs in JOBS:
            with open(self.path("kept.txt"), "wb") as f:
                f.write(b"edited by hand")
            os.chmod(self.path("kept.txt"), 0o444)
            with open(self.path("free.txt"), "wb") as f:
                f.write(b"old")
            result = unpack("-o", ".", "level.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, (jobs, result.stderr))
            for name in (b"level.wad", b"alias.wad"):
                self.assertIn(name + b": not written: the archive being unpacked has its name",
                              result.stderr)
            self.assertIn(b"kept.txt: not written: a read-only file of its name is kept",
                          result.stderr)
            for name, data in (("level.wad", archive), ("alias.wad", archive),
                               ("kept.txt", b"edited by hand"), ("free.txt", b"new")):
                with open(self.path(name), "rb") as f:
                    self.assertEqual(f.read(), data, (jobs, name))
            os.chmod(self.path("kept.txt"), 0o644)


class DepthTest(SafetyTest):
    def test_a_thousand_nested_directories_unpack_without_crashing(self):
        deep = "\\".join(["d"] * 1000) + "\\leaf.txt"
        self.write_archive("deep.wad", [wad_bytes.Entry(deep, b"down here")])
        self.assertLess(os.path.getsize(self.path("deep.wad")), 4096)
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "deep.wad", cwd=self.dir, jobs=jobs, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr[-500:])
            with open(os.path.join(out, *deep.split("\\")), "rb") as f:
                self.assertEqual(f.read(), b"down here")


class SpecialFileTest(SafetyTest):
    def test_fifos_and_devices_in_an_entrys_place_fail_without_hanging(self):
        self.write_archive("a.wad", [wad_bytes.Entry("fifo.bin", b"for the fifo"),
                                     wad_bytes.Entry("device.bin", b"for the device"),
                                     wad_bytes.Entry("null-link.bin", b"for the link"),
                                     wad_bytes.Entry("plain.txt", b"plain")])
        for jobs in JOBS:
            out = self.fresh_output()
            os.mkfifo(os.path.join(out, "fifo.bin"))
            has_device = True
            try:
                os.mknod(os.path.join(out, "device.bin"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            except PermissionError:
                has_device = False
            os.symlink("/dev/null", os.path.join(out, "null-link.bin"))
            result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs, timeout=30)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertNotIn(b"Finished", result.stdout + result.stderr)
            self.assertIn(b"fifo.bin: cannot be created: a FIFO, device or socket is in its place",
                          result.stderr)
            self.assertTrue(stat.S_ISFIFO(os.lstat(os.path.join(out, "fifo.bin")).st_mode))
            if has_device:
                self.assertIn(b"device.bin: cannot be created", result.stderr)
                self.assertTrue(stat.S_ISCHR(os.lstat(os.path.join(out, "device.bin")).st_mode))
            # A link to a device is a link: replaced by the entry's file.
            with open(os.path.join(out, "null-link.bin"), "rb") as f:
                self.assertEqual(f.read(), b"for the link")
            with open(os.path.join(out, "plain.txt"), "rb") as f:
                self.assertEqual(f.read(), b"plain")
            self.assertEqual(temporary_files(out), [])

    def test_an_archive_that_is_a_fifo_does_not_hang(self):
        os.mkfifo(self.path("pipe.wad"))
        for jobs in JOBS:
            result = unpack("pipe.wad", cwd=self.dir, jobs=jobs, timeout=30)
            self.assertEqual(result.returncode, 2)


class ResourceTest(SafetyTest):
    def test_many_directories_cost_linear_time(self):
        self.write_archive("many.wad", [wad_bytes.Entry(f"dir{i}\\f.txt", b"x")
                                        for i in range(8000)])
        for jobs in JOBS:
            out = self.fresh_output()
            # Quadratic handling took minutes for this; linear takes about a second.
            result = unpack("-q", "-o", out, "many.wad", cwd=self.dir, jobs=jobs, timeout=120)
            self.assertEqual(result.returncode, 0, result.stderr[-500:])
            self.assertEqual(len(os.listdir(out)), 8001)

    def test_duplicate_paths_decode_once_and_both_copies_agree(self):
        # One large zlib-framed entry, then many records of the same path
        # claiming one byte each: every lookup of the path serves the first.
        tree = self.path("tree")
        os.makedirs(tree)
        big = bytes(range(256)) * (48 << 12)  # 48 MiB that code well
        with open(os.path.join(tree, "big.bin"), "wb") as f:
            f.write(big)
        with open(os.path.join(tree, "groundtile.png"), "wb") as f:
            f.write(b"tile")
        test_tarnwad.run("pack", tree, "-o", self.path("packed.wad"), "--codec", "zlib",
                         check_code=0)
        with open(self.path("packed.wad"), "rb") as f:
            packed = f.read()
        entries = []
        for index in range(struct.unpack_from("<I", packed, 72)[0]):
            at = 88 + 40 * index
            _, name_at, _, data_at, stored_size, flags, size = struct.unpack_from("<7I", packed, at)
            name = packed[name_at:packed.index(b"\0", name_at)]
            entries.append(wad_bytes.Entry(name, packed[data_at:data_at + stored_size], flags, size))
        big_entry = next(e for e in entries if e.path == b"big.bin")
        hidden = [wad_bytes.Entry("BIG.bin", big_entry.stored, big_entry.flags, 1)
                  for _ in range(40)]
        wad_bytes.write(self.path("dup.wad"), entries + hidden)

        outcomes = []
        for jobs in JOBS:
            out = self.fresh_output()
            before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            result = unpack("-o", out, "dup.wad", cwd=self.dir, jobs=jobs, timeout=120)
            peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            self.assertEqual(result.returncode, 0, result.stderr[-500:])
            with open(os.path.join(out, "big.bin"), "rb") as f:
                self.assertEqual(f.read(), big)
            warnings = [line for line in result.stderr.splitlines() if b"warning" in line]
            self.assertEqual(len(warnings), 40, result.stderr[-500:])
            self.assertIn(b"hidden by an earlier entry of the same path", warnings[0])
            if peak_kib > before:
                # The large entry is decoded once at a time: within twice its
                # size and the threaded copy's budget.
                self.assertLess(peak_kib, 160 * 1024, f"-j {jobs} peaked at {peak_kib} KiB")
            outcomes.append((result.returncode, sorted(result.stderr.splitlines()),
                             sorted(os.listdir(out))))
        self.assertEqual(outcomes[0], outcomes[1])

    def test_a_file_size_limit_fails_the_entry_and_leaves_no_partial_file(self):
        self.write_archive("a.wad", [wad_bytes.Entry("small.txt", b"fits"),
                                     wad_bytes.Entry("large.bin", bytes(300000))])

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (100000, 100000))

        for jobs in JOBS:
            out = self.fresh_output()
            with open(os.path.join(out, "large.bin"), "wb") as f:
                f.write(b"an older large.bin")
            result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs, limits=limit)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn(b"large.bin: could not be written in full", result.stderr)
            self.assertIn(b"(file too large)", result.stderr)
            with open(os.path.join(out, "large.bin"), "rb") as f:
                self.assertEqual(f.read(), b"an older large.bin")
            with open(os.path.join(out, "small.txt"), "rb") as f:
                self.assertEqual(f.read(), b"fits")
            self.assertEqual(temporary_files(out), [])


class ReasonTest(SafetyTest):
    def test_failures_to_create_say_the_systems_reason(self):
        self.write_archive("r.wad", [wad_bytes.Entry("sub\\b.txt", b"b")])
        self.write_archive("f.wad", [wad_bytes.Entry("a.txt", b"a")])
        os.chmod(self.dir, 0o755)
        if os.getuid() == 0:
            # Root may write anywhere: the tool runs as nobody instead.
            def as_user():
                os.setgid(65534)
                os.setuid(65534)
        else:
            as_user = None
        for jobs in JOBS:
            out = self.fresh_output()
            os.chmod(out, 0o555)
            folder = unpack("-o", out, "r.wad", cwd=self.dir, jobs=jobs, limits=as_user)
            files = unpack("-o", out, "f.wad", cwd=self.dir, jobs=jobs, limits=as_user)
            os.chmod(out, 0o755)
            self.assertEqual((folder.returncode, files.returncode), (1, 1), folder.stderr)
            self.assertIn(b"sub/: directory cannot be created: permission denied",
                          folder.stderr)
            self.assertIn(b"a.txt: cannot be created: permission denied", files.stderr)
            self.assertEqual(os.listdir(out), [])

class OutcomeTest(SafetyTest):
    """The outcome says what was written: complete unpacks are not failures,
    damaged ones leave nothing half-written."""

    def test_complete_unpacks_are_reported_complete(self):
        self.write_archive("c.wad", [
            # The record's unpacked size is not what a stored entry serves.
            wad_bytes.Entry("stored.txt", b"twelve bytes", 0, 5),
            wad_bytes.Entry("Data.txt", b"first"),
            wad_bytes.Entry("DATA.TXT", b"the second, longer")])
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "c.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, (jobs, result.stderr))
            self.assertIn(b"data.txt: warning: hidden by an earlier entry of the same path",
                          result.stderr)
            for name, data in (("stored.txt", b"twelve bytes"), ("data.txt", b"first")):
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), data, (jobs, name))
        result = test_tarnwad.run("verify", "c.wad", cwd=self.dir)
        self.assertIn(b"data.txt: warning: hidden by an earlier entry of the same path",
                      result.stderr)

    def test_a_repeated_path_deep_in_the_tree_is_hidden_there_only(self):
        # The top and "maps" hold each name once; "maps\\sub" holds one twice,
        # among more files than its directory keeps without an index.
        entries = [wad_bytes.Entry("top.txt", b"top"), wad_bytes.Entry("maps\\a.txt", b"a")]
        entries += [wad_bytes.Entry(f"maps\\sub\\f{i}.txt", bytes([65 + i])) for i in range(12)]
        entries.append(wad_bytes.Entry("MAPS\\Sub\\F7.TXT", b"the later one"))
        self.write_archive("deep.wad", entries)
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "deep.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, (jobs, result.stderr))
            warnings = [line for line in result.stderr.splitlines() if b"warning" in line]
            self.assertEqual(len(warnings), 1, (jobs, result.stderr))
            self.assertIn(b"maps/sub/f7.txt: warning: hidden by an earlier entry", warnings[0])
            with open(os.path.join(out, "maps", "sub", "f7.txt"), "rb") as f:
                self.assertEqual(f.read(), b"H")
            self.assertEqual(len(os.listdir(os.path.join(out, "maps", "sub"))), 12)

    def test_a_truncated_archive_leaves_only_whole_files(self):
        entries = [wad_bytes.Entry(f"f{i}.bin", bytes([i]) * 5000) for i in range(6)]
        self.write_archive("whole.wad", entries)
        with open(self.path("whole.wad"), "rb") as f:
            data = f.read()
        with open(self.path("cut.wad"), "wb") as f:
            f.write(data[:len(data) - 12000])
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "cut.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, (jobs, result.stderr))
            self.assertIn(b"Unable to unpack WAD file", result.stdout + result.stderr)
            for name in os.listdir(out):
                if name.startswith("f"):
                    with open(os.path.join(out, name), "rb") as f:
                        self.assertEqual(f.read(), bytes([int(name[1])]) * 5000, name)
            self.assertLess(len(os.listdir(out)), 7)
            self.assertEqual(temporary_files(out), [])

    def test_a_dry_run_reaches_the_unpacks_verdicts(self):
        self.write_archive("v.wad", [
            wad_bytes.Entry("d\\f", b"1"), wad_bytes.Entry("d", b"both file and directory"),
            wad_bytes.Entry("h.txt", b"hash", path_hash=5),
            wad_bytes.Entry("bad.lz", b"\x10\xfb\x00\x00\x05zz", wad_bytes.FLAG_LZ, 5),
            wad_bytes.Entry("blocked\\x", b"x"), wad_bytes.Entry("ro.txt", b"new"),
            wad_bytes.Entry("fine\\y", b"y")])

        def prepare(out):
            with open(os.path.join(out, "blocked"), "wb") as f:
                f.write(b"stray")
            with open(os.path.join(out, "ro.txt"), "wb") as f:
                f.write(b"kept")
            os.chmod(os.path.join(out, "ro.txt"), 0o444)

        out = self.fresh_output()
        prepare(out)
        before = snapshot(out)
        dry = unpack("--dry-run", "-o", out, "v.wad", cwd=self.dir, jobs="1")
        self.assertEqual(snapshot(out), before)
        self.assertEqual(dry.returncode, 1, dry.stderr)
        promised = sorted(line for line in dry.stdout.splitlines()
                          if line.startswith(out.encode()))
        for jobs in JOBS:
            out = self.fresh_output()
            prepare(out)
            real = unpack("-o", out, "v.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(real.returncode, dry.returncode, jobs)
            changed = sorted(os.path.join(here, name).encode()
                             for here, _, files in os.walk(out) for name in files
                             if snapshot(out).get(os.path.join(here, name)) !=
                             before.get(os.path.join(here, name)))
            self.assertEqual(changed, promised, jobs)
            self.assertEqual(sorted(line for line in real.stderr.splitlines() if b": " in line),
                             sorted(line for line in dry.stderr.splitlines() if b": " in line),
                             jobs)
            os.chmod(os.path.join(out, "ro.txt"), 0o644)


class HostNameTest(SafetyTest):
    def test_host_lookups_keep_letter_case(self):
        self.write_archive("a.wad", [wad_bytes.Entry("Sub\\x.txt", b"x")])
        for jobs in JOBS:
            out = self.fresh_output()
            os.makedirs(os.path.join(out, "SUB"))
            result = unpack("-o", out, "a.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(os.path.join(out, "sub", "x.txt"), "rb") as f:
                self.assertEqual(f.read(), b"x")
            self.assertEqual(os.listdir(os.path.join(out, "SUB")), [])

    def test_backslashes_and_the_archive_separator_in_host_names_are_refused(self):
        self.write_archive("a.wad", [wad_bytes.Entry("a.txt", b"a")])
        # Names that the library would read as other paths.
        shutil.copy(self.path("a.wad"), self.path("x\\a.wad"))
        os.makedirs(self.path("x"))
        shutil.copy(self.path("a.wad"), self.path("x", "a.wad"))
        os.makedirs(self.path("star*"))
        shutil.copy(self.path("a.wad"), self.path("star*", "a.wad"))
        before = snapshot(self.dir)
        for jobs in JOBS:
            for args in (["x\\a.wad"], ["star*/a.wad"], ["-o", "o\\p", "a.wad"],
                         ["--no-probe", "-o", "np", "x\\a.wad"]):
                result = unpack(*args, cwd=self.dir, jobs=jobs)
                self.assertEqual(result.returncode, 2, args)
                self.assertIn(b"rename it to use it", result.stderr, args)
                self.assertEqual(snapshot(self.dir), before, args)
        # Every command that opens an archive refuses it alike.
        commands = [["list", "x\\a.wad"], ["verify", "x\\a.wad"], ["info", "x\\a.wad"],
                    ["cat", "x\\a.wad", "a.txt"]]
        if os.access("/dev/fuse", os.R_OK | os.W_OK):
            os.makedirs(self.path("mnt"))
            commands.append(["mount", "--no-probe", "x\\a.wad", self.path("mnt")])
        for args in commands:
            result = test_tarnwad.run(*args, cwd=self.dir)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(b"rename it to use it", result.stderr, args)
        os.makedirs(self.path("src\\x"))
        os.makedirs(self.path("src", "x"))
        with open(self.path("src", "x", "f.txt"), "wb") as f:
            f.write(b"f")
        before = snapshot(self.dir)
        for args in (["src\\x", "-o", "p.wad"], ["src", "-o", "o\\p.wad"]):
            result = test_tarnwad.run("pack", *args, cwd=self.dir)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(b"rename it to use it", result.stderr, args)
            self.assertEqual(snapshot(self.dir), before, args)



class ClosedStandardStreamsTest(SafetyTest):
    def test_started_without_standard_streams_it_writes_only_the_entries_bytes(self):
        # Closed descriptors 0 to 2 would go to the next files opened: the
        # archive, the first temporary file, which the names -v prints
        # would then be written into.
        entries = {f"f{i}.txt": b"entry %d" % i for i in range(5)}
        self.write_archive("a.wad", [wad_bytes.Entry(n, d) for n, d in entries.items()])
        entries["groundtile.png"] = b"tile"

        def without_standard_streams():
            for stream in (0, 1, 2):
                os.close(stream)

        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-v", "-o", out, "a.wad", cwd=self.dir, jobs=jobs,
                            limits=without_standard_streams)
            self.assertEqual(result.returncode, 0, jobs)
            self.assertEqual(test_tarnwad.tree(out), entries, jobs)


class KeepOldFilesTest(SafetyTest):
    def test_keep_old_files_never_replaces_and_names_what_it_kept(self):
        self.write_archive("k.wad", [wad_bytes.Entry("a.txt", b"new a"),
                                     wad_bytes.Entry("b.txt", b"new b"),
                                     wad_bytes.Entry("sub\\c.txt", b"new c")])
        before = snapshot(self.outside)
        for jobs in JOBS:
            out = self.fresh_output()
            with open(os.path.join(out, "a.txt"), "wb") as f:
                f.write(b"old a")
            os.symlink(os.path.join(self.outside, "target.txt"), os.path.join(out, "b.txt"))
            result = unpack("-k", "-o", out, "k.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, (jobs, result.stderr))
            for name in (b"a.txt", b"b.txt"):
                self.assertIn(name + b": kept: a file of this name exists, not replaced",
                              result.stderr)
            with open(os.path.join(out, "a.txt"), "rb") as f:
                self.assertEqual(f.read(), b"old a")
            self.assertTrue(os.path.islink(os.path.join(out, "b.txt")))
            with open(os.path.join(out, "sub", "c.txt"), "rb") as f:
                self.assertEqual(f.read(), b"new c")
            self.assertIn(b"Unpacked 2 files", result.stdout)
            self.assert_outside_untouched(before)
            # Without it, both are replaced, the link never written through.
            result = unpack("-o", out, "k.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, result.stderr)
            for name, data in (("a.txt", b"new a"), ("b.txt", b"new b")):
                self.assertFalse(os.path.islink(os.path.join(out, name)))
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), data)
            self.assert_outside_untouched(before)
            self.assertEqual(temporary_files(out), [])

# An empty zlib-framed block: "BILZ", size 0, block size 36, window bits 15,
# memory level 9, two zero words, then the empty zlib stream.
EMPTY_ZLIB = (b"BILZ" + struct.pack("<6I", 0, 36, 15, 9, 0, 0) +
              bytes([0x78, 0x9C, 3, 0, 0, 0, 0, 1]))
# An empty LZ block: the short header for 0 bytes, then the stop command.
EMPTY_LZ = bytes([0x10, 0xFB, 0, 0, 0, 0xFC])


class EntrySizeTest(SafetyTest):
    def test_empty_coded_entries_decode_like_any_other(self):
        broken = {
            "noadler.z": (EMPTY_ZLIB[:-1] + b"\x00", wad_bytes.FLAG_ZLIB),
            "nostream.z": (EMPTY_ZLIB[:28], wad_bytes.FLAG_ZLIB),
            "nostop.lz": (EMPTY_LZ[:-1], wad_bytes.FLAG_LZ),
            "literals.lz": (EMPTY_LZ[:-1] + b"\xE0abcd\xFC", wad_bytes.FLAG_LZ),
        }
        entries = [wad_bytes.Entry("ok.z", EMPTY_ZLIB, wad_bytes.FLAG_ZLIB, 0),
                   wad_bytes.Entry("ok.lz", EMPTY_LZ, wad_bytes.FLAG_LZ, 0)]
        entries += [wad_bytes.Entry(name, data, flags, 0)
                    for name, (data, flags) in broken.items()]
        self.write_archive("e.wad", entries)
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "e.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, (jobs, result.stderr))
            self.assertEqual(sorted(os.listdir(out)), ["groundtile.png", "ok.lz", "ok.z"], jobs)
            for name in broken:
                self.assertIn(name.encode() + b": does not decode", result.stderr, jobs)
            for name in ("ok.z", "ok.lz"):
                self.assertEqual(os.path.getsize(os.path.join(out, name)), 0)
        result = test_tarnwad.run("verify", "e.wad", cwd=self.dir)
        self.assertEqual(result.returncode, 1, result.stderr)
        for name in broken:
            self.assertIn(name.encode(), result.stderr)
        self.assertNotIn(b"ok.z", result.stderr)

    def test_an_entry_whose_data_runs_past_the_file_is_not_written(self):
        self.write_archive("t.wad", [wad_bytes.Entry("fine.txt", b"fine"),
                                     wad_bytes.Entry("cut.bin", b"x" * 10, 0, None, None,
                                                     100000)])
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "t.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 1, (jobs, result.stderr))
            self.assertIn(b"cut.bin: its data (bytes", result.stderr)
            self.assertEqual(sorted(os.listdir(out)), ["fine.txt", "groundtile.png"], jobs)
        self.assertEqual(test_tarnwad.run("verify", "t.wad", cwd=self.dir).returncode, 1)

    def test_stored_entries_follow_their_stored_bytes_whatever_their_unpacked_size(self):
        self.write_archive("s.wad", [
            wad_bytes.Entry("half.bin", b"stored bytes", 0, 0x80000000),
            wad_bytes.Entry("all.bin", b"more", 0, 0xFFFFFFFF)])
        for jobs in JOBS:
            out = self.fresh_output()
            result = unpack("-o", out, "s.wad", cwd=self.dir, jobs=jobs)
            self.assertEqual(result.returncode, 0, (jobs, result.stderr))
            for name, data in (("half.bin", b"stored bytes"), ("all.bin", b"more")):
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), data, jobs)
        self.assertEqual(test_tarnwad.run("verify", "s.wad", cwd=self.dir).returncode, 0)
        result = test_tarnwad.run("cat", "s.wad", "half.bin", cwd=self.dir)
        self.assertEqual((result.returncode, result.stdout), (0, b"stored bytes"))

if __name__ == "__main__":
    test_tarnwad.main()
