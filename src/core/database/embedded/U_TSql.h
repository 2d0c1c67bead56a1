#pragma once
// The text side of the embedded engine's T-SQL layer: tokens, splitting a batch into statements,
// T-SQL data types and the conversions of values to them. No SQLite here.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <stdexcept>
#include <vector>

namespace tsql {

// An error as the server reports it: its own number, severity, state and text.
class Error : public std::runtime_error {
public:
    Error(int number, const QString &text, int severity = 16, int state = 1)
        : std::runtime_error(text.toStdString()), Number(number), Text(text), Severity(severity),
          State(state) {}
    int Number;
    QString Text;
    int Severity;
    int State;
    int Line = 0;
};

struct Token {
    enum Kind { Space, Comment, Word, Variable, String, QuotedName, TempName, Number, Symbol };
    Kind kind = Space;
    QString text;  // the token's characters as written
    int line = 1;  // 1-based line of its first character
    int depth = 0; // parenthesis depth at the token (a ")" has the depth inside it)
    bool significant() const { return kind != Space && kind != Comment; }
    // The upper-cased text of a word (ASCII letters only), else "".
    QString keyword() const;
    bool is(const char *word) const; // a word with this keyword
    bool isSymbol(const char *symbol) const {
        return kind == Symbol && text == QLatin1String(symbol);
    }
    // The value of a string literal (N prefix and quotes removed, doubled quotes undone) or of a
    // quoted name ("a b" or [a b]); the text itself for other tokens.
    QString value() const;
};

// Raises Error 105 on an unclosed string or quoted name, 113 on an unclosed comment.
std::vector<Token> Tokenize(const QString &sql);

struct Statement {
    std::vector<Token> tokens; // significant tokens and comments inside, no surrounding blanks
    int line = 1;
    QString keyword() const { return tokens.empty() ? QString() : tokens.front().keyword(); }
};

// Splits a batch as T-SQL does: at ";" and where a statement keyword begins a new statement at the
// top level (not inside parentheses, strings or comments, and not where the keyword continues
// the current statement: UNION SELECT, INSERT ... SELECT, UPDATE ... SET, a CTE's main
// statement, CREATE VIEW ... AS SELECT, table hints WITH (...)).
std::vector<Statement> SplitBatch(const QString &sql);

// Joins tokens back into text (blanks where the original had them).
QString Join(const std::vector<Token> &tokens, std::size_t from = 0, std::size_t to = SIZE_MAX);

// A T-SQL data type.
struct Type {
    enum Base {
        Int,
        BigInt,
        SmallInt,
        TinyInt,
        Bit,
        Decimal,
        Money,
        Float,
        Text,
        Date,
        DateTime,
        Time,
        Guid
    };
    Base base = Int;
    int length = -1; // characters of a text type; -1 not given, 0 MAX
    int precision = 18;
    int scale = 0;
    bool fixedLength = false; // CHAR/NCHAR pad with blanks
    QString name;             // as written, upper case, e.g. "NVARCHAR(50)"
};

// Parses a type name such as "NVARCHAR(50)", "NUMERIC(12, 2)", "DATETIME"; raises Error 2715 for
// an unknown type and 40000-range errors for types the engine cannot hold (TABLE, CURSOR).
Type ParseType(const QString &text);

// Converts a value (null, qint64, double, QString) to a type, as SET and CONVERT do: numbers are
// rounded or checked for overflow, texts parsed, dates become the engine's date text
// ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS[.fff]"). defaultLength applies to text types without a
// length (1 in DECLARE, 30 in CONVERT). style: CONVERT's style for dates written as text.
QVariant Convert(const Type &type, const QVariant &value, int defaultLength = 1, int style = -1);

// A value where the server expects an integer (a DATEADD count, a length, a severity): read as
// Convert reads it into `base` (a fraction truncated), so a value outside the type's range is
// error 8115 and never an undefined float-to-integer conversion.
qint64 IntegerArgument(const QVariant &value, Type::Base base = Type::Int);

// Dates as T-SQL reads them from text: '20240131', '20240131 13:45[:10[.123]]', '2024-01-31',
// '2024-01-31 13:45:10', '2024-01-31T13:45:10.5', '31.01.2024'.
std::optional<QDateTime> ParseDateTime(const QString &text);
// The engine's date-time text: the date alone at midnight, else with the time (milliseconds only
// when not zero). Keeps text order equal to time order.
QString DateTimeText(const QDateTime &value);
QString DateText(const QDate &value);
QString TimeText(const QTime &value);

// The printf-like substitution of RAISERROR: %s, %d, %i, %u, %x, %X, %o, %%, with flags and width.
QString FormatRaiserror(const QString &format, const QVariantList &args);

} // namespace tsql
