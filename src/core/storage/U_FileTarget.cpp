#include "U_FileTarget.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
    std::string base =
        finalName.substr(finalName.rfind('/') == std::string::npos ? 0 : finalName.rfind('/') + 1);
    // Room for the dot and the suffix within the longest file name.
    if (base.size() > 200)
        base.resize(200);
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FFd = mkostemp(name.data(), O_CLOEXEC);
    if (FFd < 0) {
        Fail(errno);
        return;
    }
    FTemporary = name.data();
    // The replaced file keeps its permissions and, where allowed, its owner.
    const mode_t mode = existing ? (existing->st_mode & 07777) : NewFileMode();
    if (existing && (existing->st_uid != geteuid() || existing->st_gid != getegid()))
        (void)!fchown(FFd, existing->st_uid, existing->st_gid);
    if (fchmod(FFd, mode) != 0)
        Fail(errno);
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
    const int fd = FFd;
    FFd = -1;
    if (close(fd) != 0 && errno != EINTR)
        return Fail(errno);
    if (FInPlace) {
        FCommitted = true;
        return true;
    }
    if (rename(FTemporary.c_str(), FFinalName.c_str()) != 0)
        return Fail(errno);
    FCommitted = true;
    return true;
}

int WriteFileTarget(const std::string &path, const char *data, std::size_t size) {
    TOrvel_FileTarget target(path);
    if (target.Error() == 0 && target.Write(data, size))
        target.Commit();
    return target.Error();
}
