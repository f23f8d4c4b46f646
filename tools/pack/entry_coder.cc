#include "tools/pack/entry_coder.h"

#include <algorithm>

#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_error.h"
#include "vfs/host/process_signals.h"

namespace tarnwad::pack {

namespace {

// Reads the whole file `path` of `fs` into the worker's buffer, `size`
// bytes; false, with why in `why`, when it cannot be read in full.
bool ReadWholeFileImpl(PackWorker& worker, const std::string& path, size_t& size,
                       std::string& why) {
    vfs::StreamRef input;
    // Opened beneath the held tree, never through a link: one swapped in
    // for the file, or for a directory on its way, since the walk found it
    // makes the open fail.
    vfs::host::ClearLastError();
    if (worker.tree.OpenFile(input, path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
            .Failed()) {
        why = "cannot be opened for reading" + vfs::host::LastErrorSuffix();
        return false;
    }
    int32_t length = input.GetSize();
    if (length < 0) {
        why = kTooLargeForArchive;
        return false;
    }
    uint8_t* bytes = worker.Room(static_cast<size_t>(length));
    int32_t done = 0;
    while (done < length) {
        int32_t n = input.Read(bytes + done, length - done);
        if (n < 1) {
            break;
        }
        done += n;
    }
    if (done != length) {
        why = "could not be read in full";
        return false;
    }
    size = static_cast<size_t>(length);
    return true;
}

}  // namespace

uint8_t* PackWorker::Room(size_t size) {
    if (buffer == nullptr || size > bufferSize) {
        bufferSize = std::max<size_t>(size, 1);
        buffer.reset(new uint8_t[bufferSize]);
    }
    return buffer.get();
}

bool ReadWholeFile(PackWorker& worker, const PackFile& file, size_t& size, std::string& why) {
    return ReadWholeFileImpl(worker, file.source, size, why);
}

PackedFile PackOne(const PackFile& file, const std::string& codec, PackWorker& worker) {
    PackedFile packed;
    if (vfs::host::InterruptRequested()) {
        packed.interrupted = true;
        return packed;
    }
    size_t size = 0;
    if (!ReadWholeFile(worker, file, size, packed.failure)) {
        return packed;
    }
    CodeBytes(worker.buffer.get(), size, codec, worker, packed);
    return packed;
}

void CodeBytes(const uint8_t* bytes, size_t size, const std::string& codec, PackWorker& worker,
               PackedFile& packed) {
    packed.size = static_cast<uint32_t>(size);
    if (codec == "auto") {
        size_t best = size;
        packed.flags = worker.coder.Code(bytes, size, vfs::WadCoding::LZ, packed.stored);
        if (packed.flags != 0 && packed.stored.size() < best) {
            best = packed.stored.size();
        } else {
            packed.flags = 0;
        }
        uint32_t zlib = worker.coder.Code(bytes, size, vfs::WadCoding::ZLIB, worker.other);
        if (zlib != 0 && worker.other.size() < best) {
            packed.flags = zlib;
            packed.stored.swap(worker.other);
        }
    } else {
        const vfs::WadCoding coding = codec == "lz"     ? vfs::WadCoding::LZ
                                      : codec == "zlib" ? vfs::WadCoding::ZLIB
                                                        : vfs::WadCoding::STORED;
        packed.flags = worker.coder.Code(bytes, size, coding, packed.stored);
    }
    if (packed.flags == 0) {
        packed.stored.assign(bytes, bytes + size);
    }
}

}  // namespace tarnwad::pack
