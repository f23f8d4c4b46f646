"""Runs the real tarnwad executable on archives made by the library's writer.

    test_tarnwad.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import argparse
import fcntl
import json
import os
import pty
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

TARNWAD = None
MAKE_ARCHIVES = None

RECORD_AT = 88
RECORD_SIZE = 40


def run(*args, cwd=None, check_code=None):
    result = subprocess.run([TARNWAD, *args], cwd=cwd, capture_output=True, timeout=120)
    if check_code is not None and result.returncode != check_code:
        raise AssertionError(
            f"tarnwad {' '.join(args)} exited {result.returncode}, not {check_code}\n"
            f"stdout: {result.stdout[-2000:]!r}\nstderr: {result.stderr[-2000:]!r}")
    return result


def on_terminal(columns, args, cwd):
    """Runs tarnwad with stderr on a pseudo-terminal `columns` wide (stdout
    to /dev/null): its exit code and everything the terminal received."""
    pid, fd = pty.fork()
    if pid == 0:
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        os.chdir(cwd)
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.execv(TARNWAD, [TARNWAD, *args])
    screen = b""
    while True:
        ready, _, _ = select.select([fd], [], [], 60)
        if not ready:
            break
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        screen += chunk
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), screen.decode()


def tree(root):
    """Every file below root: relative path ('/' separated) -> bytes."""
    files = {}
    for here, _, names in os.walk(root):
        for name in names:
            path = os.path.join(here, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return files


def stop_process(process):
    """Sends SIGSTOP and waits until every thread of the process has stopped:
    kill() returns before a thread running on another core is halted."""
    process.send_signal(signal.SIGSTOP)
    tasks = f"/proc/{process.pid}/task"
    while True:
        states = []
        for task in os.listdir(tasks):
            try:
                with open(os.path.join(tasks, task, "stat")) as f:
                    states.append(f.read().rsplit(")", 1)[1].split()[0])
            except FileNotFoundError:
                pass
        if all(state in ("T", "t") for state in states):
            return
        time.sleep(0.001)


def write_tree(root, files):
    for path, data in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)


def patch_record(path, index, field_offset, value):
    with open(path, "r+b") as f:
        f.seek(RECORD_AT + RECORD_SIZE * index + field_offset)
        f.write(struct.pack("<I", value))


def noise(count, seed):
    out = bytearray()
    for _ in range(count):
        seed = (seed * 1664525 + 1013904223) & 0xFFFFFFFF
        out.append(seed >> 24)
    return bytes(out)


# What the plain archives hold once unpacked (names folded to lower case).
def plain_tree():
    def lines(word, count):
        return "".join(f"{word} {i % 17}\n" for i in range(count)).encode()
    return {
        "groundtile.png": noise(3000, 1),
        "readme.txt": b"Read me.\n",
        "maps/level1/layout.txt": lines("tile", 400),
        "maps/level1/heights.bin": noise(150000, 2),
        "maps/level2/layout.txt": lines("rock", 300),
        "sounds/empty.raw": b"",
        "sounds/wind.txt": lines("gust", 30000),
    }


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        subprocess.run([MAKE_ARCHIVES, self.dir], check=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def json_list(self, archive, *patterns):
        result = run("list", "--json", archive, *patterns, cwd=self.dir)
        return result, [json.loads(line) for line in result.stdout.decode().splitlines()]


class ListTest(ToolTest):
    def test_table_has_one_line_per_entry_and_totals(self):
        out = run("list", "plain-v2.wad", cwd=self.dir, check_code=0).stdout.decode()
        lines = out.splitlines()
        self.assertEqual(lines[0].split(), ["size", "stored", "coding", "path"])
        rows = [line.split() for line in lines[2:-2]]
        self.assertEqual([row[3] for row in rows], [
            "groundtile.png", "readme.txt", "maps/level1/layout.txt",
            "maps/level1/heights.bin", "maps/level2/layout.txt", "sounds/empty.raw",
            "sounds/wind.txt"])
        self.assertEqual([row[2] for row in rows],
                         ["stored", "stored", "lz", "stored", "zlib", "stored", "zlib"])
        expected = plain_tree()
        self.assertEqual(int(rows[0][0]), 3000)
        total_size, total_stored = lines[-1].split()[:2]
        self.assertEqual(int(total_size), sum(len(v) for v in expected.values()))
        self.assertEqual(int(total_stored), sum(int(row[1]) for row in rows))
        self.assertIn("7 entries", lines[-1])

    def test_json_lines_for_every_version(self):
        expected = plain_tree()
        for version in (0, 1, 2):
            result, entries = self.json_list(f"plain-v{version}.wad")
            self.assertEqual(result.returncode, 0)
            self.assertEqual(result.stderr, b"")
            self.assertEqual([e["record_index"] for e in entries], list(range(7)))
            for entry in entries:
                self.assertEqual(set(entry), {"path", "path_bytes", "size", "stored_size",
                                              "coding", "flags", "record_index"})
                # The path unpack writes; path_bytes the archive's own.
                self.assertEqual(bytes.fromhex(entry["path_bytes"]),
                                 entry["path"].replace("/", "\\").encode())
                self.assertEqual(entry["size"], len(expected[entry["path"]]))
                flags = {"stored": 0, "lz": 4, "zlib": 2}[entry["coding"]]
                self.assertEqual(entry["flags"], flags)
                if entry["coding"] == "stored":
                    self.assertEqual(entry["stored_size"], entry["size"])
                else:
                    self.assertLess(entry["stored_size"], entry["size"])

    def test_patterns_match_names_at_any_depth_and_paths_from_the_root(self):
        level1 = ["maps/level1/layout.txt", "maps/level1/heights.bin"]
        layouts = ["maps/level1/layout.txt", "maps/level2/layout.txt"]
        texts = layouts + ["readme.txt", "sounds/wind.txt"]
        cases = {
            ("*layout.txt",): layouts,
            ("LAYOUT.TXT",): layouts,
            ("*.txt",): texts,
            ("maps/*/layout.txt",): layouts,
            ("maps/**/layout.txt",): layouts,
            ("**/*.txt",): texts,
            ("/readme.txt",): ["readme.txt"],
            ("MAPS/Level1/",): level1,
            ("level1",): level1,
            ("m?ps\\level1\\*.txt",): ["maps/level1/layout.txt"],
            ("*.png", "sounds/wind.txt"): ["groundtile.png", "sounds/wind.txt"],
            # "*" stays within a component; an anchored pattern does not float.
            ("maps/*.txt",): [],
            ("*/layout.txt",): [],
            ("level1/layout.txt",): [],
        }
        for patterns, paths in cases.items():
            result, entries = self.json_list("plain-v2.wad", *patterns)
            self.assertEqual(result.returncode, 0 if paths else 1, patterns)
            self.assertEqual(sorted(e["path"].replace("\\", "/") for e in entries), sorted(paths),
                             patterns)

    def test_names_prints_the_paths_alone(self):
        result = run("list", "-1", "plain-v2.wad", "maps", cwd=self.dir, check_code=0)
        self.assertEqual(sorted(result.stdout.decode().replace("\\", "/").splitlines()),
                         sorted(p for p in plain_tree() if p.startswith("maps/")))
        run("list", "--names", "--json", "plain-v2.wad", cwd=self.dir, check_code=2)

    def test_unmatched_patterns_and_rejected_records_fail_with_a_message(self):
        result, entries = self.json_list("plain-v2.wad", "readme.txt", "nothing*.here")
        self.assertEqual(result.returncode, 1)
        self.assertEqual([e["path"] for e in entries], ["readme.txt"])
        self.assertIn(b"no entry matches nothing*.here", result.stderr)

        result, entries = self.json_list("hostile.wad")
        self.assertEqual(result.returncode, 1)
        self.assertEqual([e["path"] for e in entries], ["groundtile.png", "bad.lz", "fine.txt"])
        self.assertIn(b'record 1 ("..\\escaped.txt") is not listed', result.stderr)
        self.assertIn(b'record 2 ("c:\\drive.txt") is not listed', result.stderr)

    def test_refused_entries_are_listed_as_refused(self):
        _, entries = self.json_list("refused.wad")
        coding = {e["path"]: (e["coding"], e["flags"]) for e in entries}
        self.assertEqual(coding["secret/hidden.txt"], ("refused", 1))
        self.assertEqual(coding["open.txt"], ("stored", 0))

    def test_archives_that_do_not_open_are_usage_errors(self):
        with open(self.path("text.wad"), "wb") as f:
            f.write(b"not an archive at all" * 10)
        with open(self.path("short.wad"), "wb") as f:
            f.write(b"QARC\x02\0\0\0")
        with open(self.path("future.wad"), "wb") as f:
            f.write(b"QARC" + struct.pack("<I", 7) + bytes(80))
        with open(self.path("cut.wad"), "wb") as f:
            f.write(b"QARC" + struct.pack("<I", 2) + bytes(64) + struct.pack("<4I", 9, 0, 0, 0))
        for name, words in (("missing.wad", b"no such file"),
                            ("text.wad", b'is not a WAD archive: it does not begin with "QARC"'),
                            ("short.wad", b"is too short to be a WAD archive (8 bytes"),
                            ("future.wad", b"of format version 7, which this tool does not know"),
                            ("cut.wad", b"is damaged or cut short: its"),
                            (".", b"is a directory")):
            result = run("list", name, cwd=self.dir)
            self.assertEqual(result.returncode, 2, name)
            self.assertIn(name.encode() + b": ", result.stderr)
            self.assertIn(words, result.stderr)
            self.assertEqual(result.stdout, b"")


class CatTest(ToolTest):
    def test_entries_of_every_coding_come_out_decoded(self):
        expected = plain_tree()
        for path in ("groundtile.png", "maps/level1/layout.txt", "MAPS\\LEVEL2\\layout.txt",
                     "sounds/wind.txt", "sounds/empty.raw", "maps/level1/heights.bin"):
            result = run("cat", "plain-v1.wad", path, cwd=self.dir, check_code=0)
            self.assertEqual(result.stdout, expected[path.lower().replace("\\", "/")], path)

    def test_several_patterns_come_out_in_listing_order_once_each(self):
        expected = plain_tree()
        listed = [entry["path"].replace("\\", "/")
                  for entry in self.json_list("plain-v2.wad", "maps", "*.txt")[1]]
        result = run("cat", "plain-v2.wad", "*.txt", "maps", "MAPS/level1/layout.txt",
                     cwd=self.dir, check_code=0)
        self.assertEqual(result.stdout, b"".join(expected[path] for path in listed))
        self.assertEqual(len(listed), 5)
        # What is found is written; what is not is named, and the exit is 1.
        result = run("cat", "plain-v2.wad", "readme.txt", "*.ogg", "none.txt", cwd=self.dir,
                     check_code=1)
        self.assertEqual(result.stdout, expected["readme.txt"])
        self.assertIn(b"no entry matches *.ogg", result.stderr)
        self.assertIn(b"none.txt: no such entry", result.stderr)

    def test_what_cannot_be_read_is_named(self):
        for archive, path, code, words in (
                ("plain-v2.wad", "maps/none.txt", 1, b"no such entry"),
                ("refused.wad", "secret/hidden.txt", 1, b"refused by the archive"),
                ("hostile.wad", "bad.lz", 1, b"does not decode"),
                ("missing.wad", "x", 2, b"no such file")):
            result = run("cat", archive, path, cwd=self.dir)
            self.assertEqual(result.returncode, code, (archive, path))
            self.assertIn(words, result.stderr, (archive, path))
            self.assertEqual(result.stdout, b"", (archive, path))


class VerifyTest(ToolTest):
    def test_good_archives_pass_and_nothing_is_written(self):
        before = sorted(os.listdir(self.dir))
        for name in ("plain-v0.wad", "plain-v1.wad", "plain-v2.wad", "refused.wad"):
            result = run("verify", name, cwd=self.dir, check_code=0)
            self.assertEqual(result.stderr, b"")
        self.assertIn(b"1 refused by the archive, 0 failed", result.stdout)
        self.assertEqual(sorted(os.listdir(self.dir)), before)

    def test_broken_entries_and_rejected_records_fail_and_are_named(self):
        result = run("verify", "hostile.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"hostile.wad: bad.lz: does not decode", result.stderr)
        self.assertIn(b'record 1 ("..\\escaped.txt") cannot be read', result.stderr)
        self.assertNotIn(b"fine.txt", result.stderr)
        self.assertIn(b"3 entries: 2 read in full, 0 refused by the archive, 1 failed; "
                      b"2 records rejected", result.stdout)

    def test_data_outside_the_file_fails_and_a_size_no_coding_gives_is_a_warning(self):
        shutil.copy(self.path("plain-v2.wad"), self.path("outside.wad"))
        size = os.path.getsize(self.path("outside.wad"))
        patch_record(self.path("outside.wad"), 1, 12, size - 4)  # readme.txt's data offset
        patch_record(self.path("outside.wad"), 0, 20, 8)  # groundtile.png: flags 8, read stored
        patch_record(self.path("outside.wad"), 0, 24, 2999)  # ... but reported 2999 bytes
        result = run("verify", "outside.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"readme.txt: its data (bytes %d to %d) lies outside the %d-byte file"
                      % (size - 4, size - 4 + 9, size), result.stderr)
        self.assertIn(b"groundtile.png: warning: its record gives its size as 2999 bytes",
                      result.stderr)
        self.assertIn(b"6 read in full", result.stdout)

    def test_a_path_hidden_by_an_earlier_record_is_a_warning(self):
        result = run("verify", "duplicate.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"groundtile.png: warning: hidden by an earlier entry of the same path",
                      result.stderr)


class InfoTest(ToolTest):
    def test_figures_of_the_archive(self):
        out = run("info", "plain-v2.wad", cwd=self.dir, check_code=0).stdout.decode()
        fields = dict(line.split(":", 1) for line in out.splitlines())
        fields = {k: v.strip() for k, v in fields.items()}
        expected = plain_tree()
        self.assertEqual(fields["format version"], "2")
        self.assertEqual(fields["entries"], "7")
        self.assertEqual(fields["directories"], "4")
        self.assertEqual(fields["unpacked size"], f"{sum(map(len, expected.values()))} bytes")
        self.assertEqual(fields["file size"], f"{os.path.getsize(self.path('plain-v2.wad'))} bytes")
        self.assertEqual((fields["stored entries"], fields["lz entries"], fields["zlib entries"],
                          fields["refused entries"]), ("4", "1", "2", "0"))
        names = b"".join(p.encode() + b"\0" for p in (
            "groundtile.png", "readme.txt", "Maps\\Level1\\layout.txt", "maps\\level1\\heights.bin",
            "maps/level2/layout.txt", "sounds\\empty.raw", "sounds\\wind.txt"))
        self.assertEqual(fields["name table"], f"{len(names)} bytes at offset {88 + 7 * 40}")

        out = run("info", "plain-v0.wad", cwd=self.dir, check_code=0).stdout.decode()
        self.assertIn("format version:   0", out)
        self.assertNotIn("name table", out)
        out = run("info", "hostile.wad", cwd=self.dir, check_code=0).stdout.decode()
        self.assertIn("rejected records: 2", out)


class UnpackTest(ToolTest):
    def test_without_options_it_is_the_dialogs_command(self):
        result = run("unpack", "plain-v2.wad", cwd=self.dir, check_code=0)
        self.assertEqual(result.stdout.decode().splitlines()[0], "Finished unpacking WAD file")
        self.assertEqual(tree(self.path("plain-v2")), plain_tree())
        self.assertNotIn(b"\r", result.stderr, "no progress bar on a pipe")

        result = run("unpack", "foreign.wad", cwd=self.dir, check_code=2)
        self.assertIn(b"Unable to unpack WAD file", result.stderr)
        self.assertIn(b"none of the game's known entries", result.stderr)
        self.assertFalse(os.path.exists(self.path("foreign")))

        result = run("unpack", "missing.wad", cwd=self.dir, check_code=2)
        self.assertIn(b"missing.wad: cannot be opened: no such file", result.stderr)

    def test_output_directory_probe_and_patterns(self):
        run("unpack", "-o", "a/b/c", "plain-v0.wad", cwd=self.dir, check_code=0)
        self.assertEqual(tree(self.path("a/b/c")), plain_tree())

        run("unpack", "-o", "f", "foreign.wad", cwd=self.dir, check_code=2)
        self.assertFalse(os.path.exists(self.path("f")))
        run("unpack", "--no-probe", "-o", "f", "foreign.wad", cwd=self.dir, check_code=0)
        self.assertEqual(tree(self.path("f")), {"other.txt": b"other"})

        expected = plain_tree()
        run("unpack", "-o", "some", "plain-v1.wad", "maps/level1", "sounds\\*.raw",
            cwd=self.dir, check_code=0)
        self.assertEqual(tree(self.path("some")), {
            p: expected[p] for p in ("maps/level1/layout.txt", "maps/level1/heights.bin",
                                     "sounds/empty.raw")})
        self.assertFalse(os.path.exists(self.path("some/maps/level2")))

        result = run("unpack", "-o", "none", "plain-v1.wad", "nothing", cwd=self.dir,
                     check_code=1)
        self.assertIn(b"no entry matches nothing", result.stderr)

    def test_verbose_names_each_file_and_quiet_prints_nothing(self):
        result = run("unpack", "-v", "-o", "v", "plain-v2.wad", cwd=self.dir, check_code=0)
        lines = result.stdout.decode().splitlines()
        self.assertEqual(sorted(lines[:7]), sorted(plain_tree()))
        self.assertEqual(lines[7:], ["Finished unpacking WAD file",
                                     "Unpacked 7 files into " + self.path("v")])

        result = run("unpack", "-q", "-o", "q", "refused.wad", cwd=self.dir, check_code=0)
        self.assertEqual((result.stdout, result.stderr), (b"", b""))
        self.assertEqual(run("unpack", "-q", "-v", "plain-v2.wad", cwd=self.dir).returncode, 2)

    def test_refused_entries_are_skipped_without_failing(self):
        result = run("unpack", "-o", "r", "refused.wad", cwd=self.dir, check_code=0)
        self.assertIn(b"secret/hidden.txt: refused by the archive", result.stderr)
        self.assertEqual(tree(self.path("r")), {"groundtile.png": b"g", "open.txt": b"open"})

    def test_failed_entries_and_rejected_records_fail_and_are_named(self):
        result = run("unpack", "hostile.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"Unable to unpack WAD file", result.stderr)
        self.assertIn(b"bad.lz: does not decode", result.stderr)
        self.assertIn(b'record 1 ("..\\escaped.txt") was not unpacked', result.stderr)
        self.assertEqual(tree(self.path("hostile")), {"groundtile.png": b"g",
                                                      "fine.txt": b"fine"})
        self.assertFalse(os.path.exists(self.path("escaped.txt")))

    def test_progress_bar_only_on_a_terminal(self):
        code, screen = on_terminal(80, ["unpack", "-o", "tty", "plain-v2.wad"], self.dir)
        self.assertEqual(code, 0)
        self.assertIn("\r[", screen)
        self.assertRegex(screen, r"\r\[[#.]+\]  \d/7 files  +.* of 371.6 KiB  +.* left  +.*/s")
        self.assertEqual(tree(self.path("tty")), plain_tree())


class ParallelUnpackTest(ToolTest):
    """-j N copies on N threads and reports exactly what the in-order copy
    reports: the same files, messages, progress names and exit code."""

    def unpack_both_ways(self, archive, *options, prepare=None):
        outcomes = []
        self.runs = getattr(self, "runs", 0) + 1
        for jobs in ("1", "3"):
            out = self.path(f"out-{self.runs}-j{jobs}")
            if prepare is not None:
                prepare(out)
            result = run("unpack", "-j", jobs, *options, "-o", out, archive, cwd=self.dir)
            text = lambda data: data.decode().replace(out, "OUT")
            outcomes.append((result.returncode, text(result.stdout), text(result.stderr),
                             tree(out) if os.path.isdir(out) else None))
        self.assertEqual(outcomes[0], outcomes[1], (archive, options))
        return outcomes[0]

    def test_every_archive_unpacks_as_the_in_order_copy_does(self):
        for archive in ("plain-v0.wad", "plain-v2.wad", "refused.wad", "hostile.wad",
                        "duplicate.wad"):
            for options in ((), ("-v",), ("--no-probe",), ("-v", "maps", "*.txt")):
                self.unpack_both_ways(archive, *options)
        code, stdout, _, files = self.unpack_both_ways("plain-v2.wad", "-v")
        self.assertEqual(code, 0)
        self.assertEqual(files, plain_tree())
        self.assertEqual(len(stdout.splitlines()), 9)

    def test_a_directory_that_cannot_be_created_skips_its_tree_alike(self):
        def block_maps(out):
            os.makedirs(out, exist_ok=True)
            with open(os.path.join(out, "maps"), "wb") as f:
                f.write(b"in the way")
        code, _, stderr, files = self.unpack_both_ways("plain-v2.wad", prepare=block_maps)
        self.assertEqual(code, 1)
        self.assertIn("directory cannot be created", stderr)
        self.assertIn("skipped", stderr)
        self.assertNotIn("maps/level1/layout.txt", files)

    def test_default_and_bad_job_counts(self):
        run("unpack", "-q", "plain-v1.wad", cwd=self.dir, check_code=0)
        self.assertEqual(tree(self.path("plain-v1")), plain_tree())
        for bad in ("0", "-2", "x"):
            self.assertEqual(run("unpack", "-j", bad, "plain-v1.wad", cwd=self.dir).returncode, 2)


class PackTest(ToolTest):
    def make_source(self):
        files = dict(plain_tree())
        files["odd names/with space.txt"] = b"spaces"
        files["UPPER.TXT"] = b"kept as given"
        files["deep/a/b/c/d/e.bin"] = noise(70000, 9)
        write_tree(self.path("src"), files)
        return files

    def test_round_trips_for_every_version_and_coding(self):
        files = self.make_source()
        expected = {p.lower(): data for p, data in files.items()}
        for version in ("0", "1", "2"):
            for codec in ("stored", "lz", "zlib", "auto"):
                out = f"p{version}{codec}.wad"
                run("pack", "src", "-o", out, "--format-version", version, "--codec", codec,
                    cwd=self.dir, check_code=0)
                run("verify", out, cwd=self.dir, check_code=0)
                run("unpack", "--no-probe", "-q", "-o", out + ".out", out, cwd=self.dir,
                    check_code=0)
                self.assertEqual(tree(self.path(out + ".out")), expected, out)
                _, entries = self.json_list(out)
                paths = [e["path"] for e in entries]
                self.assertEqual(paths, sorted(paths, key=lambda p: p.encode()),
                                 "sorted by path, byte-wise")
                self.assertTrue(all(b"/" not in bytes.fromhex(e["path_bytes"]) for e in entries))
                codings = {e["path"]: e["coding"] for e in entries}
                info = run("info", out, cwd=self.dir).stdout.decode()
                self.assertIn(f"format version:   {version}", info)
                if codec == "stored":
                    self.assertEqual(set(codings.values()), {"stored"})
                elif codec == "auto":
                    # Noise does not shrink and is stored; text is coded.
                    self.assertEqual(codings["groundtile.png"], "stored")
                    self.assertEqual(codings["sounds/empty.raw"], "stored")
                    self.assertIn(codings["sounds/wind.txt"], ("lz", "zlib"))
                else:
                    self.assertEqual(codings["sounds/wind.txt"], codec)

    def test_auto_keeps_the_smaller_coding(self):
        self.make_source()
        sizes = {}
        for codec in ("lz", "zlib", "auto"):
            run("pack", "src", "-o", codec + ".wad", "--codec", codec, cwd=self.dir, check_code=0)
            sizes[codec] = {e["path"]: e["stored_size"] for e in self.json_list(codec + ".wad")[1]}
        for path, stored in sizes["auto"].items():
            self.assertLessEqual(stored, min(sizes["lz"][path], sizes["zlib"][path]), path)

    def test_the_same_tree_packs_to_the_same_bytes(self):
        self.make_source()
        run("pack", "src", "-o", "one.wad", cwd=self.dir, check_code=0)
        run("pack", "src", "-o", "two.wad", cwd=self.dir, check_code=0)
        with open(self.path("one.wad"), "rb") as a, open(self.path("two.wad"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_an_existing_archive_is_kept_without_force(self):
        self.make_source()
        with open(self.path("out.wad"), "wb") as f:
            f.write(b"precious")
        result = run("pack", "src", "-o", "out.wad", cwd=self.dir, check_code=2)
        self.assertIn(b"out.wad: already exists; add --force", result.stderr)
        with open(self.path("out.wad"), "rb") as f:
            self.assertEqual(f.read(), b"precious")

        run("pack", "src", "-o", "out.wad", "--force", cwd=self.dir, check_code=0)
        run("verify", "out.wad", cwd=self.dir, check_code=0)
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".tmp")], [],
                         "no temporary file is left behind")

    def test_names_the_archive_cannot_hold_are_refused(self):
        for name, words in (("a:b.txt", b'holds a ":"'), ("back\\slash", b'has a "\\" in its name'),
                            ("ctl\x01.txt", b"control character")):
            src = self.path("bad-" + str(len(name)))
            write_tree(src, {"fine.txt": b"x", name: b"y"})
            result = run("pack", src, "-o", "bad.wad", cwd=self.dir, check_code=1)
            self.assertIn(words, result.stderr, name)
            self.assertFalse(os.path.exists(self.path("bad.wad")), name)

        write_tree(self.path("case"), {"Data/a.txt": b"1", "data/b.txt": b"2"})
        result = run("pack", "case", "-o", "case.wad", cwd=self.dir, check_code=1)
        self.assertIn(b"data: differs from Data only in letter case", result.stderr)

    def test_usage_errors(self):
        self.make_source()
        for args in (("pack", "src"), ("pack", "src", "-o", "x.wad", "--codec", "brotli"),
                     ("pack", "src", "-o", "x.wad", "--format-version", "3"),
                     ("pack", "nowhere", "-o", "x.wad"), ("pack", "src", "-o", "src"),
                     ("pack", "src", "-o", "no/such/dir/x.wad")):
            self.assertEqual(run(*args, cwd=self.dir).returncode, 2, args)
        self.assertFalse(os.path.exists(self.path("x.wad")))


class HelpTest(unittest.TestCase):
    def test_help_for_the_tool_and_every_command_and_version(self):
        result = run("--help", check_code=0)
        for command in ("list", "unpack", "cat", "verify", "info", "pack"):
            self.assertIn(command.encode(), result.stdout)
            self.assertIn(b"Usage:", run(command, "--help", check_code=0).stdout, command)
        self.assertRegex(run("--version", check_code=0).stdout.decode(), r"^tarnwad \d+\.\d+")

    def test_usage_errors_exit_2(self):
        for args in ((), ("frobnicate",), ("list",), ("list", "a.wad", "--bogus"),
                     ("cat", "a.wad")):
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertNotEqual(result.stderr, b"", args)


def main():
    """Runs the calling script's tests on the executables its command line
    names: --tarnwad PATH --make-archives PATH [unittest arguments]."""
    global TARNWAD, MAKE_ARCHIVES
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarnwad", required=True)
    parser.add_argument("--make-archives", required=True)
    known, rest = parser.parse_known_args()
    TARNWAD = os.path.abspath(known.tarnwad)
    MAKE_ARCHIVES = os.path.abspath(known.make_archives)
    unittest.main(module="__main__", argv=[sys.argv[0], *rest])


if __name__ == "__main__":
    main()
