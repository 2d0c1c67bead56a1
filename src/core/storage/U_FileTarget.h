#pragma once
// The one rule for writing a file, in plain POSIX without Qt, so that the plug-in libraries use
// it too:
// - a regular file (or a name not yet taken) is written to a temporary file beside it and renamed
//   over it when complete, so a failed write leaves the old file whole; a symbolic link is
//   followed to the file it names, so the link stays a link. The temporary file has no name
//   (O_TMPFILE) where the file system allows, so a killed process leaves nothing behind; it is
//   given one only at the end, to be renamed over the target. Where the file system refuses
//   unnamed files, it carries a recognisable name (TemporaryPrefix), and such files of ours that
//   are older than a day and open in no process are removed when that folder is written next;
//   the folder must be writable before anything is written;
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
    // A name by which another writer (a library that opens files by name) can fill the
    // temporary file until Commit; empty when written in place.
    std::string WorkPath() const;
    // The folder that holds the target (a regular file's; "" in place).
    std::string Folder() const;
    // True when the temporary file has no name in its folder.
    bool Unnamed() const { return FUnnamed; }

    // The start of the names of our temporary files where they have names.
    static constexpr const char *TemporaryPrefix = ".orvel-tmp-";
    // False makes every temporary file a named one, as on a file system without unnamed files
    // (a test sets it).
    static inline bool UnnamedAllowed = true;

private:
    bool Fail(int error);
    void OpenInPlace(const std::string &path, bool socket);
    void OpenTemporary(const std::string &finalName, const struct stat *existing);
    void StartWriteback();
    bool LinkUnnamed();

    std::string FFinalName; // the regular file that the rename replaces
    std::string FTemporary; // empty when written in place
    int FFd = -1;
    int FError = 0;
    bool FInPlace = false;
    off_t FWritten = 0;     // bytes written to the temporary file
    off_t FWritebackAt = 0; // where the next early writeback starts
    bool FCommitted = false;
    bool FUnnamed = false;
};

// Removes the temporary files of ours in a folder (by TemporaryPrefix, regular files of this
// user) that are older than maxAgeSeconds and open in no process. Returns how many it removed.
int RemoveStaleTemporaries(const std::string &folder, long maxAgeSeconds = 24 * 3600);

// A scratch file with no name in its folder (or, where the folder refuses unnamed files, one
// whose name is removed at once), readable and writable by name through Path() while the object
// lives: for a library that writes a file by name before the bytes reach a device.
class TOrvel_ScratchFile {
public:
    explicit TOrvel_ScratchFile(const std::string &folder);
    ~TOrvel_ScratchFile();
    TOrvel_ScratchFile(const TOrvel_ScratchFile &) = delete;
    TOrvel_ScratchFile &operator=(const TOrvel_ScratchFile &) = delete;
    int Error() const { return FError; }
    int Fd() const { return FFd; }
    std::string Path() const;

private:
    int FFd = -1;
    int FError = 0;
};

// Convenience: the whole contents in one go; returns 0 or the errno value of the failure.
int WriteFileTarget(const std::string &path, const char *data, std::size_t size);
