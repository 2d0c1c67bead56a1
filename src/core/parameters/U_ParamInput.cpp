#include "U_ParamInput.h"

#include "U_ParamType.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <vector>

namespace {

const QString kNull = QStringLiteral("NULL");

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// "[+-]digits[<sep>digits][(e|E)[+-]digits]" with at least one mantissa digit; gives the text
// with "." as separator for the range check.
bool ScanNumber(QStringView t, QChar separator, QString &plain) {
    qsizetype i = 0;
    plain.clear();
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        plain += t[i++];
    bool digits = false;
    while (i < t.size() && IsAsciiDigit(t[i])) {
        plain += t[i++];
        digits = true;
    }
    if (i < t.size() && t[i] == separator) {
        plain += u'.';
        ++i;
        while (i < t.size() && IsAsciiDigit(t[i])) {
            plain += t[i++];
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        plain += t[i++];
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            plain += t[i++];
        if (i >= t.size() || !IsAsciiDigit(t[i]))
            return false;
        while (i < t.size() && IsAsciiDigit(t[i]))
            plain += t[i++];
    }
    return i == t.size();
}

// The plain text uses "." whatever the process locale is (strtod would follow LC_NUMERIC).
bool IsFiniteNumber(const QString &plain) {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(plain, &ok);
    return ok && std::isfinite(v);
}

// A key that can stand in SQL as a bare number.
bool IsSQLNumberLiteral(const QString &text) {
    QString plain;
    return ScanNumber(text, u'.', plain) && IsFiniteNumber(plain);
}

QString ShortDateText(const QDate &date) {
    return DateToUserText(date, UserFormatSettings());
}

// SQLToDate and TextDateToSQL raise on texts that are not dates; here that means "no value".
template <typename F> bool NoThrow(F &&f) {
    try {
        f();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

TOrvel_InputKind InputKindOf(const TOrvel_ParamData &param) {
    if (!param.listquery.isEmpty())
        return TOrvel_InputKind::ikSqlList;
    if (!param.listitems.isEmpty())
        return TOrvel_InputKind::ikFixedList;
    switch (param.type) {
    case TOrvel_ParamType::ptText:
        return TOrvel_InputKind::ikText;
    case TOrvel_ParamType::ptBit:
        return TOrvel_InputKind::ikBit;
    case TOrvel_ParamType::ptNumeric:
        return TOrvel_InputKind::ikNumeric;
    case TOrvel_ParamType::ptDate:
        return TOrvel_InputKind::ikDate;
    case TOrvel_ParamType::ptInt:
        break;
    }
    return TOrvel_InputKind::ikInt;
}

QString QuoteSQLString(const QString &text) {
    QString s = text;
    s.replace(u'\'', QStringLiteral("''"));
    return u'\'' + s + u'\'';
}

QStringList SplitListText(const QString &text) {
    QStringList entries;
    QString current;
    bool pending = false; // text or a separator since the last entry
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u';' || c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i; // CR LF is one line break
            entries << current;
            current.clear();
            pending = false;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending)
        entries << current;
    return entries;
}

QString ListCountFault(const TOrvel_ParamData &param) {
    if (InputKindOf(param) != TOrvel_InputKind::ikFixedList || param.listvalues.isEmpty())
        return QString();
    const qsizetype captions = SplitListText(param.listitems).size();
    const qsizetype values = SplitListText(param.listvalues).size();
    if (captions == values)
        return QString();
    return QStringLiteral("Lista wyboru parametru '%1' ma różną liczbę nazw (%2) i wartości (%3): "
                          "każda nazwa potrzebuje swojej wartości")
        .arg(param.name)
        .arg(captions)
        .arg(values);
}

bool TryTextToInt32(const QString &text, std::int32_t &value) {
    const QString t = TrimText(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    if (i >= t.size())
        return false;
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (!IsAsciiDigit(t[i]))
            return false;
        v = v * 10 + (t[i].unicode() - u'0');
        if (v > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool IsLocaleNumberText(const QString &text, const TOrvel_FormatSettings &fs) {
    QString plain;
    const QChar separator = fs.DecimalSeparator.isNull() ? QChar(u'.') : fs.DecimalSeparator;
    return ScanNumber(TrimText(text), separator, plain) && IsFiniteNumber(plain);
}

namespace {

// One part of the date input's format: a field (day, month, month name, year, day name) or a
// literal text.
struct DatePart {
    enum Kind { Day, Month, MonthName, Year, DayName, Literal } kind;
    QString text; // of a literal
};

std::vector<DatePart> DateParts(const QString &format) {
    std::vector<DatePart> parts;
    auto literal = [&parts](QStringView text) {
        if (!parts.empty() && parts.back().kind == DatePart::Literal)
            parts.back().text += text;
        else
            parts.push_back({DatePart::Literal, text.toString()});
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == u'\'') {
            const qsizetype close = format.indexOf(u'\'', i + 1);
            const qsizetype stop = close < 0 ? format.size() : close;
            literal(close == i + 1 ? QStringView(u"'")
                                   : QStringView(format).mid(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (c == u'd')
            parts.push_back({run >= 3 ? DatePart::DayName : DatePart::Day, {}});
        else if (c == u'M')
            parts.push_back({run >= 3 ? DatePart::MonthName : DatePart::Month, {}});
        else if (c == u'y')
            parts.push_back({DatePart::Year, {}});
        else
            literal(QStringView(format).mid(i, run));
        i += run;
    }
    return parts;
}

// The month whose name (short or long, either letter case) begins the text; 0 for none.
int MonthNameAt(QStringView text, const TOrvel_FormatSettings &fs, qsizetype *length) {
    int best = 0;
    qsizetype bestLength = 0;
    for (int m = 1; m <= 12; ++m) {
        for (const QString &name : {fs.LongMonthNames.value(m - 1), fs.ShortMonthNames.value(m - 1),
                                    fs.Locale.standaloneMonthName(m, QLocale::LongFormat),
                                    fs.Locale.standaloneMonthName(m, QLocale::ShortFormat)}) {
            if (!name.isEmpty() && name.size() > bestLength &&
                text.startsWith(name, Qt::CaseInsensitive)) {
                best = m;
                bestLength = name.size();
            }
        }
    }
    *length = bestLength;
    return best;
}

qsizetype DigitsAt(QStringView text, qsizetype at) {
    qsizetype n = 0;
    while (at + n < text.size() && IsAsciiDigit(text[at + n]))
        ++n;
    return n;
}

} // namespace

QString DateInputFormat(const TOrvel_FormatSettings &fs) {
    // The short date format as it is, but for the year, which always has all four digits.
    QString format;
    bool day = false, month = false, year = false;
    const QString &f = fs.ShortDateFormat;
    for (qsizetype i = 0; i < f.size();) {
        const QChar c = f[i];
        if (c == u'\'') {
            const qsizetype close = f.indexOf(u'\'', i + 1);
            const qsizetype stop = close < 0 ? f.size() : close + 1;
            format += QStringView(f).mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype run = 1;
        while (i + run < f.size() && f[i + run] == c)
            ++run;
        if (c == u'y') {
            format += QStringLiteral("yyyy");
            year = true;
        } else {
            format += QStringView(f).mid(i, run);
            day = day || (c == u'd' && run <= 2);
            month = month || c == u'M';
        }
        i += run;
    }
    return day && month && year ? format : QStringLiteral("dd.MM.yyyy");
}

QDate UserTextToDate(const QString &text, const TOrvel_FormatSettings &fs) {
    const QString trimmed = TrimText(text);
    const QStringView t(trimmed);
    int day = 0, month = 0, year = 0;
    qsizetype at = 0;
    for (const DatePart &part : DateParts(DateInputFormat(fs))) {
        switch (part.kind) {
        case DatePart::Literal: {
            // Blanks match any run of blanks; other characters as they are.
            for (QChar c : part.text) {
                if (c.isSpace()) {
                    if (at >= t.size() || !t[at].isSpace())
                        return {};
                    while (at < t.size() && t[at].isSpace())
                        ++at;
                } else {
                    if (at >= t.size() || t[at].toCaseFolded() != c.toCaseFolded())
                        return {};
                    ++at;
                }
            }
            break;
        }
        case DatePart::Day:
        case DatePart::Month: {
            const qsizetype n = DigitsAt(t, at);
            if (n < 1 || n > 2)
                return {};
            (part.kind == DatePart::Day ? day : month) = t.mid(at, n).toInt();
            at += n;
            break;
        }
        case DatePart::Year: {
            if (DigitsAt(t, at) != 4)
                return {};
            year = t.mid(at, 4).toInt();
            at += 4;
            break;
        }
        case DatePart::MonthName: {
            // The name the input shows, or the month's number.
            const qsizetype n = DigitsAt(t, at);
            qsizetype length = 0;
            if (n >= 1 && n <= 2) {
                month = t.mid(at, n).toInt();
                length = n;
            } else if (n == 0) {
                month = MonthNameAt(t.mid(at), fs, &length);
            }
            if (length == 0)
                return {};
            at += length;
            break;
        }
        case DatePart::DayName:
            // The weekday follows from the date: any word stands for it.
            while (at < t.size() && t[at].isLetter())
                ++at;
            break;
        }
    }
    if (at != t.size())
        return {};
    const QDate date(year, month, day);
    return year >= 1 && date.isValid() ? date : QDate();
}

QString DateToUserText(const QDate &date, const TOrvel_FormatSettings &fs) {
    return fs.Locale.toString(date, DateInputFormat(fs));
}

QString DatePatternText(const TOrvel_FormatSettings &fs) {
    // Each part in the user's words, whatever its width in the format: DD, MM, RRRR (rok); a
    // month name as MMM.
    QString pattern;
    for (const DatePart &part : DateParts(DateInputFormat(fs))) {
        switch (part.kind) {
        case DatePart::Day:
            pattern += QStringLiteral("DD");
            break;
        case DatePart::Month:
            pattern += QStringLiteral("MM");
            break;
        case DatePart::MonthName:
            pattern += QStringLiteral("MMM");
            break;
        case DatePart::Year:
            pattern += QStringLiteral("RRRR");
            break;
        case DatePart::DayName:
            pattern += QStringLiteral("DDD");
            break;
        case DatePart::Literal:
            pattern += part.text;
            break;
        }
    }
    return pattern;
}

TOrvel_ParamInput::TOrvel_ParamInput(const TOrvel_ParamData &definition)
    : FDefinition(definition), FKind(InputKindOf(definition)), FDate(QDate::currentDate()) {
    if (FKind == TOrvel_InputKind::ikFixedList) {
        FCaptions = SplitListText(FDefinition.listitems);
        FHasValues = !FDefinition.listvalues.isEmpty();
        if (FHasValues)
            FValues = SplitListText(FDefinition.listvalues);
    }
}

void TOrvel_ParamInput::SetDate(const QDate &date, bool set) {
    FDate = date;
    FDateSet = set && date.isValid();
    FDateText.clear();
}

void TOrvel_ParamInput::SetRejectedDateText(const QString &text) {
    FDateSet = true;
    FDateText = text.isEmpty() ? QStringLiteral(" ") : text;
}

QString TOrvel_ParamInput::RejectedText() const {
    switch (FKind) {
    case TOrvel_InputKind::ikInt: {
        std::int32_t v = 0;
        return TrimText(FText).isEmpty() || TryTextToInt32(FText, v) ? QString() : FText;
    }
    case TOrvel_InputKind::ikNumeric:
        return TrimText(FText).isEmpty() || IsLocaleNumberText(FText, UserFormatSettings())
                   ? QString()
                   : FText;
    case TOrvel_InputKind::ikDate:
        return FDateSet ? FDateText : QString();
    default:
        return {};
    }
}

QString TOrvel_ParamInput::RejectionMessage() const {
    const QString rejected = RejectedText();
    if (rejected.isEmpty())
        return {};
    QString what;
    switch (FKind) {
    case TOrvel_InputKind::ikInt:
        what = QStringLiteral("nie jest liczbą całkowitą");
        break;
    case TOrvel_InputKind::ikNumeric:
        what = QStringLiteral("nie jest liczbą");
        break;
    default:
        what = QStringLiteral("nie jest datą w postaci ") + DatePatternText(UserFormatSettings());
        break;
    }
    const QString caption = FDefinition.desc.isEmpty() ? FDefinition.name : FDefinition.desc;
    return QStringLiteral("Raport nie został uruchomiony: wartość \"%1\" parametru \"%2\" %3.")
        .arg(rejected, caption, what);
}

void TOrvel_ParamInput::SetChosenIndex(int index) {
    FIndex = (index >= 0 && index < FCaptions.size()) ? index : -1;
}

bool TOrvel_ParamInput::HasKey() const {
    return FKey.isValid() && !FKey.isNull();
}

QString TOrvel_ParamInput::KeyText() const {
    if (!HasKey())
        return {};
    switch (FKey.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        // Shortest text that reads back as the same number, with "." whatever the locale.
        return QString::number(FKey.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return FKey.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QDate:
        return ShortDateText(FKey.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = FKey.toDateTime();
        if (dt.time() == QTime(0, 0))
            return ShortDateText(dt.date());
        return ShortDateText(dt.date()) + u' ' + dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    default:
        return FKey.toString();
    }
}

QString TOrvel_ParamInput::SqlListValue() const {
    const QString key = TrimText(KeyText());
    if (key.isEmpty())
        return kNull;
    switch (FDefinition.type) {
    case TOrvel_ParamType::ptInt:
    case TOrvel_ParamType::ptNumeric:
        // A key that is not a number goes in quoted, so a text key can never become SQL code.
        return IsSQLNumberLiteral(key) ? key : QuoteSQLString(key);
    case TOrvel_ParamType::ptText:
        return QuoteSQLString(key);
    case TOrvel_ParamType::ptDate: {
        const int type = FKey.typeId();
        if (type == QMetaType::QDate || type == QMetaType::QDateTime) {
            const QDate d = type == QMetaType::QDate ? FKey.toDate() : FKey.toDateTime().date();
            return d.isValid() ? DateToSQL(d) : kNull;
        }
        QString result = kNull;
        NoThrow([&] { result = TextDateToSQL(key); });
        return result;
    }
    case TOrvel_ParamType::ptBit: {
        // A key maps to a bit as SQL Server converts it: zero is 0, any other number 1.
        if (key.compare(u"true", Qt::CaseInsensitive) == 0)
            return QStringLiteral("1");
        if (key.compare(u"false", Qt::CaseInsensitive) == 0)
            return QStringLiteral("0");
        if (!IsSQLNumberLiteral(key))
            return kNull;
        return key.toDouble() == 0.0 ? QStringLiteral("0") : QStringLiteral("1");
    }
    }
    return kNull;
}

QString TOrvel_ParamInput::FixedListValue() const {
    if (FIndex < 0)
        return kNull;
    if (FHasValues)
        return FIndex < FValues.size() ? QuoteSQLString(FValues.at(FIndex)) : kNull;
    const QString digits = QString::number(FIndex);
    return FDefinition.type == TOrvel_ParamType::ptText ? QuoteSQLString(digits) : digits;
}

QString TOrvel_ParamInput::GetSQLValue() const {
    switch (FKind) {
    case TOrvel_InputKind::ikSqlList:
        return SqlListValue();
    case TOrvel_InputKind::ikFixedList:
        return FixedListValue();
    case TOrvel_InputKind::ikInt: {
        if (TrimText(FText).isEmpty())
            return kNull;
        std::int32_t v = 0;
        return QString::number(TryTextToInt32(FText, v) ? v : 0);
    }
    case TOrvel_InputKind::ikText:
        return TrimText(FText).isEmpty() ? kNull : QuoteSQLString(FText);
    case TOrvel_InputKind::ikBit:
        return FChecked ? QStringLiteral("1") : QStringLiteral("0");
    case TOrvel_InputKind::ikNumeric: {
        const TOrvel_FormatSettings &fs = UserFormatSettings();
        QString t = TrimText(FText);
        if (t.isEmpty() || !IsLocaleNumberText(t, fs))
            return kNull;
        if (!fs.ThousandSeparator.isNull())
            t.remove(fs.ThousandSeparator);
        if (!fs.DecimalSeparator.isNull())
            t.replace(fs.DecimalSeparator, u'.');
        return t;
    }
    case TOrvel_InputKind::ikDate:
        return FDateSet && FDateText.isEmpty() && FDate.isValid() ? DateToSQL(FDate) : kNull;
    }
    return kNull;
}

void TOrvel_ParamInput::SetSQLValue(const QString &value) {
    QString v = value;
    if (FDefinition.type == TOrvel_ParamType::ptText ||
        FDefinition.type == TOrvel_ParamType::ptDate || FKind == TOrvel_InputKind::ikFixedList)
        v = UnquoteSQLString(v);
    const bool isNull = v == kNull;

    switch (FKind) {
    case TOrvel_InputKind::ikFixedList: {
        FIndex = -1;
        if (isNull)
            return;
        if (FHasValues) {
            // Letter case is ignored for the ASCII letters only, as everywhere in the system.
            const QString wanted = AsciiLower(v);
            for (int i = 0; i < FCaptions.size() && i < FValues.size(); ++i) {
                if (AsciiLower(FValues.at(i)) == wanted) {
                    FIndex = i;
                    return;
                }
            }
            return;
        }
        std::int32_t position = -1;
        if (TryTextToInt32(v, position))
            SetChosenIndex(position);
        return;
    }
    case TOrvel_InputKind::ikSqlList:
        if (isNull) {
            ClearKey();
            return;
        }
        if (FDefinition.type == TOrvel_ParamType::ptDate) {
            QString shown = v;
            NoThrow([&] { shown = ShortDateText(SQLToDate(v)); });
            FKey = shown;
        } else {
            FKey = v;
        }
        return;
    case TOrvel_InputKind::ikInt:
    case TOrvel_InputKind::ikText:
        FText = isNull ? QString() : v;
        return;
    case TOrvel_InputKind::ikBit:
        FChecked = v == u"1";
        return;
    case TOrvel_InputKind::ikNumeric: {
        const QChar separator = UserFormatSettings().DecimalSeparator;
        FText =
            isNull ? QString() : QString(v).replace(u'.', separator.isNull() ? u'.' : separator);
        return;
    }
    case TOrvel_InputKind::ikDate:
        if (isNull) {
            FDateSet = false;
            FDateText.clear();
            return;
        }
        // A value that is not a date leaves the input as it was.
        NoThrow([&] {
            const QDate d = SQLToDate(v);
            if (d.isValid()) {
                FDate = d;
                FDateSet = true;
                FDateText.clear();
            }
        });
        return;
    }
}

QString TOrvel_ParamInput::GetDeclaration(bool asVariable) const {
    const QString declaration = FDefinition.name + u' ' + ParamSQLType(FDefinition);
    return asVariable ? QStringLiteral(" @") + declaration : declaration;
}

QString TOrvel_ParamInput::GetAssignment(bool withTypeComment) const {
    QString line =
        QStringLiteral("SET @") + FDefinition.name + QStringLiteral(" = ") + GetSQLValue();
    if (withTypeComment)
        line += QStringLiteral(" -- ") + ParamTypeCode(FDefinition.type);
    return line;
}
