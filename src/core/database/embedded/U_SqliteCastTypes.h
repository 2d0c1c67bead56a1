#pragma once
// The T-SQL types of a SELECT's CAST and CONVERT columns, which SQLite reports without a declared
// type.
#include "U_SqliteErrors.h"
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

} // namespace sqliteengine
