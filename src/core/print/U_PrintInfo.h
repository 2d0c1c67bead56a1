#pragma once
// What the top of a printed result says about its parameters: each parameter's caption and its
// value as the parameter panel shows it.
#include <QString>

#include <utility>
#include <vector>

class TOrvel_ParamInput;
class TOrvel_Report;

// The value as the panel shows it: the entered text, "tak" or "nie", a date in the user's format
// (empty while no date is set), a fixed list's chosen caption, an SQL list's key; empty for none.
QString ShownParamValue(const TOrvel_ParamInput &input);

// Caption and shown value of every parameter of the report, in the panel's order.
std::vector<std::pair<QString, QString>> ShownParameters(const TOrvel_Report &report);
