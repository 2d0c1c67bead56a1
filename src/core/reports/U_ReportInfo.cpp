#include "U_ReportInfo.h"

QString TOrvel_ReportInfo::ToText() const {
    QString text;
    for (const TOrvel_InfoLine &line : Lines)
        text += QString(line.Level * 2, u' ') + line.Text + QStringLiteral("\r\n");
    return text;
}
