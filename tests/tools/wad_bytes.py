"""Writes WAD archives byte by byte, for tests that need records the
library's own writer would never make (hostile names, lying sizes, deep
trees, duplicate paths).

    archive = wad_bytes.build([wad_bytes.Entry("a\\b.txt", b"data"), ...])
"""

import struct

MAGIC = b"QARC"
HEADER_SIZE = 88
RECORD_SIZE = 40

FLAG_REFUSED = 0x1
FLAG_ZLIB = 0x2
FLAG_LZ = 0x4


def path_hash(path):
    """The archive's path hash of `path` (bytes or str), as the reader forms it."""
    data = path.encode("latin-1") if isinstance(path, str) else path

    def upper(byte):
        value = byte - 256 if byte >= 128 else byte
        return value - 32 if ord("a") <= value <= ord("z") else value

    h = 0
    whole = len(data) - len(data) % 4
    for i in range(0, whole, 4):
        h += upper(data[i]) + 2 * upper(data[i + 1]) + 4 * upper(data[i + 2]) + \
            8 * upper(data[i + 3])
    for byte in data[whole:]:
        h += upper(byte) & 0xFF
    return h & 0xFFFFFFFF


class Entry:
    """One record: `stored` bytes as they lie in the archive; `flags` and
    `unpacked_size` as the record claims them (by default: stored, its own
    length). `data_offset` and `stored_size` override where the record
    points."""

    def __init__(self, path, stored=b"", flags=0, unpacked_size=None, data_offset=None,
                 stored_size=None, path_hash=None):
        self.path = path.encode("latin-1") if isinstance(path, str) else path
        self.stored = stored
        self.flags = flags
        self.unpacked_size = len(stored) if unpacked_size is None else unpacked_size
        self.data_offset = data_offset
        self.stored_size = stored_size
        self.path_hash = path_hash


def _header(count, names_at, names_size, version):
    return MAGIC + struct.pack("<I", version) + bytes(64) + \
        struct.pack("<IIII", count, names_at, names_size, 0)


def _record(entry, name_offset, data_offset):
    stored_size = len(entry.stored) if entry.stored_size is None else entry.stored_size
    hash_value = path_hash(entry.path) if entry.path_hash is None else entry.path_hash
    return struct.pack("<IIIIIII12x", hash_value, name_offset, len(entry.path), data_offset,
                       stored_size, entry.flags, entry.unpacked_size)


def _names(entries, names_at):
    """The names one after another from `names_at`: (bytes, offset of each)."""
    names = bytearray()
    offsets = []
    for entry in entries:
        offsets.append(names_at + len(names))
        names += entry.path + b"\0"
    return bytes(names), offsets


def build(entries, version=2):
    """The bytes of an archive of `entries`, in record order."""
    table_at = HEADER_SIZE + RECORD_SIZE * len(entries)
    names, name_offsets = _names(entries, table_at)
    data_at = table_at + len(names)
    data = bytearray()
    records = bytearray()
    for entry, name_offset in zip(entries, name_offsets):
        offset = data_at + len(data) if entry.data_offset is None else entry.data_offset
        data += entry.stored
        records += _record(entry, name_offset, offset)
    return bytes(_header(len(entries), table_at, len(names), version) + records + names + data)


def read(data):
    """The entries of the archive `data` (bytes), in record order, each with
    its path, stored bytes, flags and unpacked size."""
    version, = struct.unpack_from("<I", data, 4)
    count, = struct.unpack_from("<I", data, 72)
    entries = []
    for i in range(count):
        _, name_at, name_length, offset, size, flags, unpacked = struct.unpack_from(
            "<IIIIIII", data, HEADER_SIZE + RECORD_SIZE * i)
        end = data.index(b"\0", name_at) if version == 2 else name_at + name_length
        entries.append(Entry(data[name_at:end], data[offset:offset + size], flags, unpacked))
    return entries


def write_placed(path, entries, size, names_at, version=2):
    """Writes an archive file of `size` bytes with its names (the name table
    in version 2) at `names_at` and each entry's stored bytes at its
    `data_offset`, which every entry gives. What lies between is never
    written, so the file is sparse: archives of gigabytes cost next to no
    disk and time."""
    names, name_offsets = _names(entries, names_at)
    records = b"".join(_record(entry, name_offset, entry.data_offset)
                       for entry, name_offset in zip(entries, name_offsets))
    with open(path, "wb") as f:
        f.truncate(size)
        f.write(_header(len(entries), names_at, len(names), version) + records)
        f.seek(names_at)
        f.write(names)
        for entry in entries:
            f.seek(entry.data_offset)
            f.write(entry.stored)


def write(path, entries, version=2):
    with open(path, "wb") as f:
        f.write(build(entries, version))
