#include "U_ExportOutput.h"

#include "U_TextCodec.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// A character of the Basic Multilingual Plane that XML 1.0 can carry (surrogates aside).
bool IsXmlUnit(char16_t c) {
    return (c >= 0x20 && c < 0xFFFE) || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TOrvel_ExportOutput

TOrvel_ExportOutput::TOrvel_ExportOutput(Charset charset, TOrvel_SafeFileStream *file)
    : FCharset(charset), FTable(TableOf(charset)), FFile(file) {
    if (FFile) {
        FBuffer.resize(kPieceSize + kPieceSize / 4);
        FData = FBuffer.data();
    }
}

// The table is taken from the system's own encoders, so that an export writes every character
// exactly as they do: encoding all characters of the Basic Multilingual Plane at once gives one
// byte for each character the code page holds, and "?" or a reference ("&#x...;") for the others.
const TOrvel_ExportOutput::Table &TOrvel_ExportOutput::TableOf(Charset charset) {
    auto build = [](Charset cs) {
        auto table = std::make_unique<Table>(); // zero: lacking
        for (char16_t c = 0; c < 0x80; ++c)
            (*table)[c] = char(c);
        QString all;
        all.reserve(0x10000);
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (!IsSurrogate(c))
                all.append(QChar(char16_t(c)));
        }
        const QByteArray bytes =
            cs == Charset::Iso88592 ? EncodeIso88592(all) : EncodeWindows1250(all);
        qsizetype at = 0;
        for (const QChar c : all) {
            const char b = bytes.at(at);
            if (b == '&') { // a reference: ASCII never stands for a character from 0x80 on
                at = bytes.indexOf(';', at) + 1;
            } else {
                if (b != '?')
                    (*table)[c.unicode()] = b;
                ++at;
            }
        }
        Q_ASSERT(at == bytes.size());
        return table;
    };
    auto ascii = [] {
        auto table = std::make_unique<Table>();
        for (char16_t c = 0; c < 0x80; ++c)
            (*table)[c] = char(c);
        return table;
    };
    static const std::unique_ptr<Table> windows1250 = build(Charset::Windows1250);
    static const std::unique_ptr<Table> iso88592 = build(Charset::Iso88592);
    static const std::unique_ptr<Table> utf8 = ascii();
    switch (charset) {
    case Charset::Iso88592:
        return *iso88592;
    case Charset::Utf8:
        return *utf8;
    case Charset::Windows1250:
        break;
    }
    return *windows1250;
}

void TOrvel_ExportOutput::ReuseBuffer(QByteArray &&buffer) {
    if (FUsed > 0 || FFile)
        return; // only an empty output in memory takes another's memory
    FBuffer = std::move(buffer);
    FBuffer.resize(FBuffer.capacity()); // within the room: nothing moves
    FData = FBuffer.data();
}

void TOrvel_ExportOutput::AppendPiece(const QByteArray &bytes) {
    if (!FFile || bytes.size() < kPieceSize / 4) {
        AppendBytes(bytes);
        return;
    }
    if (FUsed > 0)
        WritePiece();
    FFile->Write(bytes);
}

void TOrvel_ExportOutput::AppendGrowing(const char *bytes, qsizetype size) {
    char *to = Reserve(size);
    std::memcpy(to, bytes, static_cast<std::size_t>(size));
    Commit(to + size);
    FlushIfFull();
}

char *TOrvel_ExportOutput::Reserve(qsizetype size) {
    if (FUsed + size > FBuffer.size()) {
        FBuffer.resize(std::max(FUsed + size, 2 * FBuffer.size()));
        FData = FBuffer.data();
    }
    return FData + FUsed;
}

void TOrvel_ExportOutput::AppendNumber(qint64 value) {
    char *to = Reserve(24);
    Commit(std::to_chars(to, to + 24, value).ptr);
    FlushIfFull();
}

char *TOrvel_ExportOutput::PutLacking(char *to, char16_t c) const {
    if (c == 0 && FCharset != Charset::Iso88592) {
        *to = '\0'; // the table's zero means "lacking", but the code page has U+0000
        return to + 1;
    }
    if (c == 0)
        return PutUnit(to, kReplacement); // XML cannot carry it, not even as a reference
    return PutUnencodable(to, c);
}

char *TOrvel_ExportOutput::PutUtf8(char *to, char32_t code) {
    auto put = [&to](char32_t bits) { *to++ = char(bits); };
    if (code < 0x80) {
        put(code);
    } else if (code < 0x800) {
        put(0xC0 | (code >> 6));
        put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
        put(0x80 | (code & 0x3F));
    }
    return to;
}

char *TOrvel_ExportOutput::PutUnencodable(char *to, char32_t code) const {
    if (FCharset == Charset::Utf8)
        return PutUtf8(to, IsSurrogate(code) ? char32_t(kReplacement) : code);
    if (FCharset == Charset::Windows1250) {
        *to = '?';
        return to + 1;
    }
    const QByteArray reference = CharacterReference(code).toLatin1();
    std::memcpy(to, reference.constData(), static_cast<std::size_t>(reference.size()));
    return to + reference.size();
}

// The most bytes one UTF-16 unit can become: a reference "&#x10FFFF;" stands for two units, a
// lone surrogate's "&#xDFFF;" for one; "&quot;" is six.
constexpr qsizetype kMaxBytesPerUnit = 8;

void TOrvel_ExportOutput::AppendText(QStringView text) {
    const qsizetype n = text.size();
    char *to = Reserve(n * kMaxBytesPerUnit);
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    const bool xml = FCharset == Charset::Iso88592;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (xml && !IsXmlUnit(c) && !IsSurrogate(c)) {
            to = PutUnit(to, kReplacement);
        } else if (!IsSurrogate(c)) {
            to = PutUnit(to, c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            to = PutUnencodable(to, QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
        } else if (xml) {
            to = PutUnit(to, kReplacement); // a lone surrogate has no reference XML would take
        } else {
            to = PutUnencodable(to, c);
        }
    }
    Commit(to);
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendXmlText(QStringView text, bool attribute) {
    const qsizetype n = text.size();
    char *to = Reserve(n * kMaxBytesPerUnit);
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    auto put = [&to](const char *ascii, std::size_t size) {
        std::memcpy(to, ascii, size);
        to += size;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c >= 0x20 && !IsSurrogate(c) && c < 0xFFFE) {
            switch (c) {
            case u'&':
                put("&amp;", 5);
                break;
            case u'<':
                put("&lt;", 4);
                break;
            case u'>':
                put("&gt;", 4);
                break;
            case u'"':
                if (attribute)
                    put("&quot;", 6);
                else
                    *to++ = '"';
                break;
            default:
                to = PutUnit(to, c);
                break;
            }
        } else if (c == u'\r') {
            put("&#xD;", 5);
        } else if (c == u'\n') {
            put("\r\n", 2);
        } else if (c == u'\t') {
            *to++ = '\t';
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            to = PutUnencodable(to, QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
        } else {
            // Not representable in XML 1.0 even as a reference.
            to = PutUnit(to, kReplacement);
        }
    }
    Commit(to);
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendCsvText(QStringView text) {
    const qsizetype n = text.size();
    char *to = Reserve(n * kMaxBytesPerUnit);
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c == u'"') {
            *to++ = '"';
            *to++ = '"';
        } else if (c == u'\r' || c == u'\n') {
            *to++ = '\r';
            *to++ = '\n';
            if (c == u'\r' && i + 1 < n && s[i + 1] == u'\n')
                ++i;
        } else if (!IsSurrogate(c)) {
            to = PutUnit(to, c);
        } else {
            char32_t code = c;
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]))
                code = QChar::surrogateToUcs4(c, s[++i]);
            to = PutUnencodable(to, code);
        }
    }
    Commit(to);
    FlushIfFull();
}

QByteArray TOrvel_ExportOutput::Encode(QStringView text) const {
    TOrvel_ExportOutput out(FCharset);
    out.AppendText(text);
    return out.Bytes();
}

void TOrvel_ExportOutput::FlushIfFull() {
    if (FFile && FUsed >= kPieceSize)
        WritePiece();
}

QByteArray TOrvel_ExportOutput::TakeBytes() {
    FBuffer.resize(FUsed);
    QByteArray bytes = std::move(FBuffer);
    FBuffer = QByteArray();
    FData = nullptr;
    FUsed = 0;
    return bytes;
}

void TOrvel_ExportOutput::Finish() {
    if (FFile && FUsed > 0)
        WritePiece();
}

void TOrvel_ExportOutput::WritePiece() {
    // The same allocation is kept for the next piece: shrinking and growing the size of a
    // QByteArray that is not shared moves no bytes.
    const qsizetype room = FBuffer.size();
    FBuffer.resize(FUsed);
    FFile->Write(FBuffer);
    FBuffer.resize(room);
    FData = FBuffer.data();
    FUsed = 0;
}
