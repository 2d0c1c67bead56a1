#pragma once
// A cheap look at a finished ZIP package before it replaces the user's file: its central
// directory is whole and agrees with the local entries, the parts that must be there are, none
// of them empty, and the named parts hold at least as many bytes as were written into them.
// Nothing is decompressed.
#include <QString>
#include <QStringList>

#include <optional>

struct TOrvel_ZipExpectation {
    QStringList RequiredParts; // present, with content
    QStringList CountedParts;  // their uncompressed sizes together at least MinCountedBytes
    qint64 MinCountedBytes = 0;
};

// The reason (in Polish) the package at `path` is not sound; nothing when it is.
std::optional<QString> CheckZipPackage(const QString &path, const TOrvel_ZipExpectation &expected);
