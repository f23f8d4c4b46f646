#include "app/entry_failure.h"

namespace tarnwad {

std::string EntryFailureText(const vfs::ErrorReason& reason) {
    return reason.text.empty() ? "cannot be opened" : reason.text;
}

std::string ShortReadText(uint64_t read, uint64_t size, const vfs::ErrorReason& reason) {
    std::string text = "could not be read in full: read " + std::to_string(read) + " of " +
                       std::to_string(size) + " bytes";
    if (!reason.text.empty()) {
        text += " (" + reason.text + ")";
    }
    return text;
}

}  // namespace tarnwad
