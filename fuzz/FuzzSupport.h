#pragma once
// What the fuzz targets share: the input as text, a scratch folder, and a check that stops the
// run (a finding) when a property the system promises does not hold.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken promise is a finding: libFuzzer keeps the input, the replay test fails.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline QByteArray Bytes(const uint8_t *data, size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The input as UTF-8 text (invalid sequences become U+FFFD, as a file read as UTF-8 would).
inline QString Utf8Text(const uint8_t *data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The input as UTF-16 text, so that lone surrogates and every code unit can occur.
inline QString Utf16Text(const uint8_t *data, size_t size) {
    return QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
}

// One scratch folder for the whole run, removed at exit.
inline const QTemporaryDir &ScratchFolder() {
    static const QTemporaryDir dir;
    return dir;
}
