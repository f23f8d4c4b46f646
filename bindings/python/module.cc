// The `tarnvfs` Python module: opens archives, lists, reads, unpacks,
// verifies and packs them through the library and the engines the
// command-line tool runs, so that Python gets the same verdicts and the same
// safety rules. It parses, calls and converts; the work is done there.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "python_archive.h"
#include "python_errors.h"
#include "python_pack.h"
#include "python_text.h"
#include "tools/exclude_filter.h"

namespace py = pybind11;
using namespace tarnvfs_python;

namespace {

py::list NameList(const std::vector<std::string>& names) {
    py::list list;
    for (const std::string& name : names) {
        list.append(NameText(name));
    }
    return list;
}

py::object TextOrNone(const std::string& text) {
    return text.empty() ? py::object(py::none()) : py::object(MessageText(text));
}

std::string PosixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// One path or a collection of them, as bytes.
std::vector<std::string> NameBytesList(const py::object& names) {
    py::object os = py::module_::import("os");
    if (py::isinstance<py::str>(names) || py::isinstance<py::bytes>(names) ||
        py::isinstance(names, os.attr("PathLike"))) {
        return {NameBytes(names)};
    }
    std::vector<std::string> list;
    for (py::handle name : names) {
        list.push_back(NameBytes(name));
    }
    return list;
}

unsigned Jobs(const std::optional<unsigned>& jobs) {
    if (jobs.has_value()) {
        return std::max(1u, *jobs);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

template <typename T>
std::string Repr(const char* type, const T& fields) {
    return std::string("<tarnvfs.") + type + " " + fields + ">";
}

}  // namespace

PYBIND11_MODULE(_tarnvfs, m) {
    m.doc() = "Tarnhollow WAD archives: open, list, read, unpack, verify and pack.";
    AddExceptionTypes(m);

    py::enum_<vfs::ErrorCode>(m, "ErrorCode", "The kind of a failure the library reports.")
        .value("NONE", vfs::ErrorCode::NONE)
        .value("NOT_FOUND", vfs::ErrorCode::NOT_FOUND)
        .value("REFUSED", vfs::ErrorCode::REFUSED)
        .value("IS_DIRECTORY", vfs::ErrorCode::IS_DIRECTORY)
        .value("HASH_MISMATCH", vfs::ErrorCode::HASH_MISMATCH)
        .value("HIDDEN", vfs::ErrorCode::HIDDEN)
        .value("OUTSIDE_FILE", vfs::ErrorCode::OUTSIDE_FILE)
        .value("NOT_DECODABLE", vfs::ErrorCode::NOT_DECODABLE)
        .value("TOO_LARGE", vfs::ErrorCode::TOO_LARGE)
        .value("HOST_ERROR", vfs::ErrorCode::HOST_ERROR)
        .value("PATH_TOO_LONG", vfs::ErrorCode::PATH_TOO_LONG)
        .value("NOT_AN_ARCHIVE", vfs::ErrorCode::NOT_AN_ARCHIVE)
        .value("UNKNOWN_VERSION", vfs::ErrorCode::UNKNOWN_VERSION)
        .value("DAMAGED", vfs::ErrorCode::DAMAGED)
        .value("ACCESS_DENIED", vfs::ErrorCode::ACCESS_DENIED)
        .value("UNSUPPORTED", vfs::ErrorCode::UNSUPPORTED);

    py::class_<EntryInfo>(m, "Entry",
                          "One entry of an archive, with the verdict `tarnwad list` gives it.")
        .def_property_readonly(
            "path", [](const EntryInfo& e) { return NameText(e.path); },
            "The path as the archive reports it: lower case, \"\\\" separated.")
        .def_property_readonly(
            "posix_path", [](const EntryInfo& e) { return NameText(PosixPath(e.path)); },
            "The same path, \"/\" separated.")
        .def_readonly("size", &EntryInfo::size, "Its size in bytes, decoded.")
        .def_readonly("stored_size", &EntryInfo::storedSize, "Its size in the archive file.")
        .def_readonly("coding", &EntryInfo::coding,
                      "\"stored\", \"lz\", \"zlib\" or \"refused\" (the archive refuses it).")
        .def_readonly("flags", &EntryInfo::flags, "The flags of its record.")
        .def_readonly("record_index", &EntryInfo::recordIndex,
                      "The index of its record in the archive.")
        .def_readonly("code", &EntryInfo::code,
                      "Why it cannot be opened (an ErrorCode); ErrorCode.NONE when it opens.")
        .def_property_readonly(
            "reason", [](const EntryInfo& e) { return TextOrNone(e.reason); },
            "Why it cannot be opened, in words; None when it opens. A later record of a path "
            "(ErrorCode.HIDDEN) and a refused entry are no failures of the archive.")
        .def_property_readonly(
            "note", [](const EntryInfo& e) { return TextOrNone(e.note); },
            "A warning: a size its record gives that its bytes are not; usually None.")
        .def("__repr__", [](const EntryInfo& e) {
            return Repr("Entry", py::repr(NameText(e.path)).cast<std::string>() + " " +
                                     std::to_string(e.size) + " bytes " + e.coding);
        });

    py::class_<Finding>(m, "Finding", "Something that went wrong with one path.")
        .def_property_readonly(
            "path", [](const Finding& f) { return NameText(f.path); },
            "The path (\"\\\" separated; a directory's ends with \"\\\"), or a left-out "
            "record's raw path.")
        .def_property_readonly(
            "reason", [](const Finding& f) { return MessageText(f.reason); }, "Why, in words.")
        .def_readonly("record_index", &Finding::recordIndex,
                      "The record's index, for a record the archive left out; else None.")
        .def("__repr__", [](const Finding& f) {
            return Repr("Finding", py::repr(NameText(f.path)).cast<std::string>() + ": " +
                                       py::repr(MessageText(f.reason)).cast<std::string>());
        });

    py::class_<UnpackResult>(m, "UnpackResult", "What Archive.unpack did.")
        .def_readonly("succeeded", &UnpackResult::succeeded,
                      "Every chosen entry the archive lets be opened was written in full, no "
                      "record was left out and every path matched.")
        .def_readonly("interrupted", &UnpackResult::interrupted)
        .def_property_readonly("output_directory",
                               [](const UnpackResult& r) { return NameText(r.outputDirectory); })
        .def_readonly("files_written", &UnpackResult::filesWritten)
        .def_readonly("directories_created", &UnpackResult::directoriesCreated)
        .def_readonly("bytes_written", &UnpackResult::bytesWritten)
        .def_readonly("failures", &UnpackResult::failures,
                      "Findings: entries and directories not written, with the reason.")
        .def_readonly("warnings", &UnpackResult::warnings,
                      "Findings: entries not written that are no failure (a later record of "
                      "a path).")
        .def_readonly("rejected", &UnpackResult::rejected,
                      "Findings: records the archive left out of its tree (unsafe paths).")
        .def_property_readonly(
            "refused", [](const UnpackResult& r) { return NameList(r.refused); },
            "Paths of entries the archive refuses to open: skipped, not a failure.")
        .def_property_readonly(
            "kept", [](const UnpackResult& r) { return NameList(r.kept); },
            "Paths not written because a file of the name was kept (keep_existing).")
        .def_property_readonly(
            "unmatched", [](const UnpackResult& r) { return NameList(r.unmatched); },
            "The paths given that matched no entry.")
        .def("__bool__", [](const UnpackResult& r) { return r.succeeded; })
        .def("__repr__", [](const UnpackResult& r) {
            return Repr("UnpackResult", std::string(r.succeeded ? "succeeded" : "failed") + ", " +
                                            std::to_string(r.filesWritten) + " files, " +
                                            std::to_string(r.failures.size()) + " failures");
        });

    py::class_<VerifyVerdict>(m, "VerifyVerdict", "What Archive.verify found of one entry.")
        .def_property_readonly("path", [](const VerifyVerdict& v) { return NameText(v.path); })
        .def_readonly("outcome", &VerifyVerdict::outcome,
                      "\"ok\" (read in full), \"refused\", \"hidden\" or \"failed\".")
        .def_property_readonly(
            "reason", [](const VerifyVerdict& v) { return TextOrNone(v.reason); },
            "Why it failed, or the warning about it; None when there is nothing to say.")
        .def("__repr__", [](const VerifyVerdict& v) {
            return Repr("VerifyVerdict",
                        py::repr(NameText(v.path)).cast<std::string>() + " " + v.outcome);
        });

    py::class_<VerifyResult>(m, "VerifyResult",
                             "What Archive.verify found: `tarnwad verify`'s verdicts.")
        .def_readonly("entries", &VerifyResult::entries, "A VerifyVerdict per entry.")
        .def_readonly("read_in_full", &VerifyResult::readInFull)
        .def_readonly("checksum_passed", &VerifyResult::withChecksum,
                      "Of those read in full, the zlib-framed ones, whose checksum zlib "
                      "checked; stored and LZ-coded data carry none.")
        .def_readonly("refused", &VerifyResult::refused)
        .def_readonly("hidden", &VerifyResult::hidden)
        .def_readonly("failed", &VerifyResult::failed)
        .def_readonly("rejected", &VerifyResult::rejected,
                      "Findings: records the archive left out of its tree.")
        .def_readonly("rejected_count", &VerifyResult::rejectedCount)
        .def_property_readonly("ok", &VerifyResult::Ok,
                               "Every entry reads in full and no record was left out.")
        .def("__bool__", &VerifyResult::Ok);

    py::class_<EntryStream>(m, "_EntryStream")
        .def_property_readonly("size", &EntryStream::Size)
        .def_property_readonly("closed", &EntryStream::Closed)
        .def("readinto", &EntryStream::ReadInto)
        .def("read", &EntryStream::Read, py::arg("size") = -1)
        .def("seek", &EntryStream::Seek, py::arg("offset"), py::arg("whence") = 0)
        .def("tell", &EntryStream::Tell)
        .def("close", &EntryStream::Close);

    py::class_<Archive>(m, "Archive",
                        "An open archive (see open_archive). A context manager; close() "
                        "closes it, while entry files opened from it read on.")
        .def_property_readonly(
            "path", [](const Archive& a) { return NameText(a.Path()); },
            "The archive file's absolute path.")
        .def_property_readonly("closed", &Archive::Closed)
        .def("close", &Archive::Close, "Closes the archive; entry files stay readable.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Archive& a, py::args) { a.Close(); })
        .def("entries", &Archive::Entries,
             "Every entry, in the archive's record order, as Entry objects.")
        .def("__iter__", [](Archive& a) { return py::iter(py::cast(a.Entries())); })
        .def("__len__", [](Archive& a) { return a.Entries().size(); })
        .def(
            "read", [](Archive& a, const py::object& path) { return a.Read(NameBytes(path)); },
            py::arg("path"),
            "The bytes of the entry at `path` (\"\\\" or \"/\", any letter case), decoded. "
            "Raises EntryError with the reason every command gives.")
        .def(
            "_open_stream",
            [](Archive& a, const py::object& path) { return a.OpenEntry(NameBytes(path)); },
            py::arg("path"))
        .def(
            "unpack",
            [](Archive& a, const py::object& dest, const py::object& paths,
               std::optional<unsigned> jobs, bool keepExisting, bool probe) {
                std::optional<std::vector<std::string>> chosen;
                if (!paths.is_none()) {
                    chosen = NameBytesList(paths);
                }
                return a.Unpack(HostPath(dest), chosen, Jobs(jobs), keepExisting, probe);
            },
            py::arg("dest"), py::arg("paths") = py::none(), py::kw_only(),
            py::arg("jobs") = py::none(), py::arg("keep_existing") = false,
            py::arg("probe") = false,
            "Unpacks into the directory `dest` (made if missing) as `tarnwad unpack -o` does, "
            "with its safety rules: nothing is written outside `dest`, each file is written "
            "under a temporary name and renamed in when complete, no link is followed. "
            "`paths`: patterns of the entries or directories to unpack, as the tool takes "
            "them (a name matches at any depth, a path from the root); None unpacks everything. "
            "`jobs`: threads (default: "
            "the number of cores). `keep_existing`: never replace an existing file. `probe`: "
            "first check that it is one of the game's archives. Returns an UnpackResult; "
            "raises only when nothing could start (UnpackError, ArchiveError).")
        .def("verify", &Archive::Verify,
             "Opens, decodes and reads every entry, writing nothing, as `tarnwad verify`.");

    m.def(
        "open_archive",
        [](const py::object& path) { return std::make_unique<Archive>(HostPath(path)); },
        py::arg("path"),
        "Opens the archive file at `path` (str, bytes or os.PathLike; relative to the "
        "current directory). Raises ArchiveError (ArchiveNotFoundError for a missing file) "
        "whose message says why and whose `code` is the ErrorCode.");

    py::class_<PackResult>(m, "PackResult", "What pack() wrote.")
        .def_readonly("files", &PackResult::files)
        .def_readonly("bytes_packed", &PackResult::bytesPacked)
        .def_readonly("archive_size", &PackResult::archiveSize)
        .def_property_readonly(
            "warnings", [](const PackResult& r) { return NameList(r.warnings); },
            "\"<path>: <reason>\" for each thing skipped (a symbolic link, say).")
        .def_property_readonly("empty_directories",
                               [](const PackResult& r) { return NameList(r.emptyDirectories); });

    m.def(
        "pack",
        [](const py::object& source, const py::object& archive, const std::string& codec,
           uint32_t formatVersion, bool force, std::optional<unsigned> jobs,
           const std::vector<std::string>& exclude, bool dereference, bool skipSpecial) {
            if (codec != "auto" && codec != "stored" && codec != "lz" && codec != "zlib") {
                throw py::value_error("codec must be \"auto\", \"stored\", \"lz\" or \"zlib\"");
            }
            if (formatVersion > 2) {
                throw py::value_error("format_version must be 0, 1 or 2");
            }
            const tarnwad::cli::ExcludeFilter exclusions(exclude);
            tarnwad::pack::PackRequest request;
            request.directory = NameBytes(source);
            request.output = NameBytes(archive);
            request.directoryPath = HostPath(source);
            request.outputPath = HostPath(archive);
            request.codec = codec;
            request.version = formatVersion;
            request.force = force;
            request.jobs = Jobs(jobs);
            request.exclusions = &exclusions;
            request.dereference = dereference;
            request.skipSpecial = skipSpecial;
            return Pack(std::move(request));
        },
        py::arg("source_dir"), py::arg("archive_path"), py::kw_only(), py::arg("codec") = "auto",
        py::arg("format_version") = 2, py::arg("force") = false, py::arg("jobs") = py::none(),
        py::arg("exclude") = std::vector<std::string>(), py::arg("dereference") = false,
        py::arg("skip_special") = false,
        "Writes an archive of the directory `source_dir` to `archive_path`, as `tarnwad pack` "
        "does (entries sorted by path; written under a temporary name and renamed in when "
        "complete). `codec`: \"auto\" (the smaller coding per entry), \"stored\", \"lz\" or "
        "\"zlib\". Never replaces an existing file unless `force`. Returns a PackResult; "
        "raises PackError with the tool's reason when no archive is written.");
}
