#pragma once
// The five parameter types: their codes as stored in definitions, their display names and the SQL
// types of their declarations.
#include "U_ParamData.h"

#include <QString>

// Code to display name ("liczba całkowita", "tekst", ...).
QString ParamTypeName(TOrvel_ParamType type);
// Code to type code text ("INT", "TEXT", "BIT", "NUMERIC", "DATE").
QString ParamTypeCode(TOrvel_ParamType type);
// Type code text to code: exact, case-sensitive; INT for any other text.
TOrvel_ParamType ParamTypeFromCode(const QString &code);
// Numeric code (0..4, as the add-parameter dialog carries it) to code; INT for any other number.
TOrvel_ParamType ParamTypeFromNumber(int number);
// The SQL type of a declaration: INT, NVARCHAR(width), BIT, NUMERIC(width,decimal), DATETIME.
QString ParamSQLType(const TOrvel_ParamData &param);
