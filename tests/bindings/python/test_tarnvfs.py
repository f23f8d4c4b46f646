"""The tarnvfs module against the tool it shares its engines with: the same
entries, bytes, trees and verdicts."""

import json
import os
import pathlib
import subprocess

import pytest

import tarnvfs

TARNWAD = os.environ["TARNWAD"]


def tool(*args, check=True):
    return subprocess.run([TARNWAD, *map(str, args)], capture_output=True, check=check)


def tree(root):
    """Every file beneath `root` with its bytes, by relative path."""
    return {p.relative_to(root).as_posix(): p.read_bytes()
            for p in pathlib.Path(root).rglob("*") if p.is_file()}


@pytest.fixture(scope="module")
def archives(tmp_path_factory):
    """The tool's test archives, and one packed from a small tree."""
    root = tmp_path_factory.mktemp("archives")
    subprocess.run([os.environ["TARNWAD_MAKE_ARCHIVES"], root], check=True)
    source = root / "src"
    (source / "Maps" / "sub").mkdir(parents=True)
    (source / "readme.txt").write_bytes(b"hello\n")
    (source / "Maps" / "big.bin").write_bytes(bytes(range(256)) * 2000)
    (source / "Maps" / "sub" / "a.txt").write_bytes(b"a" * 5000)
    tool("pack", source, "-o", root / "small.wad", "--codec", "auto")
    return root


def test_open_failures_raise_with_reason_and_code(tmp_path):
    with pytest.raises(tarnvfs.ArchiveNotFoundError, match="no such file") as missing:
        tarnvfs.open_archive(tmp_path / "missing.wad")
    assert isinstance(missing.value, FileNotFoundError)
    assert missing.value.code == tarnvfs.ErrorCode.NOT_FOUND

    (tmp_path / "short.wad").write_bytes(b"QARC")
    with pytest.raises(tarnvfs.ArchiveError, match="too short") as short:
        tarnvfs.open_archive(tmp_path / "short.wad")
    assert short.value.code == tarnvfs.ErrorCode.NOT_AN_ARCHIVE


def test_relative_path_resolves_against_current_directory(archives, monkeypatch):
    monkeypatch.chdir(archives)
    with tarnvfs.open_archive("small.wad") as archive:
        assert archive.path == str(archives / "small.wad")


@pytest.mark.parametrize("name", ["plain-v0.wad", "plain-v2.wad", "hostile.wad", "refused.wad"])
def test_entries_are_what_list_shows(archives, name):
    listed = [json.loads(line) for line in
              tool("list", "--json", archives / name, check=False).stdout.splitlines()]
    with tarnvfs.open_archive(archives / name) as archive:
        # The tool shows paths as the host writes them.
        entries = [{"path": e.path if os.sep == "\\" else e.posix_path, "size": e.size, "stored_size": e.stored_size,
                    "coding": e.coding, "flags": e.flags, "record_index": e.record_index}
                   for e in archive]
    assert entries == [{k: v for k, v in entry.items() if k != "path_bytes"} for entry in listed]


def test_read_gives_what_cat_gives(archives):
    with tarnvfs.open_archive(archives / "plain-v2.wad") as archive:
        for entry in archive:
            data = archive.read(entry.posix_path)
            assert data == tool("cat", archives / "plain-v2.wad", entry.path).stdout, entry.path


def test_entry_file_reads_seeks_and_outlives_its_archive(archives):
    archive = tarnvfs.open_archive(archives / "small.wad")
    whole = archive.read("maps/big.bin")
    with archive.open("MAPS\\Big.bin") as f:
        archive.close()
        assert f.seek(1000) == 1000
        assert f.read(10) == whole[1000:1010]
        buffer = bytearray(20)
        assert f.readinto(buffer) == 20 and bytes(buffer) == whole[1010:1030]
        assert f.seek(-5, os.SEEK_END) == len(whole) - 5
        assert f.read() == whole[-5:] and f.tell() == len(whole)
        assert f.read(3) == b""
    with pytest.raises(ValueError):
        archive.read("readme.txt")


def test_entry_failures_raise_the_tools_reason(archives):
    with tarnvfs.open_archive(archives / "hostile.wad") as archive:
        with pytest.raises(tarnvfs.EntryError) as bad:
            archive.read("bad.lz")
        cat = tool("cat", archives / "hostile.wad", "bad.lz", check=False)
        assert cat.stderr.decode().rstrip().endswith(str(bad.value).split(": ", 1)[1])
        assert bad.value.code == tarnvfs.ErrorCode.NOT_DECODABLE
        with pytest.raises(tarnvfs.EntryError) as missing:
            archive.read("nothing.txt")
        assert missing.value.code == tarnvfs.ErrorCode.NOT_FOUND


@pytest.mark.parametrize("paths", [None, ["maps/sub"]])
def test_unpack_writes_the_tree_the_tool_writes(archives, tmp_path, paths):
    tool("unpack", "--no-probe", "-q", "-o", tmp_path / "tool", archives / "small.wad",
         *(paths or []))
    with tarnvfs.open_archive(archives / "small.wad") as archive:
        outcome = archive.unpack(tmp_path / "module", paths, jobs=2)
    assert outcome.succeeded and not outcome.failures
    assert outcome.files_written == len(tree(tmp_path / "tool"))
    assert tree(tmp_path / "module") == tree(tmp_path / "tool")


def test_unpack_writes_nothing_outside_and_names_what_failed(archives, tmp_path):
    out = tmp_path / "deep" / "out"
    outcome = tarnvfs.unpack(archives / "hostile.wad", out)
    assert not outcome.succeeded
    assert [f.path for f in outcome.failures] == ["bad.lz"]
    assert {r.path for r in outcome.rejected} == {"..\\escaped.txt", "c:\\drive.txt"}
    assert sorted(os.listdir(tmp_path)) == ["deep"] and sorted(os.listdir(out.parent)) == ["out"]
    assert sorted(tree(out)) == ["fine.txt", "groundtile.png"]


def test_unpack_refuses_an_output_path_that_is_a_file(archives, tmp_path):
    (tmp_path / "file").write_bytes(b"")
    with tarnvfs.open_archive(archives / "small.wad") as archive:
        with pytest.raises(tarnvfs.UnpackError, match="cannot be created"):
            archive.unpack(tmp_path / "file")


def test_pack_round_trip(archives, tmp_path):
    source = archives / "src"
    result = tarnvfs.pack(source, tmp_path / "out.wad", codec="lz", format_version=1)
    assert result.files == 3
    with tarnvfs.open_archive(tmp_path / "out.wad") as archive:
        assert {e.posix_path: archive.read(e.path) for e in archive} == \
            {path.lower(): data for path, data in tree(source).items()}
        assert {e.coding for e in archive} == {"lz"}
    with pytest.raises(tarnvfs.PackError, match="already exists"):
        tarnvfs.pack(source, tmp_path / "out.wad")


def test_verify_gives_the_tools_verdicts(archives):
    with tarnvfs.open_archive(archives / "hostile.wad") as archive:
        result = archive.verify()
        listed = {e.path: e for e in archive}
    tool_says = json.loads(tool("verify", "--json", archives / "hostile.wad", check=False).stdout)
    assert not result.ok
    assert [(v.path, v.reason) for v in result.entries if v.outcome == "failed"] == \
        [(f["path"], f["reason"]) for f in tool_says["failures"]]
    assert result.rejected_count == tool_says["rejected_records"]
    assert listed["fine.txt"].reason is None
