#include "U_ParamType.h"

namespace {
struct TTypeInfo {
    TOrvel_ParamType Type;
    const char *Code;
    const char16_t *Name;
};

constexpr TTypeInfo kTypes[] = {
    {TOrvel_ParamType::ptInt, "INT", u"liczba całkowita"},
    {TOrvel_ParamType::ptText, "TEXT", u"tekst"},
    {TOrvel_ParamType::ptBit, "BIT", u"logiczny"},
    {TOrvel_ParamType::ptNumeric, "NUMERIC", u"liczba rzeczywista"},
    {TOrvel_ParamType::ptDate, "DATE", u"data"},
};

// A type byte outside the five codes counts as INT, as an unknown type text does.
const TTypeInfo &InfoOf(TOrvel_ParamType type) {
    for (const TTypeInfo &info : kTypes) {
        if (info.Type == type)
            return info;
    }
    return kTypes[0];
}
} // namespace

QString ParamTypeName(TOrvel_ParamType type) {
    return QString::fromUtf16(InfoOf(type).Name);
}

QString ParamTypeCode(TOrvel_ParamType type) {
    return QString::fromLatin1(InfoOf(type).Code);
}

TOrvel_ParamType ParamTypeFromCode(const QString &code) {
    for (const TTypeInfo &info : kTypes) {
        if (code == QLatin1String(info.Code))
            return info.Type;
    }
    return TOrvel_ParamType::ptInt;
}

TOrvel_ParamType ParamTypeFromNumber(int number) {
    for (const TTypeInfo &info : kTypes) {
        if (static_cast<int>(info.Type) == number)
            return info.Type;
    }
    return TOrvel_ParamType::ptInt;
}

QString ParamSQLType(const TOrvel_ParamData &param) {
    switch (InfoOf(param.type).Type) {
    case TOrvel_ParamType::ptText:
        return QStringLiteral("NVARCHAR(%1)").arg(param.width);
    case TOrvel_ParamType::ptBit:
        return QStringLiteral("BIT");
    case TOrvel_ParamType::ptNumeric:
        return QStringLiteral("NUMERIC(%1,%2)").arg(param.width).arg(param.decimal);
    case TOrvel_ParamType::ptDate:
        return QStringLiteral("DATETIME");
    case TOrvel_ParamType::ptInt:
        break;
    }
    return QStringLiteral("INT");
}
