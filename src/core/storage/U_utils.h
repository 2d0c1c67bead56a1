#pragma once
// Application folders and text helpers shared by every subsystem.
#include "U_FieldType.h"

#include <QDate>
#include <QString>

class DbField;

// Folders: full paths ending with the separator.
QString GetAppFolder();
QString GetDataFolder();
QString GetReportsFolder();
QString GetTemplateFolder();
// The folder the plug-in libraries are looked up in: the application folder when portable,
// PREFIX/lib/orvel-zestawnik when installed.
QString GetPluginFolder();
// The embedded engine's demo databases: "data/demo" in the application folder when portable, the
// read-only shared folder's "demo" when installed. Ends with the separator.
QString GetDemoFolder();
// Points the application folder elsewhere (tests, the command-line runner); "" restores the
// folder of the layout the program runs in.
void SetAppFolder(const QString &folder);
bool IsAppFolderSet();

// Trimming everywhere removes leading and trailing characters with codes up to 32.
QString TrimText(const QString &text);
// Upper/lower case of ASCII letters only.
QString AsciiUpper(const QString &text);
QString AsciiLower(const QString &text);

QString SanitizePath(const QString &text);
QString SanitizeFileName(const QString &text);
QString GetVersionString();
// The program's web page: the about window and the XHTML footer link to it.
QString GetProductWebAddress();

QString DateToSQL(const QDate &date);
QString TextDateToSQL(const QString &text); // raises EOrvelError when the text is not a date
QDate SQLToDate(const QString &text);       // raises EOrvelError on non-digits or impossible dates
QString UnquoteSQLString(const QString &text);
QString CutAtLastChar(const QString &text, QChar c);

bool IsNumericField(TFieldType type);
bool IsStringField(TFieldType type);
bool IsDateTimeField(TFieldType type);
bool IsBooleanField(TFieldType type);
QString FieldTypeName(TFieldType type);
bool IsNumericField(const DbField &field);
bool IsStringField(const DbField &field);
bool IsDateTimeField(const DbField &field);
bool IsBooleanField(const DbField &field);
QString FieldTypeName(const DbField &field);

QString GetSystemUserName();
