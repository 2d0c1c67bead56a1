#pragma once
// The rule for a parameter's name: it becomes a T-SQL variable (@name) in every script and list
// query of the report, so it must be a valid variable name, and no two parameters of a report may
// name the same variable (the server compares variable names without letter case).
#include <QString>
#include <QStringList>

// The server's limit for a variable name without its "@".
inline constexpr qsizetype MaxParamNameLength = 127;

// A letter (any alphabet, Polish letters included) or an underscore, then letters, digits or
// underscores; no blanks or punctuation; at most MaxParamNameLength characters.
bool IsValidParamName(const QString &name);

// Why a name is no valid parameter name, in the user's words (its length when it is too long,
// else the letters-and-digits rule); empty for a valid name.
QString ParamNameFault(const QString &name);

// The first name in `names` that equals `name` with letter case ignored; empty when none does.
QString SameParamName(const QStringList &names, const QString &name);

// The refusal of two parameters that name the same variable, naming both as written.
QString DuplicateParamNameText(const QString &first, const QString &second);
