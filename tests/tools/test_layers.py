"""Layers over an archive: `conflicts`, `mount` with layers and `--layer`.

    test_layers.py --tarnwad PATH --make-archives PATH [unittest arguments]

A base archive and a dozen archive and folder layers, whose names differ in
letter case from layer to layer, are checked against a merge computed here:
later layers win, names compare without letter case, and where a path is a
file in one layer and a directory in another the higher one's kind wins.
The mount is skipped (saying why) where this machine cannot mount.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_mount  # noqa: E402
import test_tarnwad  # noqa: E402
from test_tarnwad import run  # noqa: E402

CODECS = ("stored", "lz", "zlib", "auto")


def layer_files(index):
    """The files of layer `index` (0: the base), spelled in lower case, as
    titles or in capitals, by layer."""
    spell = (str.lower, str.title, str.upper)[index % 3]
    data = lambda name: b"%s from layer %d\n" % (name.encode(), index) * (index + 1)
    files = {
        "maps/level%d/layout.txt" % (index % 3): data("layout"),
        "sounds/wind_%d.ogg" % index: data("wind") * 40,
        "readme.txt": data("readme"),
    }
    if index == 0:
        files["groundtile.png"] = data("tile")
        files["maps/swap"] = data("swap")  # a directory from layer 7 on
    if index % 4 == 1:
        files["sounds/shared.ogg"] = data("shared") * 100
    if index == 7:
        files["maps/swap/inner.txt"] = data("inner")
    if index == 10:
        files["maps/swap"] = data("swap again")  # a file again
    return {spell(path): data for path, data in files.items()}


def reference_merge(layers):
    """{lower-case path: (layer, kind, data)} of the merged tree, and every
    path's versions [(layer, kind, size)] lowest first."""
    merged = {}
    versions = {}
    for index, files in enumerate(layers):
        paths = {}
        for path, data in files.items():
            parts = path.lower().split("/")
            for depth in range(1, len(parts)):
                paths["/".join(parts[:depth])] = ("directory", None)
            paths[path.lower()] = ("file", data)
        for path, (kind, data) in sorted(paths.items()):
            below = path + "/"
            if path in merged and merged[path][1] != kind:
                for hidden in [p for p in merged if p == path or p.startswith(below)]:
                    del merged[hidden]
            merged[path] = (index, kind, data)
            versions.setdefault(path, []).append(
                (index, kind, len(data) if kind == "file" else 0))
    return merged, versions


class LayersTest(test_mount.MountTestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarnwad-layers-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.layers = [layer_files(i) for i in range(13)]
        self.arguments = []
        for index, files in enumerate(self.layers):
            root = self.path("layer%d" % index)
            if index == 11:
                # A directory inside an archive.
                test_tarnwad.write_tree(os.path.join(root, "mod"), files)
                self.pack(root, "auto", "layer11.wad")
                self.arguments.append(self.path("layer11.wad") + "*/mod")
                continue
            test_tarnwad.write_tree(root, files)
            if index == 0 or index % 2 == 1:
                self.pack(root, CODECS[index % len(CODECS)], "layer%d.wad" % index)
                self.arguments.append(self.path("layer%d.wad" % index))
            else:
                self.arguments.append(root)
        self.merged, self.versions = reference_merge(self.layers)
        self.expected = {path: data for path, (_, kind, data) in self.merged.items()
                         if kind == "file"}

    def layer_options(self):
        return [word for path in self.arguments[1:] for word in ("--layer", path)]

    def test_mount_and_unpack_give_the_merged_tree(self):
        out = self.path("out")
        run("unpack", "-q", "-o", out, *self.layer_options(), self.arguments[0], check_code=0)
        self.assertEqual(test_tarnwad.tree(out), self.expected)
        problem = test_mount.environment_problem()
        if problem is not None:
            self.skipTest(f"this machine cannot mount: {problem}")
        mount_point = self.new_mount_point()
        self.addCleanup(self.cleanup_mount, mount_point)
        run("mount", *self.arguments, mount_point, check_code=0)
        self.assertEqual(test_tarnwad.tree(mount_point), self.expected)
        self.assert_same_tree(out, mount_point)

    def test_conflicts_name_every_version_in_the_order_given(self):
        result = run("conflicts", "--json", *self.arguments, check_code=0)
        found = {}
        for line in result.stdout.decode().splitlines():
            record = json.loads(line)
            versions = record["others"] + [record["winner"]]
            for version in versions:
                self.assertEqual(version["name"], self.arguments[version["layer"]])
            found[record["path"].replace("\\", "/")] = [
                (v["layer"], v["kind"], v["size"]) for v in versions]
        expected = {path: versions for path, versions in self.versions.items()
                    if len(versions) > 1 and any(kind == "file" for _, kind, _ in versions)}
        self.assertEqual(found, expected)

    def test_list_verify_and_cat_read_the_merged_tree(self):
        options = self.layer_options()
        listed = run("list", "--json", *options, self.arguments[0], check_code=0)
        entries = [json.loads(line) for line in listed.stdout.decode().splitlines()]
        self.assertEqual(
            {e["path"].replace("\\", "/"): (e["layer"], e["size"]) for e in entries},
            {path: (layer, len(data)) for path, (layer, kind, data) in self.merged.items()
             if kind == "file"})
        # Patterns select from the merged tree (level2 is in no base).
        chosen = run("list", "--json", *options, self.arguments[0], "MAPS/Level2",
                     check_code=0)
        self.assertEqual(
            {json.loads(line)["path"].replace("\\", "/")
             for line in chosen.stdout.decode().splitlines()},
            {path for path in self.expected if path.startswith("maps/level2/")})
        run("verify", *options, self.arguments[0], check_code=0)
        for path, data in self.expected.items():
            shown = run("cat", *options, self.arguments[0], path.upper(), check_code=0)
            self.assertEqual(shown.stdout, data, path)

    def test_a_layer_that_does_not_open_is_named(self):
        missing = self.path("missing.wad")
        base = self.arguments[0]
        for command in (["conflicts", base, missing], ["list", "--layer", missing, base],
                        ["verify", "--layer", missing, base],
                        ["cat", "--layer", missing, base, "readme.txt"],
                        ["unpack", "-o", self.path("never"), "--layer", missing, base]):
            result = run(*command)
            self.assertEqual(result.returncode, 2, command)
            self.assertIn(f"tarnwad: {missing}: cannot be opened", result.stderr.decode())
        self.assertFalse(os.path.exists(self.path("never")))

    def test_no_archive_of_the_stack_is_replaced(self):
        # A layer archive in the output directory under the name of an entry
        # the base serves: that entry is not written, and the layer stays.
        out = self.path("out")
        os.mkdir(out)
        layer = os.path.join(out, "groundtile.png")
        shutil.copy(self.path("layer1.wad"), layer)
        with open(layer, "rb") as f:
            before = f.read()
        result = run("unpack", "-q", "-o", out, "--layer", layer, self.arguments[0])
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"groundtile.png: not written: the archive being unpacked has its name",
                      result.stderr)
        with open(layer, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_the_game_archive_check_asks_the_merged_tree(self):
        # Only the base (layer 0) holds a known entry: over an archive that
        # lacks one, it lets unpack and mount go on; alone, that archive fails.
        base, known = self.path("layer1.wad"), self.path("layer0.wad")
        result = run("unpack", "-q", "-o", self.path("alone"), base)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"is not a Tarnhollow archive", result.stderr)
        run("unpack", "-q", "-o", self.path("merged"), "--layer", known, base, check_code=0)
        if test_mount.environment_problem() is None:
            mount_point = self.new_mount_point()
            self.addCleanup(self.cleanup_mount, mount_point)
            run("mount", base, known, mount_point, check_code=0)
            self.assert_same_tree(self.path("merged"), mount_point)


if __name__ == "__main__":
    test_tarnwad.main()
