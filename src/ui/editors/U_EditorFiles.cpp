#include "U_EditorFiles.h"

#include "U_ReportFiles.h"
#include "U_SafeFile.h"
#include "U_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>

#include <libxml/parser.h>

#include <memory>

QString EditorTextToFileText(const QString &text) {
    QString result;
    result.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            result += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            result += QStringLiteral("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

QString DeclaredXmlEncoding(const QString &text) {
    static const QRegularExpression declaration(
        QStringLiteral("^\\x{FEFF}?<\\?xml\\s[^>]*?encoding\\s*=\\s*([\"'])([^\"']*)\\1"));
    const QRegularExpressionMatch match = declaration.match(text.left(512));
    return match.hasMatch() ? match.captured(2) : QString();
}

QByteArray DefinitionFileBytes(const QString &text) {
    const QString encoding = DeclaredXmlEncoding(text);
    // An encoding the platform cannot write is written as UTF-8 rather than dropping characters.
    return EncodeWithCharRefs(EditorTextToFileText(text),
                              IsKnownEncoding(encoding) ? encoding : QString());
}

QByteArray ScriptFileBytes(const QString &text, TOrvel_TextEncoding &encoding, bool bom) {
    const QString fileText = EditorTextToFileText(text);
    // Windows-1250 whenever it holds the whole text, whatever the file was before; UTF-8 only
    // for a text that needs it.
    bool lossy = false;
    const QByteArray ansi =
        EncodeScriptText(fileText, TOrvel_TextEncoding::teWindows1250, false, &lossy);
    if (!lossy) {
        encoding = TOrvel_TextEncoding::teWindows1250;
        return ansi;
    }
    encoding = TOrvel_TextEncoding::teUtf8;
    return EncodeScriptText(fileText, encoding, bom);
}

bool IsWellFormedXml(const QByteArray &bytes) {
    struct DocDeleter {
        void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
    };
    // No network, no entity expansion into the tree, no messages on the console.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, DocDeleter> doc(
        xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr, options));
    return doc && xmlDocGetRootElement(doc.get()) != nullptr;
}

QString XmlFormatterLibraryPath() {
    return GetPluginFolder() + QStringLiteral("libTinyXml.so");
}

bool ReformatXmlFile(const QString &path) {
    using XmlFunction = unsigned char (*)(const char *);
    QLibrary library(XmlFormatterLibraryPath());
    if (!library.load())
        return false;
    // Released on every path, also when a call below throws.
    struct Unloader {
        QLibrary &Library;
        ~Unloader() { Library.unload(); }
    } unloader{library};

    const auto loadXml = reinterpret_cast<XmlFunction>(library.resolve("LoadXml"));
    const auto saveXml = reinterpret_cast<XmlFunction>(library.resolve("SaveXml"));
    if (!loadXml || !saveXml)
        return false;
    if (loadXml(QFile::encodeName(path).constData()) == 0)
        return false;

    const QString tmpPath = CompanionFileName(path, QStringLiteral(".xmltmp"));
    const QString bakPath = CompanionFileName(path, QStringLiteral(".xmlbak"));
    if (saveXml(QFile::encodeName(tmpPath).constData()) == 0 || !QFileInfo::exists(tmpPath))
        return false;

    // The re-formatted text replaces the saved file by the one write rule rather than by renames:
    // a saved file reached through a symbolic link stays a link, and a failure leaves the saved
    // file whole, so no copy as written is needed on the way.
    struct TmpRemover {
        QString Path;
        ~TmpRemover() { QFile::remove(Path); }
    } tmpRemover{tmpPath};
    QFile formatted(tmpPath);
    if (!formatted.open(QIODevice::ReadOnly))
        return false;
    SafeWriteFile(path, formatted.readAll());
    QFile::remove(bakPath); // a copy left by an earlier save is out of date
    return true;
}

void RemoveStaleXmlBackup(const QString &path) {
    QFile::remove(CompanionFileName(path, QStringLiteral(".xmlbak")));
}
