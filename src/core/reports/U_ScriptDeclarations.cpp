#include "U_ScriptDeclarations.h"

#include "U_ParamType.h"
#include "U_SQL_report.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// A line without its "--" comment (a "--" inside a string is rare enough above the marker).
QString WithoutLineComment(const QString &line) {
    const qsizetype comment = line.indexOf(QStringLiteral("--"));
    return comment < 0 ? line : line.left(comment);
}

} // namespace

QString ParamDeclarationText(const TOrvel_ParamData &param) {
    return QStringLiteral("DECLARE @") + param.name + u' ' + ParamSQLType(param);
}

int DeclarationLine(const QString &script, const QString &name) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    static const QRegularExpression declare(QStringLiteral("(^|[\\s;])DECLARE\\s+@"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpression declared(
        QStringLiteral("@") + QRegularExpression::escape(name) + QStringLiteral("(?![\\w@#$])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);

    const QStringList lines = script.split(lineBreak);
    bool declares = false;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains(OrvelParamsMarker))
            return declares ? i : -1;
        const QString code = WithoutLineComment(lines.at(i));
        if (code.contains(declared))
            return -1;
        declares = declares || code.contains(declare);
    }
    return -1;
}
