#pragma once
// The one rule for writing a file, in plain POSIX without Qt, so that the plug-in libraries use
// it too:
// - a regular file (or a name not yet taken) is written to a temporary file beside it and renamed
//   over it when complete, so a failed write leaves the old file whole; a symbolic link is
//   followed to the file it names, so the link stays a link;
// - a target that exists and is not a regular file (a character or block device, a FIFO, a
//   socket) is written directly, in place: nothing is renamed over it, and /dev/stdout reaches
//   the pipe or terminal behind it;
// - a folder, or a link to one, is refused (EISDIR).
// Failures are reported as the errno value that caused them.
#include <cstddef>
#include <string>
#include <sys/stat.h>

class TOrvel_FileTarget {
public:
    // Opens the target; Error() tells whether that worked.
    explicit TOrvel_FileTarget(const std::string &path);
    // Without Commit, a temporary file is removed and the old file stays as it was.
    ~TOrvel_FileTarget();
    TOrvel_FileTarget(const TOrvel_FileTarget &) = delete;
    TOrvel_FileTarget &operator=(const TOrvel_FileTarget &) = delete;

    bool Write(const char *data, std::size_t size);
    // Makes the written bytes the target's contents; false (with Error()) if that failed.
    bool Commit();
    // The errno value of the first failure; 0 while all went well.
    int Error() const { return FError; }
    // True when the target is written in place (not a regular file).
    bool InPlace() const { return FInPlace; }

private:
    bool Fail(int error);
    void OpenInPlace(const std::string &path, bool socket);
    void OpenTemporary(const std::string &finalName, const struct stat *existing);
    void StartWriteback();

    std::string FFinalName; // the regular file that the rename replaces
    std::string FTemporary; // empty when written in place
    int FFd = -1;
    int FError = 0;
    bool FInPlace = false;
    off_t FWritten = 0;     // bytes written to the temporary file
    off_t FWritebackAt = 0; // where the next early writeback starts
    bool FCommitted = false;
};

// Convenience: the whole contents in one go; returns 0 or the errno value of the failure.
int WriteFileTarget(const std::string &path, const char *data, std::size_t size);
