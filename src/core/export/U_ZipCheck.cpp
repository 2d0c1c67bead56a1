#include "U_ZipCheck.h"

#include <QFile>
#include <QHash>

#include <cstring>

namespace {

quint64 Le(const char *p, int bytes) {
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

QString Broken(const QString &what) {
    return QStringLiteral("zapisany plik jest uszkodzony (%1)").arg(what);
}

struct Entry {
    quint64 Compressed = 0;
    quint64 Size = 0;
    quint64 Offset = 0;
};

} // namespace

std::optional<QString> CheckZipPackage(const QString &path, const TOrvel_ZipExpectation &expected) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Broken(file.errorString());
    const qint64 size = file.size();
    constexpr qint64 EndRecord = 22, MaxComment = 0xFFFF;
    if (size < EndRecord)
        return Broken(QStringLiteral("brak katalogu archiwum"));
    const qint64 tailStart = std::max<qint64>(0, size - EndRecord - MaxComment - 20 - 56);
    file.seek(tailStart);
    const QByteArray tail = file.read(size - tailStart);
    qint64 end = -1;
    for (qint64 i = tail.size() - EndRecord; i >= 0; --i)
        if (Le(tail.constData() + i, 4) == 0x06054b50 &&
            i + EndRecord + static_cast<qint64>(Le(tail.constData() + i + 20, 2)) == tail.size()) {
            end = i;
            break;
        }
    if (end < 0)
        return Broken(QStringLiteral("brak katalogu archiwum"));
    const char *e = tail.constData() + end;
    quint64 entries = Le(e + 10, 2), dirSize = Le(e + 12, 4), dirOffset = Le(e + 16, 4);
    quint64 dirLimit = static_cast<quint64>(tailStart + end);
    if (entries == 0xFFFF || dirSize == 0xFFFFFFFF || dirOffset == 0xFFFFFFFF) {
        // The 64-bit record, found through its locator just before the end record.
        if (end < 20 || Le(e - 20, 4) != 0x07064b50)
            return Broken(QStringLiteral("brak katalogu ZIP64"));
        const quint64 at = Le(e - 20 + 8, 8);
        if (at + 56 > static_cast<quint64>(size))
            return Broken(QStringLiteral("brak katalogu ZIP64"));
        file.seek(static_cast<qint64>(at));
        const QByteArray record = file.read(56);
        if (record.size() != 56 || Le(record.constData(), 4) != 0x06064b50)
            return Broken(QStringLiteral("brak katalogu ZIP64"));
        entries = Le(record.constData() + 32, 8);
        dirSize = Le(record.constData() + 40, 8);
        dirOffset = Le(record.constData() + 48, 8);
        dirLimit = at;
    }
    if (dirOffset + dirSize > dirLimit || dirSize > 64u << 20)
        return Broken(QStringLiteral("katalog archiwum poza plikiem"));
    file.seek(static_cast<qint64>(dirOffset));
    const QByteArray dir = file.read(static_cast<qint64>(dirSize));
    if (static_cast<quint64>(dir.size()) != dirSize)
        return Broken(QStringLiteral("katalog archiwum niepełny"));

    QHash<QString, Entry> parts;
    qsizetype at = 0;
    for (quint64 n = 0; n < entries; ++n) {
        if (at + 46 > dir.size() || Le(dir.constData() + at, 4) != 0x02014b50)
            return Broken(QStringLiteral("katalog archiwum niepełny"));
        const char *h = dir.constData() + at;
        Entry entry{Le(h + 20, 4), Le(h + 24, 4), Le(h + 42, 4)};
        const qsizetype nameLength = static_cast<qsizetype>(Le(h + 28, 2));
        const qsizetype extraLength = static_cast<qsizetype>(Le(h + 30, 2));
        const qsizetype commentLength = static_cast<qsizetype>(Le(h + 32, 2));
        if (at + 46 + nameLength + extraLength + commentLength > dir.size())
            return Broken(QStringLiteral("katalog archiwum niepełny"));
        const QString name = QString::fromUtf8(h + 46, nameLength);
        // The 64-bit sizes, for each field that says it needs them, in their fixed order.
        for (qsizetype x = 0; x + 4 <= extraLength;) {
            const char *field = h + 46 + nameLength + x;
            const qsizetype length = static_cast<qsizetype>(Le(field + 2, 2));
            if (Le(field, 2) == 0x0001) {
                const char *v = field + 4;
                const char *stop = v + length;
                for (quint64 *slot : {&entry.Size, &entry.Compressed, &entry.Offset})
                    if (*slot == 0xFFFFFFFF && v + 8 <= stop) {
                        *slot = Le(v, 8);
                        v += 8;
                    }
            }
            x += 4 + length;
        }
        // The entry's local header is where the directory says, and its data ends before the
        // directory begins.
        file.seek(static_cast<qint64>(entry.Offset));
        const QByteArray local = file.read(30);
        if (local.size() != 30 || Le(local.constData(), 4) != 0x04034b50 ||
            entry.Offset + 30 + Le(local.constData() + 26, 2) + Le(local.constData() + 28, 2) +
                    entry.Compressed >
                dirOffset)
            return Broken(QStringLiteral("część \"%1\" niepełna").arg(name));
        parts.insert(name, entry);
        at += 46 + nameLength + extraLength + commentLength;
    }
    for (const QString &part : expected.RequiredParts) {
        const auto found = parts.constFind(part);
        if (found == parts.constEnd())
            return Broken(QStringLiteral("brak części \"%1\"").arg(part));
        if (found->Size == 0 || found->Compressed == 0)
            return Broken(QStringLiteral("pusta część \"%1\"").arg(part));
    }
    quint64 counted = 0;
    for (const QString &part : expected.CountedParts)
        counted += parts.value(part).Size;
    if (counted < static_cast<quint64>(expected.MinCountedBytes))
        return Broken(QStringLiteral("arkusze krótsze niż zapisane dane"));
    return std::nullopt;
}
