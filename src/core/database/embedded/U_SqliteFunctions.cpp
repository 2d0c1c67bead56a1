#include "U_SqliteFunctions.h"

#include "U_SqliteCollation.h"
#include "U_TSql.h"

#include <QLocale>
#include <QUuid>

#include <sqlite3.h>

#include <cmath>
#include <limits>

namespace sqlitefn {

namespace {

thread_local std::optional<tsql::Error> g_functionError;

QVariant arg(sqlite3_value **argv, int i) {
    return FromValue(argv[i]);
}

void setResult(sqlite3_context *ctx, const QVariant &v) {
    if (!v.isValid() || v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
        sqlite3_result_int64(ctx, v.toLongLong());
        return;
    case QMetaType::Double:
        sqlite3_result_double(ctx, v.toDouble());
        return;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_result_blob64(ctx, b.constData(), static_cast<sqlite3_uint64>(b.size()),
                              SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QByteArray u = v.toString().toUtf8();
        sqlite3_result_text64(ctx, u.constData(), static_cast<sqlite3_uint64>(u.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8);
        return;
    }
    }
}

void setError(sqlite3_context *ctx, const tsql::Error &e) {
    g_functionError = e;
    const QByteArray u = e.Text.toUtf8();
    sqlite3_result_error(ctx, u.constData(), static_cast<int>(u.size()));
}

// Wraps a function body: T-SQL errors become SQLite function errors.
template <typename F> void guarded(sqlite3_context *ctx, F body) {
    try {
        body();
    } catch (const tsql::Error &e) {
        setError(ctx, e);
    }
}

QString textOf(const QVariant &v) {
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return v.toString();
}

QDateTime dateArg(const QVariant &v) {
    if (v.typeId() == QMetaType::QString) {
        if (const auto dt = tsql::ParseDateTime(v.toString()))
            return *dt;
    } else if (v.isValid() && !v.isNull()) {
        tsql::Type t;
        t.base = tsql::Type::DateTime;
        return *tsql::ParseDateTime(tsql::Convert(t, v).toString());
    }
    throw tsql::Error(241, QStringLiteral("Konwersja daty lub godziny z ciągu znaków '%1' nie "
                                          "powiodła się.")
                               .arg(v.toString()));
}

enum class Part {
    Year,
    Quarter,
    Month,
    DayOfYear,
    Day,
    Week,
    Weekday,
    Hour,
    Minute,
    Second,
    Millisecond
};

Part datePart(const QVariant &v) {
    const QString p = v.toString().trimmed().toLower();
    static const std::pair<const char *, Part> names[] = {
        {"year", Part::Year},       {"yy", Part::Year},
        {"yyyy", Part::Year},       {"quarter", Part::Quarter},
        {"qq", Part::Quarter},      {"q", Part::Quarter},
        {"month", Part::Month},     {"mm", Part::Month},
        {"m", Part::Month},         {"dayofyear", Part::DayOfYear},
        {"dy", Part::DayOfYear},    {"y", Part::DayOfYear},
        {"day", Part::Day},         {"dd", Part::Day},
        {"d", Part::Day},           {"week", Part::Week},
        {"wk", Part::Week},         {"ww", Part::Week},
        {"weekday", Part::Weekday}, {"dw", Part::Weekday},
        {"w", Part::Weekday},       {"hour", Part::Hour},
        {"hh", Part::Hour},         {"minute", Part::Minute},
        {"mi", Part::Minute},       {"n", Part::Minute},
        {"second", Part::Second},   {"ss", Part::Second},
        {"s", Part::Second},        {"millisecond", Part::Millisecond},
        {"ms", Part::Millisecond}};
    for (const auto &[name, part] : names)
        if (p == QLatin1String(name))
            return part;
    throw tsql::Error(
        155, QStringLiteral("'%1' nie jest rozpoznaną opcją funkcji daty.").arg(v.toString()));
}

qint64 msecsOf(const QDateTime &dt) {
    return QDate(1970, 1, 1).daysTo(dt.date()) * 86400000LL + dt.time().msecsSinceStartOfDay();
}

QDateTime fromMsecs(qint64 ms) {
    qint64 days = ms / 86400000LL, rest = ms % 86400000LL;
    if (rest < 0) {
        rest += 86400000LL;
        --days;
    }
    return QDateTime(QDate(1970, 1, 1).addDays(days),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(rest)), Qt::UTC);
}

// Days are counted from Monday, as under the Polish language setting (DATEFIRST 1).
qint64 weekIndex(const QDate &d) {
    return (QDate(1970, 1, 5).daysTo(d) + 7000000) / 7;
}

void fnIsNull(sqlite3_context *ctx, int, sqlite3_value **argv) {
    sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL ? argv[1] : argv[0]);
}

void fnGetDate(sqlite3_context *ctx, int, sqlite3_value **) {
    const QDateTime now = QDateTime::currentDateTime();
    setResult(ctx, tsql::DateText(now.date()) + QLatin1Char(' ') +
                       now.time().toString(QStringLiteral("HH:mm:ss.zzz")));
}

void fnLen(sqlite3_context *ctx, int, sqlite3_value **argv) {
    const QVariant v = arg(argv, 0);
    if (v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    QString s = textOf(v);
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == QLatin1Char(' '))
        --n;
    sqlite3_result_int64(ctx, n);
}

void fnDbName(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    auto *context = static_cast<Context *>(sqlite3_user_data(ctx));
    if (argc == 0) {
        setResult(ctx, context->currentDatabase());
        return;
    }
    const qint64 id = sqlite3_value_int64(argv[0]);
    const QStringList names = context->databaseNames();
    if (id >= 5 && id - 5 < names.size())
        setResult(ctx, names[static_cast<int>(id - 5)]);
    else
        sqlite3_result_null(ctx);
}

void fnDatePieces(sqlite3_context *ctx, int, sqlite3_value **argv, Part part) {
    guarded(ctx, [&] {
        const QVariant v = arg(argv, 0);
        if (v.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        const QDate d = dateArg(v).date();
        sqlite3_result_int64(ctx, part == Part::Year    ? d.year()
                                  : part == Part::Month ? d.month()
                                                        : d.day());
    });
}

void fnYear(sqlite3_context *ctx, int n, sqlite3_value **argv) {
    fnDatePieces(ctx, n, argv, Part::Year);
}
void fnMonth(sqlite3_context *ctx, int n, sqlite3_value **argv) {
    fnDatePieces(ctx, n, argv, Part::Month);
}
void fnDay(sqlite3_context *ctx, int n, sqlite3_value **argv) {
    fnDatePieces(ctx, n, argv, Part::Day);
}

void fnDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const Part part = datePart(arg(argv, 0));
        const QVariant nv = arg(argv, 1), dv = arg(argv, 2);
        if (nv.isNull() || dv.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        const qint64 n = tsql::IntegerArgument(nv); // an int, as the server takes it
        const QDateTime d = dateArg(dv);
        QDateTime r;
        switch (part) {
        case Part::Year:
            r = QDateTime(d.date().addYears(static_cast<int>(n)), d.time(), Qt::UTC);
            break;
        case Part::Quarter:
            r = QDateTime(d.date().addMonths(static_cast<int>(n * 3)), d.time(), Qt::UTC);
            break;
        case Part::Month:
            r = QDateTime(d.date().addMonths(static_cast<int>(n)), d.time(), Qt::UTC);
            break;
        case Part::DayOfYear:
        case Part::Day:
        case Part::Weekday:
            r = QDateTime(d.date().addDays(n), d.time(), Qt::UTC);
            break;
        case Part::Week:
            r = QDateTime(d.date().addDays(n * 7), d.time(), Qt::UTC);
            break;
        case Part::Hour:
            r = fromMsecs(msecsOf(d) + n * 3600000LL);
            break;
        case Part::Minute:
            r = fromMsecs(msecsOf(d) + n * 60000LL);
            break;
        case Part::Second:
            r = fromMsecs(msecsOf(d) + n * 1000LL);
            break;
        case Part::Millisecond:
            r = fromMsecs(msecsOf(d) + n);
            break;
        }
        if (!r.isValid() || r.date().year() < 1 || r.date().year() > 9999)
            throw tsql::Error(517, QStringLiteral("Dodanie wartości do kolumny typu 'datetime' "
                                                  "spowodowało przepełnienie."));
        setResult(ctx, tsql::DateTimeText(r));
    });
}

void fnDateDiff(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const Part part = datePart(arg(argv, 0));
        const QVariant av = arg(argv, 1), bv = arg(argv, 2);
        if (av.isNull() || bv.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        const QDateTime a = dateArg(av), b = dateArg(bv);
        // Counts the boundaries crossed, as T-SQL does.
        const qint64 days = a.date().daysTo(b.date());
        qint64 r = 0;
        switch (part) {
        case Part::Year:
            r = b.date().year() - a.date().year();
            break;
        case Part::Quarter:
            r = (b.date().year() - a.date().year()) * 4 + (b.date().month() - 1) / 3 -
                (a.date().month() - 1) / 3;
            break;
        case Part::Month:
            r = (b.date().year() - a.date().year()) * 12 + b.date().month() - a.date().month();
            break;
        case Part::DayOfYear:
        case Part::Day:
        case Part::Weekday:
            r = days;
            break;
        case Part::Week:
            r = weekIndex(b.date()) - weekIndex(a.date());
            break;
        case Part::Hour:
            r = days * 24 + b.time().hour() - a.time().hour();
            break;
        case Part::Minute:
            r = (days * 24 + b.time().hour() - a.time().hour()) * 60 + b.time().minute() -
                a.time().minute();
            break;
        case Part::Second:
            r = (msecsOf(b) / 1000) - (msecsOf(a) / 1000);
            break;
        case Part::Millisecond:
            r = msecsOf(b) - msecsOf(a);
            break;
        }
        sqlite3_result_int64(ctx, r);
    });
}

qint64 partValue(Part part, const QDateTime &d) {
    switch (part) {
    case Part::Year:
        return d.date().year();
    case Part::Quarter:
        return (d.date().month() - 1) / 3 + 1;
    case Part::Month:
        return d.date().month();
    case Part::DayOfYear:
        return d.date().dayOfYear();
    case Part::Day:
        return d.date().day();
    case Part::Week:
        return weekIndex(d.date()) - weekIndex(QDate(d.date().year(), 1, 1)) + 1;
    case Part::Weekday:
        return d.date().dayOfWeek();
    case Part::Hour:
        return d.time().hour();
    case Part::Minute:
        return d.time().minute();
    case Part::Second:
        return d.time().second();
    case Part::Millisecond:
        return d.time().msec();
    }
    return 0;
}

void fnDatePart(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const Part part = datePart(arg(argv, 0));
        const QVariant v = arg(argv, 1);
        if (v.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        sqlite3_result_int64(ctx, partValue(part, dateArg(v)));
    });
}

void fnDateName(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const Part part = datePart(arg(argv, 0));
        const QVariant v = arg(argv, 1);
        if (v.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        const QDateTime d = dateArg(v);
        const QLocale polish(QLocale::Polish, QLocale::Poland);
        if (part == Part::Month)
            setResult(ctx, polish.standaloneMonthName(d.date().month()));
        else if (part == Part::Weekday)
            setResult(ctx, polish.dayName(d.date().dayOfWeek()));
        else
            setResult(ctx, QString::number(partValue(part, d)));
    });
}

void fnEoMonth(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const QVariant v = arg(argv, 0);
        if (v.isNull()) {
            sqlite3_result_null(ctx);
            return;
        }
        QDate d = dateArg(v).date();
        if (argc > 1)
            d = d.addMonths(sqlite3_value_int(argv[1]));
        setResult(ctx, tsql::DateText(QDate(d.year(), d.month(), d.daysInMonth())));
    });
}

void fnLeftRight(sqlite3_context *ctx, sqlite3_value **argv, bool left) {
    const QVariant v = arg(argv, 0), nv = arg(argv, 1);
    if (v.isNull() || nv.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    qint64 n = 0;
    try {
        n = tsql::IntegerArgument(nv, tsql::Type::BigInt);
    } catch (const tsql::Error &e) {
        setError(ctx, e);
        return;
    }
    if (n < 0) {
        setError(ctx, tsql::Error(
                          536, QStringLiteral("Do funkcji %1 przekazano nieprawidłowy parametr "
                                              "długości.")
                                   .arg(left ? QStringLiteral("LEFT") : QStringLiteral("RIGHT"))));
        return;
    }
    const QString s = textOf(v);
    setResult(ctx, left ? s.left(n) : s.right(n));
}
void fnLeft(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnLeftRight(ctx, argv, true);
}
void fnRight(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnLeftRight(ctx, argv, false);
}

void fnCharIndex(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    const QVariant sub = arg(argv, 0), s = arg(argv, 1);
    if (sub.isNull() || s.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    const qint64 start = argc > 2 ? std::max<qint64>(1, sqlite3_value_int64(argv[2])) : 1;
    sqlite3_result_int64(ctx, textOf(s).indexOf(textOf(sub), start - 1, Qt::CaseInsensitive) + 1);
}

void fnConcat(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    QString s;
    for (int i = 0; i < argc; ++i) {
        const QVariant v = arg(argv, i);
        if (!v.isNull())
            s += textOf(v);
    }
    setResult(ctx, s);
}

void fnCase(sqlite3_context *ctx, sqlite3_value **argv, bool upper) {
    const QVariant v = arg(argv, 0);
    if (v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    setResult(ctx, upper ? textOf(v).toUpper() : textOf(v).toLower());
}
void fnUpper(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnCase(ctx, argv, true);
}
void fnLower(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnCase(ctx, argv, false);
}

void fnReplicate(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const QVariant v = arg(argv, 0), nv = arg(argv, 1);
        const qint64 n = nv.isNull() ? -1 : tsql::IntegerArgument(nv, tsql::Type::BigInt);
        if (v.isNull() || n < 0) {
            sqlite3_result_null(ctx);
            return;
        }
        setResult(ctx, textOf(v).repeated(std::min<qint64>(n, 8000)));
    });
}

void fnSpace(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const QVariant nv = arg(argv, 0);
        const qint64 n = nv.isNull() ? -1 : tsql::IntegerArgument(nv, tsql::Type::BigInt);
        if (n < 0) {
            sqlite3_result_null(ctx);
            return;
        }
        setResult(ctx,
                  QString(static_cast<qsizetype>(std::min<qint64>(n, 8000)), QLatin1Char(' ')));
    });
}

void fnRounding(sqlite3_context *ctx, sqlite3_value **argv, bool up) {
    const int t = sqlite3_value_type(argv[0]);
    if (t == SQLITE_NULL) {
        sqlite3_result_null(ctx);
    } else if (t == SQLITE_INTEGER) {
        sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    } else {
        const double d = sqlite3_value_double(argv[0]);
        sqlite3_result_double(ctx, up ? std::ceil(d) : std::floor(d));
    }
}
void fnCeiling(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnRounding(ctx, argv, true);
}
void fnFloor(sqlite3_context *ctx, int, sqlite3_value **argv) {
    fnRounding(ctx, argv, false);
}

void fnNewId(sqlite3_context *ctx, int, sqlite3_value **) {
    setResult(ctx, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

void fnConvert(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const tsql::Type type = tsql::ParseType(arg(argv, 0).toString());
        const int style = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL
                              ? sqlite3_value_int(argv[2])
                              : -1;
        setResult(ctx, tsql::Convert(type, arg(argv, 1), 30, style));
    });
}

// T-SQL's "+", decided by the operands' types as the server decides it: a text with a text joins
// them; a number with a number adds them (a bigint sum that overflows is an error, never a
// float); a text with a number converts the text to the number's type, and a text that is no
// number fails with the server's conversion error. A date-time in the engine's own text with a
// number adds days, as DATETIME + n does. NULL with anything is NULL.
void fnAdd(sqlite3_context *ctx, int, sqlite3_value **argv) {
    guarded(ctx, [&] {
        const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
        if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
        const bool textA = ta == SQLITE_TEXT || ta == SQLITE_BLOB;
        const bool textB = tb == SQLITE_TEXT || tb == SQLITE_BLOB;
        if (textA && textB) {
            const QByteArray joined =
                QByteArray(static_cast<const char *>(sqlite3_value_blob(argv[0])),
                           sqlite3_value_bytes(argv[0])) +
                QByteArray(static_cast<const char *>(sqlite3_value_blob(argv[1])),
                           sqlite3_value_bytes(argv[1]));
            if (ta == SQLITE_BLOB && tb == SQLITE_BLOB)
                sqlite3_result_blob64(ctx, joined.constData(),
                                      static_cast<sqlite3_uint64>(joined.size()), SQLITE_TRANSIENT);
            else
                sqlite3_result_text64(ctx, joined.constData(),
                                      static_cast<sqlite3_uint64>(joined.size()), SQLITE_TRANSIENT,
                                      SQLITE_UTF8);
            return;
        }
        QVariant a = arg(argv, 0), b = arg(argv, 1);
        if (textA || textB) {
            QVariant &text = textA ? a : b;
            const QVariant &number = textA ? b : a;
            const QString s = text.toString();
            if (const auto when = tsql::ParseDateTime(s);
                when && s.size() >= 10 && s[4] == u'-' && s[7] == u'-') {
                const double days = number.toDouble();
                const qint64 ms = static_cast<qint64>(std::llround(days * 86400000.0));
                setResult(ctx, tsql::DateTimeText(when->addMSecs(ms)));
                return;
            }
            tsql::Type type;
            if (number.typeId() == QMetaType::Double) {
                type.base = tsql::Type::Float;
            } else {
                const qint64 n = number.toLongLong();
                type.base = n >= std::numeric_limits<qint32>::min() &&
                                    n <= std::numeric_limits<qint32>::max()
                                ? tsql::Type::Int
                                : tsql::Type::BigInt;
            }
            // A text of blanks alone is zero to the server.
            text = s.trimmed().isEmpty() ? QVariant(qint64(0)) : tsql::Convert(type, text);
        }
        if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double) {
            sqlite3_result_double(ctx, a.toDouble() + b.toDouble());
            return;
        }
        qint64 sum = 0;
        if (__builtin_add_overflow(a.toLongLong(), b.toLongLong(), &sum))
            throw tsql::Error(8115, QStringLiteral("Błąd przepełnienia arytmetycznego podczas "
                                                   "konwersji wyrażenia na typ danych bigint."));
        sqlite3_result_int64(ctx, sum);
    });
}

using Fn = void (*)(sqlite3_context *, int, sqlite3_value **);

} // namespace

QVariant FromValue(sqlite3_value *value) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qint64>(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                          sqlite3_value_bytes(value)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_value_blob(value)),
                                   sqlite3_value_bytes(value)));
    default:
        return {};
    }
}

QVariant ColumnValue(sqlite3_stmt *stmt, int column) {
    return FromValue(sqlite3_column_value(stmt, column));
}

std::optional<tsql::Error> TakeFunctionError() {
    std::optional<tsql::Error> e;
    e.swap(g_functionError);
    return e;
}

void Register(sqlite3 *db, Context *context) {
    struct Def {
        const char *name;
        int args;
        Fn fn;
        bool deterministic;
    };
    static const Def defs[] = {
        {"tsql_isnull", 2, fnIsNull, true},
        {"tsql_add", 2, fnAdd, true},
        {"getdate", 0, fnGetDate, false},
        {"sysdatetime", 0, fnGetDate, false},
        {"len", 1, fnLen, true},
        {"db_name", 0, fnDbName, false},
        {"db_name", 1, fnDbName, false},
        {"year", 1, fnYear, true},
        {"month", 1, fnMonth, true},
        {"day", 1, fnDay, true},
        {"dateadd", 3, fnDateAdd, true},
        {"datediff", 3, fnDateDiff, true},
        {"datepart", 2, fnDatePart, true},
        {"datename", 2, fnDateName, true},
        {"eomonth", 1, fnEoMonth, true},
        {"eomonth", 2, fnEoMonth, true},
        {"tsql_left", 2, fnLeft, true},
        {"tsql_right", 2, fnRight, true},
        {"charindex", 2, fnCharIndex, true},
        {"charindex", 3, fnCharIndex, true},
        {"concat", -1, fnConcat, true},
        {"upper", 1, fnUpper, true},
        {"lower", 1, fnLower, true},
        {"replicate", 2, fnReplicate, true},
        {"space", 1, fnSpace, true},
        {"ceiling", 1, fnCeiling, true},
        {"floor", 1, fnFloor, true},
        {"newid", 0, fnNewId, false},
        {"tsql_convert", 2, fnConvert, true},
        {"tsql_convert", 3, fnConvert, true},
    };
    for (const Def &d : defs)
        sqlite3_create_function_v2(db, d.name, d.args,
                                   SQLITE_UTF8 | (d.deterministic ? SQLITE_DETERMINISTIC : 0),
                                   context, d.fn, nullptr, nullptr, nullptr);
    // The server's text order and LIKE.
    sqlitecoll::Register(db);
}

} // namespace sqlitefn
