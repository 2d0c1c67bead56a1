#include "U_SqliteCollation.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <sqlite3.h>

#include <vector>

namespace sqlitecoll {

namespace {

// One collator per thread: QCollator may not be shared between threads that compare at once.
const QCollator &Collator() {
    thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Polish, QLocale::Poland));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator;
}

QStringView WithoutTrailingBlanks(QStringView s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.first(n);
}

char32_t Folded(char32_t c) {
    return QChar::toCaseFolded(c);
}

// One element of a LIKE pattern.
struct Element {
    enum Kind { Any, One, Set, Literal } kind = Literal;
    char32_t ch = 0;
    bool negated = false;
    // Inclusive ranges in the collation's order ("[a-c]" holds "ą" as on the server).
    std::vector<std::pair<QString, QString>> ranges;
    bool matches(char32_t c) const {
        switch (kind) {
        case One:
            return true;
        case Literal:
            return Folded(c) == ch;
        case Set: {
            const QString s = QString::fromUcs4(&c, 1);
            bool in = false;
            for (const auto &[lo, hi] : ranges)
                in = in || (Compare(lo, s) <= 0 && Compare(s, hi) <= 0);
            return in != negated;
        }
        case Any:
            break;
        }
        return false;
    }
};

std::vector<char32_t> CodePoints(QStringView s) {
    std::vector<char32_t> out;
    out.reserve(static_cast<std::size_t>(s.size()));
    for (char32_t c : s.toUcs4())
        out.push_back(c);
    return out;
}

std::vector<Element> ParsePattern(QStringView pattern, char16_t escape) {
    const std::vector<char32_t> p = CodePoints(pattern);
    std::vector<Element> elements;
    for (std::size_t i = 0; i < p.size(); ++i) {
        Element e;
        const char32_t c = p[i];
        if (escape && c == escape && i + 1 < p.size()) {
            e.ch = Folded(p[++i]);
        } else if (c == U'%') {
            e.kind = Element::Any;
            if (!elements.empty() && elements.back().kind == Element::Any)
                continue;
        } else if (c == U'_') {
            e.kind = Element::One;
        } else if (c == U'[') {
            // "[...]" up to the next "]"; without one the "[" stands for itself.
            std::size_t close = i + 1;
            if (close < p.size() && p[close] == U'^')
                ++close;
            if (close < p.size() && p[close] == U']')
                ++close; // a "]" first in the set is a member
            while (close < p.size() && p[close] != U']')
                ++close;
            if (close >= p.size()) {
                e.ch = Folded(c);
            } else {
                e.kind = Element::Set;
                std::size_t k = i + 1;
                if (p[k] == U'^') {
                    e.negated = true;
                    ++k;
                }
                for (; k < close; ++k) {
                    const QString lo = QString::fromUcs4(&p[k], 1);
                    if (k + 2 < close && p[k + 1] == U'-') {
                        e.ranges.emplace_back(lo, QString::fromUcs4(&p[k + 2], 1));
                        k += 2;
                    } else {
                        e.ranges.emplace_back(lo, lo);
                    }
                }
                i = close;
            }
        } else {
            e.ch = Folded(c);
        }
        elements.push_back(std::move(e));
    }
    return elements;
}

int CompareCallback(void *, int n1, const void *s1, int n2, const void *s2) {
    const QStringView a(static_cast<const char16_t *>(s1), n1 / 2);
    const QStringView b(static_cast<const char16_t *>(s2), n2 / 2);
    return Compare(a, b);
}

QStringView TextArg(sqlite3_value *value) {
    const auto *s = static_cast<const char16_t *>(sqlite3_value_text16(value));
    return s ? QStringView(s, sqlite3_value_bytes16(value) / 2) : QStringView();
}

void LikeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
    // like(pattern, text[, escape]) as SQLite calls it for "text LIKE pattern [ESCAPE e]".
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    char16_t escape = 0;
    if (argc == 3) {
        const QStringView e = TextArg(argv[2]);
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e[0].unicode();
    }
    const QStringView pattern = TextArg(argv[0]);
    const QStringView text = TextArg(argv[1]);
    sqlite3_result_int(ctx, Like(text, pattern, escape) ? 1 : 0);
}

} // namespace

int Compare(QStringView a, QStringView b) {
    const int c = Collator().compare(WithoutTrailingBlanks(a), WithoutTrailingBlanks(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool Like(QStringView text, QStringView pattern, char16_t escape) {
    const std::vector<Element> p = ParsePattern(pattern, escape);
    const std::vector<char32_t> t = CodePoints(text);
    // Greedy matching that goes back to the last "%" on a mismatch: linear in practice, and
    // exact because every other element takes exactly one character.
    std::size_t ti = 0, pi = 0;
    std::size_t starP = SIZE_MAX, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi].kind == Element::Any) {
            starP = pi++;
            starT = ti;
        } else if (pi < p.size() && p[pi].matches(t[ti])) {
            ++pi;
            ++ti;
        } else if (starP != SIZE_MAX) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == Element::Any)
        ++pi;
    return pi == p.size();
}

bool Register(sqlite3 *db) {
    bool ok = sqlite3_create_collation_v2(db, CollationName, SQLITE_UTF16, nullptr,
                                          &CompareCallback, nullptr) == SQLITE_OK;
    for (int args : {2, 3})
        ok = sqlite3_create_function_v2(db, "like", args, SQLITE_UTF16 | SQLITE_DETERMINISTIC,
                                        nullptr, &LikeFunction, nullptr, nullptr,
                                        nullptr) == SQLITE_OK &&
             ok;
    return ok;
}

} // namespace sqlitecoll
