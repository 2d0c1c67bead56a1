#pragma once
// Our display-format patterns in a spreadsheet's number-format language, so that a cell written
// with its real value still shows as the grid shows it. The two languages share digit
// placeholders, sections and exponents; they differ in what a bare letter, "%" or a comma before
// the decimal point means, so every literal is quoted and grouping is written in one safe form.
#include "U_FieldType.h"
#include "U_locale.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The number format for a numeric pattern; nullopt when the pattern cannot be carried over (the
// caller then takes the default for the column's kind). The empty pattern gives "General".
std::optional<QString> ExcelNumberFormat(const QString &pattern);

// The date-time format for a date-time pattern under the user's settings; nullopt when the
// pattern cannot be carried over. The empty pattern gives the column kind's default.
std::optional<QString> ExcelDateFormat(const QString &pattern, TFieldType type,
                                       const TOrvel_FormatSettings &fs);

// The default number format of a numeric column without a pattern of its own: what the column
// settings give such a column ("0.000" for floating point, "0.00" for decimals and money,
// "General" for whole numbers).
QString ExcelDefaultNumberFormat(TFieldType type);
// The default date-time format of a column kind: the short date, the long time, or both.
QString ExcelDefaultDateFormat(TFieldType type, const TOrvel_FormatSettings &fs);

// A date-time as the spreadsheet's serial number (days since 1899-12-30, the time as the
// fraction); nullopt before 1900-03-01, where the spreadsheet's calendar is wrong, and after 9999.
std::optional<double> ExcelSerialDate(const QDateTime &value);

// A sheet name from the report's title: at most 31 characters, []:*?/\ replaced by "_", never
// empty, never starting or ending with an apostrophe. A part number above 1 is appended as
// " (N)" within the 31 characters.
QString ExcelSheetName(const QString &title, int part = 1);

// A decimal text ("-1234.5600") has more significant digits than a spreadsheet number keeps (15).
bool DecimalExceedsExcelPrecision(QStringView decimalText);

// A column width in pixels as the spreadsheet's character width (the default font's digit is 7
// pixels wide, plus 5 pixels of cell padding).
double ExcelColumnWidth(int pixels);
