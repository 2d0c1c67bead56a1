#include "U_SqlListText.h"

#include "U_Db.h"
#include "U_ParamInput.h"

#include <QSet>

QStringList SqlListFieldNames(const QString &listFields, const QString &keyField) {
    QStringList names;
    for (const QString &name : SplitListText(listFields))
        if (!name.isEmpty())
            names << name;
    if (names.isEmpty())
        names << keyField;
    return names;
}

QStringList SqlListShownTexts(const std::vector<QStringList> &rows) {
    QSet<QString> seen;
    QSet<QString> repeated;
    for (const QStringList &row : rows) {
        const QString first = row.value(0);
        if (seen.contains(first))
            repeated.insert(first);
        seen.insert(first);
    }
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(rows.size()));
    for (const QStringList &row : rows) {
        QString text = row.value(0);
        if (repeated.contains(text)) {
            QStringList others;
            for (qsizetype i = 1; i < row.size(); ++i)
                if (!row[i].isEmpty())
                    others << row[i];
            if (!others.isEmpty())
                text += QStringLiteral(" (") + others.join(QStringLiteral(", ")) + u')';
        }
        shown << text;
    }
    return shown;
}

QString SqlListShownText(const TOrvel_ParamInput &input, const DbQuery *list) {
    const QString key = input.KeyText();
    if (key.isEmpty() || !list || !list->IsOpen())
        return key;
    const TOrvel_ParamData &d = input.Definition();
    const DbField *keyField = list->FieldByName(d.key);
    std::vector<const DbField *> fields;
    for (const QString &name : SqlListFieldNames(d.listfields, d.key))
        fields.push_back(list->FieldByName(name));
    // Keys compare in the text form the input gives them, as the panel's list compares them.
    TOrvel_ParamInput probe(d);
    int found = -1;
    const int rows = list->RecordCount();
    for (int row = 0; row < rows && found < 0; ++row) {
        probe.SetKeyValue(keyField->ValueAt(row));
        if (probe.KeyText() == key)
            found = row;
    }
    if (found < 0)
        return key;
    // The repeated-text rule needs every row's first text; the others only for the found row's
    // repeats, but a pick list is small enough to read whole.
    std::vector<QStringList> texts(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row)
        for (const DbField *field : fields)
            texts[static_cast<std::size_t>(row)] << field->DisplayTextAt(row);
    return SqlListShownTexts(texts).at(found);
}
