#pragma once
// Work over the ordered parameters of a report: the parameter block of SQL text, and which SQL pick
// lists must be cleared when a parameter changes.
#include "U_ParamData.h"

#include <QList>
#include <QString>

class TOrvel_ParamInput;

// With declarations: "DECLARE", one " @name TYPE" line per parameter (a comma after all but the
// last), an empty line, then "SET @name = value" per parameter. Without declarations: only the
// assignments, each followed by " -- " and its type code. Every line ends with CR LF; no
// parameters give the empty text.
QString GetParamsBlock(const QList<const TOrvel_ParamInput *> &params, bool withDeclarations);

// Whether a pick list's query uses the variable @name. The name must be the whole variable name
// (@Kod does not match inside @Kod2) and letters compare without case, as variable names do on
// SQL Server's usual collations. An empty name is never used.
bool ListQueryUsesParam(const QString &listquery, const QString &name);

// The SQL pick lists to clear, in the order of clearing, when the parameter at `changed` got a new
// value: every SQL list whose query uses the changed parameter, then, depth first, the lists that
// use each cleared one. Each list is cleared at most once, and the changed parameter never is, so
// a cycle or a list that mentions itself stops the cascade instead of wiping the user's choice.
QList<int> ListsToClear(const QList<const TOrvel_ParamData *> &params, int changed);
