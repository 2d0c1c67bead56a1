#pragma once
// The display-format engine: numeric patterns ("#,##0.00", sections, exponents) and date-time
// patterns ("dd.mm.yyyy hh:nn", "c", "am/pm") under the user's regional settings.
#include "U_locale.h"

#include <QDateTime>
#include <QString>

// A numeric value to format: a double, or the exact decimal text of a fixed-point value
// ("-1234.5600", "." as separator) so that precision-38 decimals keep their digits.
// The empty pattern gives the general form of the number (shortest round-trip digits, the user's
// decimal separator, no grouping). A decimal text that is not a number comes back unchanged.
QString FormatFloat(const QString &pattern, double value, const TOrvel_FormatSettings &fs);
QString FormatDecimalText(const QString &pattern, const QString &decimalText,
                          const TOrvel_FormatSettings &fs);
// The thousands separator that grouped numbers carry: the user's, except that a no-break space
// (the Polish one among others) is written as a plain blank.
QChar DisplayThousandSeparator(const TOrvel_FormatSettings &fs);

// The empty pattern shows the value as "c" does. An invalid value gives the empty text.
QString FormatDateTime(const QString &pattern, const QDateTime &value,
                       const TOrvel_FormatSettings &fs);
// The empty pattern per field kind: a date field shows the short date, a time field the long time,
// a date-time field "c".
QString FormatDateOnly(const QDate &value, const TOrvel_FormatSettings &fs);
QString FormatTimeOnly(const QTime &value, const TOrvel_FormatSettings &fs);
