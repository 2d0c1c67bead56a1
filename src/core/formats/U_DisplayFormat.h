#pragma once
// The display-format engine: numeric patterns ("#,##0.00", sections, exponents) and date-time
// patterns ("dd.mm.yyyy hh:nn", "c", "am/pm") under the user's regional settings.
//
// A pattern is compiled once into a TOrvel_NumberFormat or TOrvel_DateTimeFormat (with the texts of
// the settings it needs copied in), and a field's whole display rule into a TOrvel_FieldFormat;
// these append a value's text to a TOrvel_TextBuffer without a string per value. A compiled form
// is immutable, so one may be shared by several threads. The free functions below compile and
// format in one step, for a single value.
#include "U_FieldType.h"
#include "U_TextBuffer.h"
#include "U_locale.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

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
// A number of rows, grouped, with the Polish noun in its plural form: "1 wiersz", "3 wiersze",
// "350 000 wierszy".
QString FormatRowCount(qint64 rows, const TOrvel_FormatSettings &fs);

// The empty pattern shows the value as "c" does. An invalid value gives the empty text.
QString FormatDateTime(const QString &pattern, const QDateTime &value,
                       const TOrvel_FormatSettings &fs);
// The empty pattern per field kind: a date field shows the short date, a time field the long time,
// a date-time field "c".
QString FormatDateOnly(const QDate &value, const TOrvel_FormatSettings &fs);
QString FormatTimeOnly(const QTime &value, const TOrvel_FormatSettings &fs);

// One section of a numeric pattern, scanned once.
struct TOrvel_NumberSection {
    QString Text;
    int IntPlaces = 0;     // "0" and "#" before the decimal point
    int FirstIntZero = -1; // index of the first "0" among them
    int FracPlaces = 0;    // placeholders after the point (capped)
    int FracZeros = 0;     // placeholders after the point up to the last "0"
    bool HasPoint = false;
    bool Grouping = false;
    bool Scientific = false;
    int ExpDigits = 0;
};

// A numeric pattern compiled: its positive, negative and zero sections, and the separators.
class TOrvel_NumberFormat {
public:
    TOrvel_NumberFormat(const QString &pattern, const TOrvel_FormatSettings &fs);

    bool IsGeneral() const { return FPositive.Text.isEmpty(); }
    // NaN as "NAN", infinities as "INF" and "-INF".
    void AppendDouble(double value, TOrvel_TextBuffer &out) const;
    // The exact decimal text ("-1234.5600"); a text that is not a number is appended unchanged.
    void AppendDecimalText(QStringView text, TOrvel_TextBuffer &out) const;
    // A whole number; with the empty pattern its plain digits.
    void AppendInteger(std::int64_t value, TOrvel_TextBuffer &out) const;

    // Internal: the section a value takes, by its sign and whether it rounds to zero.
    const TOrvel_NumberSection &Positive() const { return FPositive; }
    const TOrvel_NumberSection &Negative() const { return FNegative; }
    const TOrvel_NumberSection &Zero() const { return FZero; }
    bool OwnNegative() const { return FOwnNegative; }
    char16_t DecimalChar() const { return FDecimal; }
    char16_t GroupChar() const { return FGroup; }

private:
    TOrvel_NumberSection FPositive, FNegative, FZero;
    bool FOwnNegative = false;
    char16_t FDecimal = u'.';
    char16_t FGroup = u' ';
};

// A date-time pattern compiled into steps, with the names, markers and separators it uses and the
// user's own date and time formats compiled alongside. The value is a wall-clock time in
// milliseconds since 1970-01-01T00:00 (as results store it); the calendar fields are worked out
// with integer arithmetic.
class TOrvel_DateTimeFormat {
public:
    // What the empty pattern shows: "c" (the short date, and the long time unless it is
    // midnight), the short date alone, or the long time alone.
    enum class Default : std::uint8_t { DateAndTime, DateOnly, TimeOnly };
    TOrvel_DateTimeFormat(const QString &pattern, const TOrvel_FormatSettings &fs,
                          Default empty = Default::DateAndTime);

    void AppendMSecs(std::int64_t msecs, TOrvel_TextBuffer &out) const;

    struct Step {
        std::uint8_t Op = 0;
        std::uint8_t Digits = 0;
        bool TwelveHour = false;
        int Text = -1; // index into the texts; a marker uses Text and Text + 1
    };
    struct Program {
        std::vector<Step> Steps;
        bool Trim = false; // a dropped time-zone field: blanks at the ends go with it
    };
    struct Fields;

private:
    void Run(const Program &program, const Fields &f, TOrvel_TextBuffer &out) const;
    void CompileUser(Program &program, QStringView fmt, const TOrvel_FormatSettings &fs);
    void CompilePattern(QStringView pattern);
    int AddText(QStringView text);

    Program FPattern;
    // The user's formats: short date, long date, short time, long time.
    std::array<Program, 4> FUser;
    std::vector<QString> FTexts;
    std::array<int, 12> FShortMonths{}, FLongMonths{};
    std::array<int, 7> FShortDays{}, FLongDays{};
    int FDateSeparator = -1, FTimeSeparator = -1;
    int FUserAm = -1; // the user's morning marker; the afternoon one follows it
};

// How one field shows its values: the numeric or date-time pattern for its type, or the texts of
// true and false ("tak;nie") for a boolean field. Compiled once per field and reused for every
// cell, by the grid and the exports alike.
class TOrvel_FieldFormat {
public:
    TOrvel_FieldFormat(TFieldType type, const QString &pattern, const QString &booleanTexts,
                       const TOrvel_FormatSettings &fs);

    TFieldType Type() const { return FType; }
    // Whole numbers, booleans, and date-times as milliseconds (see TOrvel_DateTimeFormat).
    void AppendInt(std::int64_t value, TOrvel_TextBuffer &out) const;
    // Floating point and currency.
    void AppendReal(double value, TOrvel_TextBuffer &out) const;
    // Exact decimals as their text; every other text kind unchanged.
    void AppendText(QStringView value, TOrvel_TextBuffer &out) const;

private:
    TFieldType FType;
    TOrvel_NumberFormat FNumber;
    TOrvel_DateTimeFormat FDateTime;
    QString FTrue, FFalse;
};
