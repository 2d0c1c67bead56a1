// T-SQL's "+" on the embedded engine, checked against a small model of the server's rules: the
// input's bytes build an expression of text and int operands (literals, variables, a NULL text
// variable, functions, casts, parentheses, CASE) joined by "+", "-" and "*"; the model types it
// as the server does (text + text joins; text + int converts the text to int, and a text that is
// no int fails with error 245; int + int adds) and computes its value. The engine must give the
// same value, or fail with the same error. Passed over: expressions whose int values leave the
// int range (the server would fail them with an overflow the engine need not copy), and a NULL
// int beside a text that is no number (the engine's NULL has no type to convert the text to).
#include "FuzzSupport.h"
#include "U_Db.h"
#include "U_error.h"
#include "U_locale.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <optional>

namespace {

struct Value {
    bool text = false;
    bool null = false;
    qint64 number = 0;
    QString string;
};

struct Outcome {
    std::optional<Value> value; // none: the conversion error 245
    bool outOfRange = false;
};

// How an expression's text binds, so that it is written as the model reads it: an operand, a
// product, a sum.
enum Binding { Operand, Product, Sum };

struct Expr {
    QString sql;
    Outcome outcome;
    Binding binding = Operand;
    // The text as an operand where `loosest` is the loosest binding that needs no parentheses.
    QString As(Binding loosest) const { return binding > loosest ? u'(' + sql + u')' : sql; }
};

class Generator {
public:
    Generator(const uint8_t *data, size_t size) : FData(data), FSize(size) {}

    // The SQL of an expression and what the server makes of it; wantText: the type it must have
    // (none: either).
    Expr Expression(int depth, std::optional<bool> wantText = {}) {
        const int kind = depth >= 4 ? Next() % 4 : Next() % 10;
        switch (kind) {
        case 0:
        case 1:
        case 2:
        case 3:
            return Leaf(kind, wantText);
        case 4: { // parentheses
            const Expr e = Expression(depth + 1, wantText);
            return {u'(' + e.sql + u')', e.outcome};
        }
        case 5:
        case 6: { // "+"
            const Expr left = Expression(depth + 1);
            const Outcome &a = left.outcome;
            std::optional<bool> want;
            if (wantText && *wantText && !(a.value && a.value->text))
                want = true; // int + text is int: only text + text is text
            else if (wantText && !*wantText && a.value && a.value->text)
                want = false;
            const Expr right = Expression(depth + 1, want);
            Outcome o = Plus(a, right.outcome);
            if (wantText && o.value && o.value->text != *wantText)
                return Leaf(Next() % 4, wantText);
            // "+" and "-" group from the left: a sum on the right needs its parentheses.
            return {left.As(Sum) + QStringLiteral(" + ") + right.As(Product), o, Sum};
        }
        case 7: { // "-" or "*" between ints
            if (wantText && *wantText)
                return Leaf(1, wantText);
            const Expr left = Expression(depth + 1, false);
            const Expr right = Expression(depth + 1, false);
            const bool times = Next() % 2;
            const Outcome o = Arith(left.outcome, right.outcome, times);
            if (times)
                return {left.As(Product) + QStringLiteral(" * ") + right.As(Operand), o, Product};
            return {left.As(Sum) + QStringLiteral(" - ") + right.As(Product), o, Sum};
        }
        case 8: { // a function of a text, or a cast of anything to text
            if (wantText && !*wantText)
                return Leaf(0, wantText);
            if (Next() % 2) {
                Expr inner = Expression(depth + 1, true);
                Outcome a = inner.outcome;
                if (a.value && !a.value->null)
                    a.value->string =
                        a.value->string.toUpper(); // the server's UPPER knows every letter
                return {QStringLiteral("UPPER(%1)").arg(inner.sql), a};
            }
            Expr inner = Expression(depth + 1);
            Outcome a = inner.outcome;
            if (a.value && !a.value->text) {
                a.value->text = true;
                a.value->string = QString::number(a.value->number);
            }
            return {QStringLiteral("CAST(%1 AS NVARCHAR(4000))").arg(inner.sql), a};
        }
        default: { // CASE with two branches of one type
            const Expr taken = Expression(depth + 1, wantText);
            const Outcome &a = taken.outcome;
            const bool text = a.value ? a.value->text : (wantText ? *wantText : true);
            const Expr other = Expression(depth + 1, text);
            const Outcome &b = other.outcome;
            if (b.value && b.value->text != text)
                return {u'(' + taken.sql + u')', a};
            Outcome o = a;
            o.outOfRange = a.outOfRange || b.outOfRange;
            return {QStringLiteral("CASE WHEN 1 = 1 THEN %1 ELSE %2 END").arg(taken.sql, other.sql),
                    o};
        }
        }
    }

    // The batch's variables, their values fixed by the input.
    QString Declarations() {
        FText1 = Text();
        FText2 = Text();
        FInt1 = Next() % 200;
        return QStringLiteral("DECLARE @t1 NVARCHAR(40) = N'%1', @t2 NVARCHAR(40) = N'%2', "
                              "@tn NVARCHAR(40), @i1 INT = %3\n")
            .arg(Quoted(FText1), Quoted(FText2))
            .arg(FInt1);
    }

private:
    uint8_t Next() { return FAt < FSize ? FData[FAt++] : 0; }

    static QString Quoted(QString s) { return s.replace(u'\'', QStringLiteral("''")); }

    QString Text() {
        static const QString alphabet = QStringLiteral("0123456789 +-abcŁż'x.");
        QString s;
        const int length = Next() % 6;
        for (int i = 0; i < length; ++i)
            s += alphabet[Next() % alphabet.size()];
        return s;
    }

    Expr Leaf(int kind, std::optional<bool> wantText) {
        if (wantText)
            kind = *wantText ? (kind % 2 ? 1 : 2) : (kind % 2 ? 0 : 3);
        Value v;
        switch (kind) {
        case 0: {
            v.number = Next() % 1000;
            return {QString::number(v.number), {v}};
        }
        case 1: {
            v.text = true;
            v.string = Text();
            return {QStringLiteral("N'%1'").arg(Quoted(v.string)), {v}};
        }
        case 2: {
            v.text = true;
            switch (Next() % 3) {
            case 0:
                v.string = FText1;
                return {QStringLiteral("@t1"), {v}};
            case 1:
                v.string = FText2;
                return {QStringLiteral("@t2"), {v}};
            default:
                v.null = true;
                return {QStringLiteral("@tn"), {v}};
            }
        }
        default:
            v.number = FInt1;
            return {QStringLiteral("@i1"), {v}};
        }
    }

    static bool InRange(qint64 n) {
        return n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
    }

    // A text where the server wants an int: blanks around an optional sign and digits; blanks
    // alone are 0.
    static Outcome ToInt(const Value &text) {
        Outcome o;
        Value v;
        v.null = text.null;
        if (text.null) {
            o.value = v;
            return o;
        }
        const QString s = text.string.trimmed();
        if (s.isEmpty()) {
            o.value = v;
            return o;
        }
        qsizetype i = (s[0] == u'+' || s[0] == u'-') ? 1 : 0;
        if (i == s.size())
            return o;
        for (qsizetype k = i; k < s.size(); ++k)
            if (s[k] < u'0' || s[k] > u'9')
                return o;
        bool ok = false;
        v.number = s.toLongLong(&ok);
        if (!ok || !InRange(v.number))
            o.outOfRange = true;
        o.value = v;
        return o;
    }

    static Outcome Plus(const Outcome &a, const Outcome &b) {
        Outcome o;
        o.outOfRange = a.outOfRange || b.outOfRange;
        if (!a.value || !b.value)
            return o;
        const Value &x = *a.value, &y = *b.value;
        if (x.text && y.text) {
            Value v;
            v.text = true;
            v.null = x.null || y.null;
            if (!v.null)
                v.string = x.string + y.string;
            o.value = v;
            return o;
        }
        Outcome cx = x.text ? ToInt(x) : Outcome{x};
        Outcome cy = y.text ? ToInt(y) : Outcome{y};
        o.outOfRange = o.outOfRange || cx.outOfRange || cy.outOfRange;
        // A NULL has no type on the engine: beside it, a text that is no number gives NULL
        // there, where the server fails its conversion.
        if ((!cx.value && y.null) || (!cy.value && x.null))
            o.outOfRange = true;
        if (!cx.value || !cy.value)
            return o;
        if (o.outOfRange)
            return o;
        Value v;
        v.null = cx.value->null || cy.value->null;
        if (!v.null)
            v.number = cx.value->number + cy.value->number;
        o.outOfRange = o.outOfRange || !InRange(v.number);
        o.value = v;
        return o;
    }

    static Outcome Arith(const Outcome &a, const Outcome &b, bool times) {
        Outcome o;
        o.outOfRange = a.outOfRange || b.outOfRange;
        if (!a.value || !b.value)
            return o;
        if (o.outOfRange)
            return o; // passed over: the values may be anything
        Value v;
        v.null = a.value->null || b.value->null;
        if (!v.null)
            v.number =
                times ? a.value->number * b.value->number : a.value->number - b.value->number;
        o.outOfRange = o.outOfRange || !InRange(v.number);
        o.value = v;
        return o;
    }

    const uint8_t *FData;
    size_t FSize;
    size_t FAt = 0;
    QString FText1, FText2;
    qint64 FInt1 = 0;
};

[[noreturn]] void Mismatch(const QString &sql, const QString &what) {
    std::fprintf(stderr, "the engine's \"+\" differs from the server's:\n%s\n%s\n", qPrintable(sql),
                 qPrintable(what));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Generator generator(data, size);
    const QString declarations = generator.Declarations();
    const Expr e = generator.Expression(0);
    const Outcome &expected = e.outcome;
    if (expected.outOfRange)
        return 0;
    const QString sql = declarations + QStringLiteral("SELECT ") + e.sql + QStringLiteral(" AS x");
    static const QString folder = [] {
        const QString path = ScratchFolder().filePath(QStringLiteral("engine"));
        QDir().mkpath(path);
        return path;
    }();
    DbConnection connection;
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + folder;
    connection.Open(settings);
    DbQuery query(&connection);
    query.SQL = sql;
    try {
        query.Open();
    } catch (const std::exception &e) {
        const auto messages = connection.ProviderMessages();
        const bool conversion = !messages.isEmpty() && messages.front().NativeError == 245;
        if (expected.value || !conversion)
            Mismatch(sql, QStringLiteral("the engine failed: ") + QString::fromUtf8(e.what()));
        return 0;
    }
    if (!expected.value)
        Mismatch(sql, QStringLiteral("the engine gave a value where the server fails (245)"));
    DbField *x = query.FieldByName(QStringLiteral("x"));
    const Value &v = *expected.value;
    if (v.null != x->IsNull())
        Mismatch(sql, QStringLiteral("NULL expected: %1").arg(v.null));
    if (v.null)
        return 0;
    const QVariant got = x->Value();
    if (v.text ? got.toString() != v.string
               : (got.typeId() == QMetaType::QString || got.toLongLong() != v.number))
        Mismatch(sql,
                 QStringLiteral("expected %1, got %2")
                     .arg(v.text ? QStringLiteral("'%1'").arg(v.string) : QString::number(v.number),
                          got.toString()));
    return 0;
}
