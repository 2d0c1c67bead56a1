#pragma once
// What the report editors do with files, without widgets: the bytes an editor's text is written
// as, the well-formedness check of a definition text, and the re-formatting of a saved file by the
// optional plug-in library in the plug-in folder.
#include "U_TextCodec.h"

#include <QByteArray>
#include <QString>

// The editor's text with every line break (CR, LF or CR LF) made CR LF. Nothing is added or taken
// away: a text without a final line break is written without one.
QString EditorTextToFileText(const QString &text);

// The encoding named by the XML declaration at the start of the text; "" when there is none.
QString DeclaredXmlEncoding(const QString &text);

// A definition text as file bytes: CR LF line breaks, in the encoding its declaration names
// (UTF-8 without one); characters that encoding lacks become character references.
QByteArray DefinitionFileBytes(const QString &text);

// A script text as file bytes: Windows-1250 when the code page holds every character (whatever
// the file was before), else UTF-8 (with a byte-order mark when `bom`), so nothing is lost and a
// UTF-8 file with non-ASCII characters reads back as UTF-8. `encoding` says which was written.
QByteArray ScriptFileBytes(const QString &text, TOrvel_TextEncoding &encoding, bool bom);

// Whether the bytes parse as a well-formed XML document. Nothing is written anywhere.
bool IsWellFormedXml(const QByteArray &bytes);

// The plug-in library's file name, looked up in the plug-in folder.
QString XmlFormatterLibraryPath();

// Lets the plug-in library re-format a saved file: afterwards the file holds the library's output
// and no "NAME.xmlbak" is left beside it. False (file untouched) when the library is absent, lacks
// its functions, or does not accept the file as XML; a write failure throws EOrvelError and
// leaves the saved file as written.
bool ReformatXmlFile(const QString &path);
// Removes "NAME.xmlbak" beside a saved file: a copy left by an earlier save is out of date.
void RemoveStaleXmlBackup(const QString &path);
