#include "app/outcome_details.h"

#include <cstdio>

#include "app/counted_text.h"
#include "app/unpack_dialog.h"
#include "vfs/host/host_path.h"

namespace tarnwad {

namespace {

// A path or name as the message box shows it: "\" as the host's separator
// where it is one (Windows), "/" elsewhere, and every control byte (a line
// break among them) as \xNN, so that a name cannot lay out the text.
std::string Shown(const std::string& name, bool convertSeparators = true) {
    const bool toSlash = convertSeparators && !vfs::host::HostReadsBackslashAsSeparator();
    std::string shown;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            shown += escaped;
        } else if (c == '\\' && toSlash) {
            shown += '/';
        } else {
            shown += c;
        }
    }
    return shown;
}

// "and 3 more" after the first kMaxNamedInDetails of `count` items.
void AppendRest(std::string& text, size_t count) {
    if (count > kMaxNamedInDetails) {
        text += "\nand " + std::to_string(count - kMaxNamedInDetails) + " more";
    }
}

void AppendParagraph(std::string& text, const std::string& paragraph) {
    if (!text.empty()) {
        text += "\n\n";
    }
    text += paragraph;
}

std::string NotAGameArchive() {
    return "This " + NotAGameArchiveText() + ".";
}

// The failure text of the outcome as a sentence.
std::string Sentence(const std::string& failure) {
    std::string sentence = Shown(failure, false);
    if (sentence[0] >= 'a' && sentence[0] <= 'z') {
        sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    }
    if (sentence.back() != '.') {
        sentence += '.';
    }
    return sentence;
}

std::string FailedEntries(const UnpackOutcome& outcome) {
    const std::vector<CopyFailure>& failures = outcome.copy.failures;
    std::string text = Counted(failures.size(), "entry", "entries") +
                       (failures.size() == 1 ? " was" : " were") + " not unpacked";
    if (!outcome.outputDirectory.empty()) {
        text += " into " + Shown(outcome.outputDirectory);
    }
    text += ":";
    for (size_t i = 0; i < failures.size() && i < kMaxNamedInDetails; ++i) {
        // (Appended piece by piece: GCC 12 at -O3 warns, wrongly, of an
        // overlapping copy in "\n" + std::string.)
        text += '\n';
        text += Shown(failures[i].path);
        text += ": ";
        text += Shown(CopyFailureText(failures[i]), false);
    }
    AppendRest(text, failures.size());
    return text;
}

std::string RejectedRecords(const UnpackOutcome& outcome) {
    const std::vector<vfs::WadRejectedRecord>& rejected = outcome.rejected;
    std::string text = Counted(rejected.size(), "record", "records") + " of the archive " +
                       (rejected.size() == 1 ? "was" : "were") + " left out as unsafe:";
    for (size_t i = 0; i < rejected.size() && i < kMaxNamedInDetails; ++i) {
        text += "\nrecord " + std::to_string(rejected[i].index) + " \"" +
                Shown(rejected[i].rawPath, false) +
                "\": " + vfs::WadRejectReasonText(rejected[i].reason);
    }
    AppendRest(text, rejected.size());
    return text;
}

}  // namespace

std::string ArchiveFolderNotWritableAdvice() {
    return "The archive is unpacked into a new folder beside it, and the folder that "
           "holds it cannot be written to. Copy the archive into a folder you can write to "
           "and unpack it from there, or unpack it into a folder of your choice with the "
           "command-line tool: tarnwad unpack -o DIR ARCHIVE";
}

std::string OutcomeDetails(const UnpackOutcome& outcome) {
    std::string text;
    if (outcome.succeeded) {
        text = "Unpacked into " + Shown(outcome.outputDirectory);
    } else if (outcome.notGameArchive) {
        return NotAGameArchive();
    } else if (!outcome.failure.empty()) {
        text = Sentence(outcome.failure);
        if (outcome.archiveFolderNotWritable) {
            AppendParagraph(text, ArchiveFolderNotWritableAdvice());
        }
        return text;
    } else {
        if (!outcome.copy.failures.empty()) {
            AppendParagraph(text, FailedEntries(outcome));
        }
        if (!outcome.rejected.empty()) {
            AppendParagraph(text, RejectedRecords(outcome));
        }
        if (outcome.copy.interrupted) {
            AppendParagraph(text, "The unpack was stopped before its end.");
        }
    }
    if (!outcome.refused.empty()) {
        AppendParagraph(text, "Skipped " + Counted(outcome.refused.size(), "entry", "entries") +
                                  " that the archive marks as not to be opened.");
    }
    return text;
}

}  // namespace tarnwad
