// The row-format text: entries "name=value" separated by ";", CR or LF. Any text is split and
// read without harm, and every entry the split gives is one of the text's pieces.
#include "FuzzSupport.h"
#include "U_RowFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = Utf16Text(data, size);
    const QStringList entries = SplitRowFormatEntries(text);
    for (const QString &entry : entries) {
        FUZZ_CHECK(!entry.contains(u';') && !entry.contains(u'\r') && !entry.contains(u'\n'));
        (void)ParseRowFormatColor(entry);
    }
    for (const char *name : {"color", "fontcolor", "fontstyle", "line"})
        (void)RowFormatValue(entries, QString::fromLatin1(name));
    (void)ParseRowFormat(text);
    return 0;
}
