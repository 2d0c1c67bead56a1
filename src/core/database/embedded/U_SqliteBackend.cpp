#include "U_SqliteBackend.h"

#include "U_SqliteCollation.h"
#include "U_SqliteFunctions.h"
#include "U_TSql.h"
#include "U_utils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <unistd.h>
#include <utility>

namespace {

using tsql::Error;
using tsql::Statement;
using tsql::Token;

// The provider code of errors in a command, and the source named in the engine's messages.
constexpr std::uint32_t kErrInCommand = 0x80040E14;
const QString kSource = QStringLiteral("Orvel-Zestawnik SQLite");

const QString kDatabaseListQuery = QStringLiteral(
    "SELECT dbid,DB_NAME(dbid) AS DB_NAME From master..sysdatabases WHERE (Name<>'master' AND "
    "Name<>'model' AND Name<>'tempdb' AND Name<>'msdb') ORDER BY Name");

const QStringList kSystemDatabases = {QStringLiteral("master"), QStringLiteral("model"),
                                      QStringLiteral("tempdb"), QStringLiteral("msdb")};

Error unsupported(const QString &what) {
    return Error(
        40001, QStringLiteral("%1 nie jest obsługiwane przez wbudowany silnik SQLite.").arg(what));
}

Error syntaxNear(const QString &near) {
    return Error(102, QStringLiteral("Niepoprawna składnia w pobliżu '%1'.").arg(near), 15);
}

// What a failed SQLite call leaves behind, for the texts that name the statement or the key.
struct EngineFailure {
    QString sql;          // the text given to SQLite
    int extendedCode = 0; // sqlite3_extended_errcode()
    QString database;     // the database's name: its file's base name
};

// The significant tokens of the failed text; none when it does not split (it always should).
std::vector<Token> tokensOf(const QString &sql) {
    std::vector<Token> out;
    try {
        for (const Token &t : tsql::Tokenize(sql))
            if (t.significant())
                out.push_back(t);
    } catch (const Error &) {
    }
    return out;
}

// The statement that changed data ("INSERT", "UPDATE", "DELETE"), as the server names it in
// constraint messages; a SELECT ... INTO inserts.
QString changingStatement(const QString &sql) {
    for (const Token &t : tokensOf(sql))
        if (t.is("INSERT") || t.is("UPDATE") || t.is("DELETE"))
            return t.keyword();
    return QStringLiteral("INSERT");
}

// "T.a" → "a": the server names a column without its table.
QString lastPart(const QString &name) {
    return name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
}

// "main.T", "temp.#t" → "T", "#t": the engine's schema names mean nothing to the user.
QString objectName(const QString &name) {
    for (const char *schema : {"main.", "temp."})
        if (name.startsWith(QLatin1String(schema), Qt::CaseInsensitive))
            return name.mid(qsizetype(std::strlen(schema)));
    return name;
}

using Match = QRegularExpressionMatch;

// SQLite's failures as SQL Server reports them: the engine's message (anchored pattern), the
// server's number and class, and its text built from the message's parts.
struct EngineErrorRule {
    const char *pattern;
    int number;
    int severity;
    QString (*text)(const Match &m, const EngineFailure &f);
};

const EngineErrorRule kEngineErrors[] = {
    {R"re(no such table: (.+))re", 208, 16,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("Nieprawidłowa nazwa obiektu '%1'.").arg(objectName(m.captured(1)));
     }},
    {R"re(no such column: (.+))re", 207, 16,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("Nieprawidłowa nazwa kolumny '%1'.").arg(lastPart(m.captured(1)));
     }},
    {R"re(ambiguous column name: (.+))re", 209, 16,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("Niejednoznaczna nazwa kolumny '%1'.").arg(lastPart(m.captured(1)));
     }},
    {R"re(near "(.*)": syntax error|unrecognized token: "(.*)")re", 102, 15,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("Niepoprawna składnia w pobliżu '%1'.")
             .arg(m.captured(1) + m.captured(2));
     }},
    // The text ended too early: the server points at its last token.
    {R"re(incomplete input)re", 102, 15,
     [](const Match &, const EngineFailure &f) {
         const std::vector<Token> t = tokensOf(f.sql);
         return QStringLiteral("Niepoprawna składnia w pobliżu '%1'.")
             .arg(t.empty() ? QString() : t.back().text);
     }},
    {R"re(UNIQUE constraint failed: (([^.]+)\..+))re", 2627, 14,
     [](const Match &m, const EngineFailure &f) {
         QStringList columns = m.captured(1).split(QStringLiteral(", "));
         for (QString &c : columns)
             c = lastPart(c);
         return QStringLiteral("Naruszenie ograniczenia %1. Nie można wstawić zduplikowanego "
                               "klucza w obiekcie '%2'. Kolumny klucza: (%3).")
             .arg(f.extendedCode == SQLITE_CONSTRAINT_PRIMARYKEY ? QStringLiteral("PRIMARY KEY")
                                                                 : QStringLiteral("UNIQUE KEY"),
                  objectName(m.captured(2)), columns.join(QStringLiteral(", ")));
     }},
    {R"re(NOT NULL constraint failed: ([^.]+)\.(.+))re", 515, 16,
     [](const Match &m, const EngineFailure &f) {
         return QStringLiteral("Nie można wstawić wartości NULL do kolumny '%1', tabela '%2'; "
                               "kolumna nie dopuszcza wartości NULL. Instrukcja %3 nie "
                               "powiodła się.")
             .arg(m.captured(2), objectName(m.captured(1)), changingStatement(f.sql));
     }},
    {R"re(CHECK constraint failed: (.+))re", 547, 16,
     [](const Match &m, const EngineFailure &f) {
         return QStringLiteral("Instrukcja %1 spowodowała konflikt z ograniczeniem CHECK \"%2\".")
             .arg(changingStatement(f.sql), m.captured(1));
     }},
    // Deleting a referenced row breaks the reference; adding or changing a row, the foreign key.
    {R"re(FOREIGN KEY constraint failed)re", 547, 16,
     [](const Match &, const EngineFailure &f) {
         const QString statement = changingStatement(f.sql);
         return QStringLiteral("Instrukcja %1 spowodowała konflikt z ograniczeniem %2.")
             .arg(statement, statement == QLatin1String("DELETE") ? QStringLiteral("REFERENCE")
                                                                  : QStringLiteral("FOREIGN KEY"));
     }},
    {R"re(attempt to write a readonly database)re", 3906, 16,
     [](const Match &, const EngineFailure &f) {
         return QStringLiteral("Nie można zaktualizować bazy danych \"%1\", ponieważ baza danych "
                               "jest tylko do odczytu.")
             .arg(f.database);
     }},
    {R"re(no such function: (.+))re", 195, 15,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("'%1' nie jest rozpoznawaną nazwą funkcji wbudowanej.")
             .arg(m.captured(1));
     }},
    {R"re((?:table|view|index|trigger) (.+) already exists)re", 2714, 16,
     [](const Match &m, const EngineFailure &) {
         return QStringLiteral("W bazie danych istnieje już obiekt o nazwie '%1'.")
             .arg(objectName(m.captured(1)));
     }},
    {R"re(table .+ has \d+ columns but \d+ values were supplied)re", 213, 16,
     [](const Match &, const EngineFailure &) {
         return QStringLiteral(
             "Nazwa kolumny lub liczba podanych wartości nie odpowiada definicji tabeli.");
     }},
    {R"re(SELECTs to the left and right of .+ do not have the same number of result columns)re",
     205, 16,
     [](const Match &, const EngineFailure &) {
         return QStringLiteral("Wszystkie zapytania połączone za pomocą operatora UNION, "
                               "INTERSECT lub EXCEPT muszą mieć taką samą liczbę wyrażeń na "
                               "listach docelowych.");
     }},
    {R"re(sub-select returns \d+ columns - expected 1)re", 116, 16,
     [](const Match &, const EngineFailure &) {
         return QStringLiteral("Gdy podzapytanie nie jest wprowadzone za pomocą operatora EXISTS, "
                               "na liście wyboru można określić tylko jedno wyrażenie.");
     }},
};

// A database in a folder the user cannot write to (the installed demo data) is opened read-only:
// its journal could not be made there, so a write must fail at once with the server's own
// read-only error rather than half-way through.
bool CanWriteDatabase(const QString &path) {
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(file.constData(), W_OK) == 0 && ::access(folder.constData(), W_OK) == 0;
}

// The number of engine failures the table does not know; their text stays the engine's own.
constexpr int kGeneralEngineError = 50000;

// A failed SQLite call in the server's shape. sql: the text the call was given.
Error sqliteError(sqlite3 *db, int rc, const QString &sql) {
    // A registered function raised its own T-SQL error; SQLite only carried it.
    if (std::optional<Error> fn = sqlitefn::TakeFunctionError())
        return *fn;
    if (rc == SQLITE_INTERRUPT)
        return Error(-2, QStringLiteral("Upłynął limit czasu wykonania zapytania."));
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> list;
        for (const EngineErrorRule &rule : kEngineErrors)
            list.emplace_back(QRegularExpression::anchoredPattern(QString::fromUtf8(rule.pattern)));
        return list;
    }();
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    const char *file = sqlite3_db_filename(db, "main");
    const EngineFailure failure{sql, sqlite3_extended_errcode(db),
                                QFileInfo(QString::fromUtf8(file ? file : "")).completeBaseName()};
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const Match m = patterns[i].match(text);
        if (m.hasMatch())
            return Error(kEngineErrors[i].number, kEngineErrors[i].text(m, failure),
                         kEngineErrors[i].severity);
    }
    return Error(kGeneralEngineError, text);
}

bool isDigits(const char *s, int n) {
    for (int i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}
int digits(const char *s, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

// The engine's date texts ("YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]", "T" allowed) as
// milliseconds since 1970-01-01, without allocation (results of a million rows pass here).
bool parseStoredDateTime(const char *s, int n, std::int64_t &msecs, bool &hasTime) {
    if (n < 10 || !isDigits(s, 4) || s[4] != '-' || !isDigits(s + 5, 2) || s[7] != '-' ||
        !isDigits(s + 8, 2))
        return false;
    const QDate date(digits(s, 4), digits(s + 5, 2), digits(s + 8, 2));
    if (!date.isValid())
        return false;
    int h = 0, mi = 0, sec = 0, ms = 0;
    hasTime = false;
    if (n > 10) {
        if ((s[10] != ' ' && s[10] != 'T') || n < 16 || !isDigits(s + 11, 2) || s[13] != ':' ||
            !isDigits(s + 14, 2))
            return false;
        h = digits(s + 11, 2);
        mi = digits(s + 14, 2);
        int p = 16;
        if (n > p) {
            if (s[p] != ':' || n < p + 3 || !isDigits(s + p + 1, 2))
                return false;
            sec = digits(s + p + 1, 2);
            p += 3;
            if (n > p) {
                if (s[p] != '.' || n == p + 1 || !isDigits(s + p + 1, n - p - 1))
                    return false;
                const int len = std::min(3, n - p - 1);
                ms = digits(s + p + 1, len);
                for (int k = len; k < 3; ++k)
                    ms *= 10;
            }
        }
        if (h > 23 || mi > 59 || sec > 59)
            return false;
        hasTime = true;
    }
    msecs = QDate(1970, 1, 1).daysTo(date) * 86400000LL + ((h * 60 + mi) * 60 + sec) * 1000LL + ms;
    return true;
}

bool parseStoredTime(const char *s, int n, std::int64_t &msecs) {
    const QTime t =
        QTime::fromString(QString::fromLatin1(s, n),
                          n > 8 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
    if (!t.isValid())
        return false;
    msecs = t.msecsSinceStartOfDay();
    return true;
}

// The text of any stored value, for a column that had to become text.
QString canonicalText(const DbColumn &c, std::size_t row) {
    const TFieldType t = c.Info().Type;
    switch (t) {
    case TFieldType::ftDate:
        return tsql::DateText(c.DateTime(row).date());
    case TFieldType::ftDateTime:
        return tsql::DateTimeText(c.DateTime(row));
    case TFieldType::ftTime:
        return tsql::TimeText(c.DateTime(row).time());
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
        return QString::number(c.Real(row), 'g', QLocale::FloatingPointShortest);
    default:
        break;
    }
    if (DbColumn::SameStorage(t, TFieldType::ftInteger))
        return QString::number(c.Int(row));
    return c.Text(row).toString();
}

// The digits of v to `scale` places, as QString::number(v, 'f', scale) writes them (an exact half
// rounded away from zero, negative zero as "0"), into `buffer`, without a string per cell; the
// length, or 0 when the buffer is too small.
int fixedDecimal(double v, int scale, char *buffer, int size) {
    if (size < 2)
        return 0;
    // Halfway exactly when v * 2^(scale+1) is an odd whole number: the digits to scale + 1
    // places are then exact and end in 5.
    const double w = std::ldexp(v, scale + 1);
    const bool half = std::isfinite(w) && w == std::trunc(w) && std::fmod(w, 2.0) != 0;
    if (!half) {
        const auto result =
            std::to_chars(buffer, buffer + size, v, std::chars_format::fixed, scale);
        if (result.ec != std::errc())
            return 0;
        int n = static_cast<int>(result.ptr - buffer);
        if (v == 0 && buffer[0] == '-') {
            std::memmove(buffer, buffer + 1, static_cast<std::size_t>(n - 1));
            --n;
        }
        return n;
    }
    // One place more (room kept for a carry into a new first digit), then the 5 dropped and the
    // rest rounded up in magnitude.
    char *digits = buffer + 1;
    const auto result =
        std::to_chars(digits, buffer + size, v, std::chars_format::fixed, scale + 1);
    if (result.ec != std::errc())
        return 0;
    int n = static_cast<int>(result.ptr - digits) - (scale == 0 ? 2 : 1);
    int i = n - 1;
    for (; i >= 0 && digits[i] != '-'; --i) {
        if (digits[i] == '.')
            continue;
        if (digits[i] != '9') {
            ++digits[i];
            break;
        }
        digits[i] = '0';
    }
    if (i < 0 || digits[i] == '-') { // carried past the first digit
        const int at = i + 1;
        std::memmove(digits + at + 1, digits + at, static_cast<std::size_t>(n - at));
        digits[at] = '1';
        ++n;
    }
    std::memmove(buffer, digits, static_cast<std::size_t>(n));
    return n;
}

QString decimalText(double v, int scale) {
    if (scale >= 0)
        return QString::number(v, 'f', scale);
    QString s = QString::number(v, 'f', 15);
    while (s.contains(QLatin1Char('.')) &&
           (s.endsWith(QLatin1Char('0')) || s.endsWith(QLatin1Char('.'))))
        s.chop(1);
    return s;
}

bool isDecimalText(QStringView s) {
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    qsizetype i = (s[0] == QLatin1Char('-') || s[0] == QLatin1Char('+')) ? 1 : 0;
    bool digit = false, dot = false;
    for (; i < s.size(); ++i) {
        if (s[i].isDigit())
            digit = true;
        else if (s[i] == QLatin1Char('.') && !dot)
            dot = true;
        else
            return false;
    }
    return digit;
}

// One column of a result being read from SQLite. A declared column type decides the field kind;
// a value the type cannot hold turns the column into text rather than losing the value.
// Columns without a declared type (expressions) are kinded by their values at the end.
class ColumnBuilder {
public:
    ColumnBuilder(const QString &name, const char *declType) {
        FInfo.Name = name;
        FDeclared = declType && *declType && mapDeclared(QString::fromUtf8(declType));
        if (FDeclared)
            FColumn = std::make_unique<DbColumn>(FInfo);
    }

    void Add(sqlite3_stmt *stmt, int i) {
        const int type = sqlite3_column_type(stmt, i);
        if (!FDeclared) {
            FValues.push_back(sqlitefn::ColumnValue(stmt, i));
            return;
        }
        if (type == SQLITE_NULL) {
            FColumn->AppendNull();
            return;
        }
        const TFieldType ft = FColumn->Info().Type;
        switch (FieldKindOf(ft)) {
        case TFieldKind::fkNumeric:
            addNumeric(stmt, i, type, ft);
            return;
        case TFieldKind::fkBoolean:
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                FColumn->AppendInt(sqlite3_column_double(stmt, i) != 0 ? 1 : 0);
                return;
            }
            break;
        case TFieldKind::fkDateTime:
            if (type == SQLITE_TEXT) {
                const char *s = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
                const int n = sqlite3_column_bytes(stmt, i);
                std::int64_t ms = 0;
                bool hasTime = false;
                if (ft == TFieldType::ftTime ? parseStoredTime(s, n, ms)
                                             : parseStoredDateTime(s, n, ms, hasTime)) {
                    FColumn->AppendInt(ms);
                    return;
                }
            }
            break;
        default:
            appendText(stmt, i, type);
            return;
        }
        demoteToText();
        appendText(stmt, i, type);
    }

    // The column's type is known: declared, or given by a value that is not NULL.
    bool Typed() const {
        return FDeclared || std::any_of(FValues.begin(), FValues.end(),
                                        [](const QVariant &v) { return !v.isNull(); });
    }

    // The rows added so far, as Finish gives them, leaving the builder without rows: a column
    // without a declared type keeps the type its first block of values gave it (unless that
    // block held NULLs only), so that the blocks of one result agree as far as the values allow.
    DbColumn TakeBlock() {
        DbColumn block = Finish();
        bool onlyNulls = true;
        for (std::size_t r = 0; r < block.Size() && onlyNulls; ++r)
            onlyNulls = block.IsNull(r);
        if (FDeclared || !onlyNulls) {
            FDeclared = true;
            FInfo = block.Info();
            FColumn = std::make_unique<DbColumn>(FInfo);
        }
        FValues.clear();
        return block;
    }

    DbColumn Finish() {
        if (FDeclared) {
            if (FColumn->Info().Type == TFieldType::ftInteger &&
                (FMin < INT32_MIN || FMax > INT32_MAX)) {
                DbColumnInfo info = FColumn->Info();
                info.Type = TFieldType::ftLargeint;
                FColumn->SetInfo(info);
            }
            return std::move(*FColumn);
        }
        return finishByValues();
    }

private:
    bool mapDeclared(const QString &decl) {
        const QString d = decl.toUpper().simplified();
        const qsizetype paren = d.indexOf(QLatin1Char('('));
        const QString base = (paren < 0 ? d : d.left(paren)).trimmed();
        QList<int> args;
        if (paren >= 0) {
            const QString inside = d.mid(paren + 1).section(QLatin1Char(')'), 0, 0);
            for (const QString &a : inside.split(QLatin1Char(',')))
                args << a.trimmed().toInt();
        }
        auto &t = FInfo.Type;
        if (base == QLatin1String("BIGINT"))
            t = TFieldType::ftLargeint;
        else if (base == QLatin1String("SMALLINT"))
            t = TFieldType::ftSmallint;
        else if (base == QLatin1String("TINYINT"))
            t = TFieldType::ftWord;
        else if (base == QLatin1String("BIT") || base.startsWith(QLatin1String("BOOL")))
            t = TFieldType::ftBoolean;
        else if (base.contains(QLatin1String("INT")))
            t = TFieldType::ftInteger;
        else if (base == QLatin1String("DECIMAL") || base == QLatin1String("NUMERIC") ||
                 base == QLatin1String("DEC")) {
            t = TFieldType::ftBCD;
            FInfo.Precision = args.value(0, 18);
            FInfo.Scale = args.size() > 1 ? args[1] : (args.isEmpty() ? -1 : 0);
        } else if (base == QLatin1String("MONEY") || base == QLatin1String("SMALLMONEY")) {
            t = TFieldType::ftCurrency;
            FInfo.Precision = 19;
            FInfo.Scale = 4;
        } else if (base == QLatin1String("REAL") || base.startsWith(QLatin1String("FLOA")) ||
                   base.startsWith(QLatin1String("DOUB")))
            t = TFieldType::ftFloat;
        else if (base.startsWith(QLatin1String("DATETIME")) ||
                 base == QLatin1String("SMALLDATETIME") || base == QLatin1String("TIMESTAMP"))
            t = TFieldType::ftDateTime;
        else if (base == QLatin1String("DATE"))
            t = TFieldType::ftDate;
        else if (base == QLatin1String("TIME"))
            t = TFieldType::ftTime;
        else if (base == QLatin1String("UNIQUEIDENTIFIER"))
            t = TFieldType::ftGuid;
        else if (base == QLatin1String("CHAR") || base == QLatin1String("NCHAR"))
            t = TFieldType::ftFixedChar;
        else if (base == QLatin1String("VARCHAR"))
            t = TFieldType::ftString;
        else if (base == QLatin1String("NVARCHAR") || base == QLatin1String("TEXT") ||
                 base == QLatin1String("NTEXT") || base == QLatin1String("CLOB") ||
                 base.startsWith(QLatin1String("CHARACTER")) || base == QLatin1String("SYSNAME"))
            t = TFieldType::ftWideString;
        else if (base == QLatin1String("BLOB") || base.contains(QLatin1String("BINARY")) ||
                 base == QLatin1String("IMAGE"))
            t = TFieldType::ftBlob;
        else
            return false; // "NUM" (CREATE TABLE ... AS), "ANY", unknown names: kind by values
        if (FieldKindOf(t) == TFieldKind::fkText && !args.isEmpty())
            FInfo.Size = args[0];
        return true;
    }

    void addNumeric(sqlite3_stmt *stmt, int i, int type, TFieldType ft) {
        if (ft == TFieldType::ftBCD) {
            if (type == SQLITE_INTEGER && FInfo.Scale <= 100) {
                // The whole number, and as many zero decimals as the scale asks.
                char digits[128];
                char *end = std::to_chars(digits, digits + 24, sqlite3_column_int64(stmt, i)).ptr;
                const int zeros = FInfo.Scale;
                if (zeros > 0) {
                    *end++ = '.';
                    end = std::fill_n(end, zeros, '0');
                }
                FColumn->AppendAscii(std::string_view(digits, std::size_t(end - digits)));
                return;
            }
            if (type == SQLITE_INTEGER) {
                QString s = QString::number(sqlite3_column_int64(stmt, i));
                s += QLatin1Char('.') + QString(FInfo.Scale, QLatin1Char('0'));
                FColumn->AppendText(s);
                return;
            }
            if (type == SQLITE_FLOAT) {
                const double v = sqlite3_column_double(stmt, i);
                char digits[400];
                const int n = FInfo.Scale >= 0 && FInfo.Scale <= 60
                                  ? fixedDecimal(v, FInfo.Scale, digits, sizeof digits)
                                  : 0;
                if (n > 0)
                    FColumn->AppendAscii(std::string_view(digits, static_cast<std::size_t>(n)));
                else
                    FColumn->AppendText(decimalText(v, FInfo.Scale));
                return;
            }
            const QString s = sqlitefn::ColumnValue(stmt, i).toString();
            if (type == SQLITE_TEXT && isDecimalText(s)) {
                FColumn->AppendText(s.trimmed());
                return;
            }
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        if (ft == TFieldType::ftFloat || ft == TFieldType::ftCurrency) {
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                FColumn->AppendReal(sqlite3_column_double(stmt, i));
                return;
            }
            bool ok = false;
            const double d = sqlitefn::ColumnValue(stmt, i).toString().trimmed().toDouble(&ok);
            if (type == SQLITE_TEXT && ok) {
                FColumn->AppendReal(d);
                return;
            }
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        // Integers.
        qint64 v = 0;
        bool ok = type == SQLITE_INTEGER;
        if (ok) {
            v = sqlite3_column_int64(stmt, i);
        } else if (type == SQLITE_FLOAT) {
            const double d = sqlite3_column_double(stmt, i);
            ok = d == std::trunc(d) && std::fabs(d) < 9e18;
            v = static_cast<qint64>(d);
            if (!ok) {
                demoteToFloat();
                FColumn->AppendReal(d);
                return;
            }
        } else if (type == SQLITE_TEXT) {
            v = sqlitefn::ColumnValue(stmt, i).toString().trimmed().toLongLong(&ok);
        }
        if (!ok) {
            demoteToText();
            appendText(stmt, i, type);
            return;
        }
        FMin = std::min(FMin, v);
        FMax = std::max(FMax, v);
        FColumn->AppendInt(v);
    }

    void appendText(sqlite3_stmt *stmt, int i, int type) {
        if (type == SQLITE_NULL) {
            FColumn->AppendNull();
        } else if (type == SQLITE_INTEGER) {
            FColumn->AppendText(QString::number(sqlite3_column_int64(stmt, i)));
        } else if (type == SQLITE_FLOAT) {
            FColumn->AppendText(QString::number(sqlite3_column_double(stmt, i), 'g',
                                                QLocale::FloatingPointShortest));
        } else if (type == SQLITE_BLOB) {
            const QByteArray b(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                               sqlite3_column_bytes(stmt, i));
            FColumn->AppendText(QStringLiteral("0x") + QString::fromLatin1(b.toHex().toUpper()));
        } else {
            // Well-formed UTF-8 goes straight into the column; anything else is decoded by
            // the engine, as it always was.
            const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
            const int size = sqlite3_column_bytes(stmt, i);
            if (utf8 && FColumn->AppendUtf8(std::string_view(utf8, static_cast<std::size_t>(size))))
                return;
            const auto *s = static_cast<const char16_t *>(sqlite3_column_text16(stmt, i));
            const int bytes = sqlite3_column_bytes16(stmt, i);
            FColumn->AppendText(QStringView(s, bytes / 2));
        }
    }

    void rebuild(TFieldType type) {
        DbColumnInfo info = FColumn->Info();
        info.Type = type;
        if (DbColumn::SameStorage(type, FColumn->Info().Type) &&
            FieldKindOf(info.Type) == TFieldKind::fkText) {
            FColumn->SetInfo(info);
            return;
        }
        auto fresh = std::make_unique<DbColumn>(info);
        fresh->Reserve(FColumn->Size());
        for (std::size_t r = 0; r < FColumn->Size(); ++r) {
            if (FColumn->IsNull(r))
                fresh->AppendNull();
            else if (type == TFieldType::ftFloat)
                fresh->AppendReal(FColumn->Real(r));
            else
                fresh->AppendText(canonicalText(*FColumn, r));
        }
        FColumn = std::move(fresh);
    }
    void demoteToText() {
        if (FieldKindOf(FColumn->Info().Type) != TFieldKind::fkText)
            rebuild(TFieldType::ftWideString);
    }
    void demoteToFloat() { rebuild(TFieldType::ftFloat); }

    DbColumn finishByValues() {
        bool anyInt = false, anyReal = false, anyText = false, anyBlob = false;
        bool allDates = true, anyTime = false;
        qint64 lo = 0, hi = 0;
        for (const QVariant &v : FValues) {
            switch (v.typeId()) {
            case QMetaType::LongLong:
                lo = anyInt ? std::min(lo, v.toLongLong()) : v.toLongLong();
                hi = anyInt ? std::max(hi, v.toLongLong()) : v.toLongLong();
                anyInt = true;
                break;
            case QMetaType::Double:
                anyReal = true;
                break;
            case QMetaType::QString: {
                anyText = true;
                if (allDates) {
                    const QByteArray a = v.toString().toLatin1();
                    std::int64_t ms = 0;
                    bool hasTime = false;
                    allDates =
                        parseStoredDateTime(a.constData(), static_cast<int>(a.size()), ms, hasTime);
                    anyTime = anyTime || hasTime;
                }
                break;
            }
            case QMetaType::QByteArray:
                anyBlob = true;
                break;
            default:
                break;
            }
        }
        DbColumnInfo info = FInfo;
        if (anyBlob)
            info.Type = TFieldType::ftBytes;
        else if (anyText && !anyInt && !anyReal && allDates)
            info.Type = anyTime ? TFieldType::ftDateTime : TFieldType::ftDate;
        else if (anyText || (!anyInt && !anyReal))
            info.Type = TFieldType::ftWideString;
        else if (anyReal)
            info.Type = TFieldType::ftFloat;
        else
            info.Type =
                (lo < INT32_MIN || hi > INT32_MAX) ? TFieldType::ftLargeint : TFieldType::ftInteger;
        DbColumn column(info);
        column.Reserve(FValues.size());
        for (const QVariant &v : FValues) {
            if (v.isNull()) {
                column.AppendNull();
            } else if (info.Type == TFieldType::ftDate || info.Type == TFieldType::ftDateTime) {
                const QByteArray a = v.toString().toLatin1();
                std::int64_t ms = 0;
                bool hasTime = false;
                parseStoredDateTime(a.constData(), static_cast<int>(a.size()), ms, hasTime);
                column.AppendInt(ms);
            } else if (info.Type == TFieldType::ftBytes) {
                column.AppendText(v.typeId() == QMetaType::QByteArray
                                      ? QStringLiteral("0x") +
                                            QString::fromLatin1(v.toByteArray().toHex().toUpper())
                                      : v.toString());
            } else if (v.typeId() == QMetaType::Double && info.Type == TFieldType::ftWideString) {
                column.AppendText(
                    QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest));
            } else {
                column.AppendVariant(v);
            }
        }
        return column;
    }

    DbColumnInfo FInfo;
    bool FDeclared = false;
    std::unique_ptr<DbColumn> FColumn;
    std::vector<QVariant> FValues;
    qint64 FMin = 0, FMax = 0;
};

// The result columns of a SELECT whose type the engine knows although SQLite does not: an
// expression column has no declared type, so CAST(x AS NUMERIC(14,2)) would come back as a bare
// floating-point number. A column that is a whole CAST or CONVERT, directly or through a column
// of a derived table, keeps its T-SQL type (empty where unknown).
class CastColumnTypes {
public:
    explicit CastColumnTypes(const std::vector<Token> &tokens) {
        for (const Token &tok : tokens)
            if (tok.significant())
                FT.push_back(tok);
    }

    std::vector<QString> Types() const {
        std::vector<QString> types;
        for (std::size_t i = 0; i < FT.size(); ++i)
            if (FT[i].is("SELECT") && FT[i].depth == 0) {
                for (const Column &c : Select(i))
                    types.push_back(c.Type);
                break;
            }
        return types;
    }

private:
    struct Column {
        QString Name;
        QString Type;
    };

    bool EndsList(std::size_t k, int depth) const {
        static const char *const words[] = {"FROM",      "INTO",   "WHERE", "GROUP",
                                            "HAVING",    "ORDER",  "UNION", "EXCEPT",
                                            "INTERSECT", "OPTION", "FOR"};
        if (FT[k].depth != depth)
            return false;
        if (FT[k].isSymbol(")") || FT[k].isSymbol(";"))
            return true;
        for (const char *w : words)
            if (FT[k].is(w))
                return true;
        return false;
    }

    std::size_t Closing(std::size_t open) const {
        for (std::size_t k = open + 1; k < FT.size(); ++k)
            if (FT[k].isSymbol(")") && FT[k].depth == FT[open].depth)
                return k;
        return FT.size();
    }

    static bool IsName(const Token &t) {
        return t.kind == Token::Word || t.kind == Token::QuotedName;
    }

    // [AS] alias, or nothing, from a to b: the alias (or "" for nothing); false otherwise.
    bool Alias(std::size_t a, std::size_t b, QString &alias) const {
        if (a < b && FT[a].is("AS"))
            ++a;
        if (a == b)
            return true;
        if (a + 1 == b && (IsName(FT[a]) || FT[a].kind == Token::String)) {
            alias = FT[a].value();
            return true;
        }
        return false;
    }

    QString Text(std::size_t a, std::size_t b) const {
        QString text;
        for (std::size_t k = a; k < b; ++k)
            text += FT[k].text;
        return text;
    }

    // The columns of the SELECT at position select (the first of a UNION decides).
    std::vector<Column> Select(std::size_t select) const {
        const int depth = FT[select].depth;
        std::size_t k = select + 1;
        while (k < FT.size() && (FT[k].is("DISTINCT") || FT[k].is("ALL")))
            ++k;
        if (k < FT.size() && FT[k].is("TOP")) {
            ++k;
            if (k < FT.size() && FT[k].isSymbol("("))
                k = Closing(k);
            ++k;
            if (k < FT.size() && FT[k].is("PERCENT"))
                ++k;
            if (k + 1 < FT.size() && FT[k].is("WITH") && FT[k + 1].is("TIES"))
                k += 2;
        }
        // The items, split at the commas of this level.
        std::vector<std::pair<std::size_t, std::size_t>> items;
        std::size_t start = k;
        for (; k < FT.size() && !EndsList(k, depth); ++k) {
            if (FT[k].isSymbol(",") && FT[k].depth == depth) {
                items.emplace_back(start, k);
                start = k + 1;
            }
        }
        items.emplace_back(start, k);
        const std::vector<std::pair<QString, std::vector<Column>>> derived =
            k < FT.size() && FT[k].is("FROM")
                ? Derived(k + 1, depth)
                : std::vector<std::pair<QString, std::vector<Column>>>{};
        std::vector<Column> columns;
        for (const auto &[a, b] : items) {
            Column c;
            if (a >= b || FT[b - 1].isSymbol("*"))
                break; // the columns from here on are not known one by one
            QString alias;
            if ((FT[a].is("CAST") || FT[a].is("CONVERT")) && a + 1 < b && FT[a + 1].isSymbol("(")) {
                const std::size_t close = Closing(a + 1);
                if (close < b && Alias(close + 1, b, alias)) {
                    const int inner = FT[a + 1].depth;
                    if (FT[a].is("CAST")) {
                        for (std::size_t m = close; m > a + 1; --m)
                            if (FT[m - 1].is("AS") && FT[m - 1].depth == inner) {
                                c.Type = Text(m, close);
                                break;
                            }
                    } else {
                        std::size_t comma = a + 2;
                        while (comma < close &&
                               !(FT[comma].isSymbol(",") && FT[comma].depth == inner))
                            ++comma;
                        if (comma < close)
                            c.Type = Text(a + 2, comma);
                    }
                }
            } else if (IsName(FT[a])) {
                // A column of a derived table: [qualifier.]name [[AS] alias]
                QString qualifier, name = FT[a].value();
                std::size_t next = a + 1;
                if (next + 1 < b && FT[next].isSymbol(".") && IsName(FT[next + 1])) {
                    qualifier = name;
                    name = FT[next + 1].value();
                    next += 2;
                }
                if (Alias(next, b, alias)) {
                    c.Type = Lookup(derived, qualifier, name);
                    if (alias.isEmpty())
                        alias = name;
                }
            } else if (b - a >= 3 && FT[b - 2].is("AS")) {
                alias = FT[b - 1].value(); // expression AS alias
            }
            c.Name = alias;
            columns.push_back(c);
        }
        return columns;
    }

    // The derived tables "(SELECT ...) [AS] alias" of a FROM clause at a depth.
    std::vector<std::pair<QString, std::vector<Column>>> Derived(std::size_t k, int depth) const {
        std::vector<std::pair<QString, std::vector<Column>>> tables;
        for (; k < FT.size() && !(FT[k].depth == depth && EndsList(k, depth) && !FT[k].is("FROM"));
             ++k) {
            if (FT[k].isSymbol("(") && FT[k].depth == depth + 1 && k + 1 < FT.size() &&
                FT[k + 1].is("SELECT")) {
                const std::size_t close = Closing(k);
                std::size_t a = close + 1;
                if (a < FT.size() && FT[a].is("AS"))
                    ++a;
                if (a < FT.size() && IsName(FT[a]))
                    tables.emplace_back(FT[a].value(), Select(k + 1));
                k = close;
            }
        }
        return tables;
    }

    static QString Lookup(const std::vector<std::pair<QString, std::vector<Column>>> &derived,
                          const QString &qualifier, const QString &name) {
        QString found;
        int matches = 0;
        for (const auto &[alias, columns] : derived) {
            if (!qualifier.isEmpty() && alias.compare(qualifier, Qt::CaseInsensitive) != 0)
                continue;
            for (const Column &c : columns)
                if (c.Name.compare(name, Qt::CaseInsensitive) == 0) {
                    found = c.Type;
                    ++matches;
                    break;
                }
        }
        return matches == 1 ? found : QString();
    }

    std::vector<Token> FT;
};

// A prepared SQLite statement, finalized on every path.
class Prepared {
public:
    Prepared() = default;
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;
    Prepared(Prepared &&other) noexcept : FStmt(other.FStmt) { other.FStmt = nullptr; }
    ~Prepared() { sqlite3_finalize(FStmt); }
    sqlite3_stmt *get() const { return FStmt; }
    sqlite3_stmt **out() { return &FStmt; }

private:
    sqlite3_stmt *FStmt = nullptr;
};

struct Variable {
    QString name; // as declared, with "@"
    tsql::Type type;
    QVariant value;
};

QString quoteText(const QString &s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

std::vector<Token> significantOnly(const std::vector<Token> &tokens) {
    std::vector<Token> out;
    for (const Token &t : tokens)
        if (t.significant())
            out.push_back(t);
    return out;
}

// Rows read between two updates of the count of rows received.
constexpr qint64 kCountStep = 256;

} // namespace

// ---------------------------------------------------------------------------------------------
// One batch: its variables, its statements, its outcome.

class SqliteBackend::Batch {
public:
    Batch(SqliteBackend &backend, int timeoutSeconds, DbRowSink *sink)
        : FBackend(backend), FTimeout(timeoutSeconds), FSink(sink) {}

    DbBatchOutcome Run(const QString &sql, bool firstResultOnly) {
        DbBatchOutcome outcome;
        FOutcome = &outcome;
        int line = 1;
        watch();
        struct Unwatch {
            Batch *b;
            ~Unwatch() { b->unwatch(); }
        } unwatch{this};
        try {
            const std::vector<Statement> statements = tsql::SplitBatch(sql);
            for (const Statement &s : statements) {
                // The layer's own statements (DECLARE, SET, PRINT, USE) run no engine code that a
                // cancel could interrupt, so the request is also looked at between statements.
                if (FBackend.CancelRequested())
                    break;
                line = s.line;
                const bool hadRows = FHadRows;
                execute(s);
                if (firstResultOnly && !hadRows && FHadRows)
                    break;
            }
        } catch (const Error &e) {
            TOrvel_ProviderMessage m;
            m.Number = kErrInCommand;
            m.NativeError = static_cast<std::uint32_t>(e.Number);
            m.Source = kSource;
            m.Description = e.Text;
            m.Class = e.Severity;
            m.State = e.State;
            m.Line = e.Line ? e.Line : line;
            DbBatchItem item;
            item.kind = DbBatchItem::Kind::Message;
            item.message = m;
            outcome.Items.push_back(item);
            outcome.Failed = true;
            outcome.ErrorCode = kErrInCommand;
            outcome.ErrorMessage = e.Text;
        }
        return outcome;
    }

private:
    sqlite3 *db() const { return FBackend.FDb; }

    void message(const QString &text, int severity, int number, int state = 1) {
        TOrvel_ProviderMessage m;
        m.Number = severity > 10 ? kErrInCommand : 0;
        m.NativeError = static_cast<std::uint32_t>(number);
        m.Source = kSource;
        m.Description = text;
        m.Class = severity;
        m.State = state;
        DbBatchItem item;
        item.kind = DbBatchItem::Kind::Message;
        item.message = m;
        FOutcome->Items.push_back(item);
    }

    void execute(const Statement &s) {
        const std::vector<Token> t = significantOnly(s.tokens);
        const QString kw = s.keyword();
        if (t.empty())
            return;
        if (tsql::Join(s.tokens).simplified().compare(kDatabaseListQuery, Qt::CaseInsensitive) ==
            0) {
            databaseList();
            return;
        }
        if (kw == QLatin1String("DECLARE"))
            declare(t);
        else if (kw == QLatin1String("SET"))
            set(t);
        else if (kw == QLatin1String("PRINT"))
            message(textOf(evaluate(t, 1, t.size())), 0, 0);
        else if (kw == QLatin1String("RAISERROR"))
            raiserror(t);
        else if (kw == QLatin1String("THROW"))
            throwStatement(t);
        else if (kw == QLatin1String("USE"))
            use(t);
        else if (kw == QLatin1String("GO"))
            throw syntaxNear(QStringLiteral("GO"));
        else if (kw == QLatin1String("BEGIN") || kw == QLatin1String("COMMIT") ||
                 kw == QLatin1String("ROLLBACK"))
            transaction(t);
        else if (kw == QLatin1String("TRUNCATE")) {
            if (t.size() < 3 || !t[1].is("TABLE"))
                throw syntaxNear(t.size() > 1 ? t[1].text : kw);
            runSql(QStringLiteral("DELETE FROM ") + rewrite(t, 2, t.size()));
        } else if (kw == QLatin1String("IF") || kw == QLatin1String("WHILE") ||
                   kw == QLatin1String("EXEC") || kw == QLatin1String("EXECUTE") ||
                   kw == QLatin1String("GOTO") || kw == QLatin1String("WAITFOR") ||
                   kw == QLatin1String("RETURN") || kw == QLatin1String("MERGE"))
            throw unsupported(QStringLiteral("Polecenie %1").arg(kw));
        else if (kw == QLatin1String("SELECT") && selectAssigns(t))
            selectAssign(t);
        else if (kw == QLatin1String("SELECT") && selectIntoAt(t) > 0)
            selectInto(t, selectIntoAt(t));
        else
            runSql(rewrite(t, 0, t.size()), CastColumnTypes(t).Types());
    }

    // --- variables -----------------------------------------------------------------------------

    Variable &variable(const QString &name) {
        auto it = FVariables.find(name.toLower());
        if (it == FVariables.end())
            throw Error(
                137, QStringLiteral("Należy zadeklarować zmienną skalarną \"%1\".").arg(name), 15);
        return it->second;
    }

    // The tokens of a type name from position i: a word and an optional "(...)".
    QString typeText(const std::vector<Token> &t, std::size_t &i) {
        if (i >= t.size() || t[i].kind != Token::Word)
            throw syntaxNear(i < t.size() ? t[i].text : QStringLiteral(""));
        QString text = t[i++].text;
        if (i < t.size() && t[i].is("PRECISION"))
            text += QLatin1Char(' ') + t[i++].text;
        if (i < t.size() && t[i].isSymbol("(")) {
            while (i < t.size() && !t[i].isSymbol(")"))
                text += t[i++].text;
            if (i >= t.size())
                throw syntaxNear(text);
            text += t[i++].text;
        }
        return text;
    }

    std::size_t topLevelEnd(const std::vector<Token> &t, std::size_t from, const char *symbol) {
        const int depth = from < t.size() ? t[from].depth : 0;
        for (std::size_t k = from; k < t.size(); ++k)
            if (t[k].isSymbol(symbol) && t[k].depth == depth)
                return k;
        return t.size();
    }

    void declare(const std::vector<Token> &t) {
        std::size_t i = 1;
        while (i < t.size()) {
            if (t[i].kind != Token::Variable)
                throw syntaxNear(t[i].text);
            const QString name = t[i++].text;
            if (FVariables.count(name.toLower()))
                throw Error(
                    134,
                    QStringLiteral("Nazwa zmiennej '%1' została już zadeklarowana. Nazwy zmiennych "
                                   "muszą być unikatowe w obrębie partii zapytania.")
                        .arg(name),
                    15);
            if (i < t.size() && t[i].is("AS"))
                ++i;
            Variable v;
            v.name = name;
            v.type = tsql::ParseType(typeText(t, i));
            if (i < t.size() && t[i].isSymbol("=")) {
                const std::size_t end = topLevelEnd(t, i + 1, ",");
                v.value = tsql::Convert(v.type, evaluate(t, i + 1, end));
                i = end;
            }
            FVariables[name.toLower()] = v;
            if (i < t.size()) {
                if (!t[i].isSymbol(","))
                    throw syntaxNear(t[i].text);
                ++i;
            }
        }
    }

    void set(const std::vector<Token> &t) {
        if (t.size() >= 2 && t[1].kind == Token::Word) {
            sessionOption(t);
            return;
        }
        if (t.size() < 4 || t[1].kind != Token::Variable)
            throw syntaxNear(t.size() > 1 ? t[1].text : QStringLiteral("SET"));
        Variable &v = variable(t[1].text);
        const QString op = t[2].text;
        QVariant value;
        if (op == QLatin1String("=")) {
            value = evaluate(t, 3, t.size());
        } else if (op.size() == 2 && op.endsWith(QLatin1Char('=')) &&
                   QStringLiteral("+-*/%").contains(op[0])) {
            // SET @a += x is SET @a = @a + (x): "+" as it is everywhere else.
            const QString right = rewrite(t, 3, t.size());
            value = evaluateText(op[0] == QLatin1Char('+')
                                     ? QStringLiteral("tsql_add(%1, (%2))").arg(v.name, right)
                                     : QStringLiteral("%1 %2 (%3)").arg(v.name, op.left(1), right));
        } else {
            throw syntaxNear(op);
        }
        v.value = tsql::Convert(v.type, value);
    }

    void sessionOption(const std::vector<Token> &t) {
        static const std::set<QString> ignored = {QStringLiteral("NOCOUNT"),
                                                  QStringLiteral("ANSI_NULLS"),
                                                  QStringLiteral("ANSI_WARNINGS"),
                                                  QStringLiteral("ANSI_PADDING"),
                                                  QStringLiteral("ARITHABORT"),
                                                  QStringLiteral("QUOTED_IDENTIFIER"),
                                                  QStringLiteral("CONCAT_NULL_YIELDS_NULL"),
                                                  QStringLiteral("XACT_ABORT"),
                                                  QStringLiteral("DATEFIRST"),
                                                  QStringLiteral("DATEFORMAT"),
                                                  QStringLiteral("LANGUAGE"),
                                                  QStringLiteral("LOCK_TIMEOUT"),
                                                  QStringLiteral("DEADLOCK_PRIORITY"),
                                                  QStringLiteral("TRANSACTION"),
                                                  QStringLiteral("NUMERIC_ROUNDABORT"),
                                                  QStringLiteral("ANSI_NULL_DFLT_ON"),
                                                  QStringLiteral("IMPLICIT_TRANSACTIONS"),
                                                  QStringLiteral("STATISTICS")};
        const QString option = t[1].keyword();
        if (!ignored.count(option))
            throw unsupported(QStringLiteral("Opcja SET %1").arg(option));
        // Options that change results are refused unless they keep the default.
        if (option == QLatin1String("DATEFIRST") &&
            !(t.size() > 2 && t[2].text == QLatin1String("1")))
            throw unsupported(QStringLiteral("SET DATEFIRST inny niż 1"));
        if (option == QLatin1String("IMPLICIT_TRANSACTIONS") && !(t.size() > 2 && t[2].is("OFF")))
            throw unsupported(QStringLiteral("SET IMPLICIT_TRANSACTIONS ON"));
    }

    // SELECT @a = expr, @b = expr [FROM ...]: the last row's values go into the variables.
    bool selectAssigns(const std::vector<Token> &t) {
        std::size_t i = 1;
        while (i < t.size() && (t[i].is("DISTINCT") || t[i].is("ALL")))
            ++i;
        return i + 1 < t.size() && t[i].kind == Token::Variable && t[i + 1].isSymbol("=");
    }

    void selectAssign(const std::vector<Token> &t) {
        static const std::set<QString> clauseEnd = {
            QStringLiteral("FROM"),   QStringLiteral("WHERE"),    QStringLiteral("GROUP"),
            QStringLiteral("HAVING"), QStringLiteral("ORDER"),    QStringLiteral("UNION"),
            QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT")};
        std::size_t i = 1;
        QString head = QStringLiteral("SELECT ");
        while (i < t.size() && (t[i].is("DISTINCT") || t[i].is("ALL")))
            head += t[i++].text + QLatin1Char(' ');
        std::size_t listEnd = t.size();
        for (std::size_t k = i; k < t.size(); ++k)
            if (t[k].depth == 0 && clauseEnd.count(t[k].keyword())) {
                listEnd = k;
                break;
            }
        std::vector<Variable *> targets;
        QStringList expressions;
        while (i < listEnd) {
            if (t[i].kind != Token::Variable || i + 1 >= listEnd || !t[i + 1].isSymbol("="))
                throw Error(
                    141,
                    QStringLiteral("Instrukcja SELECT przypisująca wartości zmiennym nie może "
                                   "jednocześnie pobierać danych."),
                    15);
            targets.push_back(&variable(t[i].text));
            std::size_t end = topLevelEnd(t, i + 2, ",");
            end = std::min(end, listEnd);
            expressions << rewrite(t, i + 2, end);
            i = end < listEnd ? end + 1 : listEnd;
        }
        const QString sql = head + expressions.join(QStringLiteral(", ")) + QLatin1Char(' ') +
                            rewrite(t, listEnd, t.size());
        Prepared stmt = prepare(sql);
        std::vector<QVariant> last;
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            last.clear();
            for (int c = 0; c < static_cast<int>(targets.size()); ++c)
                last.push_back(sqlitefn::ColumnValue(stmt.get(), c));
        }
        if (rc != SQLITE_DONE)
            throw sqliteError(db(), rc, sql);
        for (std::size_t k = 0; k < last.size(); ++k)
            targets[k]->value = tsql::Convert(targets[k]->type, last[k]);
    }

    // SELECT ... INTO name FROM ...: the position of INTO, 0 when none.
    std::size_t selectIntoAt(const std::vector<Token> &t) {
        for (std::size_t k = 1; k < t.size(); ++k) {
            if (t[k].depth != 0)
                continue;
            if (t[k].is("FROM") || t[k].is("UNION"))
                return 0;
            if (t[k].is("INTO"))
                return k;
        }
        return 0;
    }

    void selectInto(const std::vector<Token> &t, std::size_t into) {
        if (into + 1 >= t.size())
            throw syntaxNear(QStringLiteral("INTO"));
        const QString table = rewrite(t, into + 1, into + 2);
        runSql(QStringLiteral("CREATE TABLE %1 AS %2 %3")
                   .arg(table, rewrite(t, 0, into), rewrite(t, into + 2, t.size())));
    }

    // --- messages ------------------------------------------------------------------------------

    QVariantList evaluateList(const std::vector<Token> &t, std::size_t from, std::size_t to) {
        QVariantList values;
        std::size_t i = from;
        while (i < to) {
            const std::size_t end = std::min(topLevelEnd(t, i, ","), to);
            values << evaluate(t, i, end);
            i = end + 1;
        }
        return values;
    }

    void raiserror(const std::vector<Token> &t) {
        if (t.size() < 3 || !t[1].isSymbol("("))
            throw syntaxNear(t.size() > 1 ? t[1].text : QStringLiteral("RAISERROR"));
        const std::size_t close = topLevelEnd(t, 2, ")");
        const QVariantList args = evaluateList(t, 2, close);
        if (args.size() < 3)
            throw syntaxNear(QStringLiteral(")"));
        const int severity = static_cast<int>(tsql::IntegerArgument(args[1]));
        const int state = static_cast<int>(tsql::IntegerArgument(args[2]));
        QString text;
        int number = 50000;
        if (args[0].typeId() == QMetaType::QString)
            text = tsql::FormatRaiserror(args[0].toString(), args.mid(3));
        else {
            number = static_cast<int>(tsql::IntegerArgument(args[0]));
            text = QStringLiteral("Komunikat o numerze %1 nie istnieje w tym silniku.").arg(number);
        }
        if (severity <= 10) {
            message(text, severity, number, state);
            return;
        }
        throw Error(number, text, std::min(severity, 25), state);
    }

    void throwStatement(const std::vector<Token> &t) {
        if (t.size() == 1)
            throw unsupported(QStringLiteral("THROW bez argumentów (poza blokiem CATCH)"));
        const QVariantList args = evaluateList(t, 1, t.size());
        if (args.size() != 3)
            throw syntaxNear(QStringLiteral("THROW"));
        const qint64 number = tsql::IntegerArgument(args[0], tsql::Type::BigInt);
        if (number < 50000 || number > std::numeric_limits<qint32>::max())
            throw Error(
                35100,
                QStringLiteral("Numer błędu %1 w instrukcji THROW jest poza zakresem. Numer błędu "
                               "musi wynosić od 50000 do 2147483647.")
                    .arg(number));
        throw Error(static_cast<int>(number), textOf(args[1]), 16,
                    static_cast<int>(tsql::IntegerArgument(args[2])));
    }

    // --- databases and transactions ------------------------------------------------------------

    void use(const std::vector<Token> &t) {
        if (t.size() != 2)
            throw syntaxNear(t.size() > 2 ? t[2].text : QStringLiteral("USE"));
        FBackend.UseDatabase(t[1].value());
        watch();
    }

    void databaseList() {
        const QStringList names = FBackend.DatabaseNames();
        DbColumnInfo id;
        id.Name = QStringLiteral("dbid");
        id.Type = TFieldType::ftSmallint;
        id.Nullable = false;
        DbColumnInfo name;
        name.Name = QStringLiteral("DB_NAME");
        name.Type = TFieldType::ftWideString;
        name.Size = 128;
        auto result = std::make_shared<DbResult>(std::vector<DbColumnInfo>{id, name});
        for (int i = 0; i < names.size(); ++i) {
            result->Column(0).AppendInt(i + 5);
            result->Column(1).AppendText(names[i]);
        }
        addRows(std::move(result));
    }

    void transaction(const std::vector<Token> &t) {
        const QString kw = t[0].keyword();
        if (kw == QLatin1String("BEGIN")) {
            if (t.size() < 2 || !(t[1].is("TRAN") || t[1].is("TRANSACTION")))
                throw unsupported(QStringLiteral("Blok BEGIN ... END"));
            runSql(QStringLiteral("BEGIN"));
            return;
        }
        runSql(kw);
    }

    // --- SQLite --------------------------------------------------------------------------------

    Prepared prepare(const QString &sql) {
        Prepared stmt;
        const QByteArray utf8 = sql.toUtf8();
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v2(db(), utf8.constData(), static_cast<int>(utf8.size()),
                                          stmt.out(), &tail);
        if (rc != SQLITE_OK)
            throw sqliteError(db(), rc, sql);
        if (!stmt.get())
            throw syntaxNear(sql.trimmed().left(30));
        if (tail && QByteArray(tail).trimmed().size() > 0)
            throw syntaxNear(QString::fromUtf8(tail).trimmed().left(30));
        bind(stmt.get(), sql);
        return stmt;
    }

    void bind(sqlite3_stmt *stmt, const QString &sql) {
        const int n = sqlite3_bind_parameter_count(stmt);
        for (int p = 1; p <= n; ++p) {
            const char *raw = sqlite3_bind_parameter_name(stmt, p);
            const QString name = raw ? QString::fromUtf8(raw) : QString();
            if (!name.startsWith(QLatin1Char('@')))
                throw syntaxNear(name.isEmpty() ? QStringLiteral("?") : name);
            const QVariant &v = variable(name).value;
            int rc = SQLITE_OK;
            if (!v.isValid() || v.isNull())
                rc = sqlite3_bind_null(stmt, p);
            else if (v.typeId() == QMetaType::LongLong)
                rc = sqlite3_bind_int64(stmt, p, v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                rc = sqlite3_bind_double(stmt, p, v.toDouble());
            else {
                const QByteArray u = v.toString().toUtf8();
                rc = sqlite3_bind_text64(stmt, p, u.constData(),
                                         static_cast<sqlite3_uint64>(u.size()), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            }
            if (rc != SQLITE_OK)
                throw sqliteError(db(), rc, sql);
        }
    }

    // The progress handler watches the whole batch for a cancel, and each statement for the
    // time-out; USE brings a new handle, which is watched in turn.
    void watch() {
        FWatched = db();
        sqlite3_progress_handler(FWatched, 10000, &Batch::progress, this);
    }
    void unwatch() {
        if (FWatched == db())
            sqlite3_progress_handler(FWatched, 0, nullptr, nullptr);
        FWatched = nullptr;
    }
    void startClock() {
        FClock.start();
        FClockRunning = FTimeout > 0;
    }
    void stopClock() { FClockRunning = false; }
    static int progress(void *self) {
        auto *b = static_cast<Batch *>(self);
        if (b->FBackend.CancelRequested())
            return 1;
        return b->FClockRunning && b->FClock.elapsed() > qint64(b->FTimeout) * 1000 ? 1 : 0;
    }

    // typeHints: the T-SQL types of result columns that SQLite knows no declared type for.
    void runSql(const QString &sql, const std::vector<QString> &typeHints = {}) {
        Prepared stmt = prepare(sql);
        startClock();
        struct StopClock {
            Batch *b;
            ~StopClock() { b->stopClock(); }
        } stop{this};
        const int columns = sqlite3_column_count(stmt.get());
        if (columns == 0) {
            const int rc = sqlite3_step(stmt.get());
            if (rc != SQLITE_DONE && rc != SQLITE_ROW)
                throw sqliteError(db(), rc, sql);
            DbBatchItem item;
            item.kind = DbBatchItem::Kind::Count;
            item.count = sqlite3_changes64(db());
            FLastCount = item.count;
            FOutcome->Items.push_back(item);
            return;
        }
        std::vector<ColumnBuilder> builders;
        builders.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            const auto *name = static_cast<const char16_t *>(sqlite3_column_name16(stmt.get(), c));
            const char *declared = sqlite3_column_decltype(stmt.get(), c);
            QByteArray hint;
            if ((!declared || !*declared) && static_cast<std::size_t>(c) < typeHints.size())
                hint = typeHints[static_cast<std::size_t>(c)].toUtf8();
            builders.emplace_back(name ? QString(reinterpret_cast<const QChar *>(name)) : QString(),
                                  hint.isEmpty() ? declared : hint.constData());
        }
        int rc;
        qint64 rows = 0;
        DbRowSink *const sink = FHadRows ? nullptr : FSink;
        const qint64 blockRows =
            sink ? static_cast<qint64>(std::max<std::size_t>(sink->BlockRows(), 1)) : 0;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                builders[static_cast<std::size_t>(c)].Add(stmt.get(), c);
            ++rows;
            // Counted in small steps, so the window sees the rows arrive.
            if (rows % kCountStep == 0)
                FBackend.CountFetchedRows(kCountStep);
            // A column of no declared type that holds only NULLs so far has no type yet: its
            // rows wait for the first value that gives it one.
            if (sink && rows % blockRows == 0 &&
                std::all_of(builders.begin(), builders.end(),
                            [](const ColumnBuilder &b) { return b.Typed(); })) {
                auto block = std::make_unique<DbResult>(
                    std::vector<DbColumnInfo>(static_cast<std::size_t>(columns)));
                for (int c = 0; c < columns; ++c)
                    block->Column(c) = builders[static_cast<std::size_t>(c)].TakeBlock();
                sink->TakeBlock(std::move(block));
            }
        }
        FBackend.CountFetchedRows(rows % kCountStep);
        if (rc != SQLITE_DONE)
            throw sqliteError(db(), rc, sql);
        std::vector<DbColumnInfo> infos(static_cast<std::size_t>(columns));
        auto result = std::make_shared<DbResult>(infos);
        for (int c = 0; c < columns; ++c)
            result->Column(c) = builders[static_cast<std::size_t>(c)].Finish();
        FLastCount = rows;
        addRows(std::move(result));
    }

    void addRows(std::shared_ptr<DbResult> result) {
        DbBatchItem item;
        item.kind = DbBatchItem::Kind::Rows;
        item.count = result->RowCount();
        item.rows = std::move(result);
        FOutcome->Items.push_back(item);
        FHadRows = true;
    }

    QVariant evaluateText(const QString &expression) {
        Prepared stmt = prepare(QStringLiteral("SELECT ") + expression);
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_ROW)
            return sqlitefn::ColumnValue(stmt.get(), 0);
        if (rc != SQLITE_DONE)
            throw sqliteError(db(), rc, expression);
        return {};
    }

    QVariant evaluate(const std::vector<Token> &t, std::size_t from, std::size_t to) {
        if (from >= to)
            throw syntaxNear(from < t.size() ? t[from].text : QStringLiteral(""));
        return evaluateText(rewrite(t, from, to));
    }

    static QString textOf(const QVariant &v) {
        if (v.typeId() == QMetaType::Double)
            return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        return v.toString();
    }

    // --- rewriting T-SQL into SQLite -----------------------------------------------------------

    // The end of the parenthesised group that opens at t[open] ("("): the matching ")".
    static std::size_t closing(const std::vector<Token> &t, std::size_t open) {
        for (std::size_t k = open + 1; k < t.size(); ++k)
            if (t[k].isSymbol(")") && t[k].depth == t[open].depth)
                return k;
        throw syntaxNear(t[open].text);
    }

    static bool nextIsOpen(const std::vector<Token> &t, std::size_t i, std::size_t to) {
        return i + 1 < to && t[i + 1].isSymbol("(");
    }

    // --- "+" by the operands' types ---------------------------------------------------------
    //
    // T-SQL's "+" joins texts and adds numbers, decided by the operands' types; SQLite's "+"
    // only adds (a text becomes 0). Every binary "+" therefore becomes tsql_add(left, right),
    // which decides from the values' types when the row is computed. "+", "-", "&", "^" and "|"
    // share one precedence level and group from the left, so a run of them ("a - b + c") is
    // rewritten as a whole: tsql_add((a) - (b), c).

    // Words that end or begin an expression rather than being part of one.
    static bool isBoundaryWord(const Token &tok) {
        static const std::set<QString> words = {
            "SELECT",    "FROM",     "WHERE",   "AND",     "OR",      "NOT",       "AS",
            "ON",        "WHEN",     "THEN",    "ELSE",    "CASE",    "IS",        "IN",
            "LIKE",      "BETWEEN",  "ESCAPE",  "UNION",   "ALL",     "EXCEPT",    "INTERSECT",
            "JOIN",      "INNER",    "OUTER",   "CROSS",   "FULL",    "SET",       "VALUES",
            "INTO",      "DISTINCT", "TOP",     "WITH",    "COLLATE", "ASC",       "DESC",
            "EXISTS",    "ANY",      "SOME",    "PRINT",   "RETURN",  "IF",        "WHILE",
            "ORDER",     "GROUP",    "BY",      "HAVING",  "OVER",    "PARTITION", "UPDATE",
            "INSERT",    "DELETE",   "DECLARE", "BEGIN",   "OFFSET",  "FETCH",     "ROWS",
            "RAISERROR", "THROW",    "USE",     "OPTION",  "FOR",     "APPLY",     "PIVOT",
            "UNPIVOT",   "OUTPUT",   "EXEC",    "EXECUTE", "LEFT",    "RIGHT",     "PERCENT",
            "TIES",      "ROW",      "ONLY",    "NEXT"};
        return tok.kind == Token::Word && words.count(tok.keyword());
    }
    static bool isAdditive(const Token &tok) {
        return tok.kind == Token::Symbol &&
               (tok.text == QLatin1String("+") || tok.text == QLatin1String("-") ||
                tok.text == QLatin1String("&") || tok.text == QLatin1String("^") ||
                tok.text == QLatin1String("|"));
    }
    static bool isMultiplicative(const Token &tok) {
        return tok.isSymbol("*") || tok.isSymbol("/") || tok.isSymbol("%") || tok.isSymbol(".");
    }
    // A token after which an operator is binary: the end of a value.
    static bool endsOperand(const Token &tok) {
        switch (tok.kind) {
        case Token::Number:
        case Token::String:
        case Token::Variable:
        case Token::QuotedName:
        case Token::TempName:
            return true;
        case Token::Word:
            return tok.is("END") || !isBoundaryWord(tok);
        case Token::Symbol:
            return tok.text == QLatin1String(")");
        default:
            return false;
        }
    }
    static std::size_t prevSignificant(const std::vector<Token> &t, std::size_t i,
                                       std::size_t from) {
        while (i > from) {
            --i;
            if (t[i].significant())
                return i;
        }
        return SIZE_MAX;
    }
    static std::size_t nextSignificant(const std::vector<Token> &t, std::size_t i, std::size_t to) {
        for (++i; i < to; ++i)
            if (t[i].significant())
                return i;
        return to;
    }
    static bool isBinary(const std::vector<Token> &t, std::size_t i, std::size_t from) {
        const std::size_t p = prevSignificant(t, i, from);
        return p != SIZE_MAX && endsOperand(t[p]);
    }
    // The "(" that the ")" at t[close] ends.
    static std::size_t opening(const std::vector<Token> &t, std::size_t close, std::size_t from) {
        for (std::size_t k = close; k-- > from;)
            if (t[k].isSymbol("(") && t[k].depth == t[close].depth)
                return k;
        return from;
    }
    // The END of the CASE at t[at], or the CASE of the END there (dir -1), at the same depth.
    static std::size_t caseMatch(const std::vector<Token> &t, std::size_t at, std::size_t from,
                                 std::size_t to, int dir) {
        int nesting = 0;
        for (std::size_t k = at; k >= from && k < to; k += dir) {
            if (t[k].depth != t[at].depth || t[k].kind != Token::Word)
                continue;
            if (t[k].is(dir > 0 ? "CASE" : "END"))
                ++nesting;
            else if (t[k].is(dir > 0 ? "END" : "CASE") && --nesting == 0)
                return k;
            if (k == from && dir < 0)
                break;
        }
        return SIZE_MAX; // unmatched: no run is made across it
    }

    struct AdditiveRun {
        std::size_t end = 0;          // one past the last token
        std::vector<std::size_t> ops; // the operators, in order
        bool hasPlus = false;
    };

    // The run of additive operands that the binary operator at t[op] belongs to, as its first
    // token's index and the run.
    static std::pair<std::size_t, AdditiveRun>
    additiveRun(const std::vector<Token> &t, std::size_t op, std::size_t from, std::size_t to) {
        const int depth = t[op].depth;
        AdditiveRun run;
        std::vector<std::size_t> leftOps;
        // Leftwards: operands and operators until something that cannot be part of them.
        std::size_t start = op;
        bool expectAtom = true;
        for (std::size_t k = op; k-- > from;) {
            const Token &tok = t[k];
            if (!tok.significant())
                continue;
            if (expectAtom) {
                if (tok.isSymbol(")") && tok.depth == depth + 1) {
                    k = opening(t, k, from);
                    const std::size_t p = prevSignificant(t, k, from);
                    if (p != SIZE_MAX && t[p].kind == Token::Word && t[p].depth == depth &&
                        (!isBoundaryWord(t[p]) || t[p].is("LEFT") || t[p].is("RIGHT")))
                        k = p; // a function's name
                } else if (tok.depth == depth && tok.is("END")) {
                    k = caseMatch(t, k, from, to, -1);
                    if (k == SIZE_MAX)
                        return {SIZE_MAX, run};
                } else if (tok.depth != depth || !endsOperand(tok) || tok.isSymbol(")")) {
                    break;
                }
                expectAtom = false;
                start = k;
                continue;
            }
            if (tok.depth != depth)
                break;
            if (isMultiplicative(tok)) {
                expectAtom = true;
            } else if (isAdditive(tok) || tok.isSymbol("~")) {
                if (isAdditive(tok) && isBinary(t, k, from)) {
                    leftOps.push_back(k);
                    expectAtom = true;
                    continue;
                }
                start = k; // a sign belongs to its operand
                continue;
            } else {
                break;
            }
        }
        if (expectAtom) // nothing usable on the left: no run
            return {SIZE_MAX, run};
        run.ops.assign(leftOps.rbegin(), leftOps.rend());
        run.ops.push_back(op);
        // Rightwards, the same.
        expectAtom = true;
        std::size_t end = op + 1;
        for (std::size_t k = op + 1; k < to; ++k) {
            const Token &tok = t[k];
            if (!tok.significant())
                continue;
            if (expectAtom) {
                if (tok.depth == depth &&
                    (tok.isSymbol("+") || tok.isSymbol("-") || tok.isSymbol("~"))) {
                    continue; // a sign
                }
                if (tok.isSymbol("(") && tok.depth == depth + 1) {
                    k = closing(t, k);
                } else if (tok.depth == depth && tok.is("CASE")) {
                    k = caseMatch(t, k, from, to, 1);
                    if (k == SIZE_MAX)
                        return {SIZE_MAX, run};
                } else if (tok.depth == depth && tok.kind == Token::Word &&
                           (!isBoundaryWord(tok) || tok.is("LEFT") || tok.is("RIGHT"))) {
                    const std::size_t n = nextSignificant(t, k, to);
                    if (n < to && t[n].isSymbol("(") && t[n].depth == depth + 1)
                        k = closing(t, n); // a function call
                    else if (isBoundaryWord(tok))
                        break;
                } else if (tok.depth != depth || !endsOperand(tok) || tok.isSymbol(")")) {
                    break;
                }
                expectAtom = false;
                end = k + 1;
                continue;
            }
            if (tok.depth != depth)
                break;
            if (isMultiplicative(tok)) {
                expectAtom = true;
            } else if (isAdditive(tok)) {
                run.ops.push_back(k);
                expectAtom = true;
            } else {
                break;
            }
        }
        if (expectAtom) { // an operator with nothing after it: leave it as written
            return {SIZE_MAX, run};
        }
        run.end = end;
        for (const std::size_t o : run.ops)
            run.hasPlus = run.hasPlus || t[o].isSymbol("+");
        return {start, run};
    }

    // The runs with a "+" in [from, to), by their first token; one inside another's operand is
    // left to the rewriting of that operand.
    static std::map<std::size_t, AdditiveRun> plusRuns(const std::vector<Token> &t,
                                                       std::size_t from, std::size_t to) {
        std::map<std::size_t, AdditiveRun> runs;
        for (std::size_t i = from; i < to; ++i) {
            if (!t[i].isSymbol("+") || !isBinary(t, i, from))
                continue;
            auto [start, run] = additiveRun(t, i, from, to);
            if (start == SIZE_MAX || !run.hasPlus)
                continue;
            auto &known = runs[start];
            if (run.end > known.end)
                known = std::move(run);
        }
        return runs;
    }

    QString rewriteRun(const std::vector<Token> &t, std::size_t start, const AdditiveRun &run) {
        QString acc = rewrite(t, start, run.ops.front());
        for (std::size_t n = 0; n < run.ops.size(); ++n) {
            const std::size_t op = run.ops[n];
            const std::size_t next = n + 1 < run.ops.size() ? run.ops[n + 1] : run.end;
            const QString right = rewrite(t, op + 1, next);
            if (t[op].isSymbol("+"))
                acc = QStringLiteral("tsql_add(%1, %2)").arg(acc, right);
            else
                acc = QStringLiteral("(%1) %2 (%3)").arg(acc, t[op].text, right);
        }
        return acc;
    }

    QString rewrite(const std::vector<Token> &t, std::size_t from, std::size_t to) {
        static const std::set<QString> hints = {
            QStringLiteral("NOLOCK"),         QStringLiteral("READUNCOMMITTED"),
            QStringLiteral("HOLDLOCK"),       QStringLiteral("ROWLOCK"),
            QStringLiteral("UPDLOCK"),        QStringLiteral("TABLOCK"),
            QStringLiteral("READPAST"),       QStringLiteral("XLOCK"),
            QStringLiteral("PAGLOCK"),        QStringLiteral("NOEXPAND"),
            QStringLiteral("INDEX"),          QStringLiteral("FORCESEEK"),
            QStringLiteral("SERIALIZABLE"),   QStringLiteral("READCOMMITTED"),
            QStringLiteral("REPEATABLEREAD"), QStringLiteral("TABLOCKX")};
        static const std::set<QString> dateFunctions = {
            QStringLiteral("DATEADD"), QStringLiteral("DATEDIFF"), QStringLiteral("DATEPART"),
            QStringLiteral("DATENAME")};
        QString out;
        std::vector<std::pair<std::size_t, QString>> limits; // insert " LIMIT n" before token k
        auto append = [&](const QString &piece) {
            if (!out.isEmpty() && !piece.isEmpty() && !out.back().isSpace())
                out += QLatin1Char(' ');
            out += piece;
        };
        // ORDER BY terms sort texts in the server's order: each term gets the collation, which
        // a number or a date does not use. Open lists, innermost last.
        struct OrderList {
            int depth;
            bool termOpen = false;
            bool collated = false;
        };
        std::vector<OrderList> orders;
        const std::map<std::size_t, AdditiveRun> runs = plusRuns(t, from, to);
        auto closeTerm = [&](OrderList &o) {
            if (o.termOpen && !o.collated)
                append(QString::fromLatin1(sqlitecoll::CollationName).prepend(u"COLLATE "));
            o.termOpen = o.collated = false;
        };
        auto endsOrderList = [](const Token &tok, int depth) {
            static const char *const words[] = {"LIMIT",  "OFFSET",    "OPTION", "FOR",   "UNION",
                                                "EXCEPT", "INTERSECT", "FETCH",  "INTO",  "FROM",
                                                "WHERE",  "GROUP",     "HAVING", "SELECT"};
            if (tok.depth < depth)
                return true;
            if (tok.depth != depth)
                return false;
            if (tok.isSymbol(")") || tok.isSymbol(";"))
                return true;
            for (const char *w : words)
                if (tok.is(w))
                    return true;
            return false;
        };
        for (std::size_t i = from; i < to; ++i) {
            while (!orders.empty() && t[i].significant()) {
                OrderList &o = orders.back();
                if (endsOrderList(t[i], o.depth)) {
                    closeTerm(o);
                    orders.pop_back();
                    continue;
                }
                if (t[i].depth == o.depth &&
                    (t[i].isSymbol(",") || t[i].is("ASC") || t[i].is("DESC")))
                    closeTerm(o);
                else if (t[i].depth == o.depth && t[i].is("COLLATE"))
                    o.collated = true;
                else
                    o.termOpen = true;
                break;
            }
            for (const auto &[at, text] : limits)
                if (at == i)
                    append(text);
            const Token &tok = t[i];
            if (const auto run = runs.find(i); run != runs.end()) {
                append(rewriteRun(t, i, run->second));
                i = run->second.end - 1;
                continue;
            }
            if (tok.is("BY") && i > from && t[i - 1].is("ORDER"))
                orders.push_back({tok.depth});
            const QString kw = tok.keyword();
            const bool afterDot = i > from && t[i - 1].isSymbol(".");
            if (tok.kind == Token::String) {
                append(quoteText(tok.value()));
            } else if (tok.kind == Token::TempName) {
                append(QStringLiteral("temp.\"%1\"").arg(tok.text));
            } else if (tok.kind == Token::Variable && tok.text.startsWith(QLatin1String("@@"))) {
                const QString v = tok.text.mid(2).toUpper();
                if (v == QLatin1String("ROWCOUNT"))
                    append(QString::number(FLastCount));
                else if (v == QLatin1String("IDENTITY"))
                    append(QStringLiteral("last_insert_rowid()"));
                else if (v == QLatin1String("ERROR"))
                    append(QStringLiteral("0"));
                else if (v == QLatin1String("VERSION"))
                    append(quoteText(QStringLiteral("Orvel-Zestawnik SQLite ") +
                                     QString::fromLatin1(sqlite3_libversion())));
                else
                    throw unsupported(QStringLiteral("Zmienna %1").arg(tok.text));
            } else if ((kw == QLatin1String("DBO") ||
                        tok.value().compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0) &&
                       (tok.kind == Token::Word || tok.kind == Token::QuotedName) && i + 1 < to &&
                       t[i + 1].isSymbol(".") && !afterDot) {
                ++i; // "dbo." names the only schema there is
            } else if (kw == QLatin1String("TOP") && i > from &&
                       (t[i - 1].is("SELECT") || t[i - 1].is("DISTINCT") || t[i - 1].is("ALL"))) {
                std::size_t end = i + 1;
                QString count;
                if (end < to && t[end].isSymbol("(")) {
                    const std::size_t close = closing(t, end);
                    count = QLatin1Char('(') + rewrite(t, end + 1, close) + QLatin1Char(')');
                    end = close + 1;
                } else if (end < to &&
                           (t[end].kind == Token::Number || t[end].kind == Token::Variable)) {
                    count = t[end].text;
                    ++end;
                } else {
                    throw syntaxNear(QStringLiteral("TOP"));
                }
                if (end < to && (t[end].is("PERCENT") ||
                                 (t[end].is("WITH") && end + 1 < to && t[end + 1].is("TIES"))))
                    throw unsupported(QStringLiteral("TOP ... %1").arg(t[end].keyword()));
                // The limit goes where this SELECT ends: its group's ")" or a set operator.
                const int depth = tok.depth;
                std::size_t at = to;
                for (std::size_t k = end; k < to; ++k) {
                    if ((t[k].isSymbol(")") && t[k].depth == depth) ||
                        (t[k].depth == depth &&
                         (t[k].is("UNION") || t[k].is("EXCEPT") || t[k].is("INTERSECT")))) {
                        at = k;
                        break;
                    }
                }
                if (at == to)
                    limits.emplace_back(to, QStringLiteral("LIMIT ") + count);
                else
                    limits.emplace_back(at, QStringLiteral("LIMIT ") + count);
                i = end - 1;
            } else if (kw == QLatin1String("CAST") && !afterDot && nextIsOpen(t, i, to)) {
                const std::size_t close = closing(t, i + 1);
                std::size_t as = 0;
                for (std::size_t k = i + 2; k < close; ++k)
                    if (t[k].is("AS") && t[k].depth == t[i + 1].depth)
                        as = k;
                if (!as)
                    throw syntaxNear(QStringLiteral("CAST"));
                std::size_t p = as + 1;
                const QString type = typeText(t, p);
                tsql::ParseType(type); // an unknown type fails here, with the server's message
                append(QStringLiteral("tsql_convert(%1, %2)")
                           .arg(quoteText(type), rewrite(t, i + 2, as)));
                i = close;
            } else if (kw == QLatin1String("CONVERT") && !afterDot && nextIsOpen(t, i, to)) {
                const std::size_t close = closing(t, i + 1);
                std::size_t p = i + 2;
                const QString type = typeText(t, p);
                tsql::ParseType(type);
                if (p >= close || !t[p].isSymbol(","))
                    throw syntaxNear(QStringLiteral("CONVERT"));
                append(QStringLiteral("tsql_convert(%1, %2)")
                           .arg(quoteText(type), rewrite(t, p + 1, close)));
                i = close;
            } else if (dateFunctions.count(kw) && !afterDot && nextIsOpen(t, i, to) && i + 2 < to &&
                       t[i + 2].kind == Token::Word) {
                append(kw + QStringLiteral("(") + quoteText(t[i + 2].text));
                i += 2;
            } else if ((kw == QLatin1String("ISNULL") || kw == QLatin1String("LEFT") ||
                        kw == QLatin1String("RIGHT")) &&
                       !afterDot && nextIsOpen(t, i, to)) {
                append(QStringLiteral("tsql_") + kw.toLower());
            } else if (kw == QLatin1String("OPTION") && tok.depth == 0 && nextIsOpen(t, i, to)) {
                // Query hints: only the recursion limit is understood, and the engine has none of
                // its own to lift, so the clause has nothing to say here.
                const std::size_t close = closing(t, i + 1);
                if (!(close == i + 4 && t[i + 2].is("MAXRECURSION") &&
                      t[i + 3].kind == Token::Number))
                    throw unsupported(QStringLiteral("Klauzula OPTION inna niż MAXRECURSION"));
                i = close;
            } else if (kw == QLatin1String("CURRENT_TIMESTAMP")) {
                append(QStringLiteral("getdate()"));
            } else if (kw == QLatin1String("WITH") && nextIsOpen(t, i, to) && i + 2 < to &&
                       hints.count(t[i + 2].keyword())) {
                i = closing(t, i + 1); // table hints have no meaning here
            } else if (tok.kind == Token::Comment) {
                continue;
            } else {
                append(tok.text);
            }
        }
        while (!orders.empty()) {
            closeTerm(orders.back());
            orders.pop_back();
        }
        for (const auto &[at, text] : limits)
            if (at >= to)
                append(text);
        return out;
    }

    SqliteBackend &FBackend;
    int FTimeout;
    QElapsedTimer FClock;
    bool FClockRunning = false;
    sqlite3 *FWatched = nullptr;
    DbBatchOutcome *FOutcome = nullptr;
    DbRowSink *FSink; // takes the first result's rows in blocks, until that result is complete
    std::map<QString, Variable> FVariables;
    qint64 FLastCount = 0;
    bool FHadRows = false;
};

// ---------------------------------------------------------------------------------------------

SqliteBackend::SqliteBackend() : FContext(std::make_unique<sqlitefn::Context>()) {
    FContext->currentDatabase = [this] { return CurrentDatabase(); };
    FContext->databaseNames = [this] { return DatabaseNames(); };
}
SqliteBackend::~SqliteBackend() {
    Close();
}

sqlite3 *SqliteBackend::openHandle(const QString &path) {
    sqlite3 *handle = nullptr;
    const QByteArray p = path.toUtf8();
    // Each handle is used by one thread at a time (see FUse): no lock of SQLite's own.
    int flags = SQLITE_OPEN_READWRITE;
    if (path == QLatin1String(":memory:"))
        flags |= SQLITE_OPEN_CREATE;
    else if (!CanWriteDatabase(path))
        flags = SQLITE_OPEN_READONLY;
    flags |= SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(p.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("out of memory");
        sqlite3_close(handle);
        throw Error(4060,
                    QStringLiteral("Nie można otworzyć bazy danych '%1' (%2).")
                        .arg(QFileInfo(path).completeBaseName(), text),
                    11);
    }
    sqlite3_busy_timeout(handle, 5000);
    sqlitefn::Register(handle, FContext.get());
    return handle;
}

void SqliteBackend::Open(const TOrvel_ConnectionSettings &settings) {
    const std::lock_guard lock(FUse);
    Close();
    QString folder = EmbeddedServerFolder(settings.Server);
    if (QDir::isRelativePath(folder))
        folder = QDir(GetAppFolder()).absoluteFilePath(folder);
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        throw EDbProviderError(
            0x80004005, QStringLiteral("Folder baz danych '%1' nie istnieje lub nie jest folderem.")
                            .arg(settings.Server));
    FFolder = QDir::cleanPath(info.absoluteFilePath());
    try {
        replaceHandle(openHandle(QStringLiteral(":memory:")));
    } catch (const Error &e) {
        throw EDbProviderError(0x80004005, e.Text);
    }
    FDatabaseName = QStringLiteral("master");
    FConnected = true;
}

void SqliteBackend::replaceHandle(sqlite3 *handle) {
    sqlite3 *old = nullptr;
    {
        std::lock_guard lock(FHandleLock);
        old = std::exchange(FDb, handle);
    }
    if (old)
        sqlite3_close_v2(old);
}

void SqliteBackend::InterruptBatch() {
    std::lock_guard lock(FHandleLock);
    if (FDb)
        sqlite3_interrupt(FDb);
}

void SqliteBackend::Close() {
    const std::lock_guard lock(FUse);
    replaceHandle(nullptr);
    FConnected = false;
    FDatabaseName.clear();
}

bool SqliteBackend::IsConnected() const {
    return FConnected;
}

QStringList SqliteBackend::DatabaseNames() const {
    QStringList names;
    const QFileInfoList files =
        QDir(FFolder).entryInfoList(QDir::Files | QDir::Readable, QDir::NoSort);
    for (const QFileInfo &f : files) {
        if (f.suffix().compare(QLatin1String("sqlite"), Qt::CaseInsensitive) != 0)
            continue;
        const QString name = f.completeBaseName();
        bool system = false;
        for (const QString &s : kSystemDatabases)
            system = system || name.compare(s, Qt::CaseInsensitive) == 0;
        if (!system && !name.isEmpty())
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void SqliteBackend::UseDatabase(const QString &name) {
    const std::lock_guard lock(FUse);
    if (name.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0) {
        replaceHandle(openHandle(QStringLiteral(":memory:")));
        FDatabaseName = QStringLiteral("master");
        return;
    }
    // Only names found in the folder are opened, so no name can reach outside it.
    for (const QString &candidate : DatabaseNames()) {
        if (candidate.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QFileInfoList files = QDir(FFolder).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &f : files) {
            if (f.completeBaseName() == candidate &&
                f.suffix().compare(QLatin1String("sqlite"), Qt::CaseInsensitive) == 0) {
                replaceHandle(openHandle(f.absoluteFilePath()));
                FDatabaseName = candidate;
                return;
            }
        }
    }
    throw Error(911, QStringLiteral(
                         "Baza danych '%1' nie istnieje. Upewnij się, że nazwa została wprowadzona "
                         "poprawnie.")
                         .arg(name));
}

DbBatchOutcome SqliteBackend::RunBatch(const QString &sql, int timeoutSeconds, bool firstResultOnly,
                                       DbRowSink *sink) {
    const std::lock_guard lock(FUse);
    if (!FConnected || !FDb) {
        DbBatchOutcome outcome;
        outcome.Failed = true;
        outcome.ErrorCode = 0x800A0E78;
        outcome.ErrorMessage =
            QStringLiteral("Operacja nie jest dozwolona, gdy obiekt jest zamknięty");
        return outcome;
    }
    Batch batch(*this, timeoutSeconds, sink);
    return batch.Run(sql, firstResultOnly);
}

std::unique_ptr<DbBackend> CreateSqliteBackend() {
    return std::make_unique<SqliteBackend>();
}
