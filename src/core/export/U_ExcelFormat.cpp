#include "U_ExcelFormat.h"

#include <QDate>
#include <QStringList>

#include <cmath>
#include <vector>

namespace {

// A literal run as the spreadsheet reads it: inside double quotes, a double quote escaped.
void AppendLiteral(QString &out, QStringView text) {
    if (text.isEmpty())
        return;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            out += u'"' + run + u'"';
        run.clear();
    };
    for (const QChar c : text) {
        if (c == u'"') {
            flush();
            out += QStringLiteral("\\\"");
        } else {
            run += c;
        }
    }
    flush();
}

// The sections of a pattern, split at ";" outside quoted text.
QStringList SplitSections(const QString &pattern) {
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u';') {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

bool IsPlaceholder(QChar c) {
    return c == u'0' || c == u'#';
}

std::optional<QString> NumberSection(const QString &section) {
    QString out;
    QString literal;
    bool afterPoint = false;
    bool grouping = false;
    int integerPlaceholders = 0;
    qsizetype firstIntegerPlaceholder = -1;
    auto flushLiteral = [&] {
        AppendLiteral(out, literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = section.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? section.size() : end;
            literal += section.mid(i + 1, stop - i - 1);
            i = stop;
        } else if (IsPlaceholder(c)) {
            flushLiteral();
            if (!afterPoint) {
                if (firstIntegerPlaceholder < 0)
                    firstIntegerPlaceholder = out.size();
                ++integerPlaceholders;
            }
            out += c;
        } else if (c == u'.' && !afterPoint) {
            flushLiteral();
            afterPoint = true;
            out += u'.';
        } else if (c == u',') {
            // Before the point a comma only asks for grouping; after it, the spreadsheet would
            // read it differently from the grid.
            if (afterPoint)
                return std::nullopt;
            grouping = true;
        } else if ((c == u'E' || c == u'e') && i + 1 < section.size() &&
                   (section[i + 1] == u'+' || section[i + 1] == u'-')) {
            flushLiteral();
            out += c.toUpper();
            out += section[i + 1];
            i += 2;
            int zeros = 0;
            while (i < section.size() && section[i] == u'0' && zeros < 4) {
                out += u'0';
                ++zeros;
                ++i;
            }
            if (zeros == 0)
                out += u'0';
            --i;
        } else {
            literal += c;
        }
    }
    flushLiteral();
    if (grouping) {
        if (integerPlaceholders >= 2)
            out.insert(firstIntegerPlaceholder + 1, u',');
        else if (integerPlaceholders == 1)
            out.insert(firstIntegerPlaceholder, QStringLiteral("#,"));
    }
    return out;
}

// A Qt date or time pattern (the user's short and long formats) in the spreadsheet's language.
QString FromQtPattern(const QString &pattern) {
    QString out;
    QString literal;
    bool droppedZone = false;
    auto flushLiteral = [&] {
        AppendLiteral(out, literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        if (c == u'\'') {
            const qsizetype end = pattern.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            literal += stop == i + 1 ? QStringLiteral("'") : pattern.mid(i + 1, stop - i - 1);
            i = stop;
            continue;
        }
        QString code;
        switch (c.unicode()) {
        case u'd':
            code = QString(std::min<qsizetype>(run, 4), u'd');
            break;
        case u'M':
            code = QString(std::min<qsizetype>(run, 4), u'm');
            break;
        case u'y':
            code = run <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
            break;
        case u'H':
        case u'h':
            code = run >= 2 ? QStringLiteral("hh") : QStringLiteral("h");
            break;
        case u'm':
            code = run >= 2 ? QStringLiteral("mm") : QStringLiteral("m");
            break;
        case u's':
            code = run >= 2 ? QStringLiteral("ss") : QStringLiteral("s");
            break;
        case u'z':
            code = QStringLiteral("000");
            break;
        case u'A':
        case u'a':
            code = QStringLiteral("AM/PM");
            if (i + 1 < pattern.size() && (pattern[i + 1] == u'P' || pattern[i + 1] == u'p'))
                run = 2;
            break;
        case u't':
            // The time zone has no place in a spreadsheet date, nor the blanks around it.
            while (literal.endsWith(u' '))
                literal.chop(1);
            droppedZone = true;
            i += run - 1;
            continue;
        default:
            literal += QString(run, c);
            i += run - 1;
            continue;
        }
        flushLiteral();
        out += code;
        i += run - 1;
    }
    if (droppedZone)
        literal = literal.trimmed();
    flushLiteral();
    return out;
}

struct DateToken {
    enum Kind { Literal, Code, Hour, Minute, Second, Millis } kind;
    QString text;
};

bool StartsWithNoCase(const QString &s, qsizetype at, QLatin1StringView what) {
    return QStringView(s).mid(at, what.size()).compare(what, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QString> ExcelNumberFormat(const QString &pattern) {
    if (pattern.isEmpty())
        return QStringLiteral("General");
    const QStringList sections = SplitSections(pattern);
    if (sections.size() > 3)
        return std::nullopt;
    QStringList out;
    for (const QString &section : sections) {
        // An empty section of ours shows the value as the first one does; the spreadsheet's would
        // show nothing.
        const auto translated = NumberSection(section.isEmpty() ? sections.front() : section);
        if (!translated)
            return std::nullopt;
        out << *translated;
    }
    return out.join(u';');
}

QString ExcelDefaultNumberFormat(TFieldType type) {
    switch (type) {
    case TFieldType::ftFloat:
        return QStringLiteral("0.000");
    case TFieldType::ftBCD:
    case TFieldType::ftCurrency:
        return QStringLiteral("0.00");
    default:
        return QStringLiteral("General");
    }
}

QString ExcelDefaultDateFormat(TFieldType type, const TOrvel_FormatSettings &fs) {
    switch (type) {
    case TFieldType::ftDate:
        return FromQtPattern(fs.ShortDateFormat);
    case TFieldType::ftTime:
        return FromQtPattern(fs.LongTimeFormat);
    default:
        return FromQtPattern(fs.ShortDateFormat) + QStringLiteral("\" \"") +
               FromQtPattern(fs.LongTimeFormat);
    }
}

std::optional<QString> ExcelDateFormat(const QString &pattern, TFieldType type,
                                       const TOrvel_FormatSettings &fs) {
    if (pattern.isEmpty())
        return ExcelDefaultDateFormat(type, fs);
    std::vector<DateToken> tokens;
    auto literal = [&](const QString &text) {
        if (!tokens.empty() && tokens.back().kind == DateToken::Literal)
            tokens.back().text += text;
        else
            tokens.push_back({DateToken::Literal, text});
    };
    QChar lastLetter; // "m" right after an hour specifier means minutes
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        const QChar lower = c.toLower();
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run].toLower() == lower)
            ++run;
        if (c == u'\'' || c == u'"') {
            const qsizetype end = pattern.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            literal(pattern.mid(i + 1, stop - i - 1));
            i = stop;
            continue;
        }
        if (StartsWithNoCase(pattern, i, QLatin1StringView("am/pm"))) {
            tokens.push_back({DateToken::Code, QStringLiteral("AM/PM")});
            i += 4;
            continue;
        }
        if (StartsWithNoCase(pattern, i, QLatin1StringView("a/p"))) {
            tokens.push_back({DateToken::Code, QStringLiteral("A/P")});
            i += 2;
            continue;
        }
        if (StartsWithNoCase(pattern, i, QLatin1StringView("ampm"))) {
            tokens.push_back({DateToken::Code, QStringLiteral("AM/PM")});
            i += 3;
            continue;
        }
        const bool afterHour = lastLetter == u'h';
        if (lower >= u'a' && lower <= u'z')
            lastLetter = lower;
        switch (lower.unicode()) {
        case u'c':
            tokens.push_back({DateToken::Code, ExcelDefaultDateFormat(TFieldType::ftDateTime, fs)});
            run = 1;
            break;
        case u'd':
            if (run <= 4)
                tokens.push_back({DateToken::Code, QString(run, u'd')});
            else if (run == 5)
                tokens.push_back({DateToken::Code, FromQtPattern(fs.ShortDateFormat)});
            else
                tokens.push_back({DateToken::Code, FromQtPattern(fs.LongDateFormat)});
            break;
        case u'm':
            if (run > 4)
                return std::nullopt;
            if (run <= 2 && afterHour)
                tokens.push_back({DateToken::Minute, QString(run, u'm')});
            else
                tokens.push_back({DateToken::Code, QString(run, u'm')});
            break;
        case u'y':
            tokens.push_back(
                {DateToken::Code, run <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy")});
            break;
        case u'h':
            tokens.push_back(
                {DateToken::Hour, run >= 2 ? QStringLiteral("hh") : QStringLiteral("h")});
            break;
        case u'n':
            tokens.push_back(
                {DateToken::Minute, run >= 2 ? QStringLiteral("mm") : QStringLiteral("m")});
            break;
        case u's':
            tokens.push_back(
                {DateToken::Second, run >= 2 ? QStringLiteral("ss") : QStringLiteral("s")});
            break;
        case u'z':
            // Only whole milliseconds after the seconds have a spreadsheet form.
            if (run != 3)
                return std::nullopt;
            tokens.push_back({DateToken::Millis, QStringLiteral("000")});
            break;
        case u't':
            if (run > 2)
                return std::nullopt;
            tokens.push_back({DateToken::Code,
                              FromQtPattern(run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat)});
            break;
        case u'/':
            literal(QString(fs.DateSeparator).repeated(run));
            break;
        case u':':
            literal(QString(fs.TimeSeparator).repeated(run));
            break;
        default:
            literal(pattern.mid(i, run));
            break;
        }
        i += run - 1;
    }

    // The spreadsheet reads "m" as minutes only right after an hour or right before seconds,
    // literals between them aside; and milliseconds only after seconds and a separator.
    QString out;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        const DateToken &token = tokens[t];
        auto codeBefore = [&]() -> const DateToken * {
            for (std::size_t k = t; k-- > 0;)
                if (tokens[k].kind != DateToken::Literal)
                    return &tokens[k];
            return nullptr;
        };
        auto codeAfter = [&]() -> const DateToken * {
            for (std::size_t k = t + 1; k < tokens.size(); ++k)
                if (tokens[k].kind != DateToken::Literal)
                    return &tokens[k];
            return nullptr;
        };
        switch (token.kind) {
        case DateToken::Literal:
            if (t + 1 < tokens.size() && tokens[t + 1].kind == DateToken::Millis) {
                // The separator before milliseconds must be the spreadsheet's own point.
                if (!token.text.endsWith(u'.') && !token.text.endsWith(u','))
                    return std::nullopt;
                AppendLiteral(out, QStringView(token.text).chopped(1));
                out += u'.';
            } else {
                AppendLiteral(out, token.text);
            }
            break;
        case DateToken::Minute: {
            const DateToken *before = codeBefore();
            const DateToken *after = codeAfter();
            if (!(before && before->kind == DateToken::Hour) &&
                !(after && after->kind == DateToken::Second))
                return std::nullopt;
            out += token.text;
            break;
        }
        case DateToken::Millis:
            if (t == 0 || tokens[t - 1].kind != DateToken::Literal || t < 2 ||
                tokens[t - 2].kind != DateToken::Second)
                return std::nullopt;
            out += token.text;
            break;
        default:
            out += token.text;
            break;
        }
    }
    return out;
}

std::optional<double> ExcelSerialDate(const QDateTime &value) {
    if (!value.isValid())
        return std::nullopt;
    const QDate date = value.date();
    // The spreadsheet counts 1900-02-29, which never was: its serial numbers agree with the
    // calendar only from March 1900 on.
    if (date < QDate(1900, 3, 1) || date > QDate(9999, 12, 31))
        return std::nullopt;
    const qint64 days = QDate(1899, 12, 30).daysTo(date);
    const double fraction = value.time().msecsSinceStartOfDay() / 86400000.0;
    return static_cast<double>(days) + fraction;
}

QString ExcelSheetName(const QString &title, int part) {
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    QList<uint> chars = title.toUcs4();
    for (uint &c : chars) {
        if (c < 0x20 || (c < 0x10000 && forbidden.contains(QChar(char16_t(c)))))
            c = u'_';
    }
    const QString suffix = part > 1 ? QStringLiteral(" (%1)").arg(part) : QString();
    const qsizetype room = 31 - suffix.size();
    if (chars.size() > room)
        chars.resize(room);
    QString name =
        QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size());
    if (name.trimmed().isEmpty())
        name = QStringLiteral("Wynik");
    if (name.startsWith(u'\''))
        name[0] = u'_';
    if (name.endsWith(u'\''))
        name[name.size() - 1] = u'_';
    return name + suffix;
}

bool DecimalExceedsExcelPrecision(QStringView decimalText) {
    qsizetype first = -1, last = -1, index = 0;
    for (const QChar c : decimalText) {
        if (c >= u'1' && c <= u'9') {
            if (first < 0)
                first = index;
            last = index;
        }
        if (c.isDigit())
            ++index;
    }
    return first >= 0 && last - first + 1 > 15;
}

double ExcelColumnWidth(int pixels) {
    if (pixels <= 5)
        return 0.0;
    return std::round((pixels - 5) / 7.0 * 100.0) / 100.0;
}
