// Reads every entry of an archive whole through the library, as a C++
// program would: per entry OpenFile and reads into one buffer. The baseline
// that bench/python_read_speed holds the Python module's archive.read to.
//
//     read_all_bench ARCHIVE
//
// Opens the archive and lists its entries, reads them all once to warm the
// page cache, then times one more pass and prints its seconds and bytes.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace {

// Reads every entry; the bytes read, or -1 when one fails.
int64_t ReadAll(tarnwad::cli::ArchiveCatalog& catalog, std::vector<uint8_t>& buffer) {
    int64_t total = 0;
    for (const tarnwad::cli::CatalogEntry& entry : catalog.Entries()) {
        vfs::StreamRef input;
        if (catalog.FileSystem()
                .OpenFile(input, entry.path.c_str(), vfs::OPEN_READ | vfs::OPEN_SHARE_READ, 0)
                .Failed()) {
            continue;  // refused: Python raises and goes on as well
        }
        const int64_t size = input.GetSize64();
        if (buffer.size() < static_cast<uint64_t>(size)) {
            buffer.resize(static_cast<size_t>(size));
        }
        int64_t done = 0;
        for (int32_t n; done < size && (n = input.Read(buffer.data() + done,
                                                       static_cast<int32_t>(size - done))) > 0;) {
            done += n;
        }
        if (done != size) {
            return -1;
        }
        total += done;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_all_bench ARCHIVE\n");
        return 2;
    }
    tarnwad::cli::ArchiveCatalog catalog;
    if (std::string failure = catalog.Open(argv[1]); !failure.empty()) {
        std::fprintf(stderr, "read_all_bench: %s: %s\n", argv[1], failure.c_str());
        return 2;
    }
    std::vector<uint8_t> buffer;
    ReadAll(catalog, buffer);
    const auto start = std::chrono::steady_clock::now();
    const int64_t bytes = ReadAll(catalog, buffer);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (bytes < 0) {
        std::fprintf(stderr, "read_all_bench: an entry did not read in full\n");
        return 1;
    }
    std::printf("%.6f %lld\n", took.count(), static_cast<long long>(bytes));
    return 0;
}
