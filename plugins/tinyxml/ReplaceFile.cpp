#include "ReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Closes the descriptor and removes the temporary file unless the rename took it over.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string &target) : FName(target.begin(), target.end()) {
        static const char suffix[] = ".tmp.XXXXXX";
        FName.insert(FName.end(), suffix, suffix + sizeof suffix); // with the terminator
        FFd = mkstemp(FName.data());
        FCreated = FFd >= 0;
    }
    ~TemporaryFile() {
        Close();
        if (FCreated && !FCommitted)
            unlink(FName.data());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool IsOpen() const { return FFd >= 0; }
    int Fd() const { return FFd; }
    const char *Name() const { return FName.data(); }
    bool Close() {
        if (FFd < 0)
            return true;
        const bool ok = close(FFd) == 0;
        FFd = -1;
        return ok;
    }
    void Committed() { FCommitted = true; }

private:
    std::vector<char> FName;
    int FFd = -1;
    bool FCreated = false;
    bool FCommitted = false;
};

bool WriteAll(int fd, const std::string &bytes) {
    const char *p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(fd, p, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// The mode a newly created file would get; an existing target keeps its own.
mode_t ModeFor(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool ReplaceFileContents(const std::string &path, const std::string &bytes) {
    if (path.empty())
        return false;
    TemporaryFile temp(path);
    if (!temp.IsOpen())
        return false;
    if (!WriteAll(temp.Fd(), bytes) || fchmod(temp.Fd(), ModeFor(path)) != 0 ||
        fsync(temp.Fd()) != 0 || !temp.Close())
        return false;
    if (rename(temp.Name(), path.c_str()) != 0)
        return false;
    temp.Committed();
    return true;
}
