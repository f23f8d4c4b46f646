"""An interrupted `tarnwad unpack`: SIGINT or SIGTERM stops it at the next
block, the file being written is removed, the finished ones stay whole, the
progress line is ended, and the tool says how many files it wrote (exit 130).
A hang-up (SIGHUP) stops unpack and pack the same way; output closed by its
reader stops them quietly (exit 141); neither leaves a temporary file.

    test_interrupts.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import fcntl
import os
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
import wad_bytes  # noqa: E402
from test_extract_safety import remove_tree, temporary_files  # noqa: E402

JOBS = ("1", "3")
BIG = 256 << 20


def full_pipe():
    """A pipe whose buffer is full: the first write to it blocks until the
    reader takes something out."""
    reader, writer = os.pipe()
    flags = fcntl.fcntl(writer, fcntl.F_GETFL)
    fcntl.fcntl(writer, fcntl.F_SETFL, flags | os.O_NONBLOCK)
    try:
        while True:
            os.write(writer, bytes(4096))
    except BlockingIOError:
        pass
    fcntl.fcntl(writer, fcntl.F_SETFL, flags)
    return reader, writer


def being_written(pid, root):
    """Whether the process has a file beneath root open for writing: a
    temporary file, or one without a name yet ("/root/#123 (deleted)")."""
    if leftovers(root):
        return True
    fds = f"/proc/{pid}/fd"
    for fd in os.listdir(fds):
        try:
            target = os.readlink(os.path.join(fds, fd))
        except OSError:
            continue
        if target.startswith(root + os.sep) and target.endswith(" (deleted)"):
            return True
    return False


def leftovers(root):
    """Temporary files of unpack (.Tarnwad-*.tmp) and pack (.NAME.*.tmp)."""
    return [name for _, _, names in os.walk(root) for name in names if name.endswith(".tmp")]


def file_bytes(index, size=32 << 10):
    head = b"%08d" % index
    return head + bytes([index % 251]) * (size - len(head))


class InterruptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="tarnwad-interrupt-")
        entries = [wad_bytes.Entry("groundtile.png", b"tile")]
        entries += [wad_bytes.Entry(f"d{i % 40}\\f{i}.bin", file_bytes(i)) for i in range(3000)]
        wad_bytes.write(os.path.join(cls.dir, "many.wad"), entries)
        wad_bytes.write(os.path.join(cls.dir, "big.wad"),
                        [wad_bytes.Entry("groundtile.png", b"tile"),
                         wad_bytes.Entry("huge.bin", b"\x5a" * BIG)])

    @classmethod
    def tearDownClass(cls):
        remove_tree(cls.dir)

    def interrupt(self, archive, jobs, sig, ready):
        """Starts an unpack, sends `sig` once `ready(out)` holds, and returns
        the finished process's code, stdout, stderr and output directory."""
        out = os.path.join(self.dir, f"out-{archive}-{jobs}-{sig}")
        remove_tree(out)
        process = subprocess.Popen([test_tarnwad.TARNWAD, "unpack", "-j", jobs, "-o", out,
                                    archive], cwd=self.dir, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 30
        while not ready(out) and process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.001)
        process.send_signal(sig)
        stdout, stderr = process.communicate(timeout=60)
        return process.returncode, stdout, stderr, out

    def test_files_written_before_the_interrupt_are_whole_and_counted(self):
        def some_files(out):
            return os.path.isdir(out) and len(os.listdir(out)) > 5
        for jobs in JOBS:
            for sig in (signal.SIGINT, signal.SIGTERM):
                code, stdout, stderr, out = self.interrupt("many.wad", jobs, sig, some_files)
                if code == 0:
                    self.skipTest("the unpack finished before the interrupt reached it")
                self.assertEqual(code, 130, stderr)
                match = re.search(rb"interrupted: (\d+) files? written in full", stderr)
                self.assertIsNotNone(match, stderr)
                self.assertNotIn(b"Unable to unpack", stdout + stderr)
                self.assertNotIn(b"Unpacked", stdout)
                self.assertEqual(temporary_files(out), [])
                written = 0
                for here, _, names in os.walk(out):
                    for name in names:
                        if name == "groundtile.png":
                            written += 1
                            continue
                        index = int(name[1:-4])
                        with open(os.path.join(here, name), "rb") as f:
                            self.assertEqual(f.read(), file_bytes(index), name)
                        written += 1
                self.assertEqual(written, int(match.group(1)), (jobs, sig))
                self.assertLess(written, 3001)

    def test_the_file_being_written_is_removed(self):
        def writing(out):
            return bool(os.path.isdir(out) and temporary_files(out))
        for jobs in JOBS:
            code, _, stderr, out = self.interrupt("big.wad", jobs, signal.SIGINT, writing)
            if code == 0:
                self.skipTest("the unpack finished before the interrupt reached it")
            self.assertEqual(code, 130, stderr)
            self.assertEqual(temporary_files(out), [])
            self.assertFalse(os.path.exists(os.path.join(out, "huge.bin")), jobs)

    def test_the_progress_line_is_ended(self):
        # On a terminal the bar is drawn; after the interrupt the line is
        # blanked before the message, so the message starts a clean line.
        import pty
        out = os.path.join(self.dir, "out-tty")
        remove_tree(out)
        leader, follower = pty.openpty()
        process = subprocess.Popen([test_tarnwad.TARNWAD, "unpack", "-j", "1", "-o", out,
                                    "many.wad"], cwd=self.dir, stdout=subprocess.DEVNULL,
                                   stderr=follower)
        os.close(follower)
        while not (os.path.isdir(out) and len(os.listdir(out)) > 5) and process.poll() is None:
            time.sleep(0.001)
        process.send_signal(signal.SIGINT)
        process.wait(timeout=60)
        seen = b""
        while True:
            try:
                chunk = os.read(leader, 65536)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        os.close(leader)
        if process.returncode == 0:
            self.skipTest("the unpack finished before the interrupt reached it")
        self.assertEqual(process.returncode, 130)
        self.assertRegex(seen, rb"\r +\rtarnwad: many\.wad: interrupted")


class HangUpAndClosedOutputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="tarnwad-hangup-")
        wad_bytes.write(os.path.join(cls.dir, "big.wad"),
                        [wad_bytes.Entry("groundtile.png", b"tile"),
                         wad_bytes.Entry("huge.bin", b"\x5a" * (64 << 20))])
        test_tarnwad.write_tree(os.path.join(cls.dir, "src"),
                                {"a.bin": bytes(1 << 20), "b.txt": b"b"})

    @classmethod
    def tearDownClass(cls):
        remove_tree(cls.dir)

    def commands(self, out):
        """unpack and pack, each naming on stdout every file it starts, its
        temporary file made by then."""
        return [["unpack", "-v", "-j", "1", "-o", out, "big.wad"],
                ["pack", "-v", "src", "-o", os.path.join(out, "p.wad")]]

    def test_a_hang_up_mid_file_removes_what_was_being_written(self):
        out = os.path.join(self.dir, "hup")
        for args in self.commands(out):
            remove_tree(out)
            os.makedirs(out)
            # stdout is full: the tool blocks naming its first file, whose
            # temporary file is made by then, until the pipe is drained.
            reader, writer = full_pipe()
            process = subprocess.Popen([test_tarnwad.TARNWAD, *args], cwd=self.dir,
                                       stdout=writer, stderr=subprocess.PIPE)
            os.close(writer)
            deadline = time.monotonic() + 30
            while not being_written(process.pid, out) and time.monotonic() < deadline:
                time.sleep(0.01)
            self.assertTrue(being_written(process.pid, out), args)
            # Twice, as a closing session may: never the end of the process.
            process.send_signal(signal.SIGHUP)
            process.send_signal(signal.SIGHUP)
            while os.read(reader, 65536):
                pass
            os.close(reader)
            stderr = process.communicate(timeout=60)[1]
            self.assertEqual(process.returncode, 130, (args, stderr))
            self.assertIn(b"interrupted", stderr)
            self.assertEqual(leftovers(out), [], args)
            self.assertNotIn("huge.bin", os.listdir(out))
            self.assertNotIn("p.wad", os.listdir(out))

    def test_output_closed_by_its_reader_stops_the_work_quietly(self):
        out = os.path.join(self.dir, "pipe")
        # The threaded unpack names a file once it is written: it stops
        # before the next, keeping the whole one.
        for args in self.commands(out) + [["unpack", "-v", "-j", "3", "-o", out, "big.wad"],
                                          ["cat", "big.wad", "huge.bin"], ["list", "big.wad"],
                                          ["verify", "big.wad"]]:
            remove_tree(out)
            os.makedirs(out)
            reader, writer = os.pipe()
            os.close(reader)
            result = subprocess.run([test_tarnwad.TARNWAD, *args], cwd=self.dir, stdout=writer,
                                    stderr=subprocess.PIPE, timeout=60)
            os.close(writer)
            self.assertEqual((result.returncode, result.stderr), (141, b""), args)
            self.assertEqual(leftovers(out), [], args)
            self.assertLessEqual(set(os.listdir(out)), {"groundtile.png"}, args)


if __name__ == "__main__":
    test_tarnwad.main()
