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
    const QRegularExpression declared(
        QStringLiteral("@") + QRegularExpression::escape(name) + QStringLiteral("(?![\\w@#$])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);

    const QStringList lines = script.split(lineBreak);
    for (int i = 0; i < lines.size(); ++i) {
        if (WithoutLineComment(lines.at(i)).contains(declared))
            return -1;
        if (lines.at(i).contains(OrvelParamsMarker))
            return i;
    }
    return -1;
}
