#include "U_settings.h"

#include "U_utils.h"

#include <QDir>

std::unique_ptr<TOrvel_XMLPrefs> AppPrefs;

TOrvel_XMLPrefs::TOrvel_XMLPrefs() : FDataFolder(GetDataFolder()) {
    // One level only: the application folder above it always exists.
    QDir dir(FDataFolder);
    if (!dir.exists())
        QDir().mkdir(FDataFolder);
}

void TOrvel_XMLPrefs::LoadFile(const QString &fileName) {
    FFileName = FDataFolder + fileName;
    FXml.LoadFromFile(FFileName);
}

bool TOrvel_XMLPrefs::SaveFile() {
    if (!FXml.HasDocument())
        FXml.NewDocument();
    return FXml.SaveToFile(FFileName.isEmpty() ? FDataFolder + QStringLiteral("settings.xml")
                                               : FFileName);
}

QString TOrvel_XMLPrefs::ReadString(const QString &key) const {
    return FXml.GetValue(key);
}

int TOrvel_XMLPrefs::ReadInteger(const QString &key, int defaultValue) const {
    const QString text = ReadString(key);
    // Signed decimal digits only: no blanks, no thousands separators, no hexadecimal.
    static const auto isDecimal = [](const QString &t) {
        qsizetype i = (t.startsWith(u'-') || t.startsWith(u'+')) ? 1 : 0;
        if (i >= t.size())
            return false;
        for (; i < t.size(); ++i) {
            if (t.at(i) < u'0' || t.at(i) > u'9')
                return false;
        }
        return true;
    };
    if (!isDecimal(text))
        return defaultValue;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool TOrvel_XMLPrefs::ReadBool(const QString &key, bool defaultValue) const {
    const QString text = ReadString(key);
    if (text == u"0")
        return false;
    if (text == u"1")
        return true;
    return defaultValue;
}

void TOrvel_XMLPrefs::WriteString(const QString &key, const QString &value) {
    if (!FXml.HasDocument())
        FXml.NewDocument();
    FXml.SetValue(nullptr, key, value);
}

void TOrvel_XMLPrefs::WriteInteger(const QString &key, int value) {
    WriteString(key, QString::number(value));
}

void TOrvel_XMLPrefs::WriteBool(const QString &key, bool value) {
    WriteString(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

TOrvel_XMLPrefs &CreateAppPrefs() {
    AppPrefs.reset();
    AppPrefs = std::make_unique<TOrvel_XMLPrefs>();
    AppPrefs->LoadFile(QStringLiteral("settings.xml"));
    return *AppPrefs;
}

void FreeAppPrefs() {
    AppPrefs.reset();
}
