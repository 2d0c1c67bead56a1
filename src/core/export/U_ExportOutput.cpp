#include "U_ExportOutput.h"

#include "U_TextCodec.h"

#include <memory>

namespace {

// Pieces of about this size go to the file.
constexpr qsizetype kPieceSize = 1 << 20;

constexpr char16_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TOrvel_ExportOutput

TOrvel_ExportOutput::TOrvel_ExportOutput(Charset charset, TOrvel_SafeFileStream *file)
    : FCharset(charset), FTable(TableOf(charset)), FFile(file) {
    if (FFile)
        FBuffer.reserve(kPieceSize + kPieceSize / 4);
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
    static const std::unique_ptr<Table> windows1250 = build(Charset::Windows1250);
    static const std::unique_ptr<Table> iso88592 = build(Charset::Iso88592);
    return charset == Charset::Iso88592 ? *iso88592 : *windows1250;
}

void TOrvel_ExportOutput::Append(const char *bytes, qsizetype size) {
    FBuffer.append(bytes, size);
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendNumber(qint64 value) {
    FBuffer.append(QByteArray::number(value));
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendUnit(char16_t c) {
    if (const char b = FTable[c])
        FBuffer.append(b);
    else
        AppendUnencodable(c);
}

void TOrvel_ExportOutput::AppendUnencodable(char32_t code) {
    if (FCharset == Charset::Windows1250)
        FBuffer.append('?');
    else
        FBuffer.append(CharacterReference(code).toLatin1());
}

void TOrvel_ExportOutput::AppendText(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (!IsSurrogate(c)) {
            AppendUnit(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            AppendUnencodable(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            AppendUnencodable(c);
        }
    }
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendXmlText(QStringView text, bool attribute) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && !IsSurrogate(c) && c < 0xFFFE) {
            switch (c) {
            case u'&':
                FBuffer.append("&amp;");
                break;
            case u'<':
                FBuffer.append("&lt;");
                break;
            case u'>':
                FBuffer.append("&gt;");
                break;
            case u'"':
                FBuffer.append(attribute ? "&quot;" : "\"");
                break;
            default:
                AppendUnit(c);
                break;
            }
        } else if (c == u'\r') {
            FBuffer.append("&#xD;");
        } else if (c == u'\n') {
            FBuffer.append("\r\n");
        } else if (c == u'\t') {
            FBuffer.append('\t');
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            AppendUnencodable(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            // Not representable in XML 1.0 even as a reference.
            AppendUnit(kReplacement);
        }
    }
    FlushIfFull();
}

void TOrvel_ExportOutput::AppendCsvText(QStringView text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'"') {
            FBuffer.append("\"\"");
        } else if (c == u'\r' || c == u'\n') {
            FBuffer.append("\r\n");
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
        } else if (!IsSurrogate(c)) {
            AppendUnit(c);
        } else {
            char32_t code = c;
            if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate())
                code = QChar::surrogateToUcs4(c, text[++i].unicode());
            AppendUnencodable(code);
        }
    }
    FlushIfFull();
}

QByteArray TOrvel_ExportOutput::Encode(QStringView text) const {
    TOrvel_ExportOutput out(FCharset);
    out.AppendText(text);
    return out.FBuffer;
}

void TOrvel_ExportOutput::FlushIfFull() {
    if (FFile && FBuffer.size() >= kPieceSize) {
        FFile->Write(FBuffer);
        FBuffer.resize(0); // keeps the capacity for the next piece
    }
}

void TOrvel_ExportOutput::Finish() {
    if (FFile && !FBuffer.isEmpty()) {
        FFile->Write(FBuffer);
        FBuffer.resize(0);
    }
}
