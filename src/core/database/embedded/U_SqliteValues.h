#pragma once
// The stored values of the embedded engine as the result's field kinds hold them: SQLite's date
// and time texts read as moments, exact decimals written as text, any value as text for a column
// that had to become text, and a text as a T-SQL literal.
#include "U_DbResult.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>

namespace sqliteengine {

// The engine's date texts ("YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]", "T" allowed) as
// milliseconds since 1970-01-01, without allocation (results of a million rows pass here).
bool parseStoredDateTime(const char *s, int n, std::int64_t &msecs, bool &hasTime);
bool parseStoredTime(const char *s, int n, std::int64_t &msecs);
// The text of any stored value, for a column that had to become text.
QString canonicalText(const DbColumn &c, std::size_t row);
// The digits of v to `scale` places, as QString::number(v, 'f', scale) writes them (an exact half
// rounded away from zero, negative zero as "0"), into `buffer`, without a string per cell; the
// length, or 0 when the buffer is too small.
int fixedDecimal(double v, int scale, char *buffer, int size);
QString decimalText(double v, int scale);
bool isDecimalText(QStringView s);
// A text as a quoted T-SQL literal.
QString quoteText(const QString &s);

} // namespace sqliteengine
