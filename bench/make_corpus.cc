// make_corpus DIR: writes the benchmark corpus into DIR (which must not
// exist yet or be empty) and prints what it wrote.
#include <cstdio>
#include <filesystem>
#include <map>

#include "bench/corpus_content.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path root(argv[1]);
    std::error_code error;
    if (fs::exists(root) && !fs::is_empty(root)) {
        std::fprintf(stderr, "make_corpus: %s is not empty\n", argv[1]);
        return 1;
    }
    std::map<std::string, std::pair<size_t, uint64_t>> perKind;  // files, bytes
    size_t files = 0;
    uint64_t bytes = 0;
    for (const bench::CorpusFile& file : bench::CorpusLayout()) {
        const fs::path path = root / file.path;
        fs::create_directories(path.parent_path(), error);
        const bench::Bytes content = bench::MakeContent(file.kind, file.size, file.seed);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr ||
            std::fwrite(content.data(), 1, content.size(), out) != content.size() ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
            return 1;
        }
        auto& kind = perKind[bench::ContentKindName(file.kind)];
        ++kind.first;
        kind.second += content.size();
        ++files;
        bytes += content.size();
    }
    for (const auto& [name, counts] : perKind) {
        std::printf("%-15s %6zu files %12llu bytes\n", name.c_str(), counts.first,
                    static_cast<unsigned long long>(counts.second));
    }
    std::printf("%-15s %6zu files %12llu bytes\n", "total", files,
                static_cast<unsigned long long>(bytes));
    return 0;
}
