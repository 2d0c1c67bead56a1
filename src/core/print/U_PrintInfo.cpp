#include "U_PrintInfo.h"

#include "U_ParamInput.h"
#include "U_SQL_report.h"
#include "U_SqlListText.h"
#include "U_locale.h"

QString ShownParamValue(const TOrvel_ParamInput &input, const DbQuery *list) {
    if (!input.RejectedText().isEmpty())
        return input.RejectedText();
    switch (input.Kind()) {
    case TOrvel_InputKind::ikInt:
    case TOrvel_InputKind::ikText:
    case TOrvel_InputKind::ikNumeric:
        return input.Text();
    case TOrvel_InputKind::ikBit:
        return input.Checked() ? QStringLiteral("tak") : QStringLiteral("nie");
    case TOrvel_InputKind::ikDate:
        return input.DateSet() ? DateToUserText(input.Date(), UserFormatSettings()) : QString();
    case TOrvel_InputKind::ikFixedList: {
        const int index = input.ChosenIndex();
        return index >= 0 && index < input.Captions().size() ? input.Captions().at(index)
                                                             : QString();
    }
    case TOrvel_InputKind::ikSqlList:
        return SqlListShownText(input, list);
    }
    return {};
}

std::vector<std::pair<QString, QString>> ShownParameters(const TOrvel_Report &report) {
    std::vector<std::pair<QString, QString>> shown;
    for (int i = 0; i < report.ParamCount(); ++i) {
        const TOrvel_ParamInput &input = report.Param(i);
        const QString caption =
            input.Definition().desc.isEmpty() ? input.Name() : input.Definition().desc;
        shown.emplace_back(caption, ShownParamValue(input, report.ListQuery(i)));
    }
    return shown;
}
