// ConsoleHost: the unpack command's dialog services on a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "app/dialog_host.h"

namespace tarnwad::cli {

// Gives the unpack command its path field (the archive path given on the
// command line), prints the status line's texts to `statusOut` and the
// message to stdout (success) or stderr (failure).
class ConsoleHost : public DialogHost {
  public:
    ConsoleHost(std::string archivePath, std::FILE* statusStream)
        : path(std::move(archivePath)), statusOut(statusStream) {}

    void GetPathText(char* buffer, uint32_t size) override;
    void SetStatusLine(const char* text) override;
    void ShowMessage(const char* text, const char* caption) override;

  private:
    std::string path;
    std::FILE* statusOut;
};

}  // namespace tarnwad::cli
