// The FUSE glue of `tarnwad mount`: the tool's one file that includes
// fuse.h, and with it the POSIX headers for forking into the background and
// unmounting. See mount_fuse.h.
#define FUSE_USE_VERSION 31
#include <fuse.h>

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

struct Served {
    const MountSetup* setup = nullptr;
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

Served& Self() {
    return *static_cast<Served*>(fuse_get_context()->private_data);
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

int GetAttributes(const char* path, struct stat* st, struct fuse_file_info*) {
    Served& served = Self();
    const MountNode* node = served.setup->tree->Find(path);
    if (node == nullptr) {
        return -ENOENT;
    }
    Describe(served, *node, served.setup->tree->IndexOf(*node), st);
    return 0;
}

int ReadDirectory(const char* path, void* buffer, fuse_fill_dir_t fill, off_t,
                  struct fuse_file_info*, enum fuse_readdir_flags flags) {
    Served& served = Self();
    const MountTree& tree = *served.setup->tree;
    const MountNode* node = tree.Find(path);
    if (node == nullptr) {
        return -ENOENT;
    }
    if (!node->directory) {
        return -ENOTDIR;
    }
    const bool plus = (flags & FUSE_READDIR_PLUS) != 0;
    const auto fillFlags = static_cast<enum fuse_fill_dir_flags>(plus ? FUSE_FILL_DIR_PLUS : 0);
    struct stat st;
    Describe(served, *node, tree.IndexOf(*node), &st);
    fill(buffer, ".", plus ? &st : nullptr, 0, fillFlags);
    const MountNode& parent = tree.Node(node->parent);
    Describe(served, parent, node->parent, &st);
    fill(buffer, "..", plus ? &st : nullptr, 0, fillFlags);
    for (uint32_t child : node->children) {
        const MountNode& entry = tree.Node(child);
        Describe(served, entry, child, &st);
        if (fill(buffer, entry.Name().c_str(), plus ? &st : nullptr, 0, fillFlags) != 0) {
            return -ENOMEM;
        }
    }
    return 0;
}

int Open(const char* path, struct fuse_file_info* info) {
    Served& served = Self();
    const MountNode* node = served.setup->tree->Find(path);
    if (node == nullptr) {
        return -ENOENT;
    }
    if (node->directory) {
        return -EISDIR;
    }
    if ((info->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    ++served.opens;
    auto* opened = new (std::nothrow) MountReader::Opened();
    if (opened == nullptr) {
        return -ENOMEM;
    }
    if (!served.setup->reader->Open(served.setup->tree->IndexOf(*node), opened)) {
        delete opened;
        ++served.failedOpens;
        return -EIO;
    }
    info->fh = reinterpret_cast<uint64_t>(opened);
    // The bytes never change: what the kernel has kept of them stays good.
    info->keep_cache = 1;
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, struct fuse_file_info* info) {
    const auto* opened = reinterpret_cast<const MountReader::Opened*>(info->fh);
    if (opened == nullptr || offset < 0) {
        return -EIO;
    }
    const int64_t got = Self().setup->reader->Read(*opened, reinterpret_cast<uint8_t*>(buffer),
                                                   size, static_cast<uint64_t>(offset));
    return got < 0 ? -EIO : static_cast<int>(got);
}

int Release(const char*, struct fuse_file_info* info) {
    delete reinterpret_cast<MountReader::Opened*>(info->fh);
    info->fh = 0;
    return 0;
}

int FileSystemFigures(const char*, struct statvfs* figures) {
    const Served& served = Self();
    std::memset(figures, 0, sizeof(*figures));
    figures->f_bsize = 4096;
    figures->f_frsize = 4096;
    figures->f_blocks = (served.totalBytes + 4095) / 4096;
    figures->f_files = served.setup->tree->NodeCount();
    figures->f_namemax = 255;
    figures->f_flag = ST_RDONLY;
    return 0;
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

void* Start(struct fuse_conn_info*, struct fuse_config* config) {
    Served& served = Self();
    config->kernel_cache = 1;
    config->use_ino = 1;
    config->entry_timeout = kCacheSeconds;
    config->attr_timeout = kCacheSeconds;
    config->negative_timeout = kCacheSeconds;
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
    return &served;
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
                 "uncached=%llu evictions=%llu cached_bytes=%llu peak_cached_bytes=%llu\n",
                 static_cast<unsigned long long>(served.opens.load()),
                 static_cast<unsigned long long>(served.failedOpens.load()),
                 static_cast<unsigned long long>(stats.decodes),
                 static_cast<unsigned long long>(stats.failures),
                 static_cast<unsigned long long>(stats.hits),
                 static_cast<unsigned long long>(stats.uncached),
                 static_cast<unsigned long long>(stats.evictions),
                 static_cast<unsigned long long>(stats.cachedBytes),
                 static_cast<unsigned long long>(stats.peakBytes));
    std::fclose(out);
}

void MountError(const std::string& subject, const std::string& text) {
    cli::Complain("mount: " + subject, text);
}

// Mounts and serves in this process; the exit code.
int Serve(Served& served) {
    const MountSetup& setup = *served.setup;
    struct fuse_operations operations = {};
    operations.getattr = GetAttributes;
    operations.readdir = ReadDirectory;
    operations.open = Open;
    operations.read = Read;
    operations.release = Release;
    operations.statfs = FileSystemFigures;
    operations.init = Start;

    const std::string options =
        "ro,default_permissions,subtype=tarnwad,fsname=" + EscapedOption(setup.fileSystemName);
    std::vector<std::string> words = {"tarnwad", "-o", options};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    struct fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    struct fuse* fuse = fuse_new(&args, &operations, sizeof(operations), &served);
    fuse_opt_free_args(&args);
    if (fuse == nullptr) {
        MountError(setup.mountPoint, "the FUSE library cannot start a file system");
        return cli::kExitUsage;
    }
    if (fuse_mount(fuse, setup.mountPoint.c_str()) != 0) {
        MountError(setup.mountPoint, "cannot be mounted on (see the FUSE library's message)");
        fuse_destroy(fuse);
        return cli::kExitUsage;
    }
    struct fuse_session* session = fuse_get_session(fuse);
    const bool handlers = fuse_set_signal_handlers(session) == 0;
    fuse_loop_mt(fuse, 0);
    if (handlers) {
        fuse_remove_signal_handlers(session);
    }
    fuse_unmount(fuse);
    fuse_destroy(fuse);
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
