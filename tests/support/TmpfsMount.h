#pragma once
// A small tmpfs of its own for a fault test: a full disk, a read-only folder, the temporary
// folder of a process. Mounting needs the superuser; a test skips with the reason where the
// system refuses.
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

class TmpfsMount {
public:
    // size: as the tmpfs option takes it ("1m", "512k").
    explicit TmpfsMount(const QString &size, bool readOnly = false) {
        const QByteArray where = QFile::encodeName(FDir.path());
        const QByteArray options = "size=" + size.toLatin1() + ",mode=0777";
        if (::mount("tmpfs", where.constData(), "tmpfs", readOnly ? MS_RDONLY : 0,
                    options.constData()) == 0)
            FMounted = true;
        else
            FError = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~TmpfsMount() {
        if (FMounted)
            ::umount2(QFile::encodeName(FDir.path()).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool Mounted() const { return FMounted; }
    // Why it could not be mounted.
    QString Error() const { return FError; }
    QString Path() const { return FDir.path(); }
    QString FilePath(const QString &name) const { return FDir.filePath(name); }

    // Bytes still free.
    qint64 Free() const {
        struct statvfs fs {};
        if (statvfs(QFile::encodeName(FDir.path()).constData(), &fs) != 0)
            return -1;
        return static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
    }

    // Fills the file system with a file `name` until at most `leave` bytes are free.
    bool Fill(const QString &name, qint64 leave = 0) const {
        const int fd = ::open(QFile::encodeName(FilePath(name)).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        static const QByteArray block(4096, 'x');
        while (Free() > leave) {
            const qint64 room = Free() - leave;
            const auto n = static_cast<std::size_t>(std::min<qint64>(room, block.size()));
            if (::write(fd, block.constData(), n) <= 0)
                break;
        }
        ::close(fd);
        return Free() <= leave;
    }

private:
    QTemporaryDir FDir;
    bool FMounted = false;
    QString FError;
};

#define REQUIRE_TMPFS(mount)                                                                       \
    do {                                                                                           \
        if (!(mount).Mounted())                                                                    \
            QSKIP(qPrintable(QStringLiteral("a tmpfs cannot be mounted here (%1): the fault is "   \
                                            "not reproduced")                                      \
                                 .arg((mount).Error())));                                          \
    } while (false)
