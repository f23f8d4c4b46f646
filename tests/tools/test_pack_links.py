"""`tarnwad pack` and symbolic links, through the real executable.

    test_pack_links.py --tarnwad PATH --make-archives PATH [unittest arguments]

By default no link is followed, whatever it leads to; with --dereference a
link is followed only into the packed tree, and never into a loop. Every run
has a timeout, so a walk that loops shows as a failure, not a hang.
"""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

import test_tarnwad
from test_tarnwad import tree, write_tree

TIMEOUT = 180


def run(*args, cwd=None, check_code=None):
    result = subprocess.run([test_tarnwad.TARNWAD, *args], cwd=cwd, capture_output=True,
                            timeout=TIMEOUT)
    if check_code is not None and result.returncode != check_code:
        raise AssertionError(
            f"tarnwad {' '.join(args)} exited {result.returncode}, not {check_code}\n"
            f"stdout: {result.stdout[-2000:]!r}\nstderr: {result.stderr[-2000:]!r}")
    return result


class PackLinksTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-links-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.src = self.path("src")
        self.fresh()

    def fresh(self):
        """A new source tree and no archive, for one more case in a test."""
        shutil.rmtree(self.src, True)
        shutil.rmtree(self.path("out"), True)
        if os.path.exists(self.path("out.wad")):
            os.remove(self.path("out.wad"))
        write_tree(self.src, {"a.txt": b"alpha\n", "sub/b.txt": b"beta\n"})

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def link(self, target, *name):
        os.symlink(target, os.path.join(self.src, *name))

    def pack(self, *options, check_code=0):
        return run("pack", "src", "-o", "out.wad", *options, cwd=self.dir, check_code=check_code)

    def entries(self):
        result = run("list", "--json", "out.wad", cwd=self.dir, check_code=0)
        return [json.loads(line)["path"] for line in result.stdout.decode().splitlines()]

    def unpacked(self):
        run("unpack", "--no-probe", "-q", "-o", "out", "out.wad", cwd=self.dir, check_code=0)
        return tree(self.path("out"))

    def archive_bytes(self):
        with open(self.path("out.wad"), "rb") as f:
            return f.read()

    def assert_refused(self, result, *words):
        self.assertEqual(result.returncode, 1, result.stderr)
        for word in words:
            self.assertIn(word, result.stderr)
        self.assertFalse(os.path.exists(self.path("out.wad")), "nothing is written")


class DefaultSkipTest(PackLinksTest):
    """Without --dereference every link is skipped with a warning, and the
    pack goes on and succeeds."""

    plain = {"a.txt": b"alpha\n", "sub/b.txt": b"beta\n"}

    def test_links_to_directories_in_the_tree_are_skipped_not_walked(self):
        self.link(".", "self")
        self.link("..", "sub", "up")
        # Two links into each other's directories: followed, the walk would
        # double at every level.
        os.makedirs(os.path.join(self.src, "x"))
        os.makedirs(os.path.join(self.src, "y"))
        self.link("../y", "x", "to-y")
        self.link("../x", "y", "to-x")
        self.link("../y", "x", "to-y-again")
        result = self.pack()
        for name in (b"self", b"sub/up", b"x/to-y", b"y/to-x"):
            self.assertIn(name + b": is a symbolic link; not packed", result.stderr)
        self.assertEqual(sorted(self.entries()), ["a.txt", "sub/b.txt"])
        self.assertEqual(self.unpacked(), self.plain)

    def test_a_link_to_a_file_outside_the_tree_is_not_packed(self):
        secret = b"outside-secret-" + os.urandom(8).hex().encode()
        with open(self.path("secret.txt"), "wb") as f:
            f.write(secret)
        self.link(self.path("secret.txt"), "absolute.txt")
        self.link("../../secret.txt", "sub", "relative.txt")
        result = self.pack("--codec", "stored")
        self.assertIn(b"absolute.txt: is a symbolic link; not packed", result.stderr)
        self.assertIn(b"sub/relative.txt: is a symbolic link; not packed", result.stderr)
        self.assertNotIn(secret, self.archive_bytes())
        self.assertEqual(self.unpacked(), self.plain)

    def test_in_tree_file_links_and_dangling_links_are_skipped_too(self):
        self.link("a.txt", "copy.txt")
        self.link("nowhere/at/all", "dangling")
        self.link("loop-b", "loop-a")
        self.link("loop-a", "loop-b")
        result = self.pack()
        for name in (b"copy.txt", b"dangling", b"loop-a", b"loop-b"):
            self.assertIn(b"" + name + b": is a symbolic link; not packed", result.stderr)
        self.assertIn(b"Packed 2 files", result.stdout)
        self.assertEqual(self.unpacked(), self.plain)

    def test_unsafe_link_names_are_escaped_and_only_skipped(self):
        # A link is never packed, so a name the archive could not hold does
        # not refuse the pack; the warning still cannot drive the terminal.
        self.link("a.txt", "bell\x07:x")
        result = self.pack()
        self.assertIn(b"bell\\x07:x: is a symbolic link; not packed", result.stderr)
        self.assertNotIn(b"\x07", result.stderr)
        self.assertEqual(self.unpacked(), self.plain)

    def test_quiet_keeps_the_warning_off_and_the_exit_code_zero(self):
        self.link(".", "self")
        result = self.pack("-q")
        self.assertEqual((result.stdout, result.stderr), (b"", b""))
        self.assertEqual(self.unpacked(), self.plain)

    def test_other_problems_still_refuse_the_pack_beside_a_link(self):
        self.link(".", "self")
        write_tree(self.src, {"bad:name.txt": b"x"})
        result = self.pack(check_code=1)
        self.assertIn(b"self: is a symbolic link; not packed", result.stderr)
        self.assert_refused(result, b'bad:name.txt: path holds a ":"')

    def test_a_linked_directory_given_as_dir_is_packed(self):
        # Only links below DIR are skipped; DIR itself is what was asked for.
        os.symlink("src", self.path("alias"))
        run("pack", "alias", "-o", "out.wad", cwd=self.dir, check_code=0)
        self.assertEqual(self.unpacked(), self.plain)


class DereferenceTest(PackLinksTest):
    """--dereference packs what a link leads to inside the tree, and refuses
    the pack for a link it cannot follow safely."""

    def test_links_inside_the_tree_pack_what_they_lead_to(self):
        self.link("a.txt", "copy.txt")
        self.link("../a.txt", "sub", "up.txt")
        os.makedirs(os.path.join(self.src, "deep", "er"))
        self.link("../../sub", "deep", "er", "linked")
        self.link("copy.txt", "chain.txt")
        result = self.pack("-L")
        self.assertEqual(result.stderr, b"")
        self.assertEqual(self.unpacked(), {
            "a.txt": b"alpha\n", "copy.txt": b"alpha\n", "chain.txt": b"alpha\n",
            "sub/b.txt": b"beta\n", "sub/up.txt": b"alpha\n",
            "deep/er/linked/b.txt": b"beta\n", "deep/er/linked/up.txt": b"alpha\n"})

    def test_directory_loops_are_refused(self):
        for name, target, words in (
                ("self", ".", b"self: leads back to a directory it lies in"),
                ("up", "..", b"sub/up: leads back to a directory it lies in")):
            with self.subTest(name):
                self.fresh()
                self.link(target, *(["sub", name] if name == "up" else [name]))
                self.assert_refused(self.pack("--dereference", check_code=None), words)

    def test_links_into_each_other_finish_and_are_refused(self):
        os.makedirs(os.path.join(self.src, "x"))
        os.makedirs(os.path.join(self.src, "y"))
        self.link("../y", "x", "to-y")
        self.link("../x", "y", "to-x")
        self.assert_refused(self.pack("--dereference", check_code=None),
                            b"leads back to a directory it lies in")

    def test_a_loop_of_file_links_is_refused(self):
        self.link("loop-b", "loop-a")
        self.link("loop-a", "loop-b")
        self.assert_refused(self.pack("-L", check_code=None),
                            b"loop-a: is a symbolic link in a loop of links")

    def test_targets_outside_the_tree_are_refused(self):
        secret = b"outside-secret-" + os.urandom(8).hex().encode()
        with open(self.path("secret.txt"), "wb") as f:
            f.write(secret)
        os.makedirs(self.path("elsewhere"))
        for name, target in (("file", self.path("secret.txt")), ("dir", "../elsewhere"),
                             ("sneaky", "sub/../../secret.txt")):
            with self.subTest(name):
                self.fresh()
                self.link(target, name)
                result = self.pack("-L", "--codec", "stored", check_code=None)
                self.assert_refused(result, b"" + name.encode() + b": is a symbolic link to ",
                                    b"outside the packed directory")

    def test_a_sibling_whose_name_starts_like_the_tree_is_outside(self):
        # "src-other" begins with "src" but does not lie inside it.
        write_tree(self.path("src-other"), {"c.txt": b"gamma\n"})
        self.link("../src-other/c.txt", "c.txt")
        self.assert_refused(self.pack("-L", check_code=None), b"outside the packed directory")

    def test_a_dangling_link_is_refused(self):
        self.link("nowhere", "dangling")
        self.assert_refused(self.pack("-L", check_code=None),
                            b"dangling: is a symbolic link that leads nowhere")

    def test_a_link_to_a_fifo_in_the_tree_is_refused(self):
        os.mkfifo(os.path.join(self.src, "pipe"))
        self.link("pipe", "to-pipe")
        self.assert_refused(self.pack("-L", check_code=None), b"to-pipe: is not a regular file")

    def test_a_web_of_directory_links_is_cut_short(self):
        # Each level holds two links to the next: 2^40 paths, no loop.
        levels = 40
        for level in range(levels):
            os.makedirs(os.path.join(self.src, f"d{level}"))
        for level in range(levels - 1):
            for name in ("l", "r"):
                self.link(f"../d{level + 1}", f"d{level}", name)
        write_tree(self.src, {f"d{levels - 1}/leaf.txt": b"leaf"})
        self.assert_refused(self.pack("-L", check_code=None), b"names reached through links to directories")

    def test_help_names_the_option(self):
        result = run("pack", "--help", check_code=0)
        self.assertIn(b"--dereference", result.stdout)


if __name__ == "__main__":
    test_tarnwad.main()
