#include "U_SqliteErrors.h"

#include "U_SqliteFunctions.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <cstring>
#include <optional>
#include <vector>

namespace sqliteengine {

Error unsupported(const QString &what) {
    return Error(
        40001, QStringLiteral("%1 nie jest obsługiwane przez wbudowany silnik SQLite.").arg(what));
}

Error syntaxNear(const QString &near) {
    return Error(102, QStringLiteral("Niepoprawna składnia w pobliżu '%1'.").arg(near), 15);
}

namespace {

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

// The number of engine failures the table does not know; their text stays the engine's own.
constexpr int kGeneralEngineError = 50000;

} // namespace

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

} // namespace sqliteengine
