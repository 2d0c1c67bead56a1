#pragma once
// Where a new parameter's declaration goes in a report's script. The assignments a run puts at the
// marker line need the parameters' variables declared above it; a parameter added later needs its
// own declaration there too, or every run fails with an undeclared variable.
#include "U_ParamData.h"

#include <QString>

// "DECLARE @Name TYPE" with the parameter's SQL type (NVARCHAR(50), NUMERIC(12,2), ...).
QString ParamDeclarationText(const TOrvel_ParamData &param);

// The 0-based line of the marker when `name` is not mentioned above it yet: the new declaration
// goes on its own line just above the marker, also when the script declares nothing there (the
// template's script), since the assignments put at the marker need a declared variable.
// -1 when the script has no marker or mentions `name` above it already.
int DeclarationLine(const QString &script, const QString &name);
