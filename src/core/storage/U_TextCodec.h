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

// Appends one code point: a pair of surrogates beyond the Basic Multilingual Plane, a single unit
// otherwise (a lone surrogate value as it is). Unlike a conversion of a one-character UTF-32
// text, it never drops U+FEFF: only a mark at the very start of a file is a byte-order mark.
void AppendCodePoint(QString &out, char32_t code);

// Whether XML 1.0 can carry the character at all (as itself or as a reference): tab, CR, LF and
// everything from U+0020 on but surrogates, U+FFFE and U+FFFF. The one rule for the rest, U+0000
// included: XML writers put U+FFFD in their place.
bool IsXmlChar(char32_t code);
// The text with every character XML cannot carry replaced by U+FFFD.
QString ReplaceNonXmlChars(const QString &text);

// Whether `encodingName` (as an XML declaration names it, any letter case) is one this unit can
// write; UTF-8, UTF-16, ISO-8859-1, ISO-8859-2, Windows-1250 and US-ASCII are known, other names
// are tried through iconv.
bool IsKnownEncoding(const QString &encodingName);
// Whether text in the encoding can be written so that it reads back as written: a known encoding
// without shift states. UTF-7 and the ISO-2022 family (whose bytes for "<" or a letter depend on
// what came before) cannot; neither can a name the platform does not know. Such documents are
// written as UTF-8 instead.
bool IsWritableEncoding(const QString &encodingName);
// The text with every character that the encoding cannot hold replaced by its character
// reference. An empty name means UTF-8. An encoding the platform does not know is treated as
// UTF-8.
QString ReplaceUnencodable(const QString &text, const QString &encodingName);
// The text in the encoding, characters it cannot hold written as character references; the
// whole text is converted at once, so an encoding with a byte-order mark writes one mark.
QByteArray EncodeWithCharRefs(const QString &text, const QString &encodingName);
// ISO-8859-2 with character references: the encoding of the XML and XHTML exports. Characters
// XML cannot carry become U+FFFD first (so its reference).
QByteArray EncodeIso88592(const QString &text);
