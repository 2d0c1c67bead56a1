#pragma once
// One parameter definition as the report definition's item describes it.
#include <QString>
#include <cstdint>

enum class TOrvel_ParamType : std::uint8_t {
    ptInt = 0,
    ptText = 1,
    ptBit = 2,
    ptNumeric = 3,
    ptDate = 4
};

struct TOrvel_ParamData {
    QString name = QStringLiteral("Param1");
    TOrvel_ParamType type = TOrvel_ParamType::ptInt;
    std::int32_t width = 10;
    std::int32_t decimal = 2;
    QString desc = QStringLiteral("Parametr");
    QString key;
    QString listquery;
    QString listitems;
    QString listvalues;
    QString listfields;

    // Back to the initial values, as before each item of a definition is read.
    void Reset() { *this = TOrvel_ParamData(); }
    bool operator==(const TOrvel_ParamData &) const = default;
};

// A parameter's value as its input holds it (the SQL value text, unquoted), kept to be put back
// after the report is loaded again.
struct TOrvel_ParamValue {
    QString Name;
    TOrvel_ParamType Type = TOrvel_ParamType::ptInt;
    QString Value;
};
