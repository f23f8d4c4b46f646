// ConsoleHost: the unpack command's dialog services on a terminal.
#pragma once

#include <string>

#include "app/dialog_host.h"
#include "tools/progress_line.h"

namespace tarnwad::cli {

// Gives the unpack command its path field (the archive path given on the
// command line) and passes the status line's texts to `progress`. The
// message is kept for PrintMessage, so that the verdict comes after the
// details the command prints.
class ConsoleHost : public DialogHost {
  public:
    ConsoleHost(std::string archivePath, ProgressLine& progressLine, bool quiet)
        : path(std::move(archivePath)), progress(&progressLine), quietSuccess(quiet) {}

    void GetPathText(char* buffer, uint32_t size) override;
    void SetStatusLine(const char* text) override;
    void ShowMessage(const char* text, const char* caption) override;

    // The success message is left out, for a run that ends in an error all
    // the same (a pattern that matched nothing): the summary says so.
    void WithholdSuccess() { quietSuccess = true; }
    // Prints the message shown last, if any, to stdout (success; not when
    // `quiet`) or stderr (failure); nothing after an interrupt, which the
    // tool reports itself.
    void PrintMessage();

  private:
    std::string path;
    ProgressLine* progress;
    bool quietSuccess;
    std::string message;
    bool succeeded = false;
};

}  // namespace tarnwad::cli
