#pragma once
// Statement rewriting: a T-SQL statement's text as SQLite runs it (T-SQL's "+" by the operands'
// types, table hints dropped, TOP as LIMIT, the server's text order in ORDER BY, ...), and the
// type names of declarations.
#include "U_SqliteCollation.h"
#include "U_SqliteErrors.h"
#include "U_SqliteValues.h"
#include "U_TSql.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace sqliteengine {

class StatementRewriter {
protected:
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

    // The count of rows of the last statement, as @@ROWCOUNT reads it.
    qint64 FLastCount = 0;
};

} // namespace sqliteengine
