#include "U_SqlLexer.h"

#include "U_ReportEditor.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QSet>

namespace {

// The state carried from one line into the next.
enum LineState { lsNone = 0, lsComment = 1, lsConditional = 2, lsString = 3, lsDoubleString = 4 };

const QSet<QByteArray> &Keywords() {
    static const QSet<QByteArray> words = [] {
        const char *list[] = {
            "ADD",         "ALL",       "ALTER",     "AND",        "ANY",        "AS",
            "ASC",         "AVG",       "BEGIN",     "BETWEEN",    "BIGINT",     "BIT",
            "BREAK",       "BY",        "CASE",      "CAST",       "CHAR",       "CHECK",
            "CLOSE",       "COALESCE",  "COLUMN",    "COMMIT",     "CONSTRAINT", "CONTINUE",
            "CONVERT",     "COUNT",     "CREATE",    "CROSS",      "CURSOR",     "DATABASE",
            "DATE",        "DATETIME",  "DATETIME2", "DEALLOCATE", "DECIMAL",    "DECLARE",
            "DEFAULT",     "DELETE",    "DESC",      "DISTINCT",   "DROP",       "ELSE",
            "END",         "EXCEPT",    "EXEC",      "EXECUTE",    "EXISTS",     "FETCH",
            "FLOAT",       "FOR",       "FOREIGN",   "FROM",       "FULL",       "FUNCTION",
            "GO",          "GOTO",      "GRANT",     "GROUP",      "HAVING",     "IDENTITY",
            "IF",          "IN",        "INDEX",     "INNER",      "INSERT",     "INT",
            "INTERSECT",   "INTO",      "IS",        "JOIN",       "KEY",        "LEFT",
            "LIKE",        "MAX",       "MIN",       "MONEY",      "NCHAR",      "NEXT",
            "NOCOUNT",     "NOLOCK",    "NOT",       "NULL",       "NUMERIC",    "NVARCHAR",
            "OF",          "OFF",       "ON",        "OPEN",       "OR",         "ORDER",
            "OUTER",       "OVER",      "PARTITION", "PRIMARY",    "PRINT",      "PROC",
            "PROCEDURE",   "RAISERROR", "REAL",      "REFERENCES", "RETURN",     "RETURNS",
            "RIGHT",       "ROLLBACK",  "ROWCOUNT",  "SELECT",     "SET",        "SMALLINT",
            "SUM",         "TABLE",     "THEN",      "TINYINT",    "TOP",        "TRAN",
            "TRANSACTION", "TRUNCATE",  "UNION",     "UNIQUE",     "UPDATE",     "USE",
            "VALUES",      "VARCHAR",   "VIEW",      "WHEN",       "WHERE",      "WHILE",
            "WITH"};
        QSet<QByteArray> set;
        for (const char *word : list)
            set.insert(QByteArray(word));
        return set;
    }();
    return words;
}

bool IsWordStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '_' || u >= 0x80 || c == '#';
}
bool IsWordChar(char c) {
    return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

TOrvel_SqlLexer::TOrvel_SqlLexer(QObject *parent) : QsciLexerCustom(parent) {}

QString TOrvel_SqlLexer::description(int style) const {
    switch (style) {
    case Default:
        return QStringLiteral("Default");
    case Comment:
        return QStringLiteral("Comment");
    case ConditionalComment:
        return QStringLiteral("Conditional comment");
    case Identifier:
        return QStringLiteral("Identifier");
    case Keyword:
        return QStringLiteral("Keyword");
    case Number:
        return QStringLiteral("Number");
    case String:
        return QStringLiteral("String");
    case Symbol:
        return QStringLiteral("Symbol");
    case Variable:
        return QStringLiteral("Variable");
    default:
        return QString();
    }
}

QColor TOrvel_SqlLexer::defaultColor(int style) const {
    switch (style) {
    case Comment:
        return QColor(0xB1, 0xB1, 0xB1);
    case ConditionalComment:
        return QColor(0x00, 0x7C, 0xB9);
    case Identifier:
        return QColor(0x00, 0x5E, 0x8A);
    case Keyword:
        return QColor(0x30, 0x30, 0x30);
    case Number:
        return QColor(0xE8, 0x74, 0x00);
    case String:
        return QColor(0x00, 0xA3, 0xD9);
    case Symbol:
        return QColor(Qt::red);
    case Variable:
        return QColor(0x00, 0x66, 0x00);
    default:
        return QColor(Qt::black);
    }
}

QFont TOrvel_SqlLexer::defaultFont(int) const {
    return TOrvel_ReportEditor::EditorFont(); // upright and not bold in every style
}

void TOrvel_SqlLexer::styleText(int start, int end) {
    QsciScintilla *ed = editor();
    if (!ed || start >= end)
        return;
    // Restart at the beginning of the line, in the state the line before ended in.
    const long firstLine = ed->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, start);
    start = int(ed->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, firstLine));
    int state = firstLine > 0
                    ? int(ed->SendScintilla(QsciScintilla::SCI_GETLINESTATE, firstLine - 1))
                    : lsNone;
    const QByteArray text = ed->bytes(start, end);
    const int n = int(text.size()) - 1; // bytes() appends a terminating zero
    long line = firstLine;
    startStyling(start);

    auto at = [&](int i) { return i < n ? text.at(i) : '\0'; };
    auto endLine = [&](int i) {
        // Called on a line feed (or the end of the text): the state goes to the line.
        if (i < n && text.at(i) == '\n') {
            ed->SendScintilla(QsciScintilla::SCI_SETLINESTATE, line, long(state));
            ++line;
        }
    };

    int i = 0;
    while (i < n) {
        const int begin = i;
        const char c = text.at(i);
        if (state == lsComment || state == lsConditional) {
            const int style = state == lsComment ? Comment : ConditionalComment;
            while (i < n && !(text.at(i) == '*' && at(i + 1) == '/') && text.at(i) != '\n')
                ++i;
            if (i < n && text.at(i) == '*') {
                i += 2;
                state = lsNone;
            } else if (i < n) {
                ++i; // the line feed stays inside the comment
                setStyling(i - begin, style);
                endLine(i - 1);
                continue;
            }
            setStyling(i - begin, style);
            continue;
        }
        if (state == lsString || state == lsDoubleString) {
            const char quote = state == lsString ? '\'' : '"';
            bool lineEnded = false;
            while (i < n) {
                if (text.at(i) == quote) {
                    if (at(i + 1) == quote) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    state = lsNone;
                    break;
                }
                ++i;
                if (text.at(i - 1) == '\n') {
                    lineEnded = true;
                    break;
                }
            }
            setStyling(i - begin, String);
            if (lineEnded)
                endLine(i - 1);
            continue;
        }
        if (c == '\n') {
            ++i;
            setStyling(1, Default);
            endLine(i - 1);
            continue;
        }
        if (c == '-' && at(i + 1) == '-') {
            while (i < n && text.at(i) != '\r' && text.at(i) != '\n')
                ++i;
            setStyling(i - begin, Comment);
            continue;
        }
        if (c == '/' && at(i + 1) == '*') {
            state = at(i + 2) == '!' ? lsConditional : lsComment;
            i += 2;
            // The rest of the comment follows in the comment state.
            setStyling(i - begin, state == lsComment ? Comment : ConditionalComment);
            continue;
        }
        if (c == '\'' || c == '"' || ((c == 'N' || c == 'n') && at(i + 1) == '\'')) {
            i += c == '\'' || c == '"' ? 1 : 2;
            state = text.at(i - 1) == '"' ? lsDoubleString : lsString;
            setStyling(i - begin, String);
            continue;
        }
        if (c == '@') {
            ++i;
            while (i < n && (IsWordChar(text.at(i)) || text.at(i) == '@'))
                ++i;
            setStyling(i - begin, Variable);
            continue;
        }
        if (c == '[') {
            while (i < n && text.at(i) != ']' && text.at(i) != '\n')
                ++i;
            if (i < n && text.at(i) == ']')
                ++i;
            setStyling(i - begin, Identifier);
            continue;
        }
        if (IsDigit(c) || (c == '.' && IsDigit(at(i + 1)))) {
            while (i < n && (IsDigit(text.at(i)) || text.at(i) == '.' || text.at(i) == 'e' ||
                             text.at(i) == 'E' || text.at(i) == 'x' || text.at(i) == 'X' ||
                             (text.at(i) >= 'a' && text.at(i) <= 'f') ||
                             (text.at(i) >= 'A' && text.at(i) <= 'F')))
                ++i;
            setStyling(i - begin, Number);
            continue;
        }
        if (IsWordStart(c)) {
            while (i < n && IsWordChar(text.at(i)))
                ++i;
            const QByteArray word = text.mid(begin, i - begin).toUpper();
            setStyling(i - begin, Keywords().contains(word) ? Keyword : Identifier);
            continue;
        }
        ++i;
        const bool blank = c == ' ' || c == '\t' || c == '\r';
        setStyling(1, blank ? Default : Symbol);
    }
}
