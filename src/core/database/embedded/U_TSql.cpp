#include "U_TSql.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <set>

namespace tsql {

namespace {

bool isWordStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_');
}
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') ||
           c == QLatin1Char('#') || c == QLatin1Char('@');
}

QString asciiUpper(const QString &s) {
    QString r = s;
    for (QChar &c : r)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return r;
}

const char *const kTwoCharSymbols[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||", "+=", "-=",
                                       "*=", "/=", "%=", "==", "<<", ">>", "&=", "|=", "^="};

} // namespace

QString Token::keyword() const {
    return kind == Word ? asciiUpper(text) : QString();
}

bool Token::is(const char *word) const {
    return kind == Word && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString Token::value() const {
    if (kind == String) {
        QString s = text;
        if (s.startsWith(QLatin1Char('N')) || s.startsWith(QLatin1Char('n')))
            s.remove(0, 1);
        s = s.mid(1, s.size() - 2);
        s.replace(QLatin1String("''"), QLatin1String("'"));
        return s;
    }
    if (kind == QuotedName) {
        QString s = text.mid(1, text.size() - 2);
        if (text.startsWith(QLatin1Char('[')))
            s.replace(QLatin1String("]]"), QLatin1String("]"));
        else
            s.replace(QLatin1String("\"\""), QLatin1String("\""));
        return s;
    }
    return text;
}

// Moves `j` past the closing `close` of a quoted string or name that began before `j`; a doubled
// closing character stands for itself. False when the text ends first.
bool SkipQuoted(const QString &sql, qsizetype &j, QChar close) {
    const qsizetype n = sql.size();
    while (j < n) {
        if (sql[j] == close) {
            if (j + 1 < n && sql[j + 1] == close) {
                j += 2;
                continue;
            }
            ++j;
            return true;
        }
        ++j;
    }
    return false;
}

std::vector<Token> Tokenize(const QString &sql) {
    std::vector<Token> out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    int line = 1;
    int depth = 0;
    auto countLines = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to; ++k)
            if (sql[k] == QLatin1Char('\n'))
                ++line;
    };
    while (i < n) {
        const QChar c = sql[i];
        const QChar next = i + 1 < n ? sql[i + 1] : QChar();
        Token t;
        t.line = line;
        qsizetype j = i + 1;
        if (c.isSpace() || c.unicode() < 32) {
            while (j < n && (sql[j].isSpace() || sql[j].unicode() < 32))
                ++j;
            t.kind = Token::Space;
        } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            while (j < n && sql[j] != QLatin1Char('\n'))
                ++j;
            t.kind = Token::Comment;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            int nesting = 1;
            j = i + 2;
            while (j < n && nesting > 0) {
                if (sql[j] == QLatin1Char('/') && j + 1 < n && sql[j + 1] == QLatin1Char('*')) {
                    ++nesting;
                    j += 2;
                } else if (sql[j] == QLatin1Char('*') && j + 1 < n &&
                           sql[j + 1] == QLatin1Char('/')) {
                    --nesting;
                    j += 2;
                } else {
                    ++j;
                }
            }
            if (nesting > 0)
                throw Error(113, QStringLiteral("Brak znacznika końca komentarza '*/'."), 15);
            t.kind = Token::Comment;
        } else if (c == QLatin1Char('\'') || ((c == QLatin1Char('N') || c == QLatin1Char('n')) &&
                                              next == QLatin1Char('\''))) {
            j = c == QLatin1Char('\'') ? i + 1 : i + 2;
            if (!SkipQuoted(sql, j, QLatin1Char('\'')))
                throw Error(105,
                            QStringLiteral("Niezamknięty cudzysłów po ciągu znaków '%1'.")
                                .arg(sql.mid(i + (c == QLatin1Char('\'') ? 1 : 2))),
                            15);
            t.kind = Token::String;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('"') ? QLatin1Char('"') : QLatin1Char(']');
            if (!SkipQuoted(sql, j, close))
                throw Error(105,
                            QStringLiteral("Niezamknięty cudzysłów po ciągu znaków '%1'.")
                                .arg(sql.mid(i + 1)),
                            15);
            t.kind = Token::QuotedName;
        } else if (c == QLatin1Char('@')) {
            while (j < n && isWordChar(sql[j]))
                ++j;
            t.kind = Token::Variable;
        } else if (c == QLatin1Char('#') && (isWordStart(next) || next == QLatin1Char('#'))) {
            while (j < n && isWordChar(sql[j]))
                ++j;
            t.kind = Token::TempName;
        } else if (c.isDigit() || (c == QLatin1Char('.') && next.isDigit())) {
            if (c == QLatin1Char('0') && (next == QLatin1Char('x') || next == QLatin1Char('X'))) {
                j = i + 2;
                while (j < n && std::isxdigit(sql[j].toLatin1()))
                    ++j;
            } else {
                while (j < n && (sql[j].isDigit() || sql[j] == QLatin1Char('.')))
                    ++j;
                if (j < n && (sql[j] == QLatin1Char('e') || sql[j] == QLatin1Char('E'))) {
                    qsizetype k = j + 1;
                    if (k < n && (sql[k] == QLatin1Char('+') || sql[k] == QLatin1Char('-')))
                        ++k;
                    if (k < n && sql[k].isDigit()) {
                        j = k;
                        while (j < n && sql[j].isDigit())
                            ++j;
                    }
                }
            }
            t.kind = Token::Number;
        } else if (isWordStart(c)) {
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_') ||
                             sql[j] == QLatin1Char('$')))
                ++j;
            t.kind = Token::Word;
        } else {
            t.kind = Token::Symbol;
            for (const char *s : kTwoCharSymbols) {
                if (c == QLatin1Char(s[0]) && next == QLatin1Char(s[1])) {
                    j = i + 2;
                    break;
                }
            }
        }
        t.text = sql.mid(i, j - i);
        if (t.kind == Token::Symbol && t.text == QLatin1String("("))
            ++depth;
        t.depth = depth;
        if (t.kind == Token::Symbol && t.text == QLatin1String(")"))
            depth = std::max(0, depth - 1);
        countLines(i, j);
        out.push_back(std::move(t));
        i = j;
    }
    return out;
}

namespace {

const std::set<QString> kStarters = {
    QStringLiteral("SELECT"),  QStringLiteral("INSERT"),    QStringLiteral("UPDATE"),
    QStringLiteral("DELETE"),  QStringLiteral("DECLARE"),   QStringLiteral("SET"),
    QStringLiteral("PRINT"),   QStringLiteral("RAISERROR"), QStringLiteral("THROW"),
    QStringLiteral("USE"),     QStringLiteral("CREATE"),    QStringLiteral("DROP"),
    QStringLiteral("ALTER"),   QStringLiteral("WITH"),      QStringLiteral("IF"),
    QStringLiteral("WHILE"),   QStringLiteral("BEGIN"),     QStringLiteral("EXEC"),
    QStringLiteral("EXECUTE"), QStringLiteral("RETURN"),    QStringLiteral("TRUNCATE"),
    QStringLiteral("MERGE"),   QStringLiteral("COMMIT"),    QStringLiteral("ROLLBACK"),
    QStringLiteral("GOTO"),    QStringLiteral("WAITFOR"),   QStringLiteral("GO"),
    QStringLiteral("PRAGMA")};

const std::set<QString> kWithContinuations = {
    QStringLiteral("TIES"),       QStringLiteral("NOWAIT"),       QStringLiteral("LOG"),
    QStringLiteral("SETERROR"),   QStringLiteral("CHECK"),        QStringLiteral("NOCHECK"),
    QStringLiteral("ROLLUP"),     QStringLiteral("CUBE"),         QStringLiteral("RECOMPILE"),
    QStringLiteral("ENCRYPTION"), QStringLiteral("SCHEMABINDING")};

// The state of the statement being collected, for the continuation rules.
struct Current {
    QString first; // its first keyword
    QString main;  // the statement proper: the first keyword, or after WITH its main statement
    bool insertSourceSeen = false; // INSERT: its SELECT or VALUES began
    bool updateWithoutSet = false;
    QString prev; // keyword (or symbol text) of the previous significant token
};

bool continues(const Current &cur, const QString &kw, const Token *nextTok) {
    if (cur.first.isEmpty())
        return false;
    const QString &prev = cur.prev;
    if (prev == QLatin1String("."))
        return true; // a qualified name such as t.Update
    if (kw == QLatin1String("SELECT")) {
        if (prev == QLatin1String("UNION") || prev == QLatin1String("ALL") ||
            prev == QLatin1String("EXCEPT") || prev == QLatin1String("INTERSECT") ||
            prev == QLatin1String("AS") || prev == QLatin1String("DISTINCT"))
            return true;
        if ((cur.main == QLatin1String("INSERT") && !cur.insertSourceSeen) ||
            (cur.first == QLatin1String("WITH") && cur.main.isEmpty()))
            return true;
        return false;
    }
    if (kw == QLatin1String("WITH")) {
        if (cur.first == QLatin1String("RAISERROR") || prev == QLatin1String("AS"))
            return true;
        if (nextTok && (nextTok->isSymbol("(") || kWithContinuations.count(nextTok->keyword())))
            return true;
        return false;
    }
    if (kw == QLatin1String("INSERT") || kw == QLatin1String("UPDATE") ||
        kw == QLatin1String("DELETE")) {
        if (cur.first == QLatin1String("WITH") && cur.main.isEmpty())
            return true;
        static const std::set<QString> before = {QStringLiteral("DO"),    QStringLiteral("ON"),
                                                 QStringLiteral("AFTER"), QStringLiteral("BEFORE"),
                                                 QStringLiteral("OF"),    QStringLiteral("INSTEAD"),
                                                 QStringLiteral("FOR"),   QStringLiteral("THEN"),
                                                 QStringLiteral(","),     QStringLiteral("OR")};
        return before.count(prev) > 0;
    }
    if (kw == QLatin1String("SET"))
        return cur.updateWithoutSet || prev == QLatin1String("DELETE") ||
               prev == QLatin1String("UPDATE");
    if (kw == QLatin1String("DROP") || kw == QLatin1String("ALTER"))
        return cur.first == QLatin1String("ALTER");
    if (kw == QLatin1String("BEGIN") || kw == QLatin1String("COMMIT") ||
        kw == QLatin1String("ROLLBACK"))
        return false;
    if (kw == QLatin1String("SET"))
        return false;
    if (kw == QLatin1String("IF"))
        return prev == QLatin1String("TABLE") || prev == QLatin1String("INDEX") ||
               prev == QLatin1String("VIEW") || prev == QLatin1String("TRIGGER") ||
               prev == QLatin1String("EXISTS"); // DROP TABLE IF EXISTS
    return false;
}

} // namespace

std::vector<Statement> SplitBatch(const QString &sql) {
    const std::vector<Token> tokens = Tokenize(sql);
    std::vector<Statement> out;
    Statement stmt;
    Current cur;
    auto finish = [&]() {
        while (!stmt.tokens.empty() && stmt.tokens.back().kind == Token::Comment)
            stmt.tokens.pop_back();
        while (!stmt.tokens.empty() && stmt.tokens.front().kind == Token::Comment)
            stmt.tokens.erase(stmt.tokens.begin());
        if (!stmt.tokens.empty()) {
            stmt.line = stmt.tokens.front().line;
            out.push_back(std::move(stmt));
        }
        stmt = Statement();
        cur = Current();
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        if (t.kind == Token::Space) {
            if (!stmt.tokens.empty())
                stmt.tokens.push_back(t);
            continue;
        }
        if (t.kind == Token::Comment) {
            if (!stmt.tokens.empty())
                stmt.tokens.push_back(t);
            continue;
        }
        if (t.isSymbol(";") && t.depth == 0) {
            finish();
            continue;
        }
        const QString kw = t.keyword();
        if (t.depth == 0 && kStarters.count(kw)) {
            const Token *nextTok = nullptr;
            for (std::size_t k = i + 1; k < tokens.size(); ++k)
                if (tokens[k].significant()) {
                    nextTok = &tokens[k];
                    break;
                }
            const bool isContinuation = continues(cur, kw, nextTok);
            if (!isContinuation && !cur.first.isEmpty()) {
                while (!stmt.tokens.empty() && stmt.tokens.back().kind == Token::Space)
                    stmt.tokens.pop_back();
                finish();
            }
            const bool dml = kw == QLatin1String("SELECT") || kw == QLatin1String("INSERT") ||
                             kw == QLatin1String("UPDATE") || kw == QLatin1String("DELETE");
            if (cur.first.isEmpty()) {
                cur.first = kw;
                if (kw != QLatin1String("WITH"))
                    cur.main = kw;
            } else if (dml && cur.main.isEmpty()) {
                cur.main = kw;
            } else if (kw == QLatin1String("SELECT") && cur.main == QLatin1String("INSERT")) {
                cur.insertSourceSeen = true;
            }
            if (kw == QLatin1String("UPDATE"))
                cur.updateWithoutSet = true;
            else if (kw == QLatin1String("SET"))
                cur.updateWithoutSet = false;
        } else if (t.depth == 0 && kw == QLatin1String("VALUES") &&
                   cur.main == QLatin1String("INSERT")) {
            cur.insertSourceSeen = true;
        }
        stmt.tokens.push_back(t);
        cur.prev = t.kind == Token::Word ? kw : t.text;
    }
    while (!stmt.tokens.empty() && stmt.tokens.back().kind == Token::Space)
        stmt.tokens.pop_back();
    finish();
    return out;
}

QString Join(const std::vector<Token> &tokens, std::size_t from, std::size_t to) {
    QString s;
    to = std::min(to, tokens.size());
    for (std::size_t i = from; i < to; ++i)
        s += tokens[i].text;
    return s;
}

// ---------------------------------------------------------------------------------------------
// Types

Type ParseType(const QString &text) {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*([A-Za-z_][A-Za-z0-9_]*)(?:\s+([A-Za-z]+))?\s*(?:\(\s*(\w+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        throw Error(2715, QStringLiteral("Nie można odnaleźć typu danych %1.").arg(text.trimmed()));
    Type t;
    QString base = asciiUpper(m.captured(1));
    const QString second = asciiUpper(m.captured(2));
    if (base == QLatin1String("DOUBLE") && second == QLatin1String("PRECISION"))
        base = QStringLiteral("FLOAT");
    else if (!second.isEmpty())
        throw Error(2715, QStringLiteral("Nie można odnaleźć typu danych %1.").arg(text.trimmed()));
    const QString a1 = m.captured(3), a2 = m.captured(4);
    t.name = asciiUpper(text.simplified());
    auto number = [&](const QString &s, int fallback) {
        bool ok = false;
        const int v = s.toInt(&ok);
        return ok ? v : fallback;
    };
    if (base == QLatin1String("INT") || base == QLatin1String("INTEGER"))
        t.base = Type::Int;
    else if (base == QLatin1String("BIGINT"))
        t.base = Type::BigInt;
    else if (base == QLatin1String("SMALLINT"))
        t.base = Type::SmallInt;
    else if (base == QLatin1String("TINYINT"))
        t.base = Type::TinyInt;
    else if (base == QLatin1String("BIT"))
        t.base = Type::Bit;
    else if (base == QLatin1String("DECIMAL") || base == QLatin1String("NUMERIC") ||
             base == QLatin1String("DEC")) {
        t.base = Type::Decimal;
        t.precision = number(a1, 18);
        t.scale = number(a2, 0);
        if (t.precision < 1 || t.precision > 38 || t.scale < 0 || t.scale > t.precision)
            throw Error(
                2750,
                QStringLiteral("Określono nieprawidłową precyzję lub skalę typu %1.").arg(t.name));
    } else if (base == QLatin1String("MONEY") || base == QLatin1String("SMALLMONEY")) {
        t.base = Type::Money;
        t.precision = 19;
        t.scale = 4;
    } else if (base == QLatin1String("FLOAT") || base == QLatin1String("REAL"))
        t.base = Type::Float;
    else if (base == QLatin1String("CHAR") || base == QLatin1String("NCHAR") ||
             base == QLatin1String("VARCHAR") || base == QLatin1String("NVARCHAR") ||
             base == QLatin1String("TEXT") || base == QLatin1String("NTEXT") ||
             base == QLatin1String("SYSNAME")) {
        t.base = Type::Text;
        t.fixedLength = base == QLatin1String("CHAR") || base == QLatin1String("NCHAR");
        if (base == QLatin1String("SYSNAME"))
            t.length = 128;
        else if (base == QLatin1String("TEXT") || base == QLatin1String("NTEXT"))
            t.length = 0;
        else if (asciiUpper(a1) == QLatin1String("MAX"))
            t.length = 0;
        else if (!a1.isEmpty()) {
            // A length past the server's limit is refused as the server refuses it, before
            // anything of that size is ever made.
            const bool national = base.startsWith(QLatin1Char('N'));
            const int limit = national ? 4000 : 8000;
            bool ok = false;
            const qlonglong length = a1.toLongLong(&ok);
            const bool digits = !a1.isEmpty() && std::all_of(a1.begin(), a1.end(), [](QChar c) {
                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
            });
            if (digits && (!ok || length > limit))
                throw Error(131,
                            QStringLiteral("Rozmiar (%1) nadany typowi '%2' przekracza "
                                           "maksymalny rozmiar dozwolony dla dowolnego typu "
                                           "danych (%3).")
                                .arg(a1, base.toLower())
                                .arg(limit),
                            15);
            t.length = digits ? int(length) : number(a1, -1);
        }
    } else if (base == QLatin1String("DATE"))
        t.base = Type::Date;
    else if (base == QLatin1String("DATETIME") || base == QLatin1String("DATETIME2") ||
             base == QLatin1String("SMALLDATETIME"))
        t.base = Type::DateTime;
    else if (base == QLatin1String("TIME"))
        t.base = Type::Time;
    else if (base == QLatin1String("UNIQUEIDENTIFIER"))
        t.base = Type::Guid;
    else if (base == QLatin1String("TABLE") || base == QLatin1String("CURSOR"))
        throw Error(40001, QStringLiteral(
                               "Zmienne typu %1 nie są obsługiwane przez wbudowany silnik SQLite.")
                               .arg(base));
    else
        throw Error(2715, QStringLiteral("Nie można odnaleźć typu danych %1.").arg(base));
    return t;
}

namespace {

QString typeWord(const Type &t) {
    switch (t.base) {
    case Type::Int:
        return QStringLiteral("int");
    case Type::BigInt:
        return QStringLiteral("bigint");
    case Type::SmallInt:
        return QStringLiteral("smallint");
    case Type::TinyInt:
        return QStringLiteral("tinyint");
    case Type::Bit:
        return QStringLiteral("bit");
    case Type::Decimal:
        return QStringLiteral("numeric");
    case Type::Money:
        return QStringLiteral("money");
    case Type::Float:
        return QStringLiteral("float");
    case Type::Text:
        return QStringLiteral("nvarchar");
    case Type::Date:
        return QStringLiteral("date");
    case Type::DateTime:
        return QStringLiteral("datetime");
    case Type::Time:
        return QStringLiteral("time");
    case Type::Guid:
        return QStringLiteral("uniqueidentifier");
    }
    return {};
}

[[noreturn]] void conversionFailed(const QVariant &value, const Type &t) {
    if (t.base == Type::Date || t.base == Type::DateTime || t.base == Type::Time)
        throw Error(
            241, QStringLiteral("Konwersja daty lub godziny z ciągu znaków '%1' nie powiodła się.")
                     .arg(value.toString()));
    throw Error(245, QStringLiteral("Konwersja wartości '%1' na typ danych %2 nie powiodła się.")
                         .arg(value.toString(), typeWord(t)));
}

[[noreturn]] void overflow(const Type &t) {
    throw Error(8115, QStringLiteral("Błąd przepełnienia arytmetycznego podczas konwersji "
                                     "wyrażenia na typ danych %1.")
                          .arg(typeWord(t)));
}

bool isNumber(const QVariant &v) {
    return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int ||
           v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Bool;
}

// Rounds half away from zero at `scale` decimals, on the number's shortest decimal text, so that
// 2.345 rounds to 2.35 as the decimal literal it stands for does (its double lies just below).
double roundDecimal(double d, int scale) {
    if (!std::isfinite(d))
        return d;
    QString s = QString::number(d, 'f', QLocale::FloatingPointShortest);
    const qsizetype dot = s.indexOf(QLatin1Char('.'));
    if (dot < 0 || s.size() - dot - 1 <= scale)
        return d;
    const bool up = s[dot + 1 + scale] >= QLatin1Char('5');
    s.truncate(scale > 0 ? dot + 1 + scale : dot);
    if (up) {
        qsizetype k = s.size() - 1;
        while (k >= 0) {
            if (s[k] == QLatin1Char('.') || s[k] == QLatin1Char('-')) {
                --k;
                continue;
            }
            if (s[k] == QLatin1Char('9')) {
                s[k] = QLatin1Char('0');
                --k;
                continue;
            }
            s[k] = QChar(s[k].unicode() + 1);
            break;
        }
        if (k < 0)
            s.insert(s.startsWith(QLatin1Char('-')) ? 1 : 0, QLatin1Char('1'));
    }
    return s.toDouble();
}

double toDouble(const QVariant &value, const Type &t) {
    if (isNumber(value))
        return value.toDouble();
    bool ok = false;
    const double d = value.toString().trimmed().toDouble(&ok);
    if (!ok)
        conversionFailed(value, t);
    return d;
}

QString numberText(const QVariant &v) {
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return v.toString();
}

QString styledDate(const QDateTime &dt, int style, bool hasTime) {
    switch (style) {
    case 102:
        return dt.toString(QStringLiteral("yyyy.MM.dd"));
    case 103:
        return dt.toString(QStringLiteral("dd/MM/yyyy"));
    case 104:
        return dt.toString(QStringLiteral("dd.MM.yyyy"));
    case 105:
        return dt.toString(QStringLiteral("dd-MM-yyyy"));
    case 108:
        return dt.toString(QStringLiteral("HH:mm:ss"));
    case 112:
        return dt.toString(QStringLiteral("yyyyMMdd"));
    case 23:
        return dt.toString(QStringLiteral("yyyy-MM-dd"));
    case 120:
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 121:
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    default:
        return hasTime ? DateTimeText(dt) : DateText(dt.date());
    }
}

} // namespace

QVariant Convert(const Type &t, const QVariant &value, int defaultLength, int style) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (t.base) {
    case Type::Int:
    case Type::BigInt:
    case Type::SmallInt:
    case Type::TinyInt: {
        qint64 v = 0;
        if (value.typeId() == QMetaType::Double) {
            // Checked against the exact range before converting: a double outside it has no
            // integer value, and converting it would be undefined behaviour. -2^63 is the
            // smallest bigint; 2^63 is the first double past the largest one.
            const double d = std::trunc(value.toDouble());
            if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
                overflow(t);
            v = static_cast<qint64>(d);
        } else if (isNumber(value)) {
            v = value.toLongLong();
        } else {
            bool ok = false;
            v = value.toString().trimmed().toLongLong(&ok);
            if (!ok)
                conversionFailed(value, t);
        }
        const qint64 lo = t.base == Type::Int        ? std::numeric_limits<qint32>::min()
                          : t.base == Type::SmallInt ? -32768
                          : t.base == Type::TinyInt  ? 0
                                                     : std::numeric_limits<qint64>::min();
        const qint64 hi = t.base == Type::Int        ? std::numeric_limits<qint32>::max()
                          : t.base == Type::SmallInt ? 32767
                          : t.base == Type::TinyInt  ? 255
                                                     : std::numeric_limits<qint64>::max();
        if (v < lo || v > hi)
            overflow(t);
        return QVariant(v);
    }
    case Type::Bit: {
        if (isNumber(value))
            return QVariant(qint64(value.toDouble() != 0 ? 1 : 0));
        const QString s = value.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return QVariant(qint64(1));
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return QVariant(qint64(0));
        bool ok = false;
        const double d = s.toDouble(&ok);
        if (!ok)
            conversionFailed(value, t);
        return QVariant(qint64(d != 0 ? 1 : 0));
    }
    case Type::Decimal:
    case Type::Money: {
        const double d = toDouble(value, t);
        const double r = roundDecimal(d, t.scale);
        if (std::fabs(r) >= std::pow(10.0, t.precision - t.scale))
            overflow(t);
        return QVariant(r);
    }
    case Type::Float:
        return QVariant(toDouble(value, t));
    case Type::Text: {
        QString s;
        if (value.typeId() == QMetaType::QString && style >= 0) {
            // CONVERT(varchar, date, style): a date text written in the style asked for.
            const auto dt = ParseDateTime(value.toString());
            s = dt ? styledDate(*dt, style, dt->time() != QTime(0, 0)) : value.toString();
        } else {
            s = isNumber(value) ? numberText(value) : value.toString();
        }
        const int length = t.length < 0 ? defaultLength : t.length;
        if (length > 0 && s.size() > length) {
            if (isNumber(value))
                throw Error(8115,
                            QStringLiteral("Błąd przepełnienia arytmetycznego podczas konwersji "
                                           "wyrażenia na typ danych nvarchar."));
            s.truncate(length);
        }
        if (t.fixedLength && length > 0 && s.size() < length)
            s = s.leftJustified(length, QLatin1Char(' '));
        return QVariant(s);
    }
    case Type::Date:
    case Type::DateTime: {
        QDateTime dt;
        if (isNumber(value)) {
            // A number counts days from 1900-01-01, its fraction the time of day.
            const double d = value.toDouble();
            const double days = std::floor(d);
            if (std::fabs(days) > 3000000)
                overflow(t);
            dt = QDateTime(QDate(1900, 1, 1).addDays(static_cast<qint64>(days)),
                           QTime::fromMSecsSinceStartOfDay(
                               static_cast<int>(std::llround((d - days) * 86400000.0)) % 86400000),
                           Qt::UTC);
        } else {
            const auto parsed = ParseDateTime(value.toString());
            if (!parsed)
                conversionFailed(value, t);
            dt = *parsed;
        }
        if (t.base == Type::Date)
            return QVariant(DateText(dt.date()));
        return QVariant(DateTimeText(dt));
    }
    case Type::Time: {
        const QString s = value.toString().trimmed();
        if (const auto parsed = ParseDateTime(s))
            return QVariant(TimeText(parsed->time()));
        for (const char *f : {"HH:mm:ss.zzz", "HH:mm:ss", "HH:mm", "H:mm:ss", "H:mm"}) {
            const QTime tm = QTime::fromString(s, QLatin1String(f));
            if (tm.isValid())
                return QVariant(TimeText(tm));
        }
        conversionFailed(value, t);
    }
    case Type::Guid: {
        static const QRegularExpression guid(QStringLiteral(
            R"(^\{?[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}?$)"));
        const QString s = value.toString().trimmed();
        if (!guid.match(s).hasMatch())
            conversionFailed(value, t);
        QString g = s;
        g.remove(QLatin1Char('{')).remove(QLatin1Char('}'));
        return QVariant(g.toUpper());
    }
    }
    return value;
}

qint64 IntegerArgument(const QVariant &value, Type::Base base) {
    Type t;
    t.base = base;
    return Convert(t, value).toLongLong();
}

std::optional<QDateTime> ParseDateTime(const QString &input) {
    const QString s = input.trimmed();
    static const QRegularExpression compact(QStringLiteral(
        R"(^(\d{4})(\d{2})(\d{2})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,7}))?)?)?$)"));
    static const QRegularExpression iso(QStringLiteral(
        R"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,7}))?)?)?$)"));
    static const QRegularExpression dotted(QStringLiteral(
        R"(^(\d{1,2})\.(\d{1,2})\.(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,7}))?)?)?$)"));
    QRegularExpressionMatch m;
    int y = 0, mo = 0, d = 0;
    if ((m = compact.match(s)).hasMatch() || (m = iso.match(s)).hasMatch()) {
        y = m.captured(1).toInt();
        mo = m.captured(2).toInt();
        d = m.captured(3).toInt();
    } else if ((m = dotted.match(s)).hasMatch()) {
        d = m.captured(1).toInt();
        mo = m.captured(2).toInt();
        y = m.captured(3).toInt();
    } else {
        return std::nullopt;
    }
    const QDate date(y, mo, d);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (!m.captured(4).isEmpty()) {
        const QString frac = m.captured(7);
        const int ms = frac.isEmpty()
                           ? 0
                           : qRound(QStringView(frac).toDouble() * std::pow(10.0, 3 - frac.size()));
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                     std::min(ms, 999));
        if (!time.isValid())
            return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}

QString DateText(const QDate &value) {
    return value.toString(QStringLiteral("yyyy-MM-dd"));
}

QString TimeText(const QTime &value) {
    return value.msec() ? value.toString(QStringLiteral("HH:mm:ss.zzz"))
                        : value.toString(QStringLiteral("HH:mm:ss"));
}

QString DateTimeText(const QDateTime &value) {
    if (value.time() == QTime(0, 0))
        return DateText(value.date());
    return DateText(value.date()) + QLatin1Char(' ') + TimeText(value.time());
}

QString FormatRaiserror(const QString &format, const QVariantList &args) {
    constexpr int kRaiserrorMaxLength = 2047;
    QString out;
    int next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        if (format[i + 1] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        bool left = false;
        while (j < format.size() && QStringLiteral("-+ 0#").contains(format[j])) {
            left = left || format[j] == QLatin1Char('-');
            ++j;
        }
        // Widths and precisions saturate at the message's own limit: nothing longer can show.
        auto readCount = [&] {
            int n = 0;
            while (j < format.size() && format[j].isDigit())
                n = std::min(kRaiserrorMaxLength, n * 10 + format[j++].digitValue());
            return n;
        };
        const int width = readCount();
        int precision = -1;
        if (j < format.size() && format[j] == QLatin1Char('.')) {
            ++j;
            precision = readCount();
        }
        while (j < format.size() &&
               (format[j] == QLatin1Char('l') || format[j] == QLatin1Char('h') ||
                format[j] == QLatin1Char('I')))
            ++j;
        if (j >= format.size()) {
            out += format.mid(i);
            break;
        }
        const QChar conv = format[j];
        const QVariant arg = args.value(next++);
        QString piece;
        if (!arg.isValid() || arg.isNull())
            piece = QStringLiteral("(null)");
        else if (conv == QLatin1Char('d') || conv == QLatin1Char('i'))
            piece = QString::number(arg.toLongLong());
        else if (conv == QLatin1Char('u'))
            piece = QString::number(arg.toULongLong());
        else if (conv == QLatin1Char('x'))
            piece = QString::number(arg.toLongLong(), 16);
        else if (conv == QLatin1Char('X'))
            piece = QString::number(arg.toLongLong(), 16).toUpper();
        else if (conv == QLatin1Char('o'))
            piece = QString::number(arg.toLongLong(), 8);
        else
            piece = arg.typeId() == QMetaType::Double ? numberText(arg) : arg.toString();
        if (precision >= 0 && conv == QLatin1Char('s') && piece.size() > precision)
            piece.truncate(precision);
        if (piece.size() < width)
            piece = left ? piece.leftJustified(width) : piece.rightJustified(width);
        out += piece;
        i = j;
        if (out.size() > kRaiserrorMaxLength)
            break; // the rest could not show anyway
    }
    // The server shows at most 2047 characters; a longer message keeps 2044 and an ellipsis.
    if (out.size() > kRaiserrorMaxLength)
        out = out.left(kRaiserrorMaxLength - 3) + QStringLiteral("...");
    return out;
}

} // namespace tsql
