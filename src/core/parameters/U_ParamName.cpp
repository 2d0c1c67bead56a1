#include "U_ParamName.h"

#include <QList>
#include <QStringView>

namespace {
constexpr qsizetype MaxParamNameLength = 127;
}

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
