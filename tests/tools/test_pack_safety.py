"""`tarnwad pack` reads only inside its tree and writes only its archive,
whatever another process does to either meanwhile, and packs back every
tree `unpack` writes.

    test_pack_safety.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
import wad_bytes  # noqa: E402
from test_tarnwad import run, write_tree  # noqa: E402

F_SETPIPE_SZ = 1031
MIB = 1 << 20


def remove_tree(path):
    # shutil.rmtree recurses once per level, too deep for the deep trees here.
    subprocess.run(["rm", "-rf", "--", path], check=True)


def pack_stopped_at(args, cwd, marker, meanwhile):
    """Runs `tarnwad pack -v ARGS` with its names going into a pipe too small
    for more than a few of them, stops it once `marker` is named, calls
    `meanwhile`, lets it go on. Gives its exit code and standard error."""
    reader, writer = os.pipe()
    fcntl.fcntl(writer, F_SETPIPE_SZ, 4096)
    tool = subprocess.Popen([test_tarnwad.TARNWAD, "pack", "-v", *args], cwd=cwd,
                            stdout=writer, stderr=subprocess.PIPE)
    os.close(writer)
    errors = []
    with os.fdopen(reader, "rb") as names_shown:
        while marker not in names_shown.readline():
            pass
        test_tarnwad.stop_process(tool)
        meanwhile()
        tool.send_signal(signal.SIGCONT)
        drain = threading.Thread(target=lambda: errors.append(tool.stderr.read()))
        drain.start()
        names_shown.read()
        drain.join()
    tool.stderr.close()
    return tool.wait(timeout=120), errors[0]


class PackSafetyTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-pack-safety-")
        self.addCleanup(remove_tree, self.dir)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def assert_no_temporary_files(self, directory):
        self.assertEqual([n for n in os.listdir(directory) if n.endswith(".tmp")], [])

    def test_a_directory_swapped_for_a_link_mid_pack_is_never_read_through(self):
        # Names long enough that the pipe holds few; then files large enough
        # (sparse: they take no room) that the threads read only a few of
        # "b" ahead of the one being added, within their 32 MiB each.
        write_tree(self.path("src"), {f"a/f{i:03}" + "x" * 150: b"in the tree" for i in range(60)})
        os.makedirs(self.path("src", "b"))
        write_tree(self.path("outside"), {f"big{i:02}": b"outside-secret" for i in range(12)})
        for i in range(12):
            with open(self.path("src", "b", f"big{i:02}"), "wb") as f:
                f.truncate(32 * MIB)
        for jobs in ("1", "3"):
            def swap():
                os.rename(self.path("src", "b"), self.path("src", "b.moved"))
                os.symlink(self.path("outside"), self.path("src", "b"))

            code, errors = pack_stopped_at(["-j", jobs, "--codec", "zlib", "src", "-o", "out.wad"],
                                           self.dir, b"f020", swap)
            self.assertEqual(code, 1, (jobs, errors))
            self.assertRegex(errors, rb"b/big\d\d: cannot be opened for reading: a symbolic link "
                                     rb"is in the way")
            self.assertFalse(os.path.exists(self.path("out.wad")), jobs)
            self.assert_no_temporary_files(self.dir)
            os.remove(self.path("src", "b"))
            os.rename(self.path("src", "b.moved"), self.path("src", "b"))

    def test_an_unreadable_directory_refuses_the_pack_with_the_reason(self):
        write_tree(self.path("src"), {"a.txt": b"a", "locked/b.txt": b"b"})
        os.chmod(self.path("src", "locked"), 0)
        os.chmod(self.dir, 0o777)
        # Root reads every directory: the tool runs as nobody instead.
        as_user = (lambda: (os.setgid(65534), os.setuid(65534))) if os.getuid() == 0 else None
        result = subprocess.run([test_tarnwad.TARNWAD, "pack", "src", "-o", "out.wad"],
                                cwd=self.dir, capture_output=True, timeout=60,
                                preexec_fn=as_user)
        os.chmod(self.path("src", "locked"), 0o755)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"locked/: directory cannot be read: permission denied", result.stderr)
        self.assertFalse(os.path.exists(self.path("out.wad")))

    def test_trees_as_deep_as_an_archive_path_pack_back_and_deeper_ones_say_why_not(self):
        # The deepest path an archive holds, 4095 bytes: unpacked, packed back.
        deep = "d\\" * 2045 + "f.txt"
        wad_bytes.write(self.path("deep.wad"), [wad_bytes.Entry(deep, b"at the bottom")])
        run("unpack", "--no-probe", "-q", "-o", "out", "deep.wad", cwd=self.dir, check_code=0)
        run("pack", "-q", "out", "-o", "back.wad", cwd=self.dir, check_code=0)
        self.assertEqual(run("cat", "back.wad", deep, cwd=self.dir, check_code=0).stdout,
                         b"at the bottom")
        # Made 5,000 levels deep: refused for the length of its paths, not
        # taken for a loop, and no crash.
        level = os.open(self.path("out"), os.O_RDONLY)
        for name in ["d"] * 2045 + ["e"] * 2955:
            if name == "e":
                os.mkdir(name, dir_fd=level)
            below = os.open(name, os.O_RDONLY, dir_fd=level)
            os.close(level)
            level = below
        os.close(level)
        result = run("pack", "out", "-o", "tall.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"its path is longer than an archive can hold", result.stderr)
        self.assertNotIn(b"loop", result.stderr)

    def test_the_output_may_have_a_long_name_and_its_directory_is_held(self):
        write_tree(self.path("src"), {f"f{i:03}" + "x" * 150: b"in the tree" for i in range(300)})
        os.makedirs(self.path("out"))
        os.makedirs(self.path("elsewhere"))
        name = "n" * 251 + ".wad"

        def swap():
            os.rename(self.path("out"), self.path("out.moved"))
            os.symlink(self.path("elsewhere"), self.path("out"))

        code, errors = pack_stopped_at(["src", "-o", os.path.join("out", name)], self.dir,
                                       b"f020", swap)
        self.assertEqual(code, 0, errors)
        self.assertEqual(os.listdir(self.path("elsewhere")), [])
        self.assertEqual(os.listdir(self.path("out.moved")), [name])
        run("verify", os.path.join("out.moved", name), cwd=self.dir, check_code=0)


if __name__ == "__main__":
    test_tarnwad.main()
