// The report editors: saving and reloading in the file's own encoding, the refusal of a broken
// definition without touching any file, save-as, re-formatting by the plug-in, the marker line
// with its single undo, the tab key of each editor, highlighting, and read-only mode.
#include "TestSupport.h"
#include "U_EditorFiles.h"
#include "U_MessageBox.h"
#include "U_ReportEditors.h"
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
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

const QString Marker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");
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
    void markerLine_data();
    void markerLine();
    void tabKey_data();
    void tabKey();
    void sqlHighlighting_data();
    void sqlHighlighting();
    void readOnly();
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
    QTest::newRow("utf-8 stays utf-8")
        << QStringLiteral("SELECT 'Łódź'\r\n").toUtf8() << QStringLiteral("-- ąę\r\n")
        << QStringLiteral("-- ąę\r\nSELECT 'Łódź'\r\n").toUtf8() << TOrvel_TextEncoding::teUtf8;
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBFSELECT 1\r\n") << QStringLiteral("-- x\r\n")
        << QByteArray("\xEF\xBB\xBF-- x\r\nSELECT 1\r\n") << TOrvel_TextEncoding::teUtf8;
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
    QCOMPARE(f.Activity,
             (QStringList{QStringLiteral("Zapisywanie..."), QStringLiteral("Zapisane")}));
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
    QTest::newRow("unclosed element")
        << QStringLiteral("<?xml version=\"1.0\"?>\n<Zestawnik><params>\n</Zestawnik>\n");
    QTest::newRow("empty") << QString();
    QTest::newRow("text after the root") << QStringLiteral("<Zestawnik/>\njunk");
    QTest::newRow("two roots") << QStringLiteral("<a/><b/>");
    QTest::newRow("undeclared entity") << QStringLiteral("<a>&nbsp;</a>");
}

void TestReportEditors::brokenDefinitionIsRefused() {
    QFETCH(QString, text);
    Fixture f;
    const QString bak = CompanionFileName(f.DefinitionFile, QStringLiteral(".bak"));
    WriteBytes(bak, "kept");
    f.Xml()->setText(text);
    TOrvel_MessageRecorder boxes;

    f.Editors->btnEditDEF_saveClick();

    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
    QCOMPARE(boxes.Messages()[0].Caption, QStringLiteral("Błąd walidacji"));
    QCOMPARE(boxes.Messages()[0].Text,
             QStringLiteral("Plik definicji zawiera błędy i nie może być zapisany"));
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
    QCOMPARE(ReadBytes(bak), QByteArray("kept"));
    QCOMPARE(f.Reloads, 0);
    QVERIFY(f.Activity.isEmpty());
    QCOMPARE(f.Xml()->text(), text);
    QCOMPARE(QDir(f.Folder).entryList(QDir::Files).size(), 3);
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

    const QString xmlbak = CompanionFileName(f.DefinitionFile, QStringLiteral(".xmlbak"));
    QCOMPARE(ReadBytes(xmlbak), EditorTextToFileText(editorText).toUtf8());
    const QByteArray formatted = ReadBytes(f.DefinitionFile);
    QVERIFY(formatted != ReadBytes(xmlbak));
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

QTEST_MAIN(TestReportEditors)
#include "EditorsTest.moc"
