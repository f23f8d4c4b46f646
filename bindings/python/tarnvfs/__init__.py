"""Tarnhollow WAD archives from Python.

    import tarnvfs

    with tarnvfs.open_archive("level.wad") as archive:
        for entry in archive:
            print(entry.path, entry.size, entry.coding, entry.reason or "")
        layout = archive.read("maps/level1/layout.txt")
        with archive.open("maps/level1/layout.txt") as f:
            f.seek(10)
            first = f.read(20)
        outcome = archive.unpack("out", ["maps"])
        for failure in outcome.failures:
            print(failure.path, failure.reason)

Everything is done by the library and the engines the `tarnwad` tool runs, so
that each entry gets the same verdict with the same reason, and an unpack
keeps the tool's safety rules. Long work runs without the GIL.
"""

import io
import os

from ._tarnvfs import (
    Archive,
    ArchiveError,
    ArchiveNotFoundError,
    Entry,
    EntryError,
    Error,
    ErrorCode,
    Finding,
    PackError,
    PackResult,
    UnpackError,
    UnpackResult,
    VerifyResult,
    VerifyVerdict,
    open_archive,
    pack,
)

__all__ = [
    "Archive", "ArchiveError", "ArchiveNotFoundError", "Entry", "EntryError", "EntryFile",
    "Error", "ErrorCode", "Finding", "PackError", "PackResult", "UnpackError", "UnpackResult",
    "VerifyResult", "VerifyVerdict", "open_archive", "pack", "unpack",
]


class EntryFile(io.RawIOBase):
    """An entry opened for reading (Archive.open): a binary file object with
    read, readinto, seek and tell. It holds the archive file itself, so it
    reads on after its archive is closed. Wrap it in io.BufferedReader for
    many small reads."""

    def __init__(self, stream, name):
        super().__init__()
        self._stream = stream
        self.name = name

    @property
    def size(self):
        """The entry's size in bytes, decoded."""
        return self._stream.size

    def readable(self):
        return True

    def seekable(self):
        return True

    def readinto(self, buffer):
        self._checkClosed()
        return self._stream.readinto(buffer)

    def read(self, size=-1):
        self._checkClosed()
        return self._stream.read(-1 if size is None else size)

    def readall(self):
        return self.read(-1)

    def seek(self, offset, whence=io.SEEK_SET):
        self._checkClosed()
        return self._stream.seek(offset, whence)

    def tell(self):
        self._checkClosed()
        return self._stream.tell()

    def close(self):
        if not self.closed:
            self._stream.close()
        super().close()


def _open(self, path):
    """The entry at `path` as an EntryFile. Raises EntryError with the reason
    every command gives when it does not open (a coded entry is decoded
    here, whole)."""
    return EntryFile(self._open_stream(path), os.fsdecode(path))


Archive.open = _open


def unpack(archive_path, dest, paths=None, **options):
    """Opens the archive at `archive_path`, unpacks it into `dest` with
    Archive.unpack (same arguments) and closes it."""
    with open_archive(archive_path) as archive:
        return archive.unpack(dest, paths, **options)
