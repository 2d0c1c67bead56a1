// The two files a new report is copied from: a report made from them must load and run.
#include "PluginTests.h"
#include "TestSupport.h"

#include <QXmlStreamReader>
#include <QtTest>

namespace {

QByteArray TemplateBytes(const char *name) {
    return ReadBytes(SourceDir() + QStringLiteral("/data/template/") + QLatin1String(name));
}

// Every line break is CR LF and the text ends with one.
bool HasOnlyCrLfLines(const QByteArray &bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))
            return false;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    }
    return bytes.endsWith("\r\n");
}

} // namespace

class TemplateTest : public QObject {
    Q_OBJECT
private slots:
    void script() {
        const QByteArray bytes = TemplateBytes("default.sql");
        QVERIFY(HasOnlyCrLfLines(bytes));
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF")); // single-byte text, no UTF-8 mark
        const QByteArrayList lines = bytes.split('\n');
        QVERIFY(lines.contains("-- [Orvel_Zestawnik_PARAMETRY]\r"));
        QVERIFY(bytes.toUpper().contains("SELECT "));
        QVERIFY(!bytes.toUpper().contains("DECLARE"));
    }

    void definition() {
        const QByteArray bytes = TemplateBytes("default.xml");
        QVERIFY(HasOnlyCrLfLines(bytes));
        QXmlStreamReader xml(bytes);
        QCOMPARE(xml.readNext(), QXmlStreamReader::StartDocument);
        QCOMPARE(xml.documentEncoding().toString().toLower(), QString("utf-8"));
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name().toString(), QString("Zestawnik"));
        QString version;
        bool params = false;
        while (xml.readNextStartElement()) {
            const QString name = xml.name().toString();
            if (name == "params") {
                params = true;
                QVERIFY2(!xml.readNextStartElement(), "the template has no parameters");
            } else if (name == "version") {
                version = xml.readElementText().trimmed();
            } else if (name == "defaultdb") {
                QVERIFY(xml.readElementText().trimmed().isEmpty());
            } else {
                xml.skipCurrentElement();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(params);
        bool number = false;
        version.toDouble(&number);
        QVERIFY2(number, qPrintable(version));
    }
};

int RunTemplateTests(int argc, char **argv) {
    TemplateTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TemplateTest.moc"
