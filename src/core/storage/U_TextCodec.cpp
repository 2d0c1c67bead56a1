#include "U_TextCodec.h"

#include <QHash>
#include <QStringConverter>

#include <array>
#include <cerrno>
#include <iconv.h>
#include <memory>

namespace {

// Upper halves (0x80..0xFF) of the two single-byte code pages; 0 marks an undefined byte.
constexpr std::array<char16_t, 128> kWindows1250 = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr std::array<char16_t, 128> kIso88592 = {
    0x0080, 0x0081, 0x0082, 0x0083, 0x0084, 0x0085, 0x0086, 0x0087, 0x0088, 0x0089, 0x008A, 0x008B,
    0x008C, 0x008D, 0x008E, 0x008F, 0x0090, 0x0091, 0x0092, 0x0093, 0x0094, 0x0095, 0x0096, 0x0097,
    0x0098, 0x0099, 0x009A, 0x009B, 0x009C, 0x009D, 0x009E, 0x009F, 0x00A0, 0x0104, 0x02D8, 0x0141,
    0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B,
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7, 0x00B8, 0x0161, 0x015F, 0x0165,
    0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// One single-byte code page: its decoding table and the reverse map built once.
class SingleByteCodePage {
public:
    explicit SingleByteCodePage(const std::array<char16_t, 128> &upper) : FUpper(upper) {
        for (int i = 0; i < 128; ++i) {
            // Undefined bytes stand for the C1 control of the same number, both ways.
            const char16_t c = upper[i] ? upper[i] : char16_t(0x80 + i);
            FReverse.insert(c, char(0x80 + i));
        }
    }
    char16_t decode(unsigned char b) const {
        if (b < 0x80)
            return b;
        const char16_t c = FUpper[b - 0x80];
        return c ? c : char16_t(b);
    }
    // False when the code page lacks the character.
    bool encode(char32_t c, char &out) const {
        if (c < 0x80) {
            out = char(c);
            return true;
        }
        if (c > 0xFFFF)
            return false;
        auto it = FReverse.constFind(char16_t(c));
        if (it == FReverse.constEnd())
            return false;
        out = *it;
        return true;
    }

private:
    const std::array<char16_t, 128> &FUpper;
    QHash<char16_t, char> FReverse;
};

const SingleByteCodePage &Windows1250() {
    static const SingleByteCodePage page(kWindows1250);
    return page;
}

const SingleByteCodePage &Iso88592() {
    static const SingleByteCodePage page(kIso88592);
    return page;
}

// An iconv conversion descriptor, closed when it goes out of scope.
class IconvHandle {
public:
    IconvHandle(const char *to, const char *from) : FCd(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid())
            iconv_close(FCd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;
    bool valid() const { return FCd != reinterpret_cast<iconv_t>(-1); }
    // Converts one character given as UTF-32LE; false when the target encoding lacks it.
    bool convert(char32_t c, QByteArray &out) {
        char in[4] = {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF),
                      char((c >> 24) & 0xFF)};
        char buf[16];
        char *inp = in;
        char *outp = buf;
        size_t inLeft = sizeof in;
        size_t outLeft = sizeof buf;
        iconv(FCd, nullptr, nullptr, nullptr, nullptr); // reset the shift state
        if (iconv(FCd, &inp, &inLeft, &outp, &outLeft) == size_t(-1))
            return false;
        out.append(buf, int(sizeof buf - outLeft));
        return true;
    }

    // Converts the whole text (UTF-32LE) in one go, ending in the initial shift state; false
    // when a character cannot be converted.
    bool convertAll(const QByteArray &utf32, QByteArray &out) {
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        char *inp = const_cast<char *>(utf32.constData());
        size_t inLeft = size_t(utf32.size());
        QByteArray buffer(qsizetype(inLeft) + 64, Qt::Uninitialized);
        size_t used = 0;
        bool flushing = false; // all input taken: one more call writes the shift back
        for (;;) {
            char *outp = buffer.data() + used;
            size_t outLeft = size_t(buffer.size()) - used;
            const size_t rc = flushing ? iconv(FCd, nullptr, nullptr, &outp, &outLeft)
                                       : iconv(FCd, &inp, &inLeft, &outp, &outLeft);
            used = size_t(outp - buffer.data());
            if (rc == size_t(-1)) {
                if (errno != E2BIG)
                    return false;
                buffer.resize(buffer.size() * 2);
                continue;
            }
            if (flushing)
                break;
            flushing = true;
        }
        buffer.truncate(qsizetype(used));
        out = buffer;
        return true;
    }
    // True when converting one character leaves a shift state that must be written back.
    bool leavesShiftState(char32_t c) {
        QByteArray scratch;
        if (!convert(c, scratch))
            return false;
        char buf[16];
        char *outp = buf;
        size_t outLeft = sizeof buf;
        iconv(FCd, nullptr, nullptr, &outp, &outLeft);
        return outLeft != sizeof buf;
    }

private:
    iconv_t FCd;
};

enum class EncodingKind { Utf8, Utf16, Latin1, Ascii, Windows1250, Iso88592, Other };

EncodingKind KindOf(const QString &name) {
    const QString n = name.trimmed().toLower();
    if (n.isEmpty() || n == u"utf-8" || n == u"utf8")
        return EncodingKind::Utf8;
    if (n == u"utf-16" || n == u"utf16")
        return EncodingKind::Utf16;
    if (n == u"iso-8859-1" || n == u"latin1" || n == u"iso_8859-1" || n == u"latin-1")
        return EncodingKind::Latin1;
    if (n == u"us-ascii" || n == u"ascii")
        return EncodingKind::Ascii;
    if (n == u"windows-1250" || n == u"cp1250" || n == u"x-cp1250")
        return EncodingKind::Windows1250;
    if (n == u"iso-8859-2" || n == u"latin2" || n == u"iso_8859-2" || n == u"latin-2")
        return EncodingKind::Iso88592;
    return EncodingKind::Other;
}

// Walks the text by code points (a valid surrogate pair is one code point; a lone surrogate is
// taken as it is).
template <typename F> void ForEachCodePoint(const QString &text, F f) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            f(QChar::surrogateToUcs4(c, text.at(i + 1).unicode()));
            ++i;
        } else {
            f(char32_t(c));
        }
    }
}

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Encodes with character references; `fits` appends the bytes of a character or says it cannot.
template <typename Fits> QByteArray EncodeSingleBytes(const QString &text, Fits fits) {
    QByteArray out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) {
        if (!fits(c, out))
            out.append(CharacterReference(c).toLatin1());
    });
    return out;
}

QByteArray EncodeUtf(const QString &text, QStringConverter::Encoding enc, bool bom) {
    // Lone surrogates cannot be written in UTF-8/UTF-16; they become references.
    QString clean;
    clean.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) {
        if (IsSurrogate(c))
            clean += CharacterReference(c);
        else
            AppendCodePoint(clean, c);
    });
    // The mark written as a character of its own: the encoder's flag writes none for an empty
    // text, so a file holding only the mark would lose it.
    if (bom)
        clean.prepend(QChar(0xFEFF));
    QStringEncoder encoder(enc, QStringConverter::Flag::Default);
    return encoder.encode(clean);
}

} // namespace

QString DecodeWindows1250(const QByteArray &bytes) {
    QString out;
    out.resize(bytes.size());
    const SingleByteCodePage &page = Windows1250();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(page.decode(static_cast<unsigned char>(bytes.at(i))));
    return out;
}

QByteArray EncodeWindows1250(const QString &text, bool *lossy) {
    QByteArray out;
    out.reserve(text.size());
    bool lost = false;
    const SingleByteCodePage &page = Windows1250();
    ForEachCodePoint(text, [&](char32_t c) {
        char b;
        if (page.encode(c, b)) {
            out.append(b);
        } else {
            out.append('?');
            lost = true;
        }
    });
    if (lossy)
        *lossy = lost;
    return out;
}

bool IsValidUtf8(const QByteArray &bytes) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        int extra;
        char32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || IsSurrogate(cp))
            return false;
        i += extra + 1;
    }
    return true;
}

TOrvel_DecodedText DecodeScriptText(const QByteArray &bytes) {
    TOrvel_DecodedText result;
    static const QByteArray bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom)) {
        result.Encoding = TOrvel_TextEncoding::teUtf8;
        result.Bom = true;
        // Invalid sequences after a mark are decoded with replacement characters. Only the
        // first mark is the mark: a U+FEFF right after it is text (QString::fromUtf8 would
        // drop it as a second mark).
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        result.Text = decoder.decode(QByteArrayView(bytes).sliced(bom.size()));
        return result;
    }
    bool nonAscii = false;
    for (char b : bytes) {
        if (static_cast<unsigned char>(b) >= 0x80) {
            nonAscii = true;
            break;
        }
    }
    if (nonAscii && IsValidUtf8(bytes)) {
        result.Encoding = TOrvel_TextEncoding::teUtf8;
        result.Text = QString::fromUtf8(bytes);
    } else {
        result.Encoding = TOrvel_TextEncoding::teWindows1250;
        result.Text = DecodeWindows1250(bytes);
    }
    return result;
}

QByteArray EncodeScriptText(const QString &text, TOrvel_TextEncoding encoding, bool bom,
                            bool *lossy) {
    if (encoding == TOrvel_TextEncoding::teUtf8) {
        if (lossy)
            *lossy = false;
        return EncodeUtf(text, QStringConverter::Utf8, bom);
    }
    return EncodeWindows1250(text, lossy);
}

QString CharacterReference(char32_t code) {
    return QStringLiteral("&#x") + QString::number(quint32(code), 16).toUpper() + QLatin1Char(';');
}

void AppendCodePoint(QString &out, char32_t code) {
    if (code > 0xFFFF && code <= 0x10FFFF) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    } else {
        out += QChar(char16_t(code));
    }
}

bool IsXmlChar(char32_t code) {
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

QString ReplaceNonXmlChars(const QString &text) {
    QString out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&](char32_t c) { AppendCodePoint(out, IsXmlChar(c) ? c : 0xFFFD); });
    return out;
}

bool IsKnownEncoding(const QString &encodingName) {
    if (KindOf(encodingName) != EncodingKind::Other)
        return true;
    IconvHandle cd(encodingName.toLatin1().constData(), "UTF-32LE");
    return cd.valid();
}

bool IsWritableEncoding(const QString &encodingName) {
    if (KindOf(encodingName) != EncodingKind::Other)
        return true;
    IconvHandle cd(encodingName.toLatin1().constData(), "UTF-32LE");
    if (!cd.valid())
        return false;
    // Markup and letters of several scripts: an encoding that needs a shift sequence after any of
    // them is stateful. "<" catches UTF-7, which writes it in base64.
    for (const char32_t c : {U'<', U'a', U'ł', U'é', U'Ж', U'€', U'あ', U'中', U'한'}) {
        if (cd.leavesShiftState(c))
            return false;
    }
    return true;
}

namespace {

// Appends one character in a named encoding, or says that the encoding lacks it.
class CharEncoder {
public:
    explicit CharEncoder(const QString &encodingName) : FKind(KindOf(encodingName)) {
        if (FKind == EncodingKind::Other) {
            FIconv = std::make_unique<IconvHandle>(encodingName.toLatin1().constData(), "UTF-32LE");
            if (!FIconv->valid())
                FKind = EncodingKind::Utf8; // unknown to the platform: written as UTF-8
        }
    }
    EncodingKind kind() const { return FKind; }
    bool append(char32_t c, QByteArray &out) const {
        char b;
        switch (FKind) {
        case EncodingKind::Utf8:
        case EncodingKind::Utf16:
            return !IsSurrogate(c);
        case EncodingKind::Latin1:
            b = char(c);
            return c <= 0xFF && (out.append(b), true);
        case EncodingKind::Ascii:
            b = char(c);
            return c <= 0x7F && (out.append(b), true);
        case EncodingKind::Windows1250:
            return Windows1250().encode(c, b) && (out.append(b), true);
        case EncodingKind::Iso88592:
            return Iso88592().encode(c, b) && (out.append(b), true);
        case EncodingKind::Other:
            return !IsSurrogate(c) && FIconv->convert(c, out);
        }
        return false;
    }

private:
    EncodingKind FKind;
    std::unique_ptr<IconvHandle> FIconv;
};

} // namespace

QByteArray EncodeWithCharRefs(const QString &text, const QString &encodingName) {
    const CharEncoder encoder(encodingName);
    if (encoder.kind() == EncodingKind::Utf8)
        return EncodeUtf(text, QStringConverter::Utf8, false);
    if (encoder.kind() == EncodingKind::Utf16) // needs its byte-order mark to be read back
        return EncodeUtf(text, QStringConverter::Utf16, true);
    if (encoder.kind() == EncodingKind::Other) {
        // Checked one character at a time, converted as one text: an encoding with a byte-order
        // mark (UTF-32) writes it once, not before every character.
        QString checked;
        checked.reserve(text.size());
        QByteArray scratch;
        ForEachCodePoint(text, [&](char32_t c) {
            scratch.clear();
            if (encoder.append(c, scratch))
                AppendCodePoint(checked, c);
            else
                checked += CharacterReference(c);
        });
        const QList<uint> codes = checked.toUcs4();
        QByteArray utf32;
        utf32.reserve(codes.size() * 4);
        for (const uint c : codes) {
            const char bytes[4] = {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF),
                                   char((c >> 24) & 0xFF)};
            utf32.append(bytes, 4);
        }
        QByteArray out;
        IconvHandle whole(encodingName.toLatin1().constData(), "UTF-32LE");
        if (whole.valid() && whole.convertAll(utf32, out))
            return out;
    }
    return EncodeSingleBytes(
        text, [&encoder](char32_t c, QByteArray &out) { return encoder.append(c, out); });
}

QString ReplaceUnencodable(const QString &text, const QString &encodingName) {
    const CharEncoder encoder(encodingName);
    QString out;
    out.reserve(text.size());
    QByteArray scratch;
    ForEachCodePoint(text, [&](char32_t c) {
        scratch.clear();
        if (encoder.append(c, scratch))
            AppendCodePoint(out, c);
        else
            out += CharacterReference(c);
    });
    return out;
}

QByteArray EncodeIso88592(const QString &text) {
    return EncodeWithCharRefs(ReplaceNonXmlChars(text), QStringLiteral("iso-8859-2"));
}
