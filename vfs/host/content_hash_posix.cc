#include <openssl/evp.h>

#include "vfs/host/content_hash.h"

namespace vfs::host {

namespace {

EVP_MD_CTX* Context(void* state) {
    return static_cast<EVP_MD_CTX*>(state);
}

}  // namespace

ContentHash::ContentHash() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        context = nullptr;
    }
    state = context;
}

ContentHash::~ContentHash() {
    EVP_MD_CTX_free(Context(state));
}

bool ContentHash::Update(const void* data, size_t length) {
    return state != nullptr && EVP_DigestUpdate(Context(state), data, length) == 1;
}

bool ContentHash::Finish(Sha256Digest* out) {
    unsigned int length = 0;
    if (state == nullptr || EVP_DigestFinal_ex(Context(state), out->data(), &length) != 1 ||
        length != out->size()) {
        return false;
    }
    return EVP_DigestInit_ex(Context(state), EVP_sha256(), nullptr) == 1;
}

}  // namespace vfs::host
