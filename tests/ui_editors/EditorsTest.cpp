// The report editors: saving and reloading in the file's own encoding, the refusal of a broken
// definition without touching any file, save-as, re-formatting by the plug-in, the marker line
// with its single undo, the tab key of each editor, highlighting, read-only mode, and the watch
// over the report's files.
#include "TestSupport.h"
#include "U_EditorFiles.h"
#include "U_FindBar.h"
#include "U_MessageBox.h"
#include "U_ReportEditors.h"
#include "U_ReportFileWatch.h"
#include "U_ReportFiles.h"
#include "U_SqlEditor.h"
#include "U_SqlLexer.h"
#include "U_TextCodec.h"
#include "U_XML_util.h"
#include "U_XmlEditor.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cstdio>

namespace {

const QString Marker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");
const QString Utf8Notice =
    QStringLiteral("Skrypt zapisany w UTF-8: zawiera znaki spoza strony kodowej Windows-1250");
const QByteArray Definition = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                              "<Zestawnik><version>1.0</version><params></params></Zestawnik>\r\n";

// A report "Sprzedaż" in a temporary application folder, with the editors in two tabs whose host
// reloads the report from its files as the main window does.
struct Fixture {
    QTemporaryDir Dir;
    QString Folder;
    QString DefinitionFile;
    QString ScriptFile;
    QWidget SqlTab;
    QWidget DefinitionTab;
    QStringList Activity;
    int Reloads = 0;
    std::unique_ptr<TOrvel_ReportEditors> Editors;

    explicit Fixture(const QByteArray &script = "SELECT 1\r\n",
                     const QByteArray &definition = Definition) {
        SetAppFolder(Dir.path());
        Folder = Dir.path() + QStringLiteral("/data reports/Grupa/");
        DefinitionFile = Folder + QStringLiteral("Sprzedaż.xml");
        ScriptFile = Folder + QStringLiteral("Sprzedaż.sql");
        WriteBytes(DefinitionFile, definition);
        WriteBytes(ScriptFile, script);
        TOrvel_EditorHost host;
        host.ScriptFileName = [this] { return ScriptFile; };
        host.DefinitionFileName = [this] { return DefinitionFile; };
        host.Title = [] { return QStringLiteral("Sprzedaż"); };
        host.SetActivityText = [this](const QString &text) { Activity.append(text); };
        host.ReloadReport = [this] {
            ++Reloads;
            Load();
        };
        Editors = std::make_unique<TOrvel_ReportEditors>(&SqlTab, &DefinitionTab, host);
        Load();
        Editors->SetWritable(true);
    }
    ~Fixture() { SetAppFolder(QString()); }

    void Load() {
        TOrvel_XML_util doc;
        doc.LoadFromFile(DefinitionFile);
        Editors->ShowReport(ReadScriptFile(ScriptFile).Text, ScriptFile, doc.GetXML());
    }
    TOrvel_SqlEditor *Sql() const { return Editors->edReportSQL; }
    TOrvel_XmlEditor *Xml() const { return Editors->edReportDefinition; }
};

void Colourise(QsciScintilla *editor) {
    editor->SendScintilla(QsciScintilla::SCI_COLOURISE, 0UL, -1L);
}

} // namespace

class TestReportEditors : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    void saveScript_data();
    void saveScript();
    void saveDefinition_data();
    void saveDefinition();
    void brokenDefinitionIsRefused_data();
    void brokenDefinitionIsRefused();
    void saveAs_data();
    void saveAs();
    void reformatWithPlugin();
    void staleXmlBackupGoes();
    void validDefinitionsPass_data();
    void validDefinitionsPass();
    void encodingComesBack();
    void modifiedMark();
    void savingOneEditorKeepsTheOther();
    void unsavedQuestion_data();
    void unsavedQuestion();
    void runKeyAsksFirst_data();
    void runKeyAsksFirst();
    void findAndReplace();
    void goToLine();
    void commentLines_data();
    void commentLines();
    void saveAndRedoKeys();
    void bracesAndLineNumbers();
    void markerLine_data();
    void markerLine();
    void tabKey_data();
    void tabKey();
    void sqlHighlighting_data();
    void sqlHighlighting();
    void readOnly();
    void fileWatch_data();
    void fileWatch();
};

void TestReportEditors::saveScript_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<TOrvel_TextEncoding>("encoding");

    QTest::newRow("windows-1250 stays windows-1250")
        << EncodeWindows1250(QStringLiteral("SELECT 'Łódź'\r\n")) << QStringLiteral("-- ąę\r\n")
        << EncodeWindows1250(QStringLiteral("-- ąę\r\nSELECT 'Łódź'\r\n"))
        << TOrvel_TextEncoding::teWindows1250;
    // Windows-1250 whenever the code page holds the text, whatever the file was.
    QTest::newRow("utf-8 that fits windows-1250 comes back to it")
        << QStringLiteral("SELECT 'Łódź'\r\n").toUtf8() << QStringLiteral("-- ąę\r\n")
        << EncodeWindows1250(QStringLiteral("-- ąę\r\nSELECT 'Łódź'\r\n"))
        << TOrvel_TextEncoding::teWindows1250;
    QTest::newRow("utf-8 that needs utf-8 stays utf-8")
        << QStringLiteral("SELECT '漢'\r\n").toUtf8() << QStringLiteral("-- ąę\r\n")
        << QStringLiteral("-- ąę\r\nSELECT '漢'\r\n").toUtf8() << TOrvel_TextEncoding::teUtf8;
    QTest::newRow("byte-order mark kept while utf-8 is needed")
        << QByteArray("\xEF\xBB\xBFSELECT 1\r\n") << QStringLiteral("-- 漢\r\n")
        << QByteArray("\xEF\xBB\xBF") + QStringLiteral("-- 漢\r\nSELECT 1\r\n").toUtf8()
        << TOrvel_TextEncoding::teUtf8;
    QTest::newRow("byte-order mark dropped with windows-1250")
        << QByteArray("\xEF\xBB\xBFSELECT 1\r\n") << QStringLiteral("-- x\r\n")
        << QByteArray("-- x\r\nSELECT 1\r\n") << TOrvel_TextEncoding::teWindows1250;
    QTest::newRow("line feeds and lone CRs become CR LF")
        << QByteArray("SELECT 1\r\n") << QStringLiteral("A\nB\rC\n")
        << QByteArray("A\r\nB\r\nC\r\nSELECT 1\r\n") << TOrvel_TextEncoding::teWindows1250;
    // Windows-1250 lacks the character: the script goes to UTF-8 rather than losing it.
    QTest::newRow("character outside windows-1250")
        << EncodeWindows1250(QStringLiteral("SELECT 'ł'\r\n")) << QStringLiteral("-- 漢\r\n")
        << QStringLiteral("-- 漢\r\nSELECT 'ł'\r\n").toUtf8() << TOrvel_TextEncoding::teUtf8;
}

void TestReportEditors::saveScript() {
    QFETCH(QByteArray, file);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);
    QFETCH(TOrvel_TextEncoding, encoding);
    Fixture f(file);
    f.Sql()->setCursorPosition(0, 0);
    f.Sql()->insert(typed);

    f.Editors->btnEditSQL_saveClick();

    QCOMPARE(ReadBytes(f.ScriptFile), expected);
    QStringList activity{QStringLiteral("Zapisywanie..."), QStringLiteral("Zapisane")};
    if (encoding == TOrvel_TextEncoding::teUtf8)
        activity << Utf8Notice;
    QCOMPARE(f.Activity, activity);
    QCOMPARE(f.Reloads, 1);
    QCOMPARE(f.Sql()->Encoding(), encoding);
    // After the reload the editor shows what was stored, and a second save writes the same bytes.
    QCOMPARE(f.Sql()->text(), ReadScriptFile(f.ScriptFile).Text);
    f.Editors->btnEditSQL_saveClick();
    QCOMPARE(ReadBytes(f.ScriptFile), expected);
}

void TestReportEditors::saveDefinition_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("expectedPart");

    QTest::newRow("utf-8") << Definition << QStringLiteral("<desc>Zażółć</desc>").toUtf8();
    const QByteArray iso = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\r\n"
                           "<Zestawnik><version>1.0</version><params></params></Zestawnik>\r\n";
    QTest::newRow("declared ISO-8859-2")
        << iso << EncodeIso88592(QStringLiteral("<desc>Zażółć</desc>"));
}

void TestReportEditors::saveDefinition() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expectedPart);
    Fixture f("SELECT 1\r\n", file);
    // A file of the user's that carries the name the old check used must stay as it is.
    const QString bak = CompanionFileName(f.DefinitionFile, QStringLiteral(".bak"));
    WriteBytes(bak, "user's own file");
    QString text = f.Xml()->text();
    text.replace(QStringLiteral("<params>"), QStringLiteral("<params><desc>Zażółć</desc>"));
    f.Xml()->setText(text);

    f.Editors->btnEditDEF_saveClick();

    const QByteArray written = ReadBytes(f.DefinitionFile);
    QVERIFY2(written.contains(expectedPart), written.constData());
    QVERIFY(IsWellFormedXml(written));
    QCOMPARE(f.Reloads, 1);
    QCOMPARE(ReadBytes(bak), QByteArray("user's own file"));
    QVERIFY(!QFileInfo::exists(CompanionFileName(f.DefinitionFile, QStringLiteral(".xmlbak"))));
    // The editor shows the document as the XML helper writes it after the reload.
    TOrvel_XML_util doc;
    QVERIFY(doc.LoadFromFile(f.DefinitionFile));
    QCOMPARE(f.Xml()->text(), doc.GetXML());
}

void TestReportEditors::brokenDefinitionIsRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason"); // a part of the reason shown
    QTest::addColumn<int>("line");       // where the caret goes; 0: nowhere in particular
    QTest::addColumn<int>("column");     // 0: the line's start

    QTest::newRow("unclosed element")
        << QStringLiteral("<?xml version=\"1.0\"?>\n<Zestawnik><params>\n</Zestawnik>\n")
        << QStringLiteral("params line 2 and Zestawnik\n(wiersz 3, kolumna 13)") << 3 << 13;
    QTest::newRow("empty") << QString() << QStringLiteral("empty") << 0 << 0;
    QTest::newRow("text after the root") << QStringLiteral("<Zestawnik/>\njunk")
                                         << QStringLiteral("(wiersz 2, kolumna 1)") << 2 << 1;
    QTest::newRow("two roots") << QStringLiteral("<a/><b/>") << QStringLiteral("wiersz 1") << 1
                               << 5;
    QTest::newRow("undeclared entity")
        << QStringLiteral("<a>&nbsp;</a>") << QStringLiteral("nbsp") << 1 << 10;
    // Well-formed, but the report could no longer be loaded or run.
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
    QTest::newRow("another root") << head + QStringLiteral("<foo/>\n")
                                  << QStringLiteral("\"Zestawnik\", a nazywa się \"foo\"") << 2
                                  << 0;
    QTest::newRow("no version") << head + QStringLiteral("<Zestawnik>\n<params/>\n</Zestawnik>\n")
                                << QStringLiteral("Brak elementu version") << 2 << 0;
    QTest::newRow("version not a number")
        << head + QStringLiteral("<Zestawnik>\n<version>1.x</version>\n</Zestawnik>\n")
        << QStringLiteral("nie jest liczbą: '1.x'") << 3 << 0;
    const auto item = [&head](const QString &items) {
        return head + QStringLiteral("<Zestawnik>\n<version>1.0</version>\n<params>\n") + items +
               QStringLiteral("</params>\n</Zestawnik>\n");
    };
    QTest::newRow("name with blanks")
        << item(QStringLiteral("<item><name>data od ąę</name><type>DATE</type></item>\n"))
        << QStringLiteral("Nieprawidłowa nazwa parametru: 'data od ąę'") << 5 << 0;
    QTest::newRow("name starting with a digit")
        << item(QStringLiteral("<item><name>1rok</name><type>INT</type></item>\n"))
        << QStringLiteral("'1rok'") << 5 << 0;
    QTest::newRow("no name") << item(QStringLiteral("<item><type>INT</type></item>\n"))
                             << QStringLiteral("Nieprawidłowa nazwa parametru: ''") << 5 << 0;
    QTest::newRow("name twice, letter case aside")
        << item(QStringLiteral("<item><name>Kwota</name><type>INT</type></item>\n"
                               "<item><name>KWOTA</name><type>INT</type></item>\n"))
        << QStringLiteral("parametry 'Kwota' i 'KWOTA' to ta sama zmienna SQL") << 6 << 0;
    QTest::newRow("name too long")
        << item(QStringLiteral("<item><name>") + QString(200, u'a') +
                QStringLiteral("</name><type>INT</type></item>\n"))
        << QStringLiteral("(ma 200 znaków, a może mieć najwyżej 127)") << 5 << 0;
    QTest::newRow("fixed list with more captions than values")
        << item(QStringLiteral("<item><name>Rodzaj</name><type>TEXT</type>\n"
                               "<listitems>A;B;C</listitems><listvalues>1;2</listvalues></item>\n"))
        << QStringLiteral("'Rodzaj' ma różną liczbę nazw (3) i wartości (2)") << 5 << 0;
    QTest::newRow("type in lower case")
        << item(QStringLiteral("<item><name>Kwota</name><type>int</type></item>\n"))
        << QStringLiteral("Nieznany typ parametru 'Kwota': 'int'") << 5 << 0;
    QTest::newRow("SQL list without its fields")
        << item(QStringLiteral("<item><name>Towar</name><type>INT</type>\n"
                               "<listquery>SELECT 1 AS Id</listquery><key>Id</key></item>\n"))
        << QStringLiteral("'Towar' z listą SQL musi mieć") << 5 << 0;
}

void TestReportEditors::brokenDefinitionIsRefused() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QFETCH(int, line);
    QFETCH(int, column);
    Fixture f;
    const QString bak = CompanionFileName(f.DefinitionFile, QStringLiteral(".bak"));
    WriteBytes(bak, "kept");
    f.Xml()->setText(text);
    f.Xml()->setCursorPosition(0, 0);
    TOrvel_MessageRecorder boxes;

    f.Editors->btnEditDEF_saveClick();

    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
    QCOMPARE(boxes.Messages()[0].Caption, QStringLiteral("Błąd walidacji"));
    const QString message = boxes.Messages()[0].Text;
    QVERIFY2(message.startsWith(
                 QStringLiteral("Plik definicji zawiera błędy i nie może być zapisany\n\n")),
             qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
    QCOMPARE(ReadBytes(bak), QByteArray("kept"));
    QCOMPARE(f.Reloads, 0);
    QVERIFY(f.Activity.isEmpty());
    QCOMPARE(f.Xml()->text(), text);
    QVERIFY(f.Xml()->isModified());
    QCOMPARE(QDir(f.Folder).entryList(QDir::Files).size(), 3);
    if (line > 0) {
        int caretLine = -1, caretIndex = -1;
        f.Xml()->getCursorPosition(&caretLine, &caretIndex);
        QCOMPARE(caretLine, line - 1);
        QCOMPARE(caretIndex, std::max(0, column - 1));
    }
}

void TestReportEditors::validDefinitionsPass_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("no params") << QStringLiteral("<Zestawnik><version>2</version></Zestawnik>");
    QTest::newRow("Polish letters and underscores, a comma as decimal separator")
        << QStringLiteral("<Zestawnik><version>1,5</version><params>"
                          "<item><name>Data_od_ąę</name><type>DATE</type></item>"
                          "<item><name>_x1</name><type>TEXT</type><listquery>SELECT 1 AS a"
                          "</listquery><key>a</key><listfields>a</listfields></item>"
                          "</params></Zestawnik>");
}

void TestReportEditors::validDefinitionsPass() {
    QFETCH(QString, text);
    Fixture f;
    f.Xml()->setText(text);
    TOrvel_MessageRecorder boxes;
    f.Editors->btnEditDEF_saveClick();
    QVERIFY(boxes.Messages().empty());
    QCOMPARE(f.Reloads, 1);
}

void TestReportEditors::saveAs_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("chosenName"); // "" cancels
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("filter");

    QTest::newRow("script") << QStringLiteral("sql") << QStringLiteral("kopia.sql")
                            << QStringLiteral("Zapisz plik SQL")
                            << QStringLiteral("pliki SQL (*.sql)");
    QTest::newRow("definition, not checked")
        << QStringLiteral("xml") << QStringLiteral("kopia.xml") << QStringLiteral("Zapisz plik XML")
        << QStringLiteral("pliki XML (*.xml)");
    QTest::newRow("cancelled") << QStringLiteral("sql") << QString()
                               << QStringLiteral("Zapisz plik SQL")
                               << QStringLiteral("pliki SQL (*.sql)");
}

void TestReportEditors::saveAs() {
    QFETCH(QString, extension);
    QFETCH(QString, chosenName);
    QFETCH(QString, title);
    QFETCH(QString, filter);
    Fixture f;
    TOrvel_SaveEditRequest asked;
    const QString chosen = chosenName.isEmpty() ? QString() : f.Dir.path() + u'/' + chosenName;
    TOrvel_SaveFileChooser previous =
        SetSaveFileChooser([&](QWidget *, const TOrvel_SaveEditRequest &request) {
            asked = request;
            return chosen;
        });
    const bool sql = extension == QStringLiteral("sql");
    TOrvel_ReportEditor *editor = sql ? static_cast<TOrvel_ReportEditor *>(f.Sql()) : f.Xml();
    editor->setText(QStringLiteral("<broken>\r\nŁ"));
    TOrvel_MessageRecorder boxes;

    if (sql)
        f.Editors->btnEditSQL_saveasClick();
    else
        f.Editors->btnEditDEF_saveasClick();
    SetSaveFileChooser(previous);

    QCOMPARE(asked.Title, title);
    QCOMPARE(asked.Filter, filter);
    QCOMPARE(asked.DefaultSuffix, extension);
    QCOMPARE(asked.ProposedName, QStringLiteral("Sprzedaż"));
    QVERIFY(boxes.Messages().empty());
    QCOMPARE(f.Reloads, 0);
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
    QCOMPARE(ReadBytes(f.ScriptFile), QByteArray("SELECT 1\r\n"));
    if (chosen.isEmpty()) {
        QVERIFY(f.Activity.isEmpty());
        return;
    }
    QCOMPARE(ReadBytes(chosen), sql ? EncodeWindows1250(QStringLiteral("<broken>\r\nŁ"))
                                    : QStringLiteral("<broken>\r\nŁ").toUtf8());
    QCOMPARE(f.Activity,
             (QStringList{QStringLiteral("Zapisywanie..."), QStringLiteral("Zapisane")}));
}

void TestReportEditors::reformatWithPlugin() {
    const QString plugin = BuiltAppDir() + QStringLiteral("/libTinyXml.so");
    if (!QFileInfo::exists(plugin))
        QSKIP("the re-formatting plug-in is not built in this tree");
    Fixture f;
    QVERIFY(QFile::copy(plugin, XmlFormatterLibraryPath()));
    const QString editorText = f.Xml()->text();

    f.Editors->btnEditDEF_saveClick();
    f.Editors->btnEditSQL_saveClick();

    // The copy as written is gone once the re-formatted file is in place.
    const QString xmlbak = CompanionFileName(f.DefinitionFile, QStringLiteral(".xmlbak"));
    QVERIFY(!QFileInfo::exists(xmlbak));
    const QByteArray formatted = ReadBytes(f.DefinitionFile);
    QVERIFY(formatted != EditorTextToFileText(editorText).toUtf8());
    QVERIFY(IsWellFormedXml(formatted));
    QVERIFY(!QFileInfo::exists(CompanionFileName(f.DefinitionFile, QStringLiteral(".xmltmp"))));
    // The script is no XML: it stays as written.
    QCOMPARE(ReadBytes(f.ScriptFile), QByteArray("SELECT 1\r\n"));
}

void TestReportEditors::markerLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("selectTo"); // -1: no selection; else the index the selection ends at
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("expected");

    const QString text = QStringLiteral("DECLARE @a INT\r\nSELECT @a\r\n");
    QTest::newRow("caret in the middle of a line")
        << text << 1 << 4 << -1 << false
        << QStringLiteral("DECLARE @a INT\r\n") + Marker + QStringLiteral("\r\nSELECT @a\r\n");
    QTest::newRow("start of the text")
        << text << 0 << 0 << -1 << false << Marker + QStringLiteral("\r\n") + text;
    QTest::newRow("selection is dropped, not deleted")
        << text << 0 << 2 << 7 << false << Marker + QStringLiteral("\r\n") + text;
    QTest::newRow("overwrite mode does not eat the line")
        << text << 1 << 0 << -1 << true
        << QStringLiteral("DECLARE @a INT\r\n") + Marker + QStringLiteral("\r\nSELECT @a\r\n");
    QTest::newRow("last line without a line break")
        << QStringLiteral("SELECT 1") << 0 << 8 << -1 << false
        << Marker + QStringLiteral("\r\nSELECT 1");
}

void TestReportEditors::markerLine() {
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, index);
    QFETCH(int, selectTo);
    QFETCH(bool, overwrite);
    QFETCH(QString, expected);
    Fixture f;
    f.Sql()->SetScript(text);
    f.Sql()->setCursorPosition(line, index);
    if (selectTo >= 0)
        f.Sql()->setSelection(line, index, line, selectTo);
    f.Sql()->setOverwriteMode(overwrite);

    f.Editors->miAddSQLParameters->trigger();

    QCOMPARE(f.Sql()->text(), expected);
    QCOMPARE(f.Sql()->overwriteMode(), overwrite);
    f.Editors->btnEditSQL_undo->click();
    QCOMPARE(f.Sql()->text(), text);
}

void TestReportEditors::tabKey_data() {
    QTest::addColumn<bool>("sql");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("selectToLine"); // -1: no selection
    QTest::addColumn<QString>("expected");

    QTest::newRow("script: blanks to the next tab stop")
        << true << QStringLiteral("abc") << 0 << 3 << -1 << QStringLiteral("abc ");
    QTest::newRow("script: to the next word of the line above")
        << true << QStringLiteral("SELECT a,     b\r\n") << 1 << 0 << -1
        << QStringLiteral("SELECT a,     b\r\n       ");
    QTest::newRow("script: past the words above, a tab stop")
        << true << QStringLiteral("ab\r\nxyz") << 1 << 3 << -1 << QStringLiteral("ab\r\nxyz ");
    QTest::newRow("definition: a tab character")
        << false << QStringLiteral("<a>") << 0 << 3 << -1 << QStringLiteral("<a>\t");
    QTest::newRow("definition: a selection indents its lines")
        << false << QStringLiteral("<a>\r\n<b/>\r\n</a>") << 0 << 1 << 1
        << QStringLiteral("\t<a>\r\n\t<b/>\r\n</a>");
}

void TestReportEditors::tabKey() {
    QFETCH(bool, sql);
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(int, index);
    QFETCH(int, selectToLine);
    QFETCH(QString, expected);
    Fixture f;
    TOrvel_ReportEditor *editor = sql ? static_cast<TOrvel_ReportEditor *>(f.Sql()) : f.Xml();
    editor->setText(text);
    editor->setCursorPosition(line, index);
    if (selectToLine >= 0)
        editor->setSelection(line, index, selectToLine, 2);

    QTest::keyClick(editor, Qt::Key_Tab);

    QCOMPARE(editor->text(), expected);
}

void TestReportEditors::sqlHighlighting_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("probe"); // the first occurrence is checked
    QTest::addColumn<int>("style");

    const QString script =
        QStringLiteral("-- opis\nSELECT @Kwota = 'a''b', [Pole x], 12.5 /* jeden\n"
                       "dwa */ FROM t /*! war */\nWHERE x > 1");
    QTest::newRow("line comment") << script << QStringLiteral("opis")
                                  << int(TOrvel_SqlLexer::Comment);
    QTest::newRow("keyword") << script << QStringLiteral("SELECT") << int(TOrvel_SqlLexer::Keyword);
    QTest::newRow("variable") << script << QStringLiteral("@Kwota")
                              << int(TOrvel_SqlLexer::Variable);
    QTest::newRow("string with doubled quote")
        << script << QStringLiteral("b'") << int(TOrvel_SqlLexer::String);
    QTest::newRow("bracketed identifier")
        << script << QStringLiteral("x]") << int(TOrvel_SqlLexer::Identifier);
    QTest::newRow("number") << script << QStringLiteral("12.5") << int(TOrvel_SqlLexer::Number);
    QTest::newRow("comment over two lines")
        << script << QStringLiteral("dwa") << int(TOrvel_SqlLexer::Comment);
    QTest::newRow("after the comment")
        << script << QStringLiteral("FROM") << int(TOrvel_SqlLexer::Keyword);
    QTest::newRow("identifier") << script << QStringLiteral("t /")
                                << int(TOrvel_SqlLexer::Identifier);
    QTest::newRow("conditional comment")
        << script << QStringLiteral("war") << int(TOrvel_SqlLexer::ConditionalComment);
    QTest::newRow("symbol") << script << QStringLiteral(">") << int(TOrvel_SqlLexer::Symbol);
}

void TestReportEditors::sqlHighlighting() {
    QFETCH(QString, text);
    QFETCH(QString, probe);
    QFETCH(int, style);
    Fixture f;
    f.Sql()->SetScript(text);
    Colourise(f.Sql());
    const int at = int(text.indexOf(probe));
    QVERIFY(at >= 0);
    const long pos = f.Sql()->positionFromLineIndex(0, 0) + text.left(at).toUtf8().size();
    QCOMPARE(
        int(f.Sql()->SendScintilla(QsciScintilla::SCI_GETSTYLEAT, static_cast<unsigned long>(pos))),
        style);
    QCOMPARE(f.Sql()->lexer()->color(TOrvel_SqlLexer::Variable), QColor(0x00, 0x66, 0x00));
}

void TestReportEditors::readOnly() {
    Fixture f;
    f.Editors->SetWritable(false);
    const QString text = f.Sql()->text();
    f.Sql()->setCursorPosition(0, 0);
    QTest::keyClicks(f.Sql(), QStringLiteral("xyz"));
    f.Editors->miAddSQLParameters->trigger();
    QCOMPARE(f.Sql()->text(), text);
    // Filling the editors works also while they are read-only.
    f.Editors->ShowReport(QStringLiteral("SELECT 2"), QString(), QStringLiteral("<a/>"));
    QCOMPARE(f.Sql()->text(), QStringLiteral("SELECT 2"));
    QCOMPARE(f.Xml()->text(), QStringLiteral("<a/>"));
}

void TestReportEditors::staleXmlBackupGoes() {
    // Without the plug-in a copy left by an earlier save no longer describes anything.
    Fixture f;
    const QString xmlbak = CompanionFileName(f.DefinitionFile, QStringLiteral(".xmlbak"));
    WriteBytes(xmlbak, "<old/>");
    f.Editors->btnEditDEF_saveClick();
    QVERIFY(!QFileInfo::exists(xmlbak));
}

void TestReportEditors::encodingComesBack() {
    Fixture f(EncodeWindows1250(QStringLiteral("SELECT 'ł'\r\n")));
    f.Sql()->setCursorPosition(0, 0);
    f.Sql()->insert(QStringLiteral("-- 漢\r\n"));
    f.Editors->btnEditSQL_saveClick();
    QCOMPARE(ReadBytes(f.ScriptFile), QStringLiteral("-- 漢\r\nSELECT 'ł'\r\n").toUtf8());
    QCOMPARE(f.Activity.last(), Utf8Notice);

    // The character goes: so does UTF-8, and nothing is said about it.
    f.Activity.clear();
    f.Sql()->setText(f.Sql()->text().replace(QStringLiteral("漢"), QStringLiteral("x")));
    f.Editors->btnEditSQL_saveClick();
    QCOMPARE(ReadBytes(f.ScriptFile), EncodeWindows1250(QStringLiteral("-- x\r\nSELECT 'ł'\r\n")));
    QCOMPARE(f.Sql()->Encoding(), TOrvel_TextEncoding::teWindows1250);
    QVERIFY(!f.Activity.contains(Utf8Notice));
}

void TestReportEditors::modifiedMark() {
    Fixture f;
    QVERIFY(!f.Editors->IsModified());
    QSignalSpy changes(f.Sql(), &QsciScintilla::modificationChanged);
    f.Sql()->setCursorPosition(0, 0);
    QTest::keyClicks(f.Sql(), QStringLiteral("x"));
    QVERIFY(f.Sql()->isModified());
    QVERIFY(f.Editors->IsModified());
    // Undo back to the file's text: no longer modified.
    f.Sql()->undo();
    QVERIFY(!f.Sql()->isModified());
    QTest::keyClicks(f.Sql(), QStringLiteral("y"));
    f.Editors->btnEditSQL_saveClick();
    QVERIFY(!f.Sql()->isModified());
    QTest::keyClicks(f.Xml(), QStringLiteral("z"));
    f.Load(); // refilled from the files, as when another report is chosen
    QVERIFY(!f.Xml()->isModified());
    QVERIFY(changes.count() >= 4);
}

void TestReportEditors::savingOneEditorKeepsTheOther() {
    Fixture f;
    f.Sql()->setText(QStringLiteral("SELECT 2\r\n"));
    const QString definition =
        f.Xml()->text().replace(QStringLiteral("<version>1.0"), QStringLiteral("<version>2.0"));
    f.Xml()->setText(definition);

    f.Editors->btnEditSQL_saveClick();

    QCOMPARE(f.Reloads, 1);
    QCOMPARE(ReadBytes(f.ScriptFile), QByteArray("SELECT 2\r\n"));
    QCOMPARE(f.Xml()->text(), definition);
    QVERIFY(f.Xml()->isModified());
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);

    f.Editors->btnEditDEF_saveClick();
    QVERIFY(ReadBytes(f.DefinitionFile).contains("<version>2.0</version>"));
    QVERIFY(!f.Editors->IsModified());
}

void TestReportEditors::unsavedQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("brokenDefinition");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<bool>("written");

    QTest::newRow("Zapisz") << int(QMessageBox::Save) << false << true << true;
    QTest::newRow("Zapisz, definition refused") << int(QMessageBox::Save) << true << false << false;
    QTest::newRow("Nie zapisuj") << int(QMessageBox::Discard) << false << true << false;
    QTest::newRow("Anuluj") << int(QMessageBox::Cancel) << false << false << false;
}

void TestReportEditors::unsavedQuestion() {
    QFETCH(int, answer);
    QFETCH(bool, brokenDefinition);
    QFETCH(bool, goesOn);
    QFETCH(bool, written);
    Fixture f;
    TOrvel_MessageRecorder unchanged;
    QVERIFY(f.Editors->ConfirmDiscard()); // nothing modified: no question
    QVERIFY(unchanged.Messages().empty());

    f.Sql()->setText(QStringLiteral("SELECT 3\r\n"));
    const QString definition = brokenDefinition
                                   ? QStringLiteral("<Zestawnik>")
                                   : f.Xml()->text().replace(QStringLiteral("<version>1.0"),
                                                             QStringLiteral("<version>3.0"));
    f.Xml()->setText(definition);
    TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

    QCOMPARE(f.Editors->ConfirmDiscard(), goesOn);

    QVERIFY(!boxes.Messages().empty());
    const TOrvel_MessageRequest &question = boxes.Messages()[0];
    QCOMPARE(question.Text, QStringLiteral("Zapisać zmiany w raporcie „Sprzedaż”?"));
    QCOMPARE(question.Icon, TOrvel_MsgIcon::Question);
    QCOMPARE(question.Buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    QCOMPARE(question.ButtonTexts.size(), 3);
    QCOMPARE(question.ButtonTexts[1].second, QStringLiteral("Nie zapisuj"));
    // A refused definition shows its reason too, and nothing is written: not even the script.
    QCOMPARE(int(boxes.Messages().size()), brokenDefinition ? 2 : 1);
    QCOMPARE(ReadBytes(f.ScriptFile),
             written ? QByteArray("SELECT 3\r\n") : QByteArray("SELECT 1\r\n"));
    QCOMPARE(ReadBytes(f.DefinitionFile).contains("<version>3.0</version>"), written);
    QCOMPARE(f.Editors->IsModified(), !written);
    // The caller goes on to replace the report: no reload of the old one.
    QCOMPARE(f.Reloads, 0);
    QCOMPARE(f.Xml()->text(), definition);
}

void TestReportEditors::runKeyAsksFirst_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<QByteArray>("script"); // on disk afterwards
    QTest::newRow("Zapisz saves, reloads and runs")
        << int(QMessageBox::Save) << true << QByteArray("SELECT 4\r\n");
    QTest::newRow("Nie zapisuj runs the saved script")
        << int(QMessageBox::Discard) << true << QByteArray("SELECT 1\r\n");
    QTest::newRow("Anuluj does not run")
        << int(QMessageBox::Cancel) << false << QByteArray("SELECT 1\r\n");
}

void TestReportEditors::runKeyAsksFirst() {
    QFETCH(int, answer);
    QFETCH(bool, runs);
    QFETCH(QByteArray, script);
    Fixture f;
    int runsSeen = 0;
    int reloadsAtRun = -1;
    // The host's run, as the main window wires it.
    TOrvel_EditorHost host;
    host.ScriptFileName = [&f] { return f.ScriptFile; };
    host.DefinitionFileName = [&f] { return f.DefinitionFile; };
    host.Title = [] { return QStringLiteral("Sprzedaż"); };
    host.ReloadReport = [&f] {
        ++f.Reloads;
        f.Load();
    };
    host.CanRun = [] { return true; };
    bool ranSavedFiles = false;
    host.RunReport = [&](bool savedFiles) {
        ++runsSeen;
        reloadsAtRun = f.Reloads;
        ranSavedFiles = savedFiles;
    };
    QWidget sqlTab, definitionTab;
    TOrvel_ReportEditors editors(&sqlTab, &definitionTab, host);
    editors.ShowReport(ReadScriptFile(f.ScriptFile).Text, f.ScriptFile,
                       QString::fromUtf8(Definition));
    editors.SetWritable(true);
    editors.edReportSQL->setText(QStringLiteral("SELECT 4\r\n"));
    TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

    QTest::keyClick(editors.edReportSQL, Qt::Key_F5);

    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(runsSeen, runs ? 1 : 0);
    if (answer == QMessageBox::Save)
        QCOMPARE(reloadsAtRun, 1); // the run comes after the reload
    // Nie zapisuj: the run is told it uses the files, not the editor's text.
    QCOMPARE(ranSavedFiles, answer == QMessageBox::Discard);
    QCOMPARE(ReadBytes(f.ScriptFile), script);
    QCOMPARE(editors.edReportSQL->text(), QStringLiteral("SELECT 4\r\n"));
    // Without changes the key runs at once; Ctrl+Enter does the same.
    boxes.Clear();
    editors.edReportSQL->SetScript(QStringLiteral("SELECT 5"), f.ScriptFile);
    QTest::keyClick(editors.edReportSQL, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(boxes.Messages().empty());
    QCOMPARE(runsSeen, runs ? 2 : 1);
}

namespace {
// Shows a tab with its editor focused, so that the tab's shortcuts reach it.
void Activate(QWidget *tab, QWidget *focus) {
    tab->resize(600, 300);
    tab->show();
    QApplication::setActiveWindow(tab);
    QVERIFY(QTest::qWaitForWindowActive(tab));
    focus->setFocus();
    QTRY_VERIFY(focus->hasFocus());
}
} // namespace

void TestReportEditors::findAndReplace() {
    Fixture f(EncodeWindows1250(QStringLiteral("SELECT a FROM t\r\nWHERE a = 1\r\nOR A = 2\r\n")));
    Activate(&f.SqlTab, f.Sql());
    TOrvel_FindBar *bar = f.Editors->barFind_SQL;
    QVERIFY(bar->isHidden());

    QTest::keyClick(f.Sql(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    QVERIFY(bar->edFind->hasFocus());
    QVERIFY(!bar->edReplace->isVisible());
    QTest::keyClicks(bar->edFind, QStringLiteral("a ="));
    QTest::keyClick(bar->edFind, Qt::Key_Return);
    int line = -1, index = -1;
    f.Sql()->getCursorPosition(&line, &index);
    QCOMPARE(line, 1);
    QCOMPARE(f.Sql()->selectedText(), QStringLiteral("a ="));
    // F3, letter case aside: the next match; once more, round to the first.
    QTest::keyClick(bar->edFind, Qt::Key_F3);
    f.Sql()->getCursorPosition(&line, &index);
    QCOMPARE(line, 2);
    QCOMPARE(f.Sql()->selectedText(), QStringLiteral("A ="));
    QTest::keyClick(f.Sql(), Qt::Key_F3);
    f.Sql()->getCursorPosition(&line, &index);
    QCOMPARE(line, 1);
    // No match: said in the bar, nothing moves.
    bar->edFind->setText(QStringLiteral("xyz"));
    QVERIFY(!bar->FindNext());
    QCOMPARE(bar->labResult->text(), QStringLiteral("Nie znaleziono"));
    f.Sql()->getCursorPosition(&line, &index);
    QCOMPARE(line, 1);

    // Ctrl+H: replace one, then all, as one undoable edit.
    QTest::keyClick(f.Sql(), Qt::Key_H, Qt::ControlModifier);
    QVERIFY(bar->edReplace->isVisible());
    bar->edFind->setText(QStringLiteral("a"));
    bar->edReplace->setText(QStringLiteral("aa"));
    QCOMPARE(bar->ReplaceAll(), 3); // a replacement holding the text is not found again
    QCOMPARE(f.Sql()->text(), QStringLiteral("SELECT aa FROM t\r\nWHERE aa = 1\r\nOR aa = 2\r\n"));
    f.Sql()->undo();
    QCOMPARE(f.Sql()->text(), QStringLiteral("SELECT a FROM t\r\nWHERE a = 1\r\nOR A = 2\r\n"));

    // Esc closes the bar and gives the focus back.
    bar->edFind->setFocus();
    QTest::keyClick(bar->edFind, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QTRY_VERIFY(f.Sql()->hasFocus());
    f.SqlTab.hide();
}

void TestReportEditors::goToLine() {
    Fixture f(QByteArray("a\r\nb\r\nc\r\nd\r\n"));
    Activate(&f.DefinitionTab, f.Xml());
    f.Xml()->setText(QStringLiteral("<a>\r\n<b/>\r\n<c/>\r\n</a>"));
    QTest::keyClick(f.Xml(), Qt::Key_G, Qt::ControlModifier);
    TOrvel_FindBar *bar = f.Editors->barFind_DEF;
    QVERIFY(bar->edLine->hasFocus());
    QCOMPARE(bar->edLine->text(), QStringLiteral("1"));
    bar->edLine->selectAll();
    QTest::keyClicks(bar->edLine, QStringLiteral("3"));
    QTest::keyClick(bar->edLine, Qt::Key_Return);
    int line = -1, index = -1;
    f.Xml()->getCursorPosition(&line, &index);
    QCOMPARE(line, 2);
    QVERIFY(bar->isHidden());
    bar->GoToLine(99); // past the end: the last line
    f.Xml()->getCursorPosition(&line, &index);
    QCOMPARE(line, 3);
    f.DefinitionTab.hide();
}

void TestReportEditors::commentLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fromLine");
    QTest::addColumn<int>("toLine"); // -1: no selection, the caret's line
    QTest::addColumn<QString>("expected");

    QTest::newRow("caret's line") << QStringLiteral("SELECT 1\r\nSELECT 2") << 1 << -1
                                  << QStringLiteral("SELECT 1\r\n-- SELECT 2");
    QTest::newRow("selected lines at their common indentation, blank lines left")
        << QStringLiteral("  a\r\n\r\n    b\r\nc") << 0 << 2
        << QStringLiteral("  -- a\r\n\r\n  --   b\r\nc");
    QTest::newRow("all commented: uncommented")
        << QStringLiteral("-- a\r\n  --b\r\nc") << 0 << 1 << QStringLiteral("a\r\n  b\r\nc");
    QTest::newRow("some commented: all get a comment")
        << QStringLiteral("-- a\r\nb") << 0 << 1 << QStringLiteral("-- -- a\r\n-- b");
}

void TestReportEditors::commentLines() {
    QFETCH(QString, text);
    QFETCH(int, fromLine);
    QFETCH(int, toLine);
    QFETCH(QString, expected);
    Fixture f;
    Activate(&f.SqlTab, f.Sql());
    f.Sql()->setText(text);
    if (toLine < 0)
        f.Sql()->setCursorPosition(fromLine, 1);
    else
        f.Sql()->setSelection(fromLine, 1, toLine, 1);

    QTest::keyClick(f.Sql(), Qt::Key_Slash, Qt::ControlModifier);

    QCOMPARE(f.Sql()->text(), expected);
    f.Sql()->undo();
    QCOMPARE(f.Sql()->text(), text);
    f.SqlTab.hide();
}

void TestReportEditors::saveAndRedoKeys() {
    Fixture f;
    Activate(&f.SqlTab, f.Sql());
    f.Sql()->setCursorPosition(0, 0);
    QTest::keyClicks(f.Sql(), QStringLiteral("-- x\r"));
    const QString typed = f.Sql()->text();
    f.Sql()->undo();
    QVERIFY(f.Sql()->text() != typed);
    QTest::keyClick(f.Sql(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.Sql()->text(), typed);

    QTest::keyClick(f.Sql(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.Reloads, 1);
    QVERIFY(ReadBytes(f.ScriptFile).startsWith("-- x\r\n"));
    QVERIFY(!f.Sql()->isModified());
    f.SqlTab.hide();
}

void TestReportEditors::bracesAndLineNumbers() {
    Fixture f;
    QCOMPARE(f.Sql()->marginType(0), QsciScintilla::NumberMargin);
    QVERIFY(f.Sql()->marginWidth(0) > 0);
    QCOMPARE(f.Xml()->braceMatching(), QsciScintilla::SloppyBraceMatch);
    QCOMPARE(f.Sql()->braceMatching(), QsciScintilla::SloppyBraceMatch);
}

void TestReportEditors::fileWatch_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("told"); // "changed", "removed", "removed changed" or ""

    QTest::newRow("written in place") << QStringLiteral("in place") << QStringLiteral("changed");
    // As editors and the program itself save: a new file renamed over the old one.
    QTest::newRow("replaced by rename") << QStringLiteral("rename") << QStringLiteral("changed");
    QTest::newRow("removed") << QStringLiteral("remove") << QStringLiteral("removed");
    QTest::newRow("removed and back")
        << QStringLiteral("remove, back") << QStringLiteral("removed changed");
    QTest::newRow("the same bytes written again") << QStringLiteral("same") << QString();
    QTest::newRow("written by the program") << QStringLiteral("own") << QString();
}

void TestReportEditors::fileWatch() {
    QFETCH(QString, change);
    QFETCH(QString, told);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Raport.sql"));
    const QString other = dir.filePath(QStringLiteral("Raport.xml"));
    QVERIFY(WriteBytes(file, "SELECT 1\r\n"));
    QVERIFY(WriteBytes(other, "<a/>"));
    TOrvel_ReportFileWatch watch;
    watch.Watch({file, other, QString()});
    QCOMPARE(watch.Files().size(), 2);
    QStringList events;
    connect(&watch, &TOrvel_ReportFileWatch::changed, this,
            [&](const QString &f) { events << QStringLiteral("changed ") + f; });
    connect(&watch, &TOrvel_ReportFileWatch::removed, this,
            [&](const QString &f) { events << QStringLiteral("removed ") + f; });

    if (change == QLatin1String("in place")) {
        QVERIFY(WriteBytes(file, "SELECT 2\r\n"));
    } else if (change == QLatin1String("rename")) {
        QVERIFY(WriteBytes(file + QStringLiteral(".tmp"), "SELECT 2\r\n"));
        QVERIFY(std::rename(QFile::encodeName(file + QStringLiteral(".tmp")).constData(),
                            QFile::encodeName(file).constData()) == 0);
    } else if (change.startsWith(QLatin1String("remove"))) {
        QVERIFY(QFile::remove(file));
        if (change.endsWith(QLatin1String("back"))) {
            QTRY_COMPARE(events, QStringList{QStringLiteral("removed ") + file});
            QVERIFY(WriteBytes(file, "SELECT 3\r\n"));
        }
    } else if (change == QLatin1String("same")) {
        QVERIFY(WriteBytes(file, "SELECT 1\r\n"));
    } else {
        QVERIFY(WriteBytes(file, "SELECT 4\r\n"));
        watch.Known(file);
    }

    QStringList expected;
    for (const QString &event : told.split(u' ', Qt::SkipEmptyParts))
        expected << event + u' ' + file;
    if (expected.isEmpty()) {
        watch.Check(); // what the watcher's notice leads to
        QVERIFY2(events.isEmpty(), qPrintable(events.join(u',')));
    } else {
        QTRY_COMPARE(events, expected);
    }
    // Watched on after the change: the next one is told too.
    events.clear();
    QVERIFY(WriteBytes(file, "SELECT 5\r\n"));
    QTRY_COMPARE(events, QStringList{QStringLiteral("changed ") + file});
}

QTEST_MAIN(TestReportEditors)
#include "EditorsTest.moc"
