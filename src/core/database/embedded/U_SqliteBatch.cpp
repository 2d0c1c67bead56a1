// Batch execution on the embedded engine: a batch split into statements, its variables, the
// statements the T-SQL layer answers itself, the rest run in SQLite, and the outcome in the order
// the server would send it.
#include "U_SqliteBackend.h"

#include "U_SqliteCastTypes.h"
#include "U_SqliteColumnBuilder.h"
#include "U_SqliteErrors.h"
#include "U_SqliteFunctions.h"
#include "U_SqliteRewrite.h"
#include "U_SqliteValues.h"
#include "U_TSql.h"
#include "U_utils.h"

#include <QElapsedTimer>
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
#include <utility>

using namespace sqliteengine;

namespace {

const QString kDatabaseListQuery = QStringLiteral(
    "SELECT dbid,DB_NAME(dbid) AS DB_NAME From master..sysdatabases WHERE (Name<>'master' AND "
    "Name<>'model' AND Name<>'tempdb' AND Name<>'msdb') ORDER BY Name");

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

class SqliteBackend::Batch : private StatementRewriter {
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

    SqliteBackend &FBackend;
    int FTimeout;
    QElapsedTimer FClock;
    bool FClockRunning = false;
    sqlite3 *FWatched = nullptr;
    DbBatchOutcome *FOutcome = nullptr;
    DbRowSink *FSink; // takes the first result's rows in blocks, until that result is complete
    std::map<QString, Variable> FVariables;
    bool FHadRows = false;
};

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
