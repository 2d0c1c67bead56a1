#include "U_ParamName.h"

#include <QList>
#include <QStringView>

bool IsValidParamName(const QString &name) {
    if (name.isEmpty() || name.size() > MaxParamNameLength)
        return false;
    // By code points, so that a letter beyond the Basic Multilingual Plane counts as a letter (a
    // lone surrogate becomes U+FFFD, which is none).
    bool first = true;
    for (const uint c : QStringView(name).toUcs4()) {
        const bool letter = QChar::isLetter(c) || c == u'_';
        if (!letter && (first || !QChar::isDigit(c)))
            return false;
        first = false;
    }
    return true;
}

QString ParamNameFault(const QString &name) {
    if (IsValidParamName(name))
        return QString();
    if (name.size() > MaxParamNameLength)
        return QStringLiteral("Nazwa parametru jest za długa: ma %1 znaków, a może mieć najwyżej "
                              "%2")
            .arg(name.size())
            .arg(MaxParamNameLength);
    return QStringLiteral("Nazwa parametru '%1' nie może być nazwą zmiennej SQL: dozwolone są "
                          "litery, cyfry i podkreślenia, bez spacji, a na początku litera lub "
                          "podkreślenie")
        .arg(name);
}

QString SameParamName(const QStringList &names, const QString &name) {
    for (const QString &used : names)
        if (used.compare(name, Qt::CaseInsensitive) == 0)
            return used;
    return QString();
}

QString DuplicateParamNameText(const QString &first, const QString &second) {
    if (first == second)
        return QStringLiteral("Nazwa parametru '%1' powtarza się: dwa parametry to ta sama "
                              "zmienna SQL")
            .arg(first);
    return QStringLiteral("Nazwa parametru '%1' powtarza się: parametry '%2' i '%1' to ta sama "
                          "zmienna SQL (wielkość liter nie ma znaczenia)")
        .arg(second, first);
}
