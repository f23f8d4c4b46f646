// Writes the seed inputs of the codec fuzz targets: a few valid blocks of
// each format and a few broken ones.
//   make_codec_seeds <fuzz/corpus>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vfs/codec/lz_codec.h"
#include "vfs/codec/zlib_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Text with repeats near and far, so that every copy form shows up.
Bytes SampleText(size_t count) {
    const std::string words[] = {"tarnhollow ", "archive ", "entry ", "the ", "\n", "0123456789"};
    Bytes bytes;
    uint32_t state = 12345;
    while (bytes.size() < count) {
        state = state * 1103515245 + 12345;
        const std::string& word = words[(state >> 16) % 6];
        bytes.insert(bytes.end(), word.begin(), word.end());
        if ((state >> 8) % 50 == 0) {
            bytes.insert(bytes.end(), 40 + (state >> 20) % 200, static_cast<uint8_t>(state));
        }
    }
    bytes.resize(count);
    return bytes;
}

Bytes LzBlock(const Bytes& input) {
    vfs::LzCodec codec;
    Bytes block(static_cast<size_t>(
        vfs::LzCodec::GetMaxCompressedSize(static_cast<int32_t>(input.size()))));
    block.resize(static_cast<size_t>(
        codec.Compress(block.data(), input.data(), static_cast<int32_t>(input.size()), nullptr)));
    return block;
}

Bytes ZlibBlock(const Bytes& input) {
    vfs::ZlibCodec codec;
    Bytes block(input.size());
    block.resize(static_cast<size_t>(
        codec.Compress(block.data(), input.data(), static_cast<int32_t>(input.size()), nullptr)));
    return block;
}

class Collector : public vfs::CodecIo {
  public:
    int32_t WriteChunk(const uint8_t* buffer, int32_t count) override {
        bytes.insert(bytes.end(), buffer, buffer + count);
        return count;
    }
    int32_t ReadChunk(uint8_t*, int32_t) override { return 0; }
    Bytes bytes;
};

Bytes StreamedZlibBlock(const Bytes& input) {
    vfs::ZlibCodec codec;
    Collector collector;
    Bytes buffer(256);
    codec.CompressToWriter(input.data(), static_cast<int32_t>(input.size()), buffer.data(),
                           static_cast<int32_t>(buffer.size()), nullptr, collector);
    return collector.bytes;
}

Bytes Cut(Bytes block, size_t length) {
    block.resize(length);
    return block;
}

Bytes Flip(Bytes block, size_t at) {
    block[at] ^= 0x10;
    return block;
}

bool Write(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_codec_seeds <fuzz/corpus>\n");
        return 2;
    }
    const std::string corpus = argv[1];
    const Bytes text = SampleText(3000);
    const Bytes pangram = BytesOf(
        "The quick brown fox jumps over the lazy dog. The quick brown fox jumps over the lazy "
        "dog.");

    const Bytes lzText = LzBlock(text);
    Bytes lzLong = LzBlock(pangram);
    lzLong[0] = 0x11;
    lzLong.insert(lzLong.begin() + 2, {0, 0, 0});
    const struct {
        const char* name;
        Bytes bytes;
    } lzSeeds[] = {
        {"empty", LzBlock({})},
        {"three_literals", LzBlock(BytesOf("abc"))},
        {"one_byte_repeated", LzBlock(Bytes(69, 'a'))},
        {"pangram", LzBlock(pangram)},
        {"long_header", lzLong},
        {"text", lzText},
        {"truncated", Cut(lzText, lzText.size() / 2)},
        {"no_stop", Cut(lzText, lzText.size() - 1)},
        {"copy_before_start", {0x10, 0xFB, 0x00, 0x00, 0x05, 0x01, 0x04, 'a', 0xFC}},
        {"stops_early", {0x10, 0xFB, 0x00, 0x00, 0x09, 0xFE, 'a', 'b'}},
    };
    const Bytes zlibText = ZlibBlock(text);
    Bytes zlibWindow = zlibText;
    zlibWindow[12] = 9;
    const struct {
        const char* name;
        Bytes bytes;
    } zlibSeeds[] = {
        {"text", zlibText},
        {"streamed", StreamedZlibBlock(text)},
        {"streamed_empty", StreamedZlibBlock({})},
        {"truncated", Cut(zlibText, zlibText.size() / 2)},
        {"corrupted", Flip(zlibText, 40)},
        {"wrong_magic", Flip(zlibText, 0)},
        {"small_window", zlibWindow},
    };

    bool ok = true;
    for (const auto& seed : lzSeeds) {
        ok = Write(corpus + "/lz_decode/" + seed.name, seed.bytes) && ok;
    }
    for (const auto& seed : zlibSeeds) {
        ok = Write(corpus + "/zlib_decode/" + seed.name, seed.bytes) && ok;
    }
    return ok ? 0 : 1;
}
