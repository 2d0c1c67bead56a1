#pragma once
// The bytes of an export, produced while the rows are walked: every text is encoded at once (one
// byte a character; what the code page lacks as a character reference or "?"), and the bytes go
// to the file in pieces, so that a large result is never held whole as text.
#include "U_SafeFile.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <cstring>

class TOrvel_ExportOutput {
public:
    // Windows-1250 writes "?" for a character it lacks (CSV); ISO-8859-2 writes a character
    // reference "&#x...;" (XML, XHTML); UTF-8 (CSV) has every character and writes U+FFFD only
    // for a lone surrogate, which is no character.
    enum class Charset { Windows1250, Iso88592, Utf8 };

    // Without a file the bytes are collected in memory (Bytes); with one, they are handed to it
    // in pieces and Finish hands over the rest.
    explicit TOrvel_ExportOutput(Charset charset, TOrvel_SafeFileStream *file = nullptr);

    // Takes an emptied piece's memory as the buffer of an output that holds nothing yet: all
    // its room, already in place, is used before the buffer grows.
    void ReuseBuffer(QByteArray &&buffer);

    // Bytes already encoded (markup made once with Encode, or ASCII).
    void AppendBytes(const QByteArray &bytes) { Append(bytes.constData(), bytes.size()); }
    // A whole piece made elsewhere (a slice of rows): with a file, a large one goes to it as it
    // is, after what the buffer holds, rather than being copied through the buffer.
    void AppendPiece(const QByteArray &bytes);
    template <qsizetype N> void AppendAscii(const char (&ascii)[N]) { Append(ascii, N - 1); }
    void AppendNumber(qint64 value);
    // The text as it is, encoded. U+0000 follows the one rule for it: the byte 0x00 in
    // Windows-1250 and UTF-8 (CSV); in ISO-8859-2 (XML), like every character XML cannot carry,
    // U+FFFD.
    void AppendText(QStringView text);
    // The text as XML element content: "&", "<", ">" as entities, CR as "&#xD;", LF as CR LF;
    // characters XML cannot carry at all (control characters, lone surrogates, U+FFFE, U+FFFF)
    // as U+FFFD. As an attribute value, a double quote is "&quot;" too.
    void AppendXmlText(QStringView text, bool attribute = false);
    // The text inside a quoted CSV value: a double quote doubled, every line break (CR, LF or
    // CR LF) written as CR LF.
    void AppendCsvText(QStringView text);

    // The text as AppendText writes it.
    QByteArray Encode(QStringView text) const;

    void Finish();
    const QByteArray &Bytes() const {
        FBuffer.resize(FUsed);
        return FBuffer;
    }
    // Takes the bytes collected in memory, leaving the output empty.
    QByteArray TakeBytes();

private:
    using Table = std::array<char, 0x10000>;
    static const Table &TableOf(Charset charset);

    // Small appends (markup between cells) take the inline path while the buffer has room.
    void Append(const char *bytes, qsizetype size) {
        if (FUsed + size <= FBuffer.size()) {
            std::memcpy(FData + FUsed, bytes, static_cast<std::size_t>(size));
            FUsed += size;
            if (FFile && FUsed >= kPieceSize)
                WritePiece();
        } else {
            AppendGrowing(bytes, size);
        }
    }
    void AppendGrowing(const char *bytes, qsizetype size);
    // Room for at least `size` more bytes at the end of the buffer, written through the pointer
    // returned; Commit sets the end. The buffer grows by doubling, never per text.
    char *Reserve(qsizetype size);
    void Commit(const char *end) { FUsed = end - FData; }
    // A character of the Basic Multilingual Plane that is no surrogate, or a lone surrogate or
    // a character beyond that plane (code) that the code page lacks.
    char *PutUnit(char *to, char16_t c) const {
        if (const char b = FTable[c]) {
            *to = b;
            return to + 1;
        }
        return PutLacking(to, c);
    }
    char *PutLacking(char *to, char16_t c) const;
    char *PutUnencodable(char *to, char32_t code) const;
    static char *PutUtf8(char *to, char32_t code);
    void FlushIfFull();
    void WritePiece();

    // Pieces of about this size go to the file.
    static constexpr qsizetype kPieceSize = 1 << 20;

    Charset FCharset;
    // The byte of each character; 0 where the code page lacks it (UTF-8: past ASCII, where a
    // character takes more than one byte).
    const Table &FTable;
    TOrvel_SafeFileStream *FFile;
    // The buffer's size is its room; the bytes written are the first FUsed, FData its start.
    mutable QByteArray FBuffer;
    char *FData = nullptr;
    qsizetype FUsed = 0;
};
