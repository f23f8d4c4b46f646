#include "tools/console_host.h"

#include <cstring>

#include "app/unpack_dialog.h"
#include "tools/display_path.h"

namespace tarnwad::cli {

void ConsoleHost::GetPathText(char* buffer, uint32_t size) {
    if (size == 0) {
        return;
    }
    size_t n = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
}

void ConsoleHost::SetStatusLine(const char* text) {
    // The dialog clears its status line after each directory; a terminal
    // shows only the texts that name something.
    if (statusOut != nullptr && text[0] != '\0') {
        std::fprintf(statusOut, "%s\n", DisplayPath(text).c_str());
    }
}

void ConsoleHost::ShowMessage(const char* text, const char* caption) {
    bool succeeded = std::strcmp(caption, kSucceededCaption) == 0;
    std::FILE* out = succeeded ? stdout : stderr;
    std::fprintf(out, "%s\n", text);
    std::fflush(out);
}

}  // namespace tarnwad::cli
