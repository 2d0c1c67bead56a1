#include "U_ReportFiles.h"

#include "U_ParamName.h"
#include "U_SafeFile.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Digits with an optional sign, one decimal separator and an exponent; at least one digit.
bool IsFloatText(const QString &t, QChar separator) {
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t.at(i) == u'+' || t.at(i) == u'-'))
        ++i;
    int digits = 0;
    while (i < n && IsDigit(t.at(i)))
        ++i, ++digits;
    if (i < n && t.at(i) == separator) {
        ++i;
        while (i < n && IsDigit(t.at(i)))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (t.at(i) == u'e' || t.at(i) == u'E')) {
        ++i;
        if (i < n && (t.at(i) == u'+' || t.at(i) == u'-'))
            ++i;
        int expDigits = 0;
        while (i < n && IsDigit(t.at(i)))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    return i == n;
}

QString ChildText(TOrvel_XmlElement item, const QString &name) {
    return ElementText(FirstChildElement(item, name));
}

} // namespace

QString CompanionFileName(const QString &definitionFile, const QString &suffix) {
    const qsizetype slash = definitionFile.lastIndexOf(u'/');
    const qsizetype dot = definitionFile.lastIndexOf(u'.');
    if (dot <= slash)
        return definitionFile + suffix;
    return definitionFile.left(dot) + suffix;
}

QString ScriptFileName(const QString &definitionFile) {
    return CompanionFileName(definitionFile, QStringLiteral(".sql"));
}
QString DefaultsFileName(const QString &definitionFile) {
    return CompanionFileName(definitionFile, QStringLiteral(" defaults.xml"));
}
QString SettingsFileName(const QString &definitionFile) {
    return CompanionFileName(definitionFile, QStringLiteral(" settings.xml"));
}
QString BackupFileName(const QString &definitionFile) {
    return CompanionFileName(definitionFile, QStringLiteral(".bak"));
}

float ReadDefinitionVersion(const QString &versionText) {
    const QChar separator = UserFormatSettings().DecimalSeparator;
    QString text = TrimText(versionText);
    text.replace(u'.', separator);
    if (!IsFloatText(text, separator))
        throw EOrvelError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    QString c = text;
    c.replace(separator, u'.');
    return float(c.toDouble());
}

int ReadDecimalInteger(const QString &text, int fallback) {
    const QString t = TrimText(text);
    qsizetype i = (t.startsWith(u'-') || t.startsWith(u'+')) ? 1 : 0;
    if (i >= t.size())
        return fallback;
    for (; i < t.size(); ++i) {
        if (!IsDigit(t.at(i)))
            return fallback;
    }
    bool ok = false;
    const int value = t.toInt(&ok, 10);
    return ok ? value : fallback;
}

TOrvel_ParamData ReadParamItem(TOrvel_XmlElement item) {
    TOrvel_ParamData p;
    p.name = ChildText(item, QStringLiteral("name"));
    p.type = ParamTypeFromCode(ChildText(item, QStringLiteral("type")));
    p.width = ReadDecimalInteger(ChildText(item, QStringLiteral("width")), 10);
    p.decimal = ReadDecimalInteger(ChildText(item, QStringLiteral("decimal")), 2);
    p.desc = ChildText(item, QStringLiteral("desc"));
    p.key = ChildText(item, QStringLiteral("key"));
    p.listquery = ChildText(item, QStringLiteral("listquery"));
    p.listitems = ChildText(item, QStringLiteral("listitems"));
    p.listvalues = ChildText(item, QStringLiteral("listvalues"));
    p.listfields = ChildText(item, QStringLiteral("listfields"));
    return p;
}

std::vector<TOrvel_ParamData> ReadParamItems(const TOrvel_XML_util &doc) {
    std::vector<TOrvel_ParamData> params;
    QStringList names;
    const TOrvel_XmlElement container = doc.FindElement(QStringLiteral("params"));
    for (TOrvel_XmlElement item = FirstChildElement(container, QStringLiteral("item")); item;
         item = NextSiblingElement(item, QStringLiteral("item"))) {
        params.push_back(ReadParamItem(item));
        const QString &name = params.back().name;
        // The name goes verbatim into the DECLARE block that runs before every list query: a
        // definition whose name is no variable name does not load.
        if (!IsValidParamName(name))
            throw EOrvelError(QStringLiteral("Nieprawidłowa nazwa parametru: '%1'").arg(name));
        // Two names that differ only by letter case are one variable on the server: both
        // assignments would land on it and the run would silently use the second value.
        const QString same = SameParamName(names, name);
        if (!same.isEmpty())
            throw EOrvelError(DuplicateParamNameText(same, name));
        names.append(name);
    }
    return params;
}

bool ReadDefinition(TOrvel_XML_util &doc, const QString &definitionFile,
                    TOrvel_ReportDefinition &definition) {
    if (!doc.LoadFromFile(definitionFile))
        return false;
    TOrvel_ReportDefinition d;
    d.VersionText = TrimText(doc.GetValue(QStringLiteral("version")));
    d.Version = ReadDefinitionVersion(d.VersionText);
    d.DefaultDb = TrimText(doc.GetValue(QStringLiteral("defaultdb")));
    d.ScriptFile = TrimText(doc.GetValue(QStringLiteral("query")));
    if (d.ScriptFile.isEmpty())
        d.ScriptFile = ScriptFileName(definitionFile);
    d.Params = ReadParamItems(doc);
    definition = std::move(d);
    return true;
}

bool AppendDefinitionItem(TOrvel_XML_util &doc, const TOrvel_ParamData &param) {
    // A definition without `params` gets one at the end of its root, so the item is not lost.
    TOrvel_XmlElement container = doc.FindElement(QStringLiteral("params"));
    if (!container) {
        const TOrvel_XmlElement root = doc.RootElement();
        if (!root)
            return false;
        container = doc.AddElement(root, QStringLiteral("params"));
    }
    const TOrvel_XmlElement item = doc.AddElement(container, QStringLiteral("item"));
    const std::pair<const char *, QString> children[] = {
        {"name", param.name},
        {"type", ParamTypeCode(param.type)},
        {"width", QString::number(param.width)},
        {"decimal", QString::number(param.decimal)},
        {"desc", param.desc},
        {"key", param.key},
        {"listquery", param.listquery},
        {"listitems", param.listitems},
        {"listvalues", param.listvalues},
        {"listfields", param.listfields},
    };
    for (const auto &[name, value] : children)
        doc.SetElementText(doc.AddElement(item, QString::fromLatin1(name)), value);
    return true;
}

TOrvel_ScriptFile ReadScriptFile(const QString &path) {
    TOrvel_ScriptFile script;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return script;
    const TOrvel_DecodedText decoded = DecodeScriptText(file.readAll());
    script.Text = ToCrLfLines(decoded.Text);
    script.Encoding = decoded.Encoding;
    script.Bom = decoded.Bom;
    script.Exists = true;
    return script;
}

bool WriteScriptFile(const QString &path, const QString &text, TOrvel_TextEncoding encoding,
                     bool bom) {
    bool lossy = false;
    SafeWriteFile(path, EncodeScriptText(ToCrLfLines(text), encoding, bom, &lossy));
    return !lossy;
}

bool LoadDefaults(TOrvel_XML_util &doc, const QString &defaultsFile) {
    return doc.LoadFromFile(defaultsFile);
}

QString ReadStoredValue(const TOrvel_XML_util &doc, const QString &paramName) {
    // A nameless parameter has no element; an empty path would address the root itself.
    if (paramName.isEmpty())
        return QString();
    return ElementText(FirstChildElement(doc.RootElement(), paramName));
}

void SaveDefaults(TOrvel_XML_util &doc, const QString &defaultsFile,
                  const std::vector<std::pair<QString, QString>> &values) {
    if (!doc.HasDocument())
        doc.NewDocument();
    // Values are written under whatever root the file has, so a hand-made file is kept.
    const TOrvel_XmlElement root = doc.RootElement();
    for (const auto &[name, value] : values) {
        if (name.isEmpty())
            continue;
        TOrvel_XmlElement element = FirstChildElement(root, name);
        if (!element)
            element = doc.AddElement(root, name);
        doc.SetElementText(element, value);
    }
    doc.SaveToFile(defaultsFile);
}
