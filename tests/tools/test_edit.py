"""Archives changed in place: add, replace, rm, mv, update, compact, and
what a crash at any write leaves.

    test_edit.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import hashlib
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
from test_tarnwad import run  # noqa: E402
from test_verdicts import zlib_framed  # noqa: E402


def state(archive):
    """What a reader finds in `archive`: path -> SHA-256 of the content."""
    lines = run("list", "--json", "--hash", archive, check_code=0).stdout.splitlines()
    return {e["path"]: e.get("sha256") for e in map(json.loads, lines)}


def contents(path):
    with open(path, "rb") as f:
        return f.read()


def put(path, data):
    with open(path, "wb") as f:
        f.write(data)


def digest(data):
    return hashlib.sha256(data).hexdigest()


class EditTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-edit-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def write(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def packed(self, version, codec="auto"):
        self.write("src/maps/a.txt", b"alpha " * 300)
        self.write("src/maps/b.bin", bytes(range(256)) * 40)
        self.write("src/snd/c.ogg", os.urandom(3000))
        archive = self.path("v%d-%s.wad" % (version, codec))
        run("pack", "-q", "-f", self.path("src"), "-o", archive, "--format-version", str(version),
            "--codec", codec, check_code=0)
        return archive

    def test_each_edit_reads_back_for_every_version_and_coding(self):
        for version in (0, 1, 2):
            for codec in ("stored", "lz", "zlib"):
                with self.subTest(version=version, codec=codec):
                    archive = self.packed(version, codec)
                    model = state(archive)
                    self.write("new/one.txt", b"one " * 500)
                    self.write("tree/x/y.txt", b"deep")
                    run("add", archive, self.path("new/one.txt"), "--as", "maps/one.txt",
                        "--codec", codec, check_code=0)
                    run("add", archive, self.path("tree"), check_code=0)
                    run("add", archive, self.path("new/one.txt"), self.path("tree/x/y.txt"),
                        "--as", "several", check_code=0)
                    model["maps/one.txt"] = digest(b"one " * 500)
                    model["tree/x/y.txt"] = digest(b"deep")
                    model["several/one.txt"] = digest(b"one " * 500)
                    model["several/y.txt"] = digest(b"deep")
                    self.assertEqual(state(archive), model)
                    self.write("new/a.txt", b"changed")
                    run("replace", archive, self.path("new/a.txt"), "--as", "MAPS/A.TXT",
                        "--codec", codec, check_code=0)
                    model["maps/a.txt"] = digest(b"changed")
                    run("mv", archive, "maps", "levels", check_code=0)
                    model = {k.replace("maps/", "levels/"): v for k, v in model.items()}
                    run("mv", archive, "several/y.txt", "tree", check_code=0)
                    model["tree/y.txt"] = model.pop("several/y.txt")
                    run("rm", archive, "snd", check_code=0)
                    del model["snd/c.ogg"]
                    self.assertEqual(state(archive), model)
                    before = contents(archive)
                    run("compact", archive, check_code=0)
                    self.assertEqual(state(archive), model)
                    self.assertLess(os.path.getsize(archive), len(before))
                    self.assertEqual(contents(archive)[:8], before[:8])
                    run("verify", archive, check_code=0)

    def test_replace_writes_only_the_new_data_and_its_record(self):
        archive = self.packed(2)
        before = wad_bytes.read(contents(archive))
        size = os.path.getsize(archive)
        self.write("new.txt", b"x" * 1000)
        run("replace", archive, self.path("new.txt"), "--as", "snd/c.ogg", "--codec", "stored",
            check_code=0)
        data = contents(archive)
        after = wad_bytes.read(data)
        self.assertEqual([e.path for e in after], [e.path for e in before])
        for old, new in zip(before, after):
            if new.path != b"snd\\c.ogg":
                self.assertEqual((old.stored, old.flags), (new.stored, new.flags))
        self.assertEqual(len(data), size + 1000)
        self.assertFalse(os.path.exists(archive + ".tarnwad-journal"))

    def test_hand_built_layouts_keep_their_other_entries(self):
        # Shared data, names after the data (version 0), reserved bytes set:
        # an added record needs the bytes after the table, where data lies.
        for version in (0, 2):
            entries = [wad_bytes.Entry("a.txt", b"shared-bytes"),
                       wad_bytes.Entry("b.txt", b"", data_offset=None),
                       wad_bytes.Entry("c\\d.txt", b"dee")]
            data = bytearray(wad_bytes.build(entries, version))
            # b.txt shares a.txt's data; the header's reserved bytes carry a mark.
            a_offset = int.from_bytes(data[88 + 12:88 + 16], "little")
            data[88 + 40 + 12:88 + 40 + 20] = a_offset.to_bytes(4, "little") + \
                (12).to_bytes(4, "little")
            data[88 + 40 + 24:88 + 40 + 28] = (12).to_bytes(4, "little")
            data[8:16] = b"RESERVED"
            archive = self.path("hand%d.wad" % version)
            put(archive, bytes(data))
            model = state(archive)
            self.write("n.txt", b"new")
            for i in range(3):
                run("add", archive, self.path("n.txt"), "--as", "n%d.txt" % i, check_code=0)
                model["n%d.txt" % i] = digest(b"new")
            self.assertEqual(state(archive), model)
            self.assertEqual(contents(archive)[8:16], b"RESERVED")

    def test_refused_edits_change_nothing(self):
        archive = self.packed(2)
        self.write("x.txt", b"x")
        original = contents(archive)
        cases = [
            (("add", archive, self.path("x.txt"), "--as", "maps/a.txt"), b"is in the archive"),
            (("replace", archive, self.path("x.txt"), "--as", "nope.txt"), b"is not in the"),
            (("add", archive, self.path("x.txt"), "--as", "maps"), b"has a directory of this"),
            (("add", archive, self.path("x.txt"), "--as", "maps/a.txt/z"), b"is where a dir"),
            (("add", archive, self.path("x.txt"), "--as", "../x"), b".."),
            (("rm", archive, "nosuch*"), b"no entry matches nosuch*"),
            (("mv", archive, "maps/a.txt", "maps/b.bin"), b"is in the archive already"),
            (("mv", archive, "maps", "maps/inner"), b"cannot move into itself"),
            (("mv", archive, "gone", "x"), b"no entry of the archive has this path"),
            (("add", archive, self.path("missing")), b"does not exist"),
        ]
        for args, message in cases:
            with self.subTest(args=args[0:1] + args[2:]):
                result = run(*args)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)
                self.assertEqual(contents(archive), original)
        os.chmod(archive, 0o444)
        if os.access(archive, os.W_OK):
            return  # root writes read-only files
        result = run("add", archive, self.path("x.txt"), check_code=2)
        self.assertIn(b"cannot be opened for writing", result.stderr)

    def test_update_makes_the_archive_hold_the_tree(self):
        archive = self.packed(1)
        run("unpack", "-q", "--no-probe", "-o", self.path("out"), archive, check_code=0)
        before = wad_bytes.read(contents(archive))
        result = run("update", archive, self.path("out"), check_code=0)
        self.assertIn(b"0 added, 0 replaced, 0 removed, 0 renamed, 3 unchanged", result.stdout)
        self.write("out/maps/a.txt", b"edited")
        os.remove(self.path("out/snd/c.ogg"))
        self.write("out/music/new.txt", b"new")
        run("update", archive, self.path("out"), "--copy", check_code=0)
        self.assertEqual(state(archive), {"maps/a.txt": digest(b"edited"),
                                          "maps/b.bin": state(archive)["maps/b.bin"],
                                          "music/new.txt": digest(b"new")})
        after = {e.path: e for e in wad_bytes.read(contents(archive))}
        b = [e for e in before if e.path == b"maps\\b.bin"][0]
        self.assertEqual(after[b"maps\\b.bin"].stored, b.stored)
        run("diff", archive, self.path("out"), check_code=0)

    def test_pack_base_rebuilds_the_original_byte_for_byte(self):
        # An order, codings, reserved bytes and a version pack never makes.
        for version in (0, 1, 2):
            entries = [wad_bytes.Entry("z\\last.txt", b"zzz" * 100),
                       wad_bytes.Entry("a.bin", zlib_framed(b"abc" * 500), wad_bytes.FLAG_ZLIB,
                                       1500),
                       wad_bytes.Entry("m\\Mixed.TXT", b"case"),
                       wad_bytes.Entry("gone.bin", b"refused", wad_bytes.FLAG_REFUSED)]
            data = bytearray(wad_bytes.build(entries, version))
            data[8:72] = bytes(range(64))
            original = self.path("orig%d.wad" % version)
            put(original, bytes(data))
            out = self.path("out%d" % version)
            run("unpack", "-q", "--no-probe", "-o", out, original)
            rebuilt = self.path("re%d.wad" % version)
            run("pack", out, "-o", rebuilt, "--base", original, check_code=0)
            self.assertEqual(contents(rebuilt), bytes(data))
            self.write("out%d/m/mixed.txt" % version, b"changed")
            run("pack", "-f", out, "-o", rebuilt, "--base", original, check_code=0)
            new = wad_bytes.read(contents(rebuilt))
            self.assertEqual([e.path for e in new], [e.path for e in entries])
            self.assertEqual([e.stored for e in new if e.path != b"m\\Mixed.TXT"],
                             [e.stored for e in entries if e.path != b"m\\Mixed.TXT"])
            self.assertEqual(contents(rebuilt)[:88], bytes(data)[:88])

    @unittest.skipUnless(shutil.which("strace"), "needs strace to stop the tool at a call")
    def test_a_kill_at_any_write_leaves_the_old_or_the_new_archive(self):
        # The tool is killed on entry to its Nth write, flush, rename or
        # removal, for every N it makes: the archive must then read as
        # before or as after, and the next edit finishes the job.
        calls = ["write", "pwrite64", "fsync", "fdatasync", "unlinkat", "renameat2",
                 "rename", "ftruncate"]
        self.write("n.txt", b"n" * 5000)
        # LeakSanitizer cannot run in a traced process.
        traced_env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") +
                          ":detect_leaks=0")
        for version in (0, 2):
            for edit in (("replace", "N", "--as", "maps/a.txt"), ("add", "N", "--as", "z.txt"),
                         ("rm", "maps/b.bin"), ("mv", "maps", "m2"), ("compact",)):
                with self.subTest(version=version, edit=edit[0]):
                    original = self.packed(version)
                    args = [self.path("n.txt") if a == "N" else a for a in edit[1:]]
                    pristine = contents(original)
                    old = state(original)
                    archive = self.path("crash.wad")
                    put(archive, pristine)
                    run(edit[0], archive, *args, check_code=0)
                    new = state(archive)
                    for call in calls:
                        for n in range(1, 40):
                            put(archive, pristine)
                            journal = archive + ".tarnwad-journal"
                            if os.path.exists(journal):
                                os.remove(journal)
                            done = subprocess.run(
                                ["strace", "-f", "-o", os.devnull, "-e", "trace=" + call,
                                 "-e", "inject=%s:signal=SIGKILL:when=%d" % (call, n),
                                 test_tarnwad.TARNWAD, edit[0], archive, *args],
                                capture_output=True, timeout=60, env=traced_env)
                            if done.returncode == 0:
                                break  # the edit made fewer such calls
                            self.assertIn(done.returncode, (-9, 137), done.stderr)
                            self.assertIn(state(archive), (old, new), (call, n))
                            # The next edit of the archive completes or drops the switch.
                            run("compact", archive, check_code=0)
                            self.assertIn(state(archive), (old, new), (call, n))


if __name__ == "__main__":
    test_tarnwad.main()
