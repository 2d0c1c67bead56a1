#pragma once
// The files of one report: the definition NAME.xml with its parameter items, the script
// NAME.sql, the stored parameter values "NAME defaults.xml" and the names of the other
// companions. The report object calls these; they hold no state of their own.
#include "U_ParamData.h"
#include "U_ParamType.h"
#include "U_TextCodec.h"
#include "U_XML_util.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The definition's path with its last extension (from the last "." of the file name) replaced by
// `suffix`; a name without an extension gets the suffix appended.
QString CompanionFileName(const QString &definitionFile, const QString &suffix);
QString ScriptFileName(const QString &definitionFile);   // NAME.sql
QString DefaultsFileName(const QString &definitionFile); // "NAME defaults.xml"
QString SettingsFileName(const QString &definitionFile); // "NAME settings.xml"
QString BackupFileName(const QString &definitionFile);   // NAME.bak

// The version text, trimmed, with every "." replaced by the user's decimal separator and
// converted in single precision; throws EOrvelError "'%s' is not a valid floating point value"
// with the replaced text.
float ReadDefinitionVersion(const QString &versionText);

// A decimal integer after trimming, or the fallback.
int ReadDecimalInteger(const QString &text, int fallback);

struct TOrvel_ReportDefinition {
    QString VersionText; // trimmed, for display
    float Version = 0;
    QString DefaultDb;  // trimmed; empty: no database is proposed
    QString ScriptFile; // the trimmed `query` element, or NAME.sql beside the definition
    std::vector<TOrvel_ParamData> Params;
};

// One `item` element read into a parameter record (absent children read as empty, width and
// decimal fall back to 10 and 2, an unknown type is INT).
TOrvel_ParamData ReadParamItem(TOrvel_XmlElement item);
// The `item` children of the first `params` element under the root, in document order.
std::vector<TOrvel_ParamData> ReadParamItems(const TOrvel_XML_util &doc);

// Loads `definitionFile` into `doc` and reads it. False when the file is missing or not
// well-formed; throws EOrvelError when the version is absent or not a number.
bool ReadDefinition(TOrvel_XML_util &doc, const QString &definitionFile,
                    TOrvel_ReportDefinition &definition);

// Appends one `item` with its ten children to the first `params` element, which is added at the
// end of the root when missing; false (nothing changed) only for a document without a root.
bool AppendDefinitionItem(TOrvel_XML_util &doc, const TOrvel_ParamData &param);

// The script, decoded by the file's own encoding (UTF-8 or Windows-1250), its lines joined with
// CR LF after every line. A missing file gives an empty text and `Exists` false.
struct TOrvel_ScriptFile {
    QString Text;
    TOrvel_TextEncoding Encoding = TOrvel_TextEncoding::teWindows1250;
    bool Bom = false;
    bool Exists = false;
};
TOrvel_ScriptFile ReadScriptFile(const QString &path);
// Writes the script back in the encoding it was read with, CR LF after every line. Characters
// that Windows-1250 lacks become "?"; returns false when that happened (the file is written).
bool WriteScriptFile(const QString &path, const QString &text, TOrvel_TextEncoding encoding,
                     bool bom = false);

// The stored values: one element per parameter directly under the root.
bool LoadDefaults(TOrvel_XML_util &doc, const QString &defaultsFile);
QString ReadStoredValue(const TOrvel_XML_util &doc, const QString &paramName);
// Sets every (name, value) in order under the root (a missing element is created at the end, an
// existing one has its content replaced), then saves; the document keeps the values even when
// saving throws.
void SaveDefaults(TOrvel_XML_util &doc, const QString &defaultsFile,
                  const std::vector<std::pair<QString, QString>> &values);
