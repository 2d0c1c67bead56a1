#pragma once
// The rule for a parameter's name: it becomes a T-SQL variable (@name) in every script and list
// query of the report, so it must be a valid variable name.
#include <QString>

// A letter (any alphabet, Polish letters included) or an underscore, then letters, digits or
// underscores; no blanks or punctuation; at most 127 characters (the server's limit for a
// variable name without its "@").
bool IsValidParamName(const QString &name);
