// DialogHost: the services the unpack command needs of its window.
#pragma once

#include <cstdint>

namespace tarnwad {

// What the unpack logic needs of whatever user interface runs it: the text of
// the path field, the status line and a message box. The desktop dialog, the
// command-line tool and the tests each provide their own.
class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // Copies the path field's text into `buffer`: at most size - 1
    // characters and a terminating NUL.
    virtual void GetPathText(char* buffer, uint32_t size) = 0;
    // Shows `text` in the status line and repaints it at once.
    virtual void SetStatusLine(const char* text) = 0;
    // Shows a message box with one OK button, owned by the dialog.
    virtual void ShowMessage(const char* text, const char* caption) = 0;
    // The same message box with `details` (plain text, lines separated by
    // "\n", names in whatever bytes they have) below `text`, in a smaller or
    // secondary place where the platform has one. A host without such a
    // place shows the message alone.
    virtual void ShowDetailedMessage(const char* text, const char* caption, const char* details) {
        static_cast<void>(details);
        ShowMessage(text, caption);
    }
};

}  // namespace tarnwad
