#pragma once
// Character encodings of the files the system reads and writes: Windows-1250 for scripts and CSV
// files, UTF-8 for scripts that are already UTF-8, and ISO-8859-2 (or any other named encoding)
// with character references for the XML files.
#include <QByteArray>
#include <QString>

// Windows-1250. The five byte values the code page leaves undefined (0x81, 0x83, 0x88, 0x90,
// 0x98) decode to the C1 controls of the same number and encode back, so any byte sequence
// round-trips. A character the code page lacks is written as "?" (as the platform's own
// conversion does); `lossy`, when given, tells whether that happened.
QString DecodeWindows1250(const QByteArray &bytes);
QByteArray EncodeWindows1250(const QString &text, bool *lossy = nullptr);

// How a script file is stored, remembered from reading so that writing gives the same bytes.
enum class TOrvel_TextEncoding { teWindows1250, teUtf8 };

struct TOrvel_DecodedText {
    QString Text;
    TOrvel_TextEncoding Encoding = TOrvel_TextEncoding::teWindows1250;
    bool Bom = false; // the file began with a UTF-8 byte-order mark
};

// A file that is valid UTF-8 and holds a non-ASCII byte, or begins with a UTF-8 byte-order mark,
// is UTF-8; anything else is Windows-1250.
TOrvel_DecodedText DecodeScriptText(const QByteArray &bytes);
QByteArray EncodeScriptText(const QString &text, TOrvel_TextEncoding encoding, bool bom = false,
                            bool *lossy = nullptr);
bool IsValidUtf8(const QByteArray &bytes);

// "&#x" + upper-case hexadecimal code without leading zeros + ";".
QString CharacterReference(char32_t code);

// Whether `encodingName` (as an XML declaration names it, any letter case) is one this unit can
// write; UTF-8, UTF-16, ISO-8859-1, ISO-8859-2, Windows-1250 and US-ASCII are known, other names
// are tried through iconv.
bool IsKnownEncoding(const QString &encodingName);
// The text with every character that the encoding cannot hold replaced by its character
// reference. An empty name means UTF-8. An encoding the platform does not know is treated as
// UTF-8.
QString ReplaceUnencodable(const QString &text, const QString &encodingName);
// The text in the encoding, characters it cannot hold written as character references.
QByteArray EncodeWithCharRefs(const QString &text, const QString &encodingName);
// ISO-8859-2 with character references: the encoding of the XML and XHTML exports.
QByteArray EncodeIso88592(const QString &text);
