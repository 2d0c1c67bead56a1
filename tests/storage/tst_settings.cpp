#include "StorageTests.h"
#include "TestSupport.h"
#include "U_error.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QDir>
#include <QtTest>

class SettingsTest : public QObject {
    Q_OBJECT

    // A preferences file holding the given bytes, loaded into a fresh AppPrefs.
    static TOrvel_XMLPrefs &loadWith(const AppFolderFixture &app, const QByteArray &bytes) {
        WriteBytes(app.path() + "data/settings.xml", bytes);
        return CreateAppPrefs();
    }

private slots:
    void cleanup() { FreeAppPrefs(); }

    void freshInstallation() {
        AppFolderFixture app;
        QVERIFY(!QDir(app.path() + "data").exists());
        TOrvel_XMLPrefs &prefs = CreateAppPrefs();
        QVERIFY(QDir(app.path() + "data").exists());
        QCOMPARE(prefs.ReadInteger("Windows/Main/TreeView/Width", 200), 200);
        QCOMPARE(prefs.ReadBool("Connection/SQLServerAuth", true), true);
        QCOMPARE(prefs.ReadString("Export/CSV/Separator"), QString());
        QCOMPARE(prefs.ReadString("Connection/servers"), QString());
        QVERIFY(!QFile::exists(app.path() + "data/settings.xml"));
    }

    void loginWritesExactFile() {
        AppFolderFixture app;
        TOrvel_XMLPrefs &prefs = CreateAppPrefs();
        prefs.WriteString("Connection/servers", "SRV1,");
        prefs.WriteString("Connection/server", "SRV1");
        prefs.WriteBool("Connection/SQLServerAuth", false);
        QVERIFY(prefs.SaveFile());
        prefs.WriteString("Connection/servers", "SRV1,SRV2\\SQL,");
        prefs.WriteString("Connection/server", "SRV2\\SQL");
        prefs.WriteString("Connection/login", "sa");
        prefs.WriteBool("Connection/SQLServerAuth", true);
        prefs.WriteInteger("Windows/Main/TreeView/Width", -5);
        QVERIFY(prefs.SaveFile());
        QCOMPARE(ReadBytes(app.path() + "data/settings.xml"),
                 QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                            "<Zestawnik><Connection><servers>SRV1,SRV2\\SQL,</servers><server>"
                            "SRV2\\SQL</server><SQLServerAuth>1</SQLServerAuth><login>sa</login>"
                            "</Connection><Windows><Main><TreeView><Width>-5</Width></TreeView>"
                            "</Main></Windows></Zestawnik>\r\n"));
        // Read back by a new store.
        TOrvel_XMLPrefs &again = CreateAppPrefs();
        QCOMPARE(again.ReadString("Connection/server"), QStringLiteral("SRV2\\SQL"));
        QCOMPARE(again.ReadInteger("Windows/Main/TreeView/Width", 200), -5);
    }

    void readInteger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("abc") << "abc" << 200;
        QTest::newRow("empty") << "" << 200;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("plain") << "250" << 250;
        QTest::newRow("blank inside") << "2 50" << 200;
        QTest::newRow("too large") << "99999999999" << 200;
        QTest::newRow("fraction") << "1.5" << 200;
    }
    void readInteger() {
        QFETCH(QString, text);
        QFETCH(int, value);
        AppFolderFixture app;
        TOrvel_XMLPrefs &prefs = CreateAppPrefs();
        prefs.WriteString("Windows/Main/TreeView/Width", text);
        QCOMPARE(prefs.ReadInteger("Windows/Main/TreeView/Width", 200), value);
    }

    void readBool_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fallback");
        QTest::addColumn<bool>("value");
        QTest::newRow("yes") << "yes" << true << true;
        QTest::newRow("0") << "0" << true << false;
        QTest::newRow("1") << "1" << false << true;
        QTest::newRow("true") << "true" << false << false;
        QTest::newRow("blank 1") << " 1" << false << false;
        QTest::newRow("empty") << "" << true << true;
    }
    void readBool() {
        QFETCH(QString, text);
        QFETCH(bool, fallback);
        QFETCH(bool, value);
        AppFolderFixture app;
        TOrvel_XMLPrefs &prefs = CreateAppPrefs();
        prefs.WriteString("Connection/SQLServerAuth", text);
        QCOMPARE(prefs.ReadBool("Connection/SQLServerAuth", fallback), value);
    }

    void duplicateKeyUsesFirst() {
        AppFolderFixture app;
        TOrvel_XMLPrefs &prefs = loadWith(
            app,
            "<Zestawnik><Connection><server>A</server><server>B</server></Connection></Zestawnik>");
        QCOMPARE(prefs.ReadString("Connection/server"), QStringLiteral("A"));
        prefs.WriteString("Connection/server", "C");
        QVERIFY(prefs.SaveFile());
        QVERIFY(ReadBytes(app.path() + "data/settings.xml")
                    .contains("<server>C</server><server>B</server>"));
    }

    void malformedFileIsReplaced() {
        AppFolderFixture app;
        TOrvel_XMLPrefs &prefs = loadWith(app, "<Zestawnik><Export>");
        QCOMPARE(prefs.ReadString("Export/CSV/Separator"), QString());
        prefs.WriteString("Export/CSV/Separator", ";");
        QVERIFY(prefs.SaveFile());
        QVERIFY(ReadBytes(app.path() + "data/settings.xml")
                    .endsWith("\r\n<Zestawnik><Export><CSV><Separator>;</Separator></CSV></Export>"
                              "</Zestawnik>\r\n"));
    }

    void failedSaveKeepsValuesAndFile() {
        AppFolderFixture app;
        const QByteArray old = "<Zestawnik><Export><CSV><Separator>,</Separator></CSV></Export>"
                               "</Zestawnik>";
        TOrvel_XMLPrefs &prefs = loadWith(app, old);
        prefs.WriteString("Export/CSV/Separator", QString(100000, u';'));
        const QString error = WithFileSizeLimit(4096, [&] { prefs.SaveFile(); });
        QVERIFY(error.contains("settings.xml"));
        QCOMPARE(ReadBytes(app.path() + "data/settings.xml"), old);
        QCOMPARE(prefs.ReadString("Export/CSV/Separator").size(), 100000);
    }
};

std::unique_ptr<QObject> MakeSettingsTest() {
    return std::make_unique<SettingsTest>();
}
#include "tst_settings.moc"
