#include "vfs/host/content_hash.h"

#include <algorithm>

#include "vfs/host/windows_api.h"
// After windows.h: CNG.
#include <bcrypt.h>

namespace vfs::host {

namespace {

// The provider, opened once for the process and kept: its handle serves
// hash objects on any thread.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            opened = nullptr;
        }
        return opened;
    }();
    return provider;
}

BCRYPT_HASH_HANDLE NewHash() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (Provider() == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0))) {
        return nullptr;
    }
    return hash;
}

}  // namespace

ContentHash::ContentHash() {
    state = NewHash();
}

ContentHash::~ContentHash() {
    if (state != nullptr) {
        BCryptDestroyHash(state);
    }
}

bool ContentHash::Update(const void* data, size_t length) {
    if (state == nullptr) {
        return false;
    }
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    for (size_t done = 0; done < length;) {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(length - done, 1u << 30));
        if (!BCRYPT_SUCCESS(BCryptHashData(state, bytes + done, n, 0))) {
            return false;
        }
        done += n;
    }
    return true;
}

bool ContentHash::Finish(Sha256Digest* out) {
    if (state == nullptr) {
        return false;
    }
    // A finished CNG hash cannot take more: the next digest gets a new one.
    const bool finished =
        BCRYPT_SUCCESS(BCryptFinishHash(state, out->data(), static_cast<ULONG>(out->size()), 0));
    BCryptDestroyHash(state);
    state = NewHash();
    return finished && state != nullptr;
}

}  // namespace vfs::host
