#pragma once
// What an SQL pick list shows: the same texts in the closed box of the parameter panel and
// wherever a chosen entry is written out (the printed parameter block).
#include <QString>
#include <QStringList>

#include <vector>

class DbQuery;
class TOrvel_ParamInput;

// The fields a list shows, from the definition's list fields (split as every list text is, empty
// pieces naming no field); the key field alone when none is named.
QStringList SqlListFieldNames(const QString &listFields, const QString &keyField);

// The closed-box text of every row, given each row's list-field texts: the first text; and where
// another row shows the same first text, the row's other non-empty texts follow in parentheses,
// separated by ", ", so that the rows can be told apart.
QStringList SqlListShownTexts(const std::vector<QStringList> &rows);

// The text the list shows for the input's key: that of the row of the open list query whose key
// is the input's. The key itself when the list holds no such row or is not open (the command-line
// runner never opens the lists), so that a value the run used is never left out; empty for no
// key. A list field missing from the query raises the database interface's error.
QString SqlListShownText(const TOrvel_ParamInput &input, const DbQuery *list);
