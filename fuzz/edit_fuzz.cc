// Builds an archive from the input (any version; data shared between
// records, overlapping other data or the header; names anywhere in versions
// 0 and 1; slack or none after the record table), edits it at random with
// WadEdit and checks after every commit, through WadFileSystem, that the
// archive holds exactly the entries of a simple model. An in-place commit is
// also checked at the moment before its switch (the file must still read as
// before) and torn halfway through the switch (the journal must complete it).
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/edit/edit_journal.h"
#include "vfs/edit/wad_edit.h"
#include "vfs/host/held_directory.h"
#include "vfs/stream/entry_decode.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_path_hash.h"
#include "vfs/wad/wad_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Content = std::optional<Bytes>;  // nullopt: the entry does not open

// Paths that never name a directory of another: a lookup of each finds a file.
const char* const kNames[] = {"a",
                              "A",
                              "b\\c",
                              "B/C",
                              "b\\d",
                              "e\\f\\g",
                              "E/F/G",
                              "h.txt",
                              "b\\x.dat",
                              "q",
                              "long\\path\\name.bin"};

[[noreturn]] void Fault(const std::string& what) {
    std::fprintf(stderr, "edit_fuzz: %s\n", what.c_str());
    std::abort();
}

std::string Key(std::string name) {
    for (char& c : name) {
        if (c == '/') {
            c = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

uint32_t HashOf(const std::string& name) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return vfs::WadPathHash(path.c_str(), static_cast<uint32_t>(path.size()));
}

// What a reader makes of stored bytes with these flags.
Content Decoded(const Bytes& stored, uint32_t flags, uint32_t unpackedSize) {
    const vfs::WadCoding coding = vfs::WadCodingOf(flags);
    if (coding == vfs::WadCoding::REFUSED) {
        return std::nullopt;
    }
    if (coding == vfs::WadCoding::STORED) {
        return stored;
    }
    if (unpackedSize > 1u << 20 || !vfs::CanHoldEntryBlock(coding, stored.size(), unpackedSize)) {
        return std::nullopt;
    }
    Bytes out(unpackedSize);
    if (!vfs::DecodeEntryBlock(coding, stored.data(), static_cast<int32_t>(stored.size()),
                               out.data(), static_cast<int32_t>(out.size()))) {
        return std::nullopt;
    }
    return out;
}

struct ModelEntry {
    std::string key;  // empty: a record the reader leaves out of the tree
    bool removed = false;
    Content content;
    bool hashAgrees = true;  // false: listed, but lookups never find it
};
using Model = std::vector<ModelEntry>;

// New stored bytes, their flags and unpacked size.
struct Data {
    Bytes stored;
    uint32_t flags = 0;
    uint32_t unpackedSize = 0;
};

Bytes MakeContent(FuzzedDataProvider& in) {
    const size_t size = in.ConsumeIntegralInRange<size_t>(0, 300);
    if (in.ConsumeBool()) {
        return in.ConsumeBytes<uint8_t>(size);
    }
    // Repetitive, so that the codings shrink it.
    Bytes bytes(size);
    const uint8_t step = in.ConsumeIntegral<uint8_t>() % 5;
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>('a' + (i * step) % 7);
    }
    return bytes;
}

Data MakeData(FuzzedDataProvider& in, vfs::WadEntryCoder& coder) {
    Data data;
    const Bytes content = MakeContent(in);
    switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0:
        case 1:
            data.stored = content;
            break;
        case 2: {  // any flags, whatever the bytes hold
            data.stored = content;
            data.flags = in.PickValueInArray<uint32_t>({1, 2, 4, 5, 6, 8, 0x80000000u});
            data.unpackedSize = in.ConsumeIntegralInRange<uint32_t>(0, 400);
            break;
        }
        default: {
            const vfs::WadCoding coding =
                in.ConsumeBool() ? vfs::WadCoding::LZ : vfs::WadCoding::ZLIB;
            data.flags = coder.Code(content.data(), content.size(), coding, data.stored);
            if (data.flags == 0) {
                data.stored = content;
            }
            data.unpackedSize = static_cast<uint32_t>(content.size());
            break;
        }
    }
    return data;
}

Bytes ReadWhole(const std::string& path) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Fault("cannot read " + path);
    }
    uint8_t buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
    return bytes;
}

void WriteWhole(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr ||
        (!bytes.empty() && std::fwrite(bytes.data(), bytes.size(), 1, file) != 1)) {
        Fault("cannot write " + path);
    }
    std::fclose(file);
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void Walk(vfs::FileSystemRef& fs, const std::string& dir, std::set<std::string>& files, int depth) {
    std::vector<std::string> subdirectories;
    vfs::FindData found;
    const std::string pattern = dir + "*.*";
    for (vfs::Result r = fs.FindFirst(pattern.c_str(), &found); r.Succeeded();
         r = fs.FindNext(&found)) {
        if ((found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0) {
            subdirectories.emplace_back(std::string(found.path) + "\\");
        } else {
            files.insert(found.path);
        }
    }
    if (depth < 8) {
        for (const std::string& sub : subdirectories) {
            Walk(fs, sub, files, depth + 1);
        }
    }
}

// The archive at `path` read by WadFileSystem holds exactly the model. It is
// read from a copy: the reader does not share an archive open for writing.
void CheckArchive(const std::string& path, const Model& model, const char* when) {
    const std::string copy = path.substr(0, path.find_last_of('/')) + "/check.wad";
    WriteWhole(copy, ReadWhole(path));
    vfs::FileSystemRef fs;
    vfs::ErrorReason why;
    if (fs.OpenArchive(copy.c_str(), 0, &why).Failed()) {
        Fault(std::string(when) + ": the archive does not open: " + why.text);
    }
    std::set<std::string> listed;
    Walk(fs, "", listed, 0);
    std::map<std::string, const ModelEntry*> first;  // nullptr: none that lookups find
    for (const ModelEntry& entry : model) {
        if (!entry.removed && !entry.key.empty()) {
            const auto [at, added] = first.emplace(entry.key, entry.hashAgrees ? &entry : nullptr);
            if (!added && at->second == nullptr && entry.hashAgrees) {
                at->second = &entry;
            }
        }
    }
    std::set<std::string> expected;
    for (const auto& [key, entry] : first) {
        expected.insert(key);
    }
    if (listed != expected) {
        std::string both = ": the archive lists";
        for (const std::string& name : listed) {
            both += " " + name;
        }
        both += "; the model holds";
        for (const std::string& name : expected) {
            both += " " + name;
        }
        Fault(std::string(when) + both);
    }
    for (const auto& [key, entry] : first) {
        vfs::StreamRef stream;
        const bool opened = fs.OpenFile(stream, key.c_str(), vfs::OPEN_READ, 0).Succeeded();
        if (opened != (entry != nullptr && entry->content.has_value())) {
            Fault(std::string(when) + ": " + key + (opened ? " opens" : " does not open"));
        }
        if (!opened) {
            continue;
        }
        Bytes read(entry->content->size() + 1);
        const int32_t got = stream.Read(read.data(), static_cast<int32_t>(read.size()));
        read.resize(got < 0 ? 0 : static_cast<size_t>(got));
        if (read != *entry->content) {
            Fault(std::string(when) + ": " + key + " reads other bytes than the model");
        }
    }
}

// The editor's own view agrees with the model: its lookup and its reading.
void CheckEditor(vfs::WadEdit& edit, const Model& model) {
    const auto& entries = edit.Entries();
    if (entries.size() != model.size()) {
        Fault("the editor holds another number of entries");
    }
    std::map<std::string, int64_t> first;
    for (size_t i = 0; i < model.size(); ++i) {
        if (!model[i].removed && !model[i].key.empty()) {
            const auto [at, added] =
                first.emplace(model[i].key, model[i].hashAgrees ? static_cast<int64_t>(i) : -1);
            if (!added && at->second < 0 && model[i].hashAgrees) {
                at->second = static_cast<int64_t>(i);
            }
        }
    }
    for (const auto& [key, index] : first) {
        if (edit.Find(key) != index) {
            Fault("the editor's lookup of " + key + " finds another entry");
        }
        if (index < 0) {
            continue;
        }
        Bytes out;
        const bool read = edit.ReadContent(index, out).Succeeded();
        if (read != model[index].content.has_value() || (read && out != *model[index].content)) {
            Fault("the editor reads " + key + " otherwise than the model");
        }
    }
}

void Drop(Model& model) {
    model.erase(
        std::remove_if(model.begin(), model.end(), [](const ModelEntry& e) { return e.removed; }),
        model.end());
}

// Builds the first archive into `path` and its model.
void BuildArchive(FuzzedDataProvider& in, vfs::WadEntryCoder& coder, const std::string& path,
                  Model& model) {
    vfs::WadHeader header;
    std::copy(vfs::WAD_MAGIC, vfs::WAD_MAGIC + 4, header.magic);
    header.version = in.ConsumeIntegralInRange<uint32_t>(0, 2);
    for (size_t i = 0; i < sizeof header.reserved; ++i) {
        header.reserved[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    header.reserved2[0] = 0x5a;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 7);
    header.entryCount = static_cast<uint32_t>(count);
    const size_t tableEnd = vfs::WAD_HEADER_SIZE + vfs::WAD_RECORD_SIZE * count;
    Bytes file(tableEnd, 0);
    const size_t slack = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(1, 90) : 0;
    file.resize(tableEnd + slack, 0xee);

    std::vector<vfs::WadEntryRecord> records(count);
    std::vector<std::string> names(count);
    std::vector<bool> unnamed(count, false);
    std::vector<bool> wrongHash(count, false);
    for (size_t i = 0; i < count; ++i) {
        names[i] = in.PickValueInArray(kNames);
        for (size_t b = 0; b < sizeof records[i].reserved; ++b) {
            records[i].reserved[b] = static_cast<uint8_t>(0xa0 + i + b);
        }
    }
    const bool namesFirst = in.ConsumeBool();
    const auto placeNames = [&]() {
        if (header.NamesInTable()) {
            header.nameTableOffset = static_cast<uint32_t>(file.size());
            std::vector<size_t> outside;
            for (size_t i = 0; i < count; ++i) {
                if (in.ConsumeIntegralInRange(0, 5) == 0) {
                    outside.push_back(i);
                    unnamed[i] = true;
                    continue;
                }
                records[i].nameOffset = static_cast<uint32_t>(file.size());
                file.insert(file.end(), names[i].begin(), names[i].end());
                file.push_back(0);
            }
            // A last name that runs to the table's end without a NUL.
            const auto tail = static_cast<uint32_t>(file.size());
            const bool unended = !outside.empty() && in.ConsumeBool();
            if (unended) {
                file.insert(file.end(), {'z', '\\', 'y'});
            }
            header.nameTableSize = static_cast<uint32_t>(file.size() - header.nameTableOffset);
            // Names the reader leaves out: before the table, just past it,
            // far past the file, or without an end in it.
            for (const size_t i : outside) {
                records[i].nameOffset = in.PickValueInArray<uint32_t>(
                    {0, static_cast<uint32_t>(file.size()), 0xfffffff0u, unended ? tail : 0,
                     unended ? tail + 2 : 0});
            }
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            const int how = in.ConsumeIntegralInRange(0, 3);
            if (how == 0 && i > 0) {  // the name of an earlier record
                const size_t other = in.ConsumeIntegralInRange<size_t>(0, i - 1);
                names[i] = names[other];
                unnamed[i] = unnamed[other];
                records[i].nameOffset = records[other].nameOffset;
            } else if (how == 1 && header.version == 0) {
                // "QARC" and the version's zero bytes: a name in the header.
                names[i] = "QARC";
                records[i].nameOffset = 0;
            } else {
                if (how == 2 && in.ConsumeBool()) {  // a name the reader leaves out
                    names[i] = in.PickValueInArray<const char*>({"b\\\\c", "c:d", "..\\e", "\\a"});
                    unnamed[i] = true;
                }
                records[i].nameOffset = static_cast<uint32_t>(file.size());
                file.insert(file.end(), names[i].begin(), names[i].end());
                file.push_back(0);
            }
            records[i].nameLength = static_cast<uint32_t>(names[i].size());
        }
    };
    if (namesFirst) {
        placeNames();
    }
    for (size_t i = 0; i < count; ++i) {
        vfs::WadEntryRecord& record = records[i];
        const int how = in.ConsumeIntegralInRange(0, 4);
        if (how == 0 && i > 0) {  // the data of an earlier record
            const vfs::WadEntryRecord& other = records[in.ConsumeIntegralInRange<size_t>(0, i - 1)];
            record.dataOffset = other.dataOffset;
            record.storedSize = other.storedSize;
            record.flags = other.flags;
            record.unpackedSize = other.unpackedSize;
        } else if (how == 1) {  // any bytes already in the file, front included
            record.dataOffset =
                in.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(file.size() - 1));
            record.storedSize = in.ConsumeIntegralInRange<uint32_t>(
                0, static_cast<uint32_t>(file.size() - record.dataOffset));
            record.flags = in.PickValueInArray<uint32_t>({0, 0, 8, 2, 4, 1});
            record.unpackedSize = in.ConsumeIntegralInRange<uint32_t>(0, 200);
        } else {
            const Data data = MakeData(in, coder);
            record.dataOffset = static_cast<uint32_t>(file.size());
            record.storedSize = static_cast<uint32_t>(data.stored.size());
            record.flags = data.flags;
            record.unpackedSize = data.unpackedSize;
            file.insert(file.end(), data.stored.begin(), data.stored.end());
        }
    }
    if (!namesFirst) {
        placeNames();
    }
    for (size_t i = 0; i < count; ++i) {
        records[i].pathHash = HashOf(names[i]);
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            records[i].pathHash ^= 0x10;  // lookups do not find it
            wrongHash[i] = true;
        }
        records[i].Encode(file.data() + vfs::WAD_HEADER_SIZE + vfs::WAD_RECORD_SIZE * i);
    }
    header.Encode(file.data());
    WriteWhole(path, file);

    model.clear();
    for (size_t i = 0; i < count; ++i) {
        const vfs::WadEntryRecord& record = records[i];
        const Bytes stored(file.begin() + record.dataOffset,
                           file.begin() + record.dataOffset + record.storedSize);
        model.push_back({unnamed[i] ? "" : Key(names[i]), false,
                         Decoded(stored, record.flags, record.unpackedSize), !wrongHash[i]});
    }
}

// Commits in place and checks the archive just before the switch and torn
// inside it, as a crash would leave it, in a second file beside.
void CommitInPlace(FuzzedDataProvider& in, vfs::WadEdit& edit, const std::string& path,
                   const std::string& torn, const vfs::host::HeldDirectory& directory,
                   const Model& before, const Model& after) {
    const Bytes old = ReadWhole(path);
    size_t kept = 0;
    for (const ModelEntry& entry : after) {
        kept += entry.removed ? 0 : 1;
    }
    if (edit.Commit().Failed()) {
        Fault("Commit failed: " + vfs::LastError().text);
    }
    if (Exists(vfs::EditJournal::NameFor(path))) {
        Fault("a journal outlives the commit");
    }
    const Bytes now = ReadWhole(path);
    if (now.size() < old.size()) {
        Fault("the archive shrank in place");
    }
    const size_t front = vfs::WAD_HEADER_SIZE + vfs::WAD_RECORD_SIZE * kept;
    // Before the switch: everything written but the front's changed bytes.
    Bytes pending = now;
    for (size_t i = 0; i < std::min(front, old.size()); ++i) {
        pending[i] = old[i];
    }
    for (size_t i = old.size(); i < std::min(front, pending.size()); ++i) {
        pending[i] = 0;
    }
    if (pending != now) {
        WriteWhole(torn, pending);
        CheckArchive(torn, before, "before the switch");
    }

    // Torn: some sectors of the switch written, the journal kept.
    size_t first = 0;
    while (first < front && first < old.size() && now[first] == old[first]) {
        ++first;
    }
    size_t last = front;
    while (last > first && last <= old.size() && now[last - 1] == old[last - 1]) {
        --last;
    }
    if (first >= last) {
        return;
    }
    const Bytes newBytes(now.begin() + first, now.begin() + last);
    // What the journal keeps as the old bytes: the file as it stood before
    // the switch (a hole reads as zeros).
    const Bytes oldBytes(pending.begin() + first, pending.begin() + last);
    Bytes partial = pending;
    for (size_t at = first; at < last;) {
        const size_t stop = std::min(last, (at / 512 + 1) * 512);
        if (in.ConsumeBool()) {
            std::copy(now.begin() + at, now.begin() + stop, partial.begin() + at);
        }
        at = stop;
    }
    WriteWhole(torn, partial);
    const std::string tornName = torn.substr(torn.find_last_of('/') + 1);
    if (vfs::EditJournal::Write(directory, tornName, first, oldBytes, newBytes).Failed()) {
        Fault("the journal cannot be written: " + vfs::LastError().text);
    }
    vfs::WadEdit recovered;
    if (recovered.Open(torn.c_str()).Failed()) {
        Fault("a torn switch is not completed: " + vfs::LastError().text);
    }
    recovered.Close();
    if (Exists(vfs::EditJournal::NameFor(torn))) {
        Fault("the journal outlives its completion");
    }
    if (ReadWhole(torn) != now) {
        Fault("the completed switch differs from the commit");
    }
}

std::string Folder() {
    static std::string folder;
    if (folder.empty()) {
        const char* base = Exists("/dev/shm") ? "/dev/shm" : "/tmp";
        folder = std::string(base) + "/edit_fuzz." + std::to_string(getpid());
        std::string command = "mkdir -p " + folder;
        if (std::system(command.c_str()) != 0) {
            Fault("cannot make " + folder);
        }
        std::atexit([] {
            const std::string command = "rm -rf " + Folder();
            (void)!std::system(command.c_str());
        });
    }
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider in(bytes, size);
    static vfs::WadEntryCoder coder;
    const std::string folder = Folder();
    const std::string path = folder + "/edit.wad";
    const std::string torn = folder + "/torn.wad";
    vfs::host::HeldDirectory directory;
    if (!directory.Open(folder.c_str())) {
        Fault("cannot hold " + folder);
    }

    Model model;
    BuildArchive(in, coder, path, model);
    CheckArchive(path, model, "as built");
    vfs::WadEdit edit;
    if (edit.Open(path.c_str()).Failed()) {
        Fault("the built archive does not open for editing: " + vfs::LastError().text);
    }
    CheckEditor(edit, model);
    Model committed = model;

    const auto live = [&]() {
        std::vector<size_t> indices;
        for (size_t i = 0; i < model.size(); ++i) {
            if (!model[i].removed) {
                indices.push_back(i);
            }
        }
        return indices;
    };
    for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
        const int op = in.ConsumeIntegralInRange(0, 9);
        const std::vector<size_t> indices = live();
        if (op <= 1) {
            const std::string name = in.PickValueInArray(kNames);
            Data data = MakeData(in, coder);
            model.push_back(
                {Key(name), false, Decoded(data.stored, data.flags, data.unpackedSize)});
            edit.Add(name, std::move(data.stored), data.flags, data.unpackedSize);
            CheckEditor(edit, model);
        } else if (op <= 5 && !indices.empty()) {
            const size_t index = indices[in.ConsumeIntegralInRange<size_t>(0, indices.size() - 1)];
            if (op <= 3) {
                Data data = MakeData(in, coder);
                model[index].content = Decoded(data.stored, data.flags, data.unpackedSize);
                edit.SetData(index, std::move(data.stored), data.flags, data.unpackedSize);
            } else if (op == 4) {
                model[index].removed = true;
                edit.Remove(index);
            } else {
                // Now and then a name the reader leaves out.
                const std::string name = in.ConsumeIntegralInRange(0, 9) == 0
                                             ? std::string("x\\..\\y")
                                             : std::string(in.PickValueInArray(kNames));
                model[index].key = name == "x\\..\\y" ? "" : Key(name);
                model[index].hashAgrees = true;
                edit.Rename(index, name);
            }
            CheckEditor(edit, model);
        } else if (op == 6 || op == 7) {
            CommitInPlace(in, edit, path, torn, directory, committed, model);
            Drop(model);
            committed = model;
            CheckArchive(path, model, "after a commit in place");
            CheckEditor(edit, model);
        } else if (op == 8) {
            if (edit.CommitCopy().Failed()) {
                Fault("CommitCopy failed: " + vfs::LastError().text);
            }
            Drop(model);
            committed = model;
            CheckArchive(path, model, "after a commit as a copy");
            CheckEditor(edit, model);
        } else if (op == 9) {
            // Changes not committed are dropped with the edit.
            model = committed;
            if (edit.Open(path.c_str()).Failed()) {
                Fault("the archive does not open again: " + vfs::LastError().text);
            }
            CheckEditor(edit, model);
        }
    }
    if (edit.Changed()) {
        CommitInPlace(in, edit, path, torn, directory, committed, model);
        Drop(model);
        CheckArchive(path, model, "after the last commit");
        CheckEditor(edit, model);
    }
    edit.Close();
    return 0;
}
