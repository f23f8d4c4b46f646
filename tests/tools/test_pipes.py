""""-" as ARCHIVE reads standard input, and `pack -o -` writes standard
output, through the real executable.

    test_pipes.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import os
import pty
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
from test_tarnwad import ToolTest, on_terminal, run, tree  # noqa: E402


class PipeTest(ToolTest):
    def setUp(self):
        super().setUp()
        # Where a spooled standard input goes: it must be empty afterwards.
        self.spool = tempfile.mkdtemp(prefix="tarnwad-spool-")
        self.addCleanup(os.rmdir, self.spool)
        self.env = dict(os.environ, TMPDIR=self.spool)

    def piped(self, *args, data=None, path=None):
        """Runs the tool with `data` on a pipe, or the file `path` as its
        redirected standard input."""
        if path is not None:
            with open(path, "rb") as f:
                return subprocess.run([test_tarnwad.TARNWAD, *args], cwd=self.dir, stdin=f,
                                      capture_output=True, env=self.env, timeout=120)
        return subprocess.run([test_tarnwad.TARNWAD, *args], cwd=self.dir, input=data,
                              capture_output=True, env=self.env, timeout=120)

    def test_standard_input_is_read_as_the_archive_named(self):
        archive = self.path("plain-v2.wad")
        with open(archive, "rb") as f:
            data = f.read()
        expected = run("list", "--json", "plain-v2.wad", cwd=self.dir, check_code=0).stdout
        for how in ({"data": data}, {"path": archive}):
            for args in (("list", "--json", "-"), ("verify", "-"), ("cat", "-", "maps")):
                result = self.piped(*args, **how)
                self.assertEqual(result.returncode, 0, (args, how.keys(), result.stderr))
            self.assertEqual(self.piped("list", "--json", "-", **how).stdout, expected)
            out = self.path("out-" + next(iter(how)))
            self.assertEqual(self.piped("unpack", "-q", "-o", out, "-", **how).returncode, 0)
            self.assertEqual(tree(out), test_tarnwad.plain_tree())
        self.assertEqual(os.listdir(self.spool), [])
        # What is not an archive is named as a file would be.
        result = self.piped("info", "-", data=b"not an archive")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"tarnwad: -: is too short to be a WAD archive", result.stderr)
        self.assertEqual(os.listdir(self.spool), [])

    def test_what_standard_input_cannot_do_is_refused(self):
        result = self.piped("unpack", "-", data=b"")
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"give one with -o", result.stderr)
        code, screen = on_terminal(80, ["list", "-"], self.dir)
        self.assertEqual(code, 2)
        self.assertIn("standard input is a terminal", screen)

    def test_pack_writes_the_same_archive_to_standard_output(self):
        test_tarnwad.write_tree(self.path("src"), test_tarnwad.plain_tree())
        run("pack", "src", "-o", "file.wad", cwd=self.dir, check_code=0)
        for extra in ((), ("-v",)):
            result = self.piped("pack", "src", "-o", "-", *extra)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(self.path("file.wad"), "rb") as f:
                self.assertEqual(result.stdout, f.read(), extra)
            self.assertIn(b"into standard output", result.stderr)
        self.assertEqual(os.listdir(self.spool), [])
        self.assertFalse(os.path.exists(self.path("-")))
        run("pack", "src", "-o", "./-", cwd=self.dir, check_code=0)
        self.assertTrue(os.path.isfile(self.path("-")))
        # Nobody wants an archive on the screen.
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(self.dir)
            os.execv(test_tarnwad.TARNWAD, [test_tarnwad.TARNWAD, "pack", "src", "-o", "-"])
        screen = b""
        try:
            while chunk := os.read(fd, 4096):
                screen += chunk
        except OSError:
            pass
        _, status = os.waitpid(pid, 0)
        os.close(fd)
        self.assertEqual(os.waitstatus_to_exitcode(status), 2)
        self.assertIn(b"standard output is a terminal", screen)


if __name__ == "__main__":
    test_tarnwad.main()
