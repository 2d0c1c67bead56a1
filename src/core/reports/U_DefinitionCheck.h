#pragma once
// The check a definition text passes before it is saved: well-formed XML that the report loader
// will accept and whose parameters can run. A definition that fails it would lock its report out
// of the program once saved.
#include <QByteArray>
#include <QString>
#include <QStringList>

struct TOrvel_DefinitionCheck {
    bool Ok = true;
    QString Reason; // in the user's words; empty when Ok
    int Line = 0;   // 1-based line of the fault, 0 when unknown
    int Column = 0; // 1-based column (XML syntax errors only), 0 when unknown
};

// Checks the bytes a save would write:
// - well-formed XML with a root element "Zestawnik";
// - `version` a number as the loader reads it;
// - every `item` under `params`: a `name` that is a valid parameter name (IsValidParamName),
//   unique ignoring letter case; a `type` that is one of the five type codes; an SQL pick list
//   (a `listquery`) with its `key` and `listfields`; a fixed pick list with as many values as
//   captions (or no values at all).
TOrvel_DefinitionCheck CheckDefinition(const QByteArray &bytes);

// The names of the `item` elements under `params`, in document order; empty for a text that is
// not well-formed.
QStringList DefinitionParamNames(const QByteArray &bytes);

// Whether `names` holds `name` with letter case ignored.
bool ContainsParamName(const QStringList &names, const QString &name);
