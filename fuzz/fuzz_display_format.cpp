// The numeric and date-time display patterns: any pattern with any value formats without harm.
// Input: 8 bytes of a double, one byte choosing the form, the rest the pattern (UTF-8).
#include "FuzzSupport.h"
#include "U_DisplayFormat.h"
#include "U_locale.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 9)
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const int form = data[8] % 4;
    const QString pattern = Utf8Text(data + 9, size - 9);
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    switch (form) {
    case 0:
        (void)FormatFloat(pattern, value, fs);
        break;
    case 1:
        // The exact text of a fixed-point value, as a decimal column gives it.
        if (std::isfinite(value) && std::fabs(value) < 1e38)
            (void)FormatDecimalText(pattern, QString::number(value, 'f', 6), fs);
        else
            (void)FormatDecimalText(pattern, pattern, fs);
        break;
    case 2: {
        // Milliseconds within the years 1 to 9999.
        const double ms = std::isfinite(value) ? std::fmod(value, 3.0e14) : 0.0;
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
        (void)FormatDateTime(pattern, when, fs);
        break;
    }
    default:
        (void)FormatDateTime(pattern, QDateTime(), fs);
        (void)DisplayThousandSeparator(fs);
        break;
    }
    return 0;
}
