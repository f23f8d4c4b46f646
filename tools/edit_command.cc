// The commands that change an archive where it lies: `add`, `replace`,
// `rm`, `mv`, `update` and `compact`. Each works out every change first and
// writes them all at once, or nothing when one of them cannot be made.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/counted_text.h"
#include "tools/commands.h"
#include "tools/diagnostics.h"
#include "tools/display_path.h"
#include "tools/edit/archive_edit.h"
#include "tools/exit_codes.h"
#include "tools/path_argument.h"
#include "tools/text_format.h"
#include "vfs/host/process_signals.h"

namespace tarnwad::cli {

namespace {

enum class EditKind { kAdd, kReplace, kRemove, kMove, kUpdate, kCompact };

struct EditCommandOptions {
    std::string archive;
    std::vector<std::string> operands;  // files or patterns
    std::string from;                   // mv's OLD
    std::string to;                     // mv's NEW
    std::string directory;              // update
    std::string as;
    std::string codec = "auto";
    bool copy = false;
    bool quiet = false;
};

const char* ChangeWord(edit::EditChange::Kind kind) {
    switch (kind) {
        case edit::EditChange::kAdded:
            return "added";
        case edit::EditChange::kReplaced:
            return "replaced";
        case edit::EditChange::kRemoved:
            return "removed";
        case edit::EditChange::kRenamed:
            return "renamed";
        case edit::EditChange::kUnchanged:
            return "unchanged";
    }
    return "";
}

int RunEdit(EditKind kind, const EditCommandOptions& options) {
    // Ctrl+C stops the work before anything is written; the write itself
    // runs to its end.
    vfs::host::CatchInterrupts();
    edit::ArchiveEdit job(options.archive, AbsolutePath(options.archive),
                          {options.codec, options.copy});
    std::vector<std::string> selected;
    if (kind == EditKind::kRemove) {
        std::vector<std::string> unmatched;
        if (auto refusal = job.Select(options.operands, &selected, &unmatched)) {
            Complain(refusal->subject, refusal->text);
            return kExitUsage;
        }
        if (!unmatched.empty()) {
            for (const std::string& pattern : unmatched) {
                Complain(options.archive, "no entry matches " + pattern);
            }
            Complain(options.archive, "nothing was changed");
            return kExitEntriesFailed;
        }
    }
    if (auto refusal = job.Open()) {
        Complain(refusal->subject, refusal->text);
        return kExitUsage;
    }
    switch (kind) {
        case EditKind::kAdd:
        case EditKind::kReplace:
            job.Put(options.operands, options.as, kind == EditKind::kReplace);
            break;
        case EditKind::kRemove:
            job.Remove(selected);
            break;
        case EditKind::kMove:
            job.Move(options.from, options.to);
            break;
        case EditKind::kUpdate:
            job.Update(options.directory);
            break;
        case EditKind::kCompact:
            break;
    }
    if (!options.quiet) {
        for (const std::string& warning : job.Warnings()) {
            std::fprintf(stderr, "tarnwad: %s\n", PrintableText(warning).c_str());
        }
    }
    const std::vector<edit::EditMessage> failures = job.Commit(kind == EditKind::kCompact);
    for (const edit::EditMessage& failure : failures) {
        Complain(failure.subject, failure.text);
    }
    if (job.Interrupted()) {
        return kExitInterrupted;
    }
    if (!failures.empty()) {
        return job.Failures().empty() ? kExitUsage : kExitEntriesFailed;
    }
    if (options.quiet) {
        return kExitSuccess;
    }
    size_t counts[5] = {};
    for (const edit::EditChange& change : job.Changes()) {
        ++counts[change.kind];
        // Only counted: update names what it changed.
        if (change.kind == edit::EditChange::kUnchanged) {
            continue;
        }
        std::printf("%-9s %s", ChangeWord(change.kind), ShownPath(change.path).c_str());
        if (change.kind == edit::EditChange::kRenamed) {
            std::printf(" -> %s", ShownPath(change.to).c_str());
        } else if (change.kind == edit::EditChange::kAdded ||
                   change.kind == edit::EditChange::kReplaced) {
            std::printf(" (%s)", Counted(change.size, "byte", "bytes").c_str());
        }
        std::printf("\n");
    }
    const vfs::WadEditStats& stats = job.Stats();
    std::printf("%s: %zu added, %zu replaced, %zu removed, %zu renamed, %zu unchanged; ",
                PrintableText(options.archive).c_str(), counts[edit::EditChange::kAdded],
                counts[edit::EditChange::kReplaced], counts[edit::EditChange::kRemoved],
                counts[edit::EditChange::kRenamed], counts[edit::EditChange::kUnchanged]);
    if (stats.archiveSize == 0 && stats.bytesWritten == 0) {
        std::printf("nothing to write\n");
    } else if (options.copy || kind == EditKind::kCompact) {
        std::printf("written anew (%s)\n", Counted(stats.archiveSize, "byte", "bytes").c_str());
    } else {
        std::printf("%s written in place (%s)\n",
                    Counted(stats.bytesWritten, "byte", "bytes").c_str(),
                    Counted(stats.archiveSize, "byte", "bytes").c_str());
    }
    return kExitSuccess;
}

CLI::App* AddOne(CLI::App& app, int& exitCode, EditKind kind, const char* name,
                 const char* description) {
    auto options = std::make_shared<EditCommandOptions>();
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("ARCHIVE", options->archive, "The .wad file to change")->required();
    switch (kind) {
        case EditKind::kAdd:
        case EditKind::kReplace:
            command
                ->add_option("FILE", options->operands,
                             "Files or directories to put in (a directory brings its tree)")
                ->required();
            command
                ->add_option("--as", options->as,
                             "The path in the archive of the one FILE, or the directory of "
                             "several (default: the top, at their names)")
                ->type_name("PATH");
            break;
        case EditKind::kRemove:
            command
                ->add_option("PATTERN", options->operands,
                             "Entries to remove, as patterns (as list takes them); a directory "
                             "removes all beneath it")
                ->required();
            break;
        case EditKind::kMove:
            command->add_option("OLD", options->from, "A file or directory of the archive")
                ->required();
            command->add_option("NEW", options->to, "Its new path")->required();
            break;
        case EditKind::kUpdate:
            command->add_option("DIR", options->directory, "The directory the archive should hold")
                ->required();
            break;
        case EditKind::kCompact:
            break;
    }
    if (kind == EditKind::kAdd || kind == EditKind::kReplace || kind == EditKind::kUpdate) {
        command
            ->add_option("--codec", options->codec,
                         "How new data is kept: stored, lz, zlib, or auto (the smallest)")
            ->check(CLI::IsMember({"stored", "lz", "zlib", "auto"}))
            ->capture_default_str();
    }
    if (kind != EditKind::kCompact) {
        command->add_flag("--copy", options->copy,
                          "Write a new archive beside it and rename it over the old one");
    }
    command->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
    command->callback([options, kind, &exitCode] { exitCode = RunEdit(kind, *options); });
    return command;
}

}  // namespace

void AddEditCommands(CLI::App& app, int& exitCode) {
    AddOne(app, exitCode, EditKind::kAdd, "add", "Add files to an archive, in place");
    AddOne(app, exitCode, EditKind::kReplace, "replace",
           "Replace files of an archive by new content, in place");
    AddOne(app, exitCode, EditKind::kRemove, "rm", "Remove entries from an archive, in place");
    AddOne(app, exitCode, EditKind::kMove, "mv",
           "Rename a file or directory of an archive (OLD NEW)");
    AddOne(app, exitCode, EditKind::kUpdate, "update",
           "Make an archive hold exactly a directory's tree, changing only what differs");
    AddOne(app, exitCode, EditKind::kCompact, "compact",
           "Rewrite an archive without the space earlier edits freed");
}

}  // namespace tarnwad::cli
