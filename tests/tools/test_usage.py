"""The tool's usage surface through the real executable: command-line errors,
help, the shell completion files and the man page, which must all name the
options the tool's --help prints.

    test_usage.py --tarnwad PATH --make-archives PATH [unittest arguments]
"""

import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_tarnwad  # noqa: E402
from test_tarnwad import run  # noqa: E402

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
COMPLETION = os.path.join(SOURCE, "tools", "completion")
BASH_FILE = os.path.join(COMPLETION, "tarnwad.bash")
ZSH_FILE = os.path.join(COMPLETION, "_tarnwad")
FISH_FILE = os.path.join(COMPLETION, "tarnwad.fish")
MAN_PAGE = os.path.join(SOURCE, "docs", "tarnwad.1")
COMMANDS = ["list", "unpack", "cat", "verify", "info", "pack", "conflicts", "diff", "add", "replace",
            "rm", "mv", "update", "compact", "mount", "umount", "help"]


def help_options(*command):
    """Every option name the tool's --help lists, for the tool itself or
    for one command: {"-o", "-C", "--output", ...}."""
    out = run(*command, "--help", check_code=0).stdout.decode()
    options = set()
    in_options = False
    for line in out.splitlines():
        if line == "Options:":
            in_options = True
        elif in_options and not line.startswith(" "):
            in_options = False
        elif in_options and re.match(r"  -", line):
            options.update(line.split()[0].split(","))
    return options


def tool_commands(aliases=False):
    """The commands the tool's --help lists ("unpack, extract" is unpack),
    with `aliases` their other names too."""
    out = run("--help", check_code=0).stdout.decode()
    listing = out[out.index("Commands:"):]
    names = []
    for line in listing.splitlines()[1:]:
        if line.strip():
            command, *others = line.strip().split("  ")[0].split(", ")
            names += [command] + (others if aliases else [])
    return names


def error_lines(result):
    return result.stderr.decode().splitlines()


class ArgumentErrorTest(unittest.TestCase):
    def assert_usage_error(self, args, first_line, hint):
        result = run(*args)
        self.assertEqual(result.returncode, 2, args)
        self.assertEqual(result.stdout, b"", args)
        self.assertEqual(error_lines(result), [first_line, hint], args)

    def test_unknown_commands_name_the_closest_one(self):
        hint = "Run 'tarnwad --help' for the commands."
        cases = {
            "lsit": "list", "LIST": "list", "unpak": "unpack", "verfy": "verify",
            "inof": "info", "pakc": "pack", "hlep": "help", "ct": "cat",
            "xyz": None, "q": None,
        }
        for typed, meant in cases.items():
            message = f"tarnwad: unknown command '{typed}'"
            if meant is not None:
                message += f"; did you mean '{meant}'?"
            self.assert_usage_error([typed], message, hint)
            self.assert_usage_error(["help", typed], message, hint)
        # What was typed reaches the terminal escaped.
        self.assert_usage_error(["l\x1b]0;x\x07st"],
                                "tarnwad: unknown command 'l\\x1B]0;x\\x07st'", hint)

    def test_parser_errors_name_the_command_and_where_its_options_are(self):
        cases = [
            (["unpack", "-j", "0", "x.wad"], "unpack: --jobs: value 0 not in range"),
            (["unpack", "-j", "x", "x.wad"], "unpack: --jobs: value x not in range"),
            (["unpack"], "unpack: ARCHIVE is required"),
            (["unpack", "-v", "-q", "x.wad"], "unpack: --verbose excludes --quiet"),
            (["list", "--frob", "x.wad"], "list: the following argument was not expected: --frob"),
            (["pack", "dir"], "pack: --output is required"),
            (["pack", "dir", "-o", "x.wad", "--codec", "gzip"], "pack: --codec: "),
            (["cat", "x.wad"], "cat: PATTERN is required"),
            (["help", "unpack", "extra"], "help: the following argument was not expected: extra"),
            (["--frob"], "the following argument was not expected: --frob"),
        ]
        for args, start in cases:
            result = run(*args)
            lines = error_lines(result)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, b"", args)
            self.assertEqual(len(lines), 2, (args, lines))
            self.assertTrue(lines[0].startswith("tarnwad: " + start), (args, lines))
            command = args[0] if not args[0].startswith("-") else None
            self.assertEqual(lines[1], f"Run 'tarnwad {command} --help' for its options."
                             if command else "Run 'tarnwad --help' for the commands.", args)
        lines = error_lines(run("list", "--a\x1b[2Jb", "x.wad"))
        self.assertIn("--a\\x1B[2Jb", lines[0])

    def test_no_command_prints_the_usage_on_stderr(self):
        result = run()
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.stderr, run("--help", check_code=0).stdout)


class CommandNamesAsArgumentsTest(test_tarnwad.ToolTest):
    def test_a_command_name_after_the_command_is_an_argument(self):
        # "info" here is a pattern that matches nothing, not a second command.
        result = run("list", "plain-v2.wad", "info", cwd=self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"no entry matches info", result.stderr)
        self.assertNotIn(b"format version", result.stdout.lower())
        # "tarnwad help unpack ARCHIVE" shows no help and unpacks nothing.
        result = run("help", "unpack", "plain-v2.wad", cwd=self.dir)
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(self.path("plain-v2")))


class HelpTest(unittest.TestCase):
    def test_help_prints_what_the_help_options_print(self):
        main_help = run("--help", check_code=0)
        self.assertEqual(run("help", check_code=0).stdout, main_help.stdout)
        self.assertEqual(run("-h", check_code=0).stdout, main_help.stdout)
        self.assertEqual(tool_commands(), COMMANDS)
        for command in COMMANDS:
            own = run(command, "--help", check_code=0)
            self.assertEqual(run("help", command, check_code=0).stdout, own.stdout, command)
            self.assertIn(f"Usage: tarnwad {command} ", own.stdout.decode())
            self.assertEqual(own.stderr, b"")
            # In the words of the tool, not of its argument parser.
            self.assertNotRegex(own.stdout.decode(),
                                r"\b(TEXT|UINT|REQUIRED|Excludes:|Needs:)|\(\dx\)| in \[", command)
        self.assertEqual(run("extract", "--help", check_code=0).stdout,
                         run("unpack", "--help", check_code=0).stdout)

    def test_version_under_both_names(self):
        version = run("--version", check_code=0).stdout
        self.assertRegex(version.decode(), r"^tarnwad \d+\.\d+\.\d+\n$")
        self.assertEqual(run("-V", check_code=0).stdout, version)

    def test_help_describes_the_order_of_a_single_job(self):
        text = " ".join(run("unpack", "--help", check_code=0).stdout.decode().split())
        self.assertIn("1 copies them one after another in the desktop tool's order", text)
        self.assertNotIn("archive order, as the desktop", text)


def bash_complete(*words, cwd=None):
    """What the bash completion offers for the command line `words`, the
    last of which is the word being completed."""
    array = " ".join("'" + w.replace("'", "'\\''") + "'" for w in words)
    script = (f"source '{BASH_FILE}'\nCOMP_WORDS=({array})\n"
              "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_tarnwad\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
    result = subprocess.run(["bash", "--norc", "-c", script], cwd=cwd, capture_output=True,
                            timeout=30)
    if result.returncode != 0 or result.stderr:
        raise AssertionError(f"bash completion of {words}: {result.stderr!r}")
    return sorted(line for line in result.stdout.decode().splitlines() if line)


def make_completion_tree(root):
    os.makedirs(os.path.join(root, "sub dir"))
    os.makedirs(os.path.join(root, "maps"))
    for name in ("a.wad", "B.WAD", "notes.txt"):
        open(os.path.join(root, name), "wb").close()


class CompletionTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-completion-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        make_completion_tree(self.dir)

    def test_bash_completion_loads_and_offers_every_option_of_every_command(self):
        result = subprocess.run(
            ["bash", "--norc", "-c", f"source '{BASH_FILE}'; complete -p tarnwad"],
            capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode().strip(), "complete -F _tarnwad tarnwad")
        self.assertEqual(bash_complete("tarnwad", ""), sorted(tool_commands(aliases=True)))
        self.assertTrue(help_options() <= set(bash_complete("tarnwad", "-")))
        for command in tool_commands(aliases=True):
            offered = set(bash_complete("tarnwad", command, "-"))
            missing = help_options(command) - offered
            self.assertEqual(missing, set(), f"bash completion of {command}")

    def test_bash_completion_of_values_and_paths(self):
        archives = ["B.WAD", "a.wad", "maps", "sub dir"]
        directories = ["maps", "sub dir"]
        cases = [
            (["un"], ["unpack"]),
            (["unpack", "--no"], ["--no-probe"]),
            (["unpack", "-v", "--dr"], ["--dry-run"]),
            (["unpack", ""], archives),
            (["unpack", "-j", "2", "-o", "out", ""], archives),
            (["unpack", "a.wad", ""], []),
            (["unpack", "-o", ""], directories),
            (["unpack", "-C", "s"], ["sub dir"]),
            (["unpack", "--output", "=", ""], directories),
            (["unpack", "--exclude", ""], []),
            (["list", "--exclude", "*.ogg", ""], archives),
            (["cat", "a.wad", ""], []),
            (["pack", ""], directories),
            (["pack", "maps", "-o", ""], archives),
            (["pack", "--codec", ""], ["auto", "lz", "stored", "zlib"]),
            (["pack", "--format-version", ""], ["0", "1", "2"]),
            (["help", ""], sorted(COMMANDS + ["extract"])),
            (["help", "list", ""], []),
        ]
        for words, expected in cases:
            self.assertEqual(bash_complete("tarnwad", *words, cwd=self.dir), expected, words)

    @unittest.skipUnless(shutil.which("fish"),
                         "fish is not installed: its completion is not checked")
    def test_fish_completion_loads_and_offers_every_option_of_every_command(self):
        result = subprocess.run(["fish", "-n", FISH_FILE], capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)

        def offered(line):
            result = subprocess.run(
                ["fish", "--no-config", "-c", f"source '{FISH_FILE}'; complete -C '{line}'"],
                cwd=self.dir, capture_output=True, timeout=30)
            self.assertEqual(result.stderr, b"", line)
            return {entry.split("\t")[0] for entry in result.stdout.decode().splitlines()}

        self.assertEqual(offered("tarnwad "), set(tool_commands(aliases=True)))
        self.assertTrue(help_options() <= offered("tarnwad -"))
        for command in tool_commands(aliases=True):
            missing = help_options(command) - offered(f"tarnwad {command} -")
            self.assertEqual(missing, set(), f"fish completion of {command}")
        self.assertEqual(offered("tarnwad unpack -o "), {"maps/", "sub dir/"})
        self.assertEqual(offered("tarnwad pack --codec "), {"stored", "lz", "zlib", "auto"})
        self.assertTrue({"a.wad", "B.WAD"} <= offered("tarnwad verify "))

    @unittest.skipUnless(shutil.which("zsh"),
                         "zsh is not installed: its completion is not checked")
    def test_zsh_completion_loads_and_offers_every_option_of_every_command(self):
        dump = os.path.join(self.dir, "zcompdump")
        result = subprocess.run(
            ["zsh", "-f", "-c", f"autoload -U compinit; compinit -u -d '{dump}'; "
             f"source '{ZSH_FILE}'; print -r -- $_comps[tarnwad]"],
            capture_output=True, timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.stdout, b"_tarnwad\n")
        # Each command's branch of the file names each of its options; the
        # description of an option holds its name right after a quote, brace or
        # comma ("'--json[", "{-o+,-C+,--output=}").
        with open(ZSH_FILE) as f:
            text = f.read()
        described = lambda option: rf"['{{,*]{re.escape(option)}[+=\[,}}]"
        shared = re.search(r"local -a help=\((.*)\)", text).group(1)
        for option in ("-h", "--help"):
            self.assertRegex(shared, described(option))
        for command in tool_commands():
            branch = re.search(rf"\((?:\w+\|)*{command}(?:\|\w+)*\)\n(.*?);;", text, re.S)
            self.assertIsNotNone(branch, command)
            self.assertIn("$help", branch.group(1), command)
            for option in help_options(command) - {"-h", "--help"}:
                self.assertRegex(branch.group(1), described(option),
                                 f"zsh completion of {command} {option}")
        # What a user gets on Tab: the long options of unpack, listed.
        listing = zsh_tab("tarnwad unpack --", self.dir, dump)
        for option in help_options("unpack"):
            if option.startswith("--"):
                self.assertIn(option, listing)

    def test_install_puts_the_files_where_the_shells_look(self):
        build = os.path.dirname(test_tarnwad.TARNWAD)
        while not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            if os.path.dirname(build) == build:
                self.skipTest("the tool is not in a CMake build directory")
            build = os.path.dirname(build)
        prefix = os.path.join(self.dir, "prefix")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix, "--component",
                        "completion"], check=True, capture_output=True, timeout=60)
        for installed, source in (("share/bash-completion/completions/tarnwad", BASH_FILE),
                                  ("share/zsh/vendor-completions/_tarnwad", ZSH_FILE),
                                  ("share/fish/vendor_completions.d/tarnwad.fish", FISH_FILE)):
            with open(os.path.join(prefix, installed), "rb") as a, open(source, "rb") as b:
                self.assertEqual(a.read(), b.read(), installed)


def zsh_tab(line, cwd, dump):
    """What an interactive zsh lists when Tab is pressed after `line`."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.environ["TERM"] = "dumb"
        os.execvp("zsh", ["zsh", "-f", "-i"])

    def read_until(pattern, timeout=30):
        out = b""
        end = time.time() + timeout
        while not re.search(pattern, out, re.S) and time.time() < end:
            if select.select([fd], [], [], 0.2)[0]:
                try:
                    out += os.read(fd, 65536)
                except OSError:
                    break
        return out.decode(errors="replace")

    try:
        # The echo of the typed line holds RE''ADY, the output READY.
        os.write(fd, (f"PS1='>'; LISTMAX=1000; autoload -U compinit; compinit -u -d '{dump}';"
                      f" source '{ZSH_FILE}'; print RE''ADY\n").encode())
        read_until(rb"READY.*>")
        os.write(fd, (line + "\t").encode())
        # The listing ends with the prompt and the line again.
        return read_until(re.escape(b"\n>" + line.encode()))
    finally:
        os.kill(pid, 9)
        os.waitpid(pid, 0)


def roff(option):
    """An option as the man page's source writes it: "\\-\\-keep\\-old\\-files"."""
    return option.replace("-", "\\-")


class ManPageTest(unittest.TestCase):
    def setUp(self):
        with open(MAN_PAGE) as f:
            self.page = f.read()

    def section(self, start, end_pattern=r"^\.S[HS] "):
        at = self.page.index(start + "\n")
        rest = self.page[at + len(start) + 1:]
        end = re.search(end_pattern, rest, re.M)
        return rest[:end.start()] if end else rest

    def assert_names(self, text, option, what):
        # Not a prefix of a longer name: "\-j" is not "\-\-jobs" nor "\-json".
        self.assertRegex(text, rf"(?<![\\-]){re.escape(roff(option))}(?![\w\\])", what)

    def test_every_command_and_option_is_documented(self):
        for option in help_options():
            self.assert_names(self.page, option, f"tarnwad {option}")
        synopsis = self.section(".SH SYNOPSIS")
        for command in tool_commands():
            self.assertIn(f".B tarnwad {command}", synopsis)
            own = self.section(f".SS {command}")
            for option in help_options(command) - {"-h", "--help"}:
                self.assert_names(own, option, f"{command} {option} in its section")

    def test_exit_codes_and_completion_files(self):
        status = self.section(".SH EXIT STATUS", r"^\.SH ")
        self.assertEqual(re.findall(r"^\.TP\n\.B (\d+)$", status, re.M),
                         ["0", "1", "2", "130", "141"])
        completion = self.section(".SH SHELL COMPLETION", r"^\.SH ")
        for path in ("share/bash-completion/completions/tarnwad",
                     "share/zsh/vendor-completions/_tarnwad",
                     "share/fish/vendor_completions.d/tarnwad.fish",
                     "tools/completion/tarnwad.bash", "tools/completion/_tarnwad",
                     "tools/completion/tarnwad.fish"):
            self.assertIn(roff(path), completion)

    @unittest.skipUnless(shutil.which("groff"), "groff is not installed: the page is not typeset")
    def test_the_page_typesets_without_warnings(self):
        result = subprocess.run(["groff", "-man", "-ww", "-z", MAN_PAGE], capture_output=True,
                                timeout=60)
        self.assertEqual((result.returncode, result.stderr), (0, b""))


if __name__ == "__main__":
    test_tarnwad.main()
