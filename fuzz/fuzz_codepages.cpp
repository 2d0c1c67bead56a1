// The code-page encoders and decoders. Windows-1250 bytes decode and encode back to the same
// bytes; a script file is written back byte for byte in the encoding it was read with; text the
// code page holds survives encoding and decoding; the named encodings of XML documents encode any
// text without harm.
#include "FuzzSupport.h"
#include "U_TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = Bytes(data, size);

    FUZZ_CHECK(EncodeWindows1250(DecodeWindows1250(bytes)) == bytes);

    const TOrvel_DecodedText script = DecodeScriptText(bytes);
    const bool replaced = script.Bom && !IsValidUtf8(bytes.mid(3)); // decoded with U+FFFD
    if (!replaced)
        FUZZ_CHECK(EncodeScriptText(script.Text, script.Encoding, script.Bom) == bytes);

    const QString text = Utf16Text(data, size);
    bool lossy = true;
    const QByteArray windows = EncodeWindows1250(text, &lossy);
    if (!lossy)
        FUZZ_CHECK(DecodeWindows1250(windows) == text);
    (void)EncodeIso88592(text);
    static const char *const names[] = {"utf-8",  "UTF-16", "ISO-8859-2", "windows-1250",
                                        "KOI8-R", "UTF-7",  "us-ascii",   "ISO-2022-JP"};
    const QString name = QString::fromLatin1(names[size % (sizeof names / sizeof *names)]);
    (void)EncodeWithCharRefs(text, name);
    (void)ReplaceUnencodable(text, name);
    return 0;
}
