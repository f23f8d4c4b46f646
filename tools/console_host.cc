#include "tools/console_host.h"

#include <cstdio>
#include <cstring>

#include "app/unpack_dialog.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"

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
    progress->Status(text);
}

void ConsoleHost::ShowMessage(const char* text, const char* caption) {
    progress->Finish();
    message = text;
    succeeded = std::strcmp(caption, kSucceededCaption) == 0;
}

void ConsoleHost::PrintMessage() {
    // After an interrupt the tool says so itself, instead of the outcome.
    if (message.empty() || vfs::host::InterruptRequested() || (succeeded && quietSuccess)) {
        return;
    }
    std::FILE* out = succeeded ? stdout : stderr;
    std::fflush(stdout);
    std::fprintf(out, "%s\n", PrintableText(message).c_str());
    std::fflush(out);
}

}  // namespace tarnwad::cli
