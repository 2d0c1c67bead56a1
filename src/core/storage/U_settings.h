#pragma once
// The user's preferences: one XML file, "settings.xml" in the data folder, read and written by
// slash-separated key paths ("Connection/server").
#include "U_XML_util.h"

#include <QString>

#include <memory>

class TOrvel_XMLPrefs {
public:
    // Takes the data folder and creates it (one level) when missing; reads nothing yet.
    TOrvel_XMLPrefs();

    // Loads data folder + fileName; a missing or malformed file leaves an empty document.
    void LoadFile(const QString &fileName);
    // Writes the document to the file loaded last; throws EOrvelError when it cannot be written.
    bool SaveFile();

    QString ReadString(const QString &key) const;
    int ReadInteger(const QString &key, int defaultValue) const;
    bool ReadBool(const QString &key, bool defaultValue) const;
    void WriteString(const QString &key, const QString &value);
    void WriteInteger(const QString &key, int value);
    void WriteBool(const QString &key, bool value);

    const QString &DataFolder() const { return FDataFolder; }
    const QString &FileName() const { return FFileName; }

private:
    TOrvel_XML_util FXml;
    QString FDataFolder;
    QString FFileName;
};

// The one preferences store of the program, created with the main window.
extern std::unique_ptr<TOrvel_XMLPrefs> AppPrefs;
// (Re)creates AppPrefs for the current application folder and loads "settings.xml".
TOrvel_XMLPrefs &CreateAppPrefs();
void FreeAppPrefs();
