#pragma once
// What the top of a printed result says about its parameters: each parameter's caption and its
// value as the parameter panel shows it.
#include <QString>

#include <utility>
#include <vector>

class DbQuery;
class TOrvel_ParamInput;
class TOrvel_Report;

// The value as the panel shows it: the entered text, "tak" or "nie", a date in the user's format
// (empty while no date is set), a fixed list's chosen caption, an SQL list's shown text for the
// chosen key, read from the list's query (the key itself while the list is not open); empty for
// none.
QString ShownParamValue(const TOrvel_ParamInput &input, const DbQuery *list = nullptr);

// Caption and shown value of every parameter of the report, in the panel's order.
std::vector<std::pair<QString, QString>> ShownParameters(const TOrvel_Report &report);
