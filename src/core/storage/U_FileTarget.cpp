#include "U_FileTarget.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links from the name itself (not its folders) to the name they end at, which
// need not exist yet (a dangling link creates its target). False with errno on a loop.
bool FollowLinks(const std::string &path, std::string &result) {
    std::string name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            result = name;
            return true;
        }
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = readlink(name.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0)
            return false;
        const std::string target(buffer.data(), static_cast<std::size_t>(n));
        name = target.starts_with('/') ? target : FolderOf(name) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

bool WriteAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string BaseName(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ProcFdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool ProcFdUsable() {
    static const bool usable = access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// The file system (or the kernel) has no unnamed files: a named one is used instead.
bool UnnamedRefused(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

std::string RandomTag() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    std::string tag(8, 'a');
    for (char &c : tag)
        c = letters[engine() % (sizeof letters - 1)];
    return tag;
}

// A new file named with our prefix in the folder, open for writing; -1 with errno on failure.
int MakeNamedTemporary(const std::string &folder, const std::string &base, std::string &name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "/" + TOrvel_FileTarget::TemporaryPrefix + RandomTag() +
                                "-" + base.substr(0, 200);
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// The files (device and inode) that some process holds open, among the wanted ones.
std::set<std::pair<dev_t, ino_t>> OpenAmong(const std::set<std::pair<dev_t, ino_t>> &wanted) {
    std::set<std::pair<dev_t, ino_t>> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return wanted; // no way to tell: every one counts as open
    while (const dirent *process = readdir(proc)) {
        if (process->d_name[0] < '0' || process->d_name[0] > '9')
            continue;
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR *dir = opendir(fds.c_str());
        if (!dir)
            continue; // gone, or another user's: it cannot hold this user's private file
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            struct stat st {};
            if (stat((fds + "/" + entry->d_name).c_str(), &st) == 0 &&
                wanted.count({st.st_dev, st.st_ino}))
                found.insert({st.st_dev, st.st_ino});
        }
        closedir(dir);
    }
    closedir(proc);
    return found;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

TOrvel_FileTarget::TOrvel_FileTarget(const std::string &path) {
    if (path.empty()) {
        Fail(ENOENT);
        return;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            Fail(EISDIR);
        else if (!S_ISREG(st.st_mode))
            OpenInPlace(path, S_ISSOCK(st.st_mode));
        else {
            std::string finalName;
            if (!FollowLinks(path, finalName))
                Fail(errno);
            else
                OpenTemporary(finalName, &st);
        }
        return;
    }
    if (errno != ENOENT) {
        Fail(errno);
        return;
    }
    std::string finalName;
    if (!FollowLinks(path, finalName))
        Fail(errno);
    else
        OpenTemporary(finalName, nullptr);
}

TOrvel_FileTarget::~TOrvel_FileTarget() {
    if (FFd >= 0)
        close(FFd);
    if (!FTemporary.empty() && !FCommitted)
        unlink(FTemporary.c_str());
}

bool TOrvel_FileTarget::Fail(int error) {
    if (FError == 0)
        FError = error != 0 ? error : EIO;
    return false;
}

void TOrvel_FileTarget::OpenInPlace(const std::string &path, bool socket) {
    FInPlace = true;
    if (!socket) {
        // No O_TRUNC: a device or a pipe has nothing to truncate. A FIFO waits for its reader.
        FFd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (FFd < 0)
            Fail(errno);
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        Fail(ENAMETOOLONG);
        return;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (const int type : {SOCK_STREAM, SOCK_SEQPACKET}) {
        FFd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (FFd < 0) {
            Fail(errno);
            return;
        }
        if (connect(FFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return;
        const int error = errno;
        close(FFd);
        FFd = -1;
        if (error != EPROTOTYPE) {
            Fail(error);
            return;
        }
    }
    Fail(EPROTOTYPE);
}

void TOrvel_FileTarget::OpenTemporary(const std::string &finalName, const struct stat *existing) {
    // An existing file that may not be written is not replaced either.
    if (existing && access(finalName.c_str(), W_OK) != 0) {
        Fail(errno);
        return;
    }
    FFinalName = finalName;
    const std::string folder = FolderOf(finalName);
    // Named leftovers of ours (a process killed before it renamed one) go on the next write.
    RemoveStaleTemporaries(folder);
    // Unnamed, where the file system allows: nothing is left behind whatever ends the process.
    // Reopening it by name (WorkPath) and naming it at the end go through /proc/self/fd.
    if (UnnamedAllowed && ProcFdUsable()) {
        FFd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (FFd >= 0)
            FUnnamed = true;
        else if (!UnnamedRefused(errno)) {
            Fail(errno); // a missing or read-only folder, no room: refused before any row
            return;
        }
    }
    if (!FUnnamed) {
        FFd = MakeNamedTemporary(folder, BaseName(finalName), FTemporary);
        if (FFd < 0) {
            Fail(errno);
            return;
        }
    }
    // The replaced file keeps its permissions and, where allowed, its owner.
    const mode_t mode = existing ? (existing->st_mode & 07777) : NewFileMode();
    if (existing && (existing->st_uid != geteuid() || existing->st_gid != getegid()))
        (void)!fchown(FFd, existing->st_uid, existing->st_gid);
    if (fchmod(FFd, mode) != 0)
        Fail(errno);
}

std::string TOrvel_FileTarget::WorkPath() const {
    if (FInPlace || FFd < 0)
        return {};
    return FUnnamed ? ProcFdPath(FFd) : FTemporary;
}

std::string TOrvel_FileTarget::Folder() const {
    return FInPlace ? std::string() : FolderOf(FFinalName);
}

// Gives the unnamed file a name beside the target, to be renamed over it: a link straight onto
// an existing name would fail (EEXIST), and the rename is what replaces atomically.
bool TOrvel_FileTarget::LinkUnnamed() {
    const std::string folder = FolderOf(FFinalName);
    const std::string source = ProcFdPath(FFd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + TemporaryPrefix + RandomTag() + "-" +
                           BaseName(FFinalName).substr(0, 200);
        if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            FTemporary = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return Fail(errno);
    }
    return Fail(EEXIST);
}

bool TOrvel_FileTarget::Write(const char *data, std::size_t size) {
    if (FError != 0 || FFd < 0)
        return Fail(EBADF);
    if (!WriteAll(FFd, data, size))
        return Fail(errno);
    FWritten += static_cast<off_t>(size);
    StartWriteback();
    return true;
}

// A large temporary file is sent on its way to the disk while it is still being written, so that
// the flush before the rename waits only for its last part. A hint: the flush reports errors.
void TOrvel_FileTarget::StartWriteback() {
#ifdef __linux__
    constexpr off_t kWritebackStep = 8 << 20;
    if (FInPlace || FWritten - FWritebackAt < kWritebackStep)
        return;
    (void)sync_file_range(FFd, FWritebackAt, FWritten - FWritebackAt, SYNC_FILE_RANGE_WRITE);
    FWritebackAt = FWritten;
#endif
}

bool TOrvel_FileTarget::Commit() {
    if (FError != 0 || FFd < 0 || FCommitted)
        return Fail(EBADF);
    if (!FInPlace && fsync(FFd) != 0)
        return Fail(errno);
    if (FUnnamed && !LinkUnnamed())
        return Fail(errno);
    const int fd = FFd;
    FFd = -1;
    if (close(fd) != 0 && errno != EINTR)
        return Fail(errno);
    if (FInPlace) {
        FCommitted = true;
        return true;
    }
    if (rename(FTemporary.c_str(), FFinalName.c_str()) != 0)
        return Fail(errno); // the destructor removes the named temporary file
    FCommitted = true;
    return true;
}

int WriteFileTarget(const std::string &path, const char *data, std::size_t size) {
    TOrvel_FileTarget target(path);
    if (target.Error() == 0 && target.Write(data, size))
        target.Commit();
    return target.Error();
}

int RemoveStaleTemporaries(const std::string &folder, long maxAgeSeconds) {
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    const std::size_t prefixLength = std::strlen(TOrvel_FileTarget::TemporaryPrefix);
    const time_t now = time(nullptr);
    std::vector<std::pair<std::string, std::pair<dev_t, ino_t>>> candidates;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        // Ours only: the prefix, the eight-character tag and its dash.
        if (name.compare(0, prefixLength, TOrvel_FileTarget::TemporaryPrefix) != 0 ||
            name.size() < prefixLength + 9 || name[prefixLength + 8] != '-')
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
            now - st.st_mtime < maxAgeSeconds)
            continue;
        candidates.push_back({path, {st.st_dev, st.st_ino}});
    }
    closedir(dir);
    if (candidates.empty())
        return 0;
    std::set<std::pair<dev_t, ino_t>> wanted;
    for (const auto &c : candidates)
        wanted.insert(c.second);
    const auto open = OpenAmong(wanted);
    int removed = 0;
    for (const auto &[path, id] : candidates)
        if (!open.count(id) && unlink(path.c_str()) == 0)
            ++removed;
    return removed;
}

// TOrvel_ScratchFile

TOrvel_ScratchFile::TOrvel_ScratchFile(const std::string &folder) {
    if (ProcFdUsable()) {
        FFd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (FFd >= 0)
            return;
        if (!UnnamedRefused(errno)) {
            FError = errno;
            return;
        }
    }
    std::string name;
    FFd = MakeNamedTemporary(folder, "scratch", name);
    if (FFd < 0) {
        FError = errno;
        return;
    }
    // Reachable through /proc/self/fd from now on; the name would only be left behind.
    unlink(name.c_str());
    if (!ProcFdUsable())
        FError = ENOENT;
}

TOrvel_ScratchFile::~TOrvel_ScratchFile() {
    if (FFd >= 0)
        close(FFd);
}

std::string TOrvel_ScratchFile::Path() const {
    return FFd >= 0 ? ProcFdPath(FFd) : std::string();
}
