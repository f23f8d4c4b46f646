"""What the tool tells its user, and the options users of archive tools
reach for: the game-archive check's message, -C, --exclude, --dry-run,
--skip-special, --json of info and verify, warnings about damaged entries,
summaries and the progress bar at several terminal widths.

    test_feedback.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
from test_tarnwad import ToolTest, on_terminal, patch_record, plain_tree, run, tree  # noqa: E402


class ProbeMessageTest(ToolTest):
    def test_a_foreign_archive_names_what_the_check_looks_for(self):
        for args in (("unpack", "foreign.wad"), ("unpack", "-o", "f", "foreign.wad"),
                     ("unpack", "-j", "2", "foreign.wad"),
                     ("unpack", "--dry-run", "foreign.wad")):
            result = run(*args, cwd=self.dir, check_code=2)
            err = result.stderr.decode()
            self.assertIn("is not a Tarnhollow archive", err, args)
            for name in ("groundtile.png", "check_mark.png", "4fx_rays.msh", "unitglyphs.spr",
                         "intro_flight1.CSQ"):
                self.assertIn(name, err, args)
            self.assertIn("add --no-probe to unpack it anyway", err, args)
            self.assertNotIn(b"Finished", result.stdout, args)
        self.assertFalse(os.path.exists(self.path("foreign")))
        self.assertFalse(os.path.exists(self.path("f")))


class ExcludeTest(ToolTest):
    def test_unpack_leaves_out_what_matches_by_path_or_name(self):
        expected = plain_tree()
        for jobs in ("1", "3"):
            out = f"ex-{jobs}"
            run("unpack", "-j", jobs, "-C", out, "--exclude", "*.TXT", "--exclude", "maps/level2",
                "plain-v2.wad", cwd=self.dir, check_code=0)
            self.assertEqual(tree(self.path(out)), {
                p: expected[p] for p in ("groundtile.png", "maps/level1/heights.bin",
                                         "sounds/empty.raw")}, jobs)
            self.assertFalse(os.path.exists(self.path(f"{out}/maps/level2")), jobs)
        # A directory matched by its name anywhere goes with everything in it,
        # and exclusions narrow the patterns given.
        run("unpack", "-o", "ex-dir", "--exclude", "level1", "plain-v2.wad", "maps",
            cwd=self.dir, check_code=0)
        self.assertEqual(tree(self.path("ex-dir")),
                         {"maps/level2/layout.txt": expected["maps/level2/layout.txt"]})

    def test_list_and_pack_leave_out_the_same(self):
        _, entries = self.json_list("plain-v2.wad")
        result = run("list", "--json", "--exclude", "sounds", "--exclude", "?eadme.*",
                     "plain-v2.wad", cwd=self.dir, check_code=0)
        listed = [json.loads(line)["path"] for line in result.stdout.decode().splitlines()]
        self.assertEqual(listed, [e["path"] for e in entries
                                  if not e["path"].startswith("sounds")
                                  and e["path"] != "readme.txt"])

        test_tarnwad.write_tree(self.path("src"), plain_tree())
        run("pack", "src", "-o", "ex.wad", "--exclude", "sounds", "--exclude", "*.bin",
            cwd=self.dir, check_code=0)
        _, packed = self.json_list("ex.wad")
        self.assertEqual(sorted(e["path"] for e in packed),
                         ["groundtile.png", "maps/level1/layout.txt", "maps/level2/layout.txt",
                          "readme.txt"])


class DryRunTest(ToolTest):
    def test_lists_what_would_be_written_and_writes_nothing(self):
        before = sorted(os.listdir(self.dir))
        result = run("unpack", "--dry-run", "plain-v2.wad", cwd=self.dir, check_code=0)
        lines = result.stdout.decode().splitlines()
        out = self.path("plain-v2")
        self.assertEqual(sorted(lines[:-1]), sorted(os.path.join(out, p) for p in plain_tree()))
        self.assertRegex(lines[-1], r"^Would unpack 7 files \(371\.6 KiB\) into .*plain-v2; "
                                    r"nothing was written$")
        self.assertEqual(sorted(os.listdir(self.dir)), before)

        # Refused entries and hidden duplicates would not be written; -k
        # names the files it would keep.
        os.makedirs(self.path("kept"))
        with open(self.path("kept/open.txt"), "wb") as f:
            f.write(b"mine")
        result = run("unpack", "--dry-run", "-k", "-o", "kept", "refused.wad", cwd=self.dir,
                     check_code=0)
        self.assertEqual(result.stdout.decode().splitlines(), [
            self.path("kept/groundtile.png"), "kept: " + self.path("kept/open.txt"),
            "Would unpack 1 file (1 B) into " + self.path("kept") +
            ", keeping 1 existing file; nothing was written"])
        self.assertEqual(os.listdir(self.path("kept")), ["open.txt"])
        result = run("unpack", "--dry-run", "-o", "dup", "duplicate.wad", cwd=self.dir,
                     check_code=0)
        paths = result.stdout.decode().splitlines()[:-1]
        self.assertEqual(len(paths), len(set(paths)))
        self.assertFalse(os.path.exists(self.path("dup")))


class JsonTest(ToolTest):
    def test_info_json_has_the_same_figures_as_the_text(self):
        text = run("info", "plain-v2.wad", cwd=self.dir, check_code=0).stdout.decode()
        fields = {k.strip(): v.strip() for k, v in
                  (line.split(":", 1) for line in text.splitlines())}
        result = run("info", "--json", "plain-v2.wad", cwd=self.dir, check_code=0)
        info = json.loads(result.stdout)
        self.assertEqual(info["format_version"], 2)
        self.assertEqual(info["entries"], int(fields["entries"]))
        self.assertEqual(f"{info['file_size']} bytes", fields["file size"])
        self.assertEqual(f"{info['unpacked_size']} bytes", fields["unpacked size"])
        self.assertEqual(info["entries_by_coding"],
                         {"stored": 4, "lz": 1, "zlib": 2, "refused": 0})
        self.assertEqual(f"{info['name_table']['size']} bytes at offset "
                         f"{info['name_table']['offset']}", fields["name table"])
        self.assertEqual((info["rejected_records"], info["entries_outside_file"]), (0, 0))
        self.assertIsNone(json.loads(run("info", "--json", "plain-v0.wad", cwd=self.dir,
                                         check_code=0).stdout)["name_table"])

    def test_verify_json_names_every_failure(self):
        good = json.loads(run("verify", "--json", "refused.wad", cwd=self.dir,
                              check_code=0).stdout)
        self.assertEqual((good["read_in_full"], good["refused"], good["failed"],
                          good["failures"]), (2, 1, 0, []))
        result = run("verify", "--json", "hostile.wad", cwd=self.dir, check_code=1)
        report = json.loads(result.stdout)
        self.assertEqual((report["entries"], report["read_in_full"], report["failed"],
                          report["rejected_records"]), (3, 2, 1, 2))
        self.assertEqual([f["path"] for f in report["failures"]], ["bad.lz"])
        self.assertIn("does not decode", report["failures"][0]["reason"])
        self.assertIn(b"..\\escaped.txt".hex(),
                      [r["path_bytes"] for r in report["rejected"]])
        self.assertEqual(result.stderr, b"")


class DamagedEntryWarningTest(ToolTest):
    def test_list_names_and_info_counts_data_outside_the_file(self):
        shutil.copy(self.path("plain-v2.wad"), self.path("outside.wad"))
        size = os.path.getsize(self.path("outside.wad"))
        patch_record(self.path("outside.wad"), 1, 12, size - 4)  # readme.txt's data offset
        result = run("list", "outside.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"readme.txt: its data (bytes %d to %d) lies outside the "
                      b"%d-byte file" % (size - 4, size + 5, size), result.stderr)
        self.assertIn(b"readme.txt", result.stdout)
        result = run("info", "outside.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"warning: the data of 1 entry lies outside the file", result.stderr)
        info = json.loads(run("info", "--json", "outside.wad", cwd=self.dir).stdout)
        self.assertEqual(info["entries_outside_file"], 1)
        self.assertEqual(run("list", "plain-v2.wad", cwd=self.dir).stderr, b"")


class SkipSpecialTest(ToolTest):
    def test_a_fifo_refuses_the_pack_unless_skipped(self):
        test_tarnwad.write_tree(self.path("src"), {"groundtile.png": b"g", "a/b.txt": b"b"})
        os.mkfifo(self.path("src/a/pipe"))
        os.symlink("nowhere", self.path("src/dangling"))
        result = run("pack", "src", "-o", "s.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"a/pipe: is not a regular file (add --skip-special to skip it)",
                      result.stderr)
        self.assertFalse(os.path.exists(self.path("s.wad")))
        result = run("pack", "-L", "src", "-o", "s.wad", "--skip-special", cwd=self.dir,
                     check_code=0)
        self.assertIn(b"a/pipe: is not a regular file; skipped", result.stderr)
        self.assertIn(b"dangling: is a symbolic link that leads nowhere", result.stderr)
        self.assertIn(b"Packed 2 files", result.stdout)
        _, entries = self.json_list("s.wad")
        self.assertEqual(sorted(e["path"] for e in entries), ["a/b.txt", "groundtile.png"])


class SummaryTest(ToolTest):
    def test_counts_read_right_and_finished_only_with_exit_0(self):
        test_tarnwad.write_tree(self.path("one"), {"groundtile.png": b"g"})
        result = run("pack", "one", "-o", "one.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"Packed 1 file (1 byte)", result.stdout)
        result = run("unpack", "one.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"Unpacked 1 file into", result.stdout)
        result = run("verify", "one.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"1 entry: 1 read in full", result.stdout)

        # A pattern that matches nothing fails the run: the success message
        # is not printed beside exit 1, the summary tells what happened.
        for jobs in ("1", "2"):
            result = run("unpack", "-j", jobs, "-o", f"part-{jobs}", "plain-v2.wad", "readme.txt",
                         "nothing.txt", cwd=self.dir, check_code=1)
            self.assertNotIn(b"Finished", result.stdout, jobs)
            self.assertIn(b"Unpacked 1 file into", result.stdout)
            self.assertIn(b"; 1 pattern matched nothing", result.stdout)
            self.assertIn(b"no entry matches nothing.txt", result.stderr)
            self.assertEqual(tree(self.path(f"part-{jobs}")),
                             {"readme.txt": plain_tree()["readme.txt"]})


    def test_the_verdict_follows_the_details(self):
        run("unpack", "-q", "-o", "again", "refused.wad", cwd=self.dir, check_code=0)
        result = subprocess.run([test_tarnwad.TARNWAD, "unpack", "-k", "-o", "again",
                                 "refused.wad"], cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=120)
        lines = result.stdout.decode().splitlines()
        self.assertTrue(any("kept: a file of this name exists" in line for line in lines), lines)
        self.assertTrue(any("refused by the archive" in line for line in lines), lines)
        self.assertEqual(lines[-2:], ["Finished unpacking WAD file",
                                      "Unpacked 0 files into " + self.path("again")])


class ProgressBarTest(ToolTest):
    BAR = re.compile(r"\[[#.]+\]")

    def drawn_lines(self, screen):
        """The bar's lines as drawn: the text between carriage returns."""
        return [part for part in re.split(r"[\r\n]", screen) if self.BAR.match(part)]

    def test_unpack_pack_and_verify_bars_keep_their_width(self):
        test_tarnwad.write_tree(self.path("src"), plain_tree())
        commands = (("unpack", "-o", "out", "plain-v2.wad"),
                    ("pack", "src", "-o", "p.wad"),
                    ("verify", "plain-v2.wad"))
        for columns in (60, 120):
            for args in commands:
                shutil.rmtree(self.path("out"), ignore_errors=True)
                if os.path.exists(self.path("p.wad")):
                    os.remove(self.path("p.wad"))
                code, screen = on_terminal(columns, args, self.dir)
                self.assertEqual(code, 0, (columns, args, screen))
                lines = self.drawn_lines(screen)
                self.assertTrue(lines, (columns, args, screen))
                for line in lines:
                    self.assertEqual(len(line), columns - 1, (columns, args, line))
                    # Every figure whole: the line ends in a figure's last
                    # word (then padding), never in a cut one.
                    self.assertRegex(line.rstrip(), r"(files?|KiB|MiB|B|left|/s)$",
                                     (columns, args))
                    bar = self.BAR.match(line).group(0)
                    self.assertEqual(len(bar), len(self.BAR.match(lines[0]).group(0)))
                    self.assertIn("/7 files", line)
                if columns == 120:
                    self.assertRegex(lines[-1], r"\]  \d/7 files  +[\d.]+ \S+ of 371\.6 KiB  +"
                                                r"\S+ left  +\S+ \S+/s *$")
                else:
                    self.assertNotIn("/s", lines[-1])
                # The bar is taken off its line at the end.
                self.assertRegex(screen, r"\r {%d}\r" % (columns - 1))


if __name__ == "__main__":
    test_tarnwad.main()
