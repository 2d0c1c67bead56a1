#pragma once
// Where a new parameter's declaration goes in a report's script. Scripts commonly declare their
// parameters' variables in a DECLARE above the marker line; a parameter added later needs its own
// declaration there too, or every run fails with an undeclared variable.
#include "U_ParamData.h"

#include <QString>

// "DECLARE @Name TYPE" with the parameter's SQL type (NVARCHAR(50), NUMERIC(12,2), ...).
QString ParamDeclarationText(const TOrvel_ParamData &param);

// The 0-based line of the marker when a DECLARE of some variable stands above it and `name` is
// not declared above it yet: the new declaration goes on its own line just above the marker.
// -1 when the script has no marker, declares nothing above it, or declares `name` already.
int DeclarationLine(const QString &script, const QString &name);
