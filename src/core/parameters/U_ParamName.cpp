#include "U_ParamName.h"

namespace {
constexpr qsizetype MaxParamNameLength = 127;
}

bool IsValidParamName(const QString &name) {
    if (name.isEmpty() || name.size() > MaxParamNameLength)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        const bool letter = c.isLetter() || c == u'_';
        if (!letter && (i == 0 || !c.isDigit()))
            return false;
    }
    return true;
}
