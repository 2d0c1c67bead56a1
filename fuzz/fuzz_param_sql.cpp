// Parameter values from text to SQL: whatever the user types, or a stored value holds, the SQL
// value text is exactly one literal (NULL, a quoted string, or a number), so nothing typed can end
// the literal and add SQL of its own.
// Input: one byte choosing the parameter's type and input, one for the list position, one for
// how the text is given (typed or stored), the rest the text (UTF-16).
#include "FuzzSupport.h"
#include "U_ParamInput.h"
#include "U_locale.h"

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A T-SQL number literal: an optional sign, digits with at most one ".", an optional exponent.
bool IsNumberLiteral(const QString &s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == u'-' || s[i] == u'+'))
        ++i;
    qsizetype digits = 0;
    bool dot = false;
    for (; i < n && (IsAsciiDigit(s[i]) || (s[i] == u'.' && !dot)); ++i) {
        if (s[i] == u'.')
            dot = true;
        else
            ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        if (i < n && (s[i] == u'-' || s[i] == u'+'))
            ++i;
        const qsizetype start = i;
        while (i < n && IsAsciiDigit(s[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == n;
}

// A string literal: quotes around the text, every inner quote doubled.
bool IsStringLiteral(const QString &s) {
    qsizetype i = s.startsWith(u'N') ? 1 : 0;
    if (i >= s.size() || s[i] != u'\'')
        return false;
    for (++i; i < s.size(); ++i) {
        if (s[i] != u'\'')
            continue;
        if (i + 1 < s.size() && s[i + 1] == u'\'')
            ++i;
        else
            return i == s.size() - 1;
    }
    return false;
}

bool IsOneLiteral(const QString &s) {
    return s == QLatin1String("NULL") || IsNumberLiteral(s) || IsStringLiteral(s);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    const QString text = Utf16Text(data + 3, size - 3);
    TOrvel_ParamData definition;
    definition.name = QStringLiteral("P");
    definition.type = TOrvel_ParamType(data[0] % 5);
    const bool fixedList = (data[0] / 5) % 2 == 1;
    if (fixedList) {
        definition.listitems = QStringLiteral("a;b;c");
        definition.listvalues = text; // the values themselves come from the definition
    }
    TOrvel_ParamInput input(definition);
    if (data[2] % 2 == 0) {
        // Typed: the text into the input the type shows.
        switch (input.Kind()) {
        case TOrvel_InputKind::ikBit:
            input.SetChecked(!text.isEmpty());
            break;
        case TOrvel_InputKind::ikDate:
            input.SetDate(QDate::fromJulianDay(qint64(data[1]) * 40000), data[1] % 2 == 0);
            break;
        case TOrvel_InputKind::ikFixedList:
            input.SetChosenIndex(int(data[1] % 5) - 1);
            break;
        case TOrvel_InputKind::ikSqlList:
            input.SetKeyValue(text);
            break;
        default:
            input.SetText(text);
            break;
        }
    } else {
        // Stored: the text as a defaults file holds it.
        input.SetSQLValue(text);
    }
    const QString sql = input.GetSQLValue();
    if (!IsOneLiteral(sql)) {
        std::fprintf(stderr, "not one literal: %s\n", qPrintable(sql));
        FUZZ_CHECK(IsOneLiteral(sql));
    }
    (void)input.GetAssignment(true);
    return 0;
}
