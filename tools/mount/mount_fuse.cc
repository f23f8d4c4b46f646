// The FUSE glue of `tarnwad mount`: the tool's one file that includes
// fuse_lowlevel.h, and with it the POSIX headers for forking into the
// background and unmounting. See mount_fuse.h.
// The build sets FUSE_USE_VERSION to 312 where libfuse is 3.12 or later.
#ifndef FUSE_USE_VERSION
#define FUSE_USE_VERSION 31
#endif
#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/diagnostics.h"
#include "tools/exit_codes.h"
#include "tools/mount/mount_fuse.h"

extern char** environ;

namespace tarnwad::mount {

namespace {

// How long the parent of a background mount waits for it to answer.
constexpr int kReadyTimeoutMs = 60000;
// Attributes, names and missing names never change while mounted.
constexpr double kCacheSeconds = 86400.0;

// Node index i is the kernel's inode i + 1: the top is FUSE_ROOT_ID (1).
static_assert(FUSE_ROOT_ID == 1);

struct Served {
    const MountSetup* setup = nullptr;
    struct fuse_session* session = nullptr;
    struct stat archiveTimes = {};
    uid_t uid = 0;
    gid_t gid = 0;
    uint64_t totalBytes = 0;
    // Background: the write end of the pipe the parent waits on.
    int readyPipe = -1;
    // The kernel's first request was answered.
    std::atomic<bool> answered{false};
    std::atomic<uint64_t> opens{0};
    std::atomic<uint64_t> failedOpens{0};
};

Served& Self(fuse_req_t request) {
    return *static_cast<Served*>(fuse_req_userdata(request));
}

// The node of the kernel's inode `inode`, or null.
const MountNode* NodeOf(const Served& served, fuse_ino_t inode) {
    if (inode == 0 || inode > served.setup->tree->NodeCount()) {
        return nullptr;
    }
    return &served.setup->tree->Node(static_cast<uint32_t>(inode - 1));
}

void Describe(const Served& served, const MountNode& node, uint32_t index, struct stat* st) {
    std::memset(st, 0, sizeof(*st));
    st->st_ino = index + 1;
    st->st_uid = served.uid;
    st->st_gid = served.gid;
    st->st_atim = served.archiveTimes.st_atim;
    st->st_mtim = served.archiveTimes.st_mtim;
    st->st_ctim = served.archiveTimes.st_ctim;
    st->st_blksize = 4096;
    if (node.directory) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2 + node.subdirectories;
    } else {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = static_cast<off_t>(node.size);
        st->st_blocks = static_cast<blkcnt_t>((node.size + 511) / 512);
    }
}

// The kernel's entry of node `index`, kept as long as the mount lasts.
struct fuse_entry_param EntryOf(const Served& served, uint32_t index) {
    struct fuse_entry_param entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.ino = index + 1;
    entry.generation = 1;
    entry.attr_timeout = kCacheSeconds;
    entry.entry_timeout = kCacheSeconds;
    Describe(served, served.setup->tree->Node(index), index, &entry.attr);
    return entry;
}

// The directory `inode` names; null, with the error replied, when it names
// nothing or something else.
const MountNode* DirectoryOf(fuse_req_t request, Served& served, fuse_ino_t inode) {
    const MountNode* node = NodeOf(served, inode);
    if (node == nullptr || !node->directory) {
        fuse_reply_err(request, node == nullptr ? ENOENT : ENOTDIR);
        return nullptr;
    }
    return node;
}

void LookUp(fuse_req_t request, fuse_ino_t parent, const char* name) {
    Served& served = Self(request);
    const MountNode* directory = DirectoryOf(request, served, parent);
    if (directory == nullptr) {
        return;
    }
    const MountTree& tree = *served.setup->tree;
    const std::string& top = *directory->path;
    const std::string path = (top == "/" ? "" : top) + "/" + name;
    const MountNode* node = tree.Find(path.c_str());
    if (node == nullptr) {
        // No inode: the kernel keeps the name as missing, as long as the
        // others.
        struct fuse_entry_param missing;
        std::memset(&missing, 0, sizeof(missing));
        missing.entry_timeout = kCacheSeconds;
        fuse_reply_entry(request, &missing);
        return;
    }
    const struct fuse_entry_param entry = EntryOf(served, tree.IndexOf(*node));
    fuse_reply_entry(request, &entry);
}

void GetAttributes(fuse_req_t request, fuse_ino_t inode, struct fuse_file_info*) {
    Served& served = Self(request);
    const MountNode* node = NodeOf(served, inode);
    if (node == nullptr) {
        fuse_reply_err(request, ENOENT);
        return;
    }
    struct stat st;
    Describe(served, *node, static_cast<uint32_t>(inode - 1), &st);
    fuse_reply_attr(request, &st, kCacheSeconds);
}

void OpenDirectory(fuse_req_t request, fuse_ino_t inode, struct fuse_file_info* info) {
    if (DirectoryOf(request, Self(request), inode) == nullptr) {
        return;
    }
    // A listing never changes: the kernel may keep it.
    info->cache_readdir = 1;
    info->keep_cache = 1;
    fuse_reply_open(request, info);
}

// Both kinds of listing: ".", "..", then the children; an entry's offset is
// the place of the one after it.
void List(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, bool plus) {
    Served& served = Self(request);
    const MountNode* node = DirectoryOf(request, served, inode);
    if (node == nullptr) {
        return;
    }
    const MountTree& tree = *served.setup->tree;
    const uint32_t self = static_cast<uint32_t>(inode - 1);
    std::vector<char> buffer(size);
    size_t used = 0;
    const size_t count = node->children.size() + 2;
    for (size_t at = offset < 0 ? 0 : static_cast<size_t>(offset); at < count; ++at) {
        const uint32_t index = at == 0 ? self : at == 1 ? node->parent : node->children[at - 2];
        const std::string name = at == 0 ? "." : at == 1 ? ".." : tree.Node(index).Name();
        const off_t next = static_cast<off_t>(at + 1);
        size_t needed;
        if (plus) {
            const struct fuse_entry_param entry = EntryOf(served, index);
            needed = fuse_add_direntry_plus(request, buffer.data() + used, size - used,
                                            name.c_str(), &entry, next);
        } else {
            struct stat st;
            Describe(served, tree.Node(index), index, &st);
            needed = fuse_add_direntry(request, buffer.data() + used, size - used, name.c_str(),
                                       &st, next);
        }
        if (needed > size - used) {
            break;
        }
        used += needed;
    }
    fuse_reply_buf(request, buffer.data(), used);
}

void ReadDirectory(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset,
                   struct fuse_file_info*) {
    List(request, inode, size, offset, false);
}

void ReadDirectoryPlus(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset,
                       struct fuse_file_info*) {
    List(request, inode, size, offset, true);
}

void Open(fuse_req_t request, fuse_ino_t inode, struct fuse_file_info* info) {
    Served& served = Self(request);
    const MountNode* node = NodeOf(served, inode);
    if (node == nullptr) {
        fuse_reply_err(request, ENOENT);
        return;
    }
    if (node->directory) {
        fuse_reply_err(request, EISDIR);
        return;
    }
    if ((info->flags & O_ACCMODE) != O_RDONLY) {
        fuse_reply_err(request, EROFS);
        return;
    }
    ++served.opens;
    auto* opened = new (std::nothrow) MountReader::Opened();
    if (opened == nullptr) {
        fuse_reply_err(request, ENOMEM);
        return;
    }
    if (!served.setup->reader->Open(static_cast<uint32_t>(inode - 1), opened)) {
        delete opened;
        ++served.failedOpens;
        fuse_reply_err(request, EIO);
        return;
    }
    info->fh = reinterpret_cast<uint64_t>(opened);
    // The bytes never change: what the kernel has kept of them stays good,
    // including what the reader handed it ahead. Nothing to flush.
    info->keep_cache = 1;
    info->noflush = 1;
    if (fuse_reply_open(request, info) != 0) {
        delete opened;  // the open was interrupted: no release comes
    }
}

void Read(fuse_req_t request, fuse_ino_t, size_t size, off_t offset, struct fuse_file_info* info) {
    const auto* opened = reinterpret_cast<const MountReader::Opened*>(info->fh);
    if (opened == nullptr || offset < 0) {
        fuse_reply_err(request, EIO);
        return;
    }
    MountReader& reader = *Self(request).setup->reader;
    if (opened->decoded != nullptr) {
        // Straight from the decoded bytes, held here until the reply is
        // written: the kernel may release the file as soon as it has taken
        // them, and the release may run on another thread while this one is
        // still returning from the write.
        const EntryCache::Entry decoded = opened->decoded;
        const uint64_t total = decoded->Size();
        const uint64_t at = std::min<uint64_t>(static_cast<uint64_t>(offset), total);
        fuse_reply_buf(request, reinterpret_cast<const char*>(decoded->Data() + at),
                       std::min<uint64_t>(size, total - at));
        return;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        fuse_reply_err(request, ENOMEM);
        return;
    }
    const int64_t got = reader.Read(*opened, buffer.data(), size, static_cast<uint64_t>(offset));
    if (got < 0) {
        fuse_reply_err(request, EIO);
        return;
    }
    fuse_reply_buf(request, reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(got));
}

void Release(fuse_req_t request, fuse_ino_t, struct fuse_file_info* info) {
    delete reinterpret_cast<MountReader::Opened*>(info->fh);
    info->fh = 0;
    fuse_reply_err(request, 0);
}

void FileSystemFigures(fuse_req_t request, fuse_ino_t) {
    const Served& served = Self(request);
    struct statvfs figures;
    std::memset(&figures, 0, sizeof(figures));
    figures.f_bsize = 4096;
    figures.f_frsize = 4096;
    figures.f_blocks = (served.totalBytes + 4095) / 4096;
    figures.f_files = served.setup->tree->NodeCount();
    figures.f_namemax = 255;
    figures.f_flag = ST_RDONLY;
    fuse_reply_statfs(request, &figures);
}

// Puts the process's standard streams on /dev/null.
void DetachStandardStreams() {
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0) {
        return;
    }
    for (int stream = 0; stream < 3; ++stream) {
        ::dup2(null, stream);
    }
    if (null > 2) {
        ::close(null);
    }
}

void Start(void* user, struct fuse_conn_info* connection) {
    Served& served = *static_cast<Served*>(user);
    // Listings come with their entries' attributes, sparing a lookup each.
    if ((connection->capable & FUSE_CAP_READDIRPLUS) != 0) {
        connection->want |= FUSE_CAP_READDIRPLUS;
        connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
    }
    served.answered = true;
    if (served.readyPipe >= 0) {
        // The kernel's first request is being answered: the mount is there.
        // The parent may go; it must not wait on streams this process holds.
        std::fflush(nullptr);
        DetachStandardStreams();
        const char ready = 1;
        while (::write(served.readyPipe, &ready, 1) < 0 && errno == EINTR) {
        }
        ::close(served.readyPipe);
        served.readyPipe = -1;
    }
}

// fsname values go through libfuse's option parser: "\" and "," escaped.
std::string EscapedOption(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == ',') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

void WriteStats(const Served& served) {
    const std::string& path = served.setup->statsFile;
    if (path.empty()) {
        return;
    }
    const EntryCacheStats stats = served.setup->reader->CacheStats();
    std::FILE* out = std::fopen(path.c_str(), "a");
    if (out == nullptr) {
        return;
    }
    std::fprintf(out,
                 "opens=%llu failed_opens=%llu decodes=%llu decode_failures=%llu hits=%llu "
                 "uncached=%llu evictions=%llu cached_bytes=%llu peak_cached_bytes=%llu "
                 "ahead=%llu delivered=%llu\n",
                 static_cast<unsigned long long>(served.opens.load()),
                 static_cast<unsigned long long>(served.failedOpens.load()),
                 static_cast<unsigned long long>(stats.decodes),
                 static_cast<unsigned long long>(stats.failures),
                 static_cast<unsigned long long>(stats.hits),
                 static_cast<unsigned long long>(stats.uncached),
                 static_cast<unsigned long long>(stats.evictions),
                 static_cast<unsigned long long>(stats.cachedBytes),
                 static_cast<unsigned long long>(stats.peakBytes),
                 static_cast<unsigned long long>(served.setup->reader->AheadCount()),
                 static_cast<unsigned long long>(served.setup->reader->DeliveredCount()));
    std::fclose(out);
}

void MountError(const std::string& subject, const std::string& text) {
    cli::Complain("mount: " + subject, text);
}

// Mounts and serves in this process; the exit code.
int Serve(Served& served) {
    const MountSetup& setup = *served.setup;
    struct fuse_lowlevel_ops operations = {};
    operations.init = Start;
    operations.lookup = LookUp;
    operations.getattr = GetAttributes;
    operations.opendir = OpenDirectory;
    operations.readdir = ReadDirectory;
    operations.readdirplus = ReadDirectoryPlus;
    operations.open = Open;
    operations.read = Read;
    operations.release = Release;
    operations.statfs = FileSystemFigures;

    const std::string options =
        "ro,default_permissions,subtype=tarnwad,fsname=" + EscapedOption(setup.fileSystemName);
    std::vector<std::string> words = {"tarnwad", "-o", options};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    struct fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    struct fuse_session* session =
        fuse_session_new(&args, &operations, sizeof(operations), &served);
    fuse_opt_free_args(&args);
    if (session == nullptr) {
        MountError(setup.mountPoint, "the FUSE library cannot start a file system");
        return cli::kExitUsage;
    }
    if (fuse_session_mount(session, setup.mountPoint.c_str()) != 0) {
        MountError(setup.mountPoint, "cannot be mounted on (see the FUSE library's message)");
        fuse_session_destroy(session);
        return cli::kExitUsage;
    }
    served.session = session;
    // Files read in order are made ready ahead on threads of their own; the
    // small ones go straight into the kernel's page cache, so that reading
    // them asks nothing more of this process.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    setup.reader->StartAhead(
        std::min(cores, 4u), [session](uint32_t index, const uint8_t* data, uint64_t size) {
            struct fuse_bufvec bytes = FUSE_BUFVEC_INIT(size);
            bytes.buf[0].mem = const_cast<uint8_t*>(data);
            // Refused (the kernel has let the inode
            // go, say): reads ask for the bytes instead.
            fuse_lowlevel_notify_store(session, index + 1, 0, &bytes, FUSE_BUF_NO_SPLICE);
        });
    const bool handlers = fuse_set_signal_handlers(session) == 0;
#if FUSE_USE_VERSION >= 312
    // (The older call makes a configuration of its own and never frees it.)
    struct fuse_loop_config* loop = fuse_loop_cfg_create();
    if (loop != nullptr) {
        fuse_session_loop_mt(session, loop);
        fuse_loop_cfg_destroy(loop);
    }
#else
    fuse_session_loop_mt(session, 0);
#endif
    setup.reader->StopAhead();
    if (handlers) {
        fuse_remove_signal_handlers(session);
    }
    fuse_session_unmount(session);
    fuse_session_destroy(session);
    WriteStats(served);
    if (!served.answered) {
        MountError(setup.mountPoint, "the mount stopped before it answered");
        return cli::kExitUsage;
    }
    return cli::kExitSuccess;
}

// The parent of a background mount: waits for the child's word that the
// mount answers, or for its end.
int AwaitChild(pid_t child, int readEnd, const std::string& mountPoint) {
    struct pollfd wait = {readEnd, POLLIN, 0};
    int polled;
    do {
        polled = ::poll(&wait, 1, kReadyTimeoutMs);
    } while (polled < 0 && errno == EINTR);
    char ready = 0;
    ssize_t got = 0;
    if (polled > 0) {
        do {
            got = ::read(readEnd, &ready, 1);
        } while (got < 0 && errno == EINTR);
    }
    ::close(readEnd);
    if (got == 1) {
        return cli::kExitSuccess;
    }
    if (polled == 0) {
        // No answer: the child is told to stop, which unmounts.
        ::kill(child, SIGTERM);
        MountError(mountPoint, "the mount did not answer within " +
                                   std::to_string(kReadyTimeoutMs / 1000) + " seconds");
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (polled != 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        return WEXITSTATUS(status);
    }
    return cli::kExitUsage;
}

// A mountinfo field with its octal escapes (\040 for a space) undone.
std::string Unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                text += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

// The file system type of the mount at `path` ("fuse.tarnwad"), the last one
// mounted there; empty when nothing is mounted there.
std::string MountedType(const std::string& path) {
    std::ifstream table("/proc/self/mountinfo");
    std::string type;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) {
            words.push_back(word);
        }
        if (words.size() < 7 || Unescaped(words[4]) != path) {
            continue;
        }
        for (size_t i = 6; i + 1 < words.size(); ++i) {
            if (words[i] == "-") {
                type = words[i + 1];
                break;
            }
        }
    }
    return type;
}

// Runs `fusermount3 -u -- PATH`; false with the reason when it cannot run or
// fails.
bool RunFusermount(const std::string& path, std::string* why) {
    std::vector<std::string> words = {"fusermount3", "-u", "--", path};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, "fusermount3", nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        *why = "fusermount3 cannot be run: " + std::string(std::strerror(spawned));
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *why = "fusermount3 -u failed";
        return false;
    }
    return true;
}

}  // namespace

std::string ResolveMountPoint(const std::string& mountPoint) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path path = fs::absolute(mountPoint, error).lexically_normal();
    // Links are followed one at a time, as the kernel follows them, and at
    // most 40 of them, as it does.
    for (int links = 0; links <= 40; ++links) {
        std::string text = path.string();
        while (text.size() > 1 && text.back() == '/') {
            text.pop_back();
        }
        path = text;
        if (!path.has_filename() || path.filename() == "." || path.filename() == "..") {
            const fs::path resolved = fs::canonical(path, error);
            return error ? text : resolved.string();
        }
        const fs::path parent = fs::canonical(path.parent_path(), error);
        if (error) {
            return text;
        }
        path = parent / path.filename();
        // Only the link itself is looked at (lstat), never what a mount
        // point leads to: a dead mount cannot be looked into.
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            return path.string();
        }
        const fs::path target = fs::read_symlink(path, error);
        if (error) {
            return path.string();
        }
        path = target.is_absolute() ? target : parent / target;
    }
    return path.string();
}

std::string FuseDeviceProblem() {
    const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        const int error = errno;
        std::string why = "/dev/fuse cannot be opened: " + std::string(std::strerror(error));
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            why += " (is the fuse kernel module loaded, and /dev/fuse passed to this container?)";
        }
        if (error == EACCES || error == EPERM) {
            // The FUSE library opens it before it turns to fusermount3.
            why += " (the FUSE library needs it readable and writable by this user)";
        }
        return why;
    }
    ::close(device);
    return {};
}

int ServeMount(const MountSetup& setup) {
    Served served;
    served.setup = &setup;
    served.uid = ::getuid();
    served.gid = ::getgid();
    if (::stat(setup.archivePath.c_str(), &served.archiveTimes) != 0) {
        MountError(setup.shownArchive, "cannot be read: " + std::string(std::strerror(errno)));
        return cli::kExitUsage;
    }
    for (size_t i = 0; i < setup.tree->NodeCount(); ++i) {
        served.totalBytes += setup.tree->Node(static_cast<uint32_t>(i)).size;
    }
    if (setup.foreground) {
        return Serve(served);
    }

    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        MountError(setup.mountPoint,
                   "cannot go into the background: " + std::string(std::strerror(errno)));
        return cli::kExitUsage;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        MountError(setup.mountPoint,
                   "cannot go into the background: " + std::string(std::strerror(errno)));
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return cli::kExitUsage;
    }
    if (child > 0) {
        ::close(pipeEnds[1]);
        return AwaitChild(child, pipeEnds[0], setup.mountPoint);
    }
    ::close(pipeEnds[0]);
    ::setsid();
    if (::chdir("/") != 0) {
        // Every path is absolute; staying where it is only keeps that
        // directory busy.
    }
    served.readyPipe = pipeEnds[1];
    const int code = Serve(served);
    if (served.readyPipe >= 0) {
        ::close(served.readyPipe);
    }
    return code;
}

std::string UnmountDirectory(const std::string& mountPoint) {
    const std::string path = ResolveMountPoint(mountPoint);
    const std::string type = MountedType(path);
    if (type.empty()) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
            return "no such directory";
        }
        return "nothing is mounted there";
    }
    if (type != "fuse.tarnwad") {
        return "is not a tarnwad mount (it is " + type + ")";
    }
    if (::geteuid() == 0) {
        if (::umount2(path.c_str(), 0) == 0) {
            return {};
        }
        const int error = errno;
        std::string why = "cannot be unmounted: " + std::string(std::strerror(error));
        if (error == EBUSY) {
            why += " (a process is using a file or directory in it)";
        }
        return why;
    }
    std::string why;
    if (!RunFusermount(path, &why)) {
        return "cannot be unmounted: " + why;
    }
    return {};
}

}  // namespace tarnwad::mount
