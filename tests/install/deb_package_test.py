"""The Debian packages, unpacked together into a scratch root: each holds
its part, the tool runs from there, dpkg-shlibdeps named what the programs
link, and another project builds and runs against the development package.

    python3 tests/install/deb_package_test.py --version 0.1.0 --dist dist
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
ARGS = None


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True,
                          check=True).stdout.strip()


class DebPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        major_minor = ".".join(ARGS.version.split(".")[:2])
        cls.debs = {}
        for name in ("tarnwad", f"libtarnvfs{major_minor}", "libtarnvfs-dev"):
            found = glob.glob(os.path.join(ARGS.dist, f"{name}_{ARGS.version}_*.deb"))
            if len(found) != 1:
                raise unittest.SkipTest(f"no single {name} package in {ARGS.dist}: {found}")
            cls.debs[name] = found[0]
        cls.scratch = tempfile.mkdtemp(prefix="tarnwad-deb-")
        cls.root = os.path.join(cls.scratch, "root")
        cls.contents = {}
        for name, deb in cls.debs.items():
            subprocess.run(["dpkg-deb", "-x", deb, cls.root], check=True)
            listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True,
                                     check=True).stdout
            cls.contents[name] = {line.split()[5].lstrip(".") for line in listing.splitlines()}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_each_package_holds_its_part(self):
        major_minor = ".".join(ARGS.version.split(".")[:2])
        runtime = f"libtarnvfs{major_minor}"
        expected = {
            "tarnwad": ["/usr/bin/tarnwad", "/usr/bin/tarnwad-gui",
                        "/usr/share/man/man1/tarnwad.1.gz",
                        "/usr/share/bash-completion/completions/tarnwad",
                        "/usr/share/applications/tarnwad-gui.desktop",
                        "/usr/share/mime/packages/tarnwad.xml",
                        "/usr/share/icons/hicolor/256x256/apps/tarnwad-gui.png",
                        "/usr/share/doc/tarnwad/copyright"],
            runtime: [f"/usr/share/doc/{runtime}/copyright"],
            "libtarnvfs-dev": ["/usr/include/tarnvfs/tarnvfs.h",
                               "/usr/share/doc/libtarnvfs-dev/copyright"],
        }
        for name, paths in expected.items():
            for path in paths:
                self.assertIn(path, self.contents[name], name)
        suffixes = {
            runtime: [f"/libtarnvfs.so.{major_minor}"],
            "libtarnvfs-dev": ["/libtarnvfs.a", "/libtarnvfs.so", "/tarnvfsConfig.cmake",
                               "/tarnvfs.pc"],
        }
        for name, ends in suffixes.items():
            for end in ends:
                self.assertTrue(any(p.endswith(end) for p in self.contents[name]), (name, end))
        # The library's file is in its runtime package alone.
        self.assertFalse(any(p.endswith(f".so.{major_minor}") for p in
                             self.contents["libtarnvfs-dev"]))

    def test_tool_runs_from_the_package(self):
        result = subprocess.run([os.path.join(self.root, "usr/bin/tarnwad"), "--version"],
                                capture_output=True, text=True, check=True)
        self.assertIn(ARGS.version, result.stdout)

    def test_dependencies_are_what_the_files_link(self):
        tool = field(self.debs["tarnwad"], "Depends")
        for package in ("libc6", "zlib1g", "libgtk-3-0", "libssl3"):
            self.assertIn(package, tool)
        major_minor = ".".join(ARGS.version.split(".")[:2])
        self.assertIn(f"libtarnvfs{major_minor} (= {ARGS.version})",
                      field(self.debs["libtarnvfs-dev"], "Depends"))

    def test_a_project_builds_against_the_development_package(self):
        usr = os.path.join(self.root, "usr")
        build = os.path.join(self.scratch, "consumer")
        subprocess.run(["cmake", "-S", os.path.join(HERE, "consumer"), "-B", build,
                        f"-DCMAKE_PREFIX_PATH={usr}",
                        f"-DEXAMPLES={os.path.join(SOURCE, 'examples', 'library')}"],
                       capture_output=True, check=True)
        subprocess.run(["cmake", "--build", build], capture_output=True, check=True)
        library = os.path.dirname(glob.glob(os.path.join(usr, "lib", "**", "libtarnvfs.so"),
                                            recursive=True)[0])
        env = dict(os.environ, LD_LIBRARY_PATH=library)
        subprocess.run([os.path.join(build, "write_archive"), "scratch.wad"], cwd=build, env=env,
                       capture_output=True, check=True)
        read = subprocess.run([os.path.join(build, "read_entry"), "scratch.wad", "README.TXT"],
                              cwd=build, env=env, capture_output=True, text=True, check=True)
        self.assertEqual(read.stdout, "An archive written with tarnvfs.\n")
        # Linked to the packaged shared library, not to the static one.
        needed = subprocess.run(["readelf", "-d", os.path.join(build, "read_entry")],
                                capture_output=True, text=True, check=True).stdout
        self.assertIn("libtarnvfs.so.", needed)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--dist", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest])
