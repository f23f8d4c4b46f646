// SHA-256 of content fed in pieces, through the host's own implementation
// (libcrypto on POSIX hosts, CNG on Windows): the digest `sha256sum` prints
// for the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vfs::host {

using Sha256Digest = std::array<uint8_t, 32>;

// One digest at a time: Update with the content in as many pieces as it
// comes, then Finish, which also starts the next digest afresh. Not shared
// between threads; each thread hashes with its own.
class ContentHash {
  public:
    ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;
    ~ContentHash();

    // False when the host could not set up its SHA-256; every call then fails.
    bool IsReady() const { return state != nullptr; }
    // Adds `length` bytes at `data`. False when the host's hash failed.
    bool Update(const void* data, size_t length);
    // The digest of everything added since the last Finish (or since
    // construction); false when the host's hash failed.
    bool Finish(Sha256Digest* out);

  private:
    void* state = nullptr;  // the host's hash object
};

// The digest in lower-case hex, as `sha256sum` prints it.
std::string DigestHex(const Sha256Digest& digest);

}  // namespace vfs::host
