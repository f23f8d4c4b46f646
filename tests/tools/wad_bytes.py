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


def build(entries, version=2):
    """The bytes of an archive of `entries`, in record order."""
    count = len(entries)
    table_at = HEADER_SIZE + RECORD_SIZE * count
    names = bytearray()
    name_offsets = []
    for entry in entries:
        name_offsets.append(len(names))
        names += entry.path + b"\0"
    data_at = table_at + len(names)
    data = bytearray()
    records = bytearray()
    for entry, name_offset in zip(entries, name_offsets):
        offset = data_at + len(data) if entry.data_offset is None else entry.data_offset
        data += entry.stored
        stored_size = len(entry.stored) if entry.stored_size is None else entry.stored_size
        hash_value = path_hash(entry.path) if entry.path_hash is None else entry.path_hash
        records += struct.pack("<IIIIIII12x", hash_value, table_at + name_offset,
                               len(entry.path), offset, stored_size, entry.flags,
                               entry.unpacked_size)
    header = MAGIC + struct.pack("<I", version) + bytes(64) + \
        struct.pack("<IIII", count, table_at, len(names), 0)
    return bytes(header + records + names + data)


def write(path, entries, version=2):
    with open(path, "wb") as f:
        f.write(build(entries, version))
