// The small dialogs: the add-parameter dialog's rows per type and the item it writes, the new
// report dialog (nested groups, the replace question, bad names and templates), the CSV
// separator setting, and screenshots of each dialog when ORVEL_SHOTS_DIR names a folder.
#include "FU_About.h"
#include "FU_AddDefParam.h"
#include "FU_NewReport.h"
#include "FU_Settings.h"
#include "TestSupport.h"
#include "U_MessageBox.h"
#include "U_ParamType.h"
#include "U_ReportEditors.h"
#include "U_ReportFiles.h"
#include "U_SqlEditor.h"
#include "U_XML_util.h"
#include "U_XmlEditor.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QByteArray Definition = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                              "<Zestawnik><version>1.0</version><params></params></Zestawnik>\r\n";

// A temporary application folder with the templates in place.
struct AppFolder {
    QTemporaryDir Dir;
    AppFolder() {
        SetAppFolder(Dir.path());
        WriteBytes(GetTemplateFolder() + QStringLiteral("default.sql"), "-- szablon sql\r\n");
        WriteBytes(GetTemplateFolder() + QStringLiteral("default.xml"), Definition);
        QDir().mkpath(GetReportsFolder());
    }
    ~AppFolder() { SetAppFolder(QString()); }
};

// The definition editor over a report's definition document, as the main window wires them.
struct DefinitionFixture : AppFolder {
    QString DefinitionFile = GetReportsFolder() + QStringLiteral("Raport.xml");
    TOrvel_XML_util Doc;
    QWidget SqlTab, DefinitionTab;
    std::unique_ptr<TOrvel_ReportEditors> Editors;
    int Reloads = 0;

    explicit DefinitionFixture(const QByteArray &definition = Definition) {
        WriteBytes(DefinitionFile, definition);
        TOrvel_EditorHost host;
        host.DefinitionFileName = [this] { return DefinitionFile; };
        host.ScriptFileName = [this] {
            return CompanionFileName(DefinitionFile, QStringLiteral(".sql"));
        };
        host.ReloadReport = [this] {
            ++Reloads;
            Load();
        };
        host.Title = [] { return QStringLiteral("Raport"); };
        Editors = std::make_unique<TOrvel_ReportEditors>(&SqlTab, &DefinitionTab, host);
        Load();
    }
    QString ScriptFile() const { return CompanionFileName(DefinitionFile, QStringLiteral(".sql")); }
    void Load() {
        Doc.LoadFromFile(DefinitionFile);
        Editors->ShowReport(ReadScriptFile(ScriptFile()).Text, ScriptFile(), Doc.GetXML());
    }
    TOrvel_AddParamTarget Target() {
        return TOrvel_AddParamTarget::ForEditors(
            Editors.get(),
            [this](const TOrvel_ParamData &p) { return AppendDefinitionItem(Doc, p); },
            [this] { return Doc.GetXML(); });
    }
};

QStringList Rows(std::initializer_list<const char *> captions) {
    QStringList list;
    for (const char *caption : captions)
        list.append(QString::fromUtf8(caption));
    return list;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

    void addParamRows_data();
    void addParamRows();
    void addParamWritesItem_data();
    void addParamWritesItem();
    void addParamRefuses_data();
    void addParamRefuses();
    void addParamCapitalises();
    void addParamRefusesNames_data();
    void addParamRefusesNames();
    void addParamListCounts_data();
    void addParamListCounts();
    void messageBoxStaysOnTheScreen();
    void addParamDeclaresInScript_data();
    void addParamDeclaresInScript();
    void addParamWithoutParamsElement();
    void addParamAsksAboutDefinitionEdits_data();
    void addParamAsksAboutDefinitionEdits();
    void addParamChecksListQuery_data();
    void addParamChecksListQuery();
    void addParamTypeListShowsItsEntries();

    void newReportCreates_data();
    void newReportCreates();
    void newReportReplaceQuestion_data();
    void newReportReplaceQuestion();
    void newReportBadInput_data();
    void newReportBadInput();
    void newReportGroupList();

    void separator();
    void csvEncoding();

    void screenshots();
};

void TestDialogs::addParamRows_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("list");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("decimal");

    const QStringList always = Rows({"Nazwa", "Opis", "Typ"});
    QTest::newRow("tekst, no list kind")
        << 0 << -1 << always + Rows({"Lista", "Szerokość pola"}) << "50"
        << "0";
    QTest::newRow("tekst, nie") << 0 << 0 << always + Rows({"Lista", "Szerokość pola"}) << "50"
                                << "0";
    QTest::newRow("tekst, tekstowa")
        << 0 << 1
        << always + Rows({"Lista", "Szerokość pola", "Nazwy listy wyboru", "Wartości listy wyboru"})
        << "50"
        << "0";
    QTest::newRow("tekst, z zapytania sql")
        << 0 << 2
        << always + Rows({"Lista", "Szerokość pola", "Zapytanie listy SQL",
                          "Widoczne pola listy SQL", "Pole kluczowe listy SQL"})
        << "50"
        << "0";
    QTest::newRow("logiczny") << 1 << 2 << always << "0"
                              << "0";
    QTest::newRow("data") << 2 << 1 << always << "0"
                          << "0";
    QTest::newRow("liczba całkowita") << 3 << 1 << always + Rows({"Szerokość pola"}) << "10"
                                      << "0";
    QTest::newRow("liczba rzeczywista")
        << 4 << 2 << always + Rows({"Szerokość pola", "Miejsca dziesiętne"}) << "12"
        << "2";
}

void TestDialogs::addParamRows() {
    QFETCH(int, type);
    QFETCH(int, list);
    QFETCH(QStringList, rows);
    QFETCH(QString, width);
    QFETCH(QString, decimal);
    TF_AddDefParam dialog;
    dialog.FormShow();
    QCOMPARE(dialog.listTyp->currentText(), QStringLiteral("tekst"));
    // Go through another type first: rows shown again must come back in their fixed place.
    dialog.listTyp->setCurrentIndex(4);
    dialog.listLista->setCurrentIndex(list);
    dialog.listTyp->setCurrentIndex(type);
    QCOMPARE(dialog.VisibleRows(), rows);
    QCOMPARE(dialog.edWidth->text(), width);
    QCOMPARE(dialog.edWidthDec->text(), decimal);
    QVERIFY(dialog.btnOK->isEnabled());
}

void TestDialogs::addParamWritesItem_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("list");
    QTest::addColumn<bool>("switchListKind"); // type names, then switch to the SQL list
    QTest::addColumn<TOrvel_ParamData>("expected");

    auto param = [](TOrvel_ParamType type, int width, int decimal) {
        TOrvel_ParamData p;
        p.name = QStringLiteral("Kwota");
        p.desc = QStringLiteral("Kwota brutto");
        p.type = type;
        p.width = width;
        p.decimal = decimal;
        return p;
    };
    QTest::newRow("BIT") << 1 << -1 << false << param(TOrvel_ParamType::ptBit, 0, 0);
    QTest::newRow("INT") << 3 << -1 << false << param(TOrvel_ParamType::ptInt, 10, 0);
    QTest::newRow("NUMERIC") << 4 << -1 << false << param(TOrvel_ParamType::ptNumeric, 12, 2);
    TOrvel_ParamData fixed = param(TOrvel_ParamType::ptText, 50, 0);
    fixed.listitems = QStringLiteral("Jeden;Dwa");
    fixed.listvalues = QStringLiteral("1;2");
    QTest::newRow("TEXT with a fixed list") << 0 << 1 << false << fixed;
    TOrvel_ParamData sql = param(TOrvel_ParamType::ptText, 50, 0);
    sql.listquery = QStringLiteral("SELECT Id, Nazwa\nFROM t");
    sql.listfields = QStringLiteral("Nazwa");
    sql.key = QStringLiteral("Id");
    QTest::newRow("TEXT with an SQL list") << 0 << 2 << false << sql;
    QTest::newRow("TEXT, list names lost by switching to SQL") << 0 << 1 << true << sql;
}

void TestDialogs::addParamWritesItem() {
    QFETCH(int, type);
    QFETCH(int, list);
    QFETCH(bool, switchListKind);
    QFETCH(TOrvel_ParamData, expected);
    DefinitionFixture f;
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    dialog.FormShow();
    dialog.listLista->setCurrentIndex(list);
    dialog.listTyp->setCurrentIndex(type);
    dialog.edName->setText(QStringLiteral("  Kwota "));
    dialog.edDesc->setText(QStringLiteral("Kwota brutto "));
    // The user types only into the inputs shown.
    auto typeInto = [&](QWidget *input, const QString &text) {
        if (!input->isVisibleTo(&dialog))
            return;
        if (auto *line = qobject_cast<QLineEdit *>(input))
            line->setText(text);
        else
            static_cast<QPlainTextEdit *>(input)->setPlainText(text);
    };
    typeInto(dialog.edListNames, QStringLiteral(" Jeden;Dwa "));
    typeInto(dialog.edListValues, QStringLiteral("1;2"));
    if (switchListKind)
        dialog.listLista->setCurrentIndex(2);
    typeInto(dialog.edListSQL, QStringLiteral("SELECT Id, Nazwa\nFROM t\n"));
    typeInto(dialog.edListSQLFields, QStringLiteral("Nazwa"));
    typeInto(dialog.edListSQLKey, QStringLiteral("Id"));
    TOrvel_MessageRecorder boxes;

    dialog.btnOK->click();

    QVERIFY(boxes.Messages().empty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(f.Reloads, 1);
    TOrvel_XML_util saved;
    QVERIFY(saved.LoadFromFile(f.DefinitionFile));
    const std::vector<TOrvel_ParamData> items = ReadParamItems(saved);
    QCOMPARE(int(items.size()), 1);
    QCOMPARE(items[0].name, expected.name);
    QCOMPARE(items[0].type, expected.type);
    QCOMPARE(items[0].width, expected.width);
    QCOMPARE(items[0].decimal, expected.decimal);
    QCOMPARE(items[0].desc, expected.desc);
    QCOMPARE(items[0].listitems, expected.listitems);
    QCOMPARE(items[0].listvalues, expected.listvalues);
    QCOMPARE(QString(items[0].listquery).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
             expected.listquery);
    QCOMPARE(items[0].listfields, expected.listfields);
    QCOMPARE(items[0].key, expected.key);
    QCOMPARE(f.Editors->edReportDefinition->text(), saved.GetXML());
}

void TestDialogs::addParamRefuses_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("width");
    QTest::addColumn<bool>("brokenEditor");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");

    const QString general = QStringLiteral("Orvel-Zestawnik");
    QTest::newRow("empty name") << "  "
                                << "Opis"
                                << "10" << false << QString()
                                << QStringLiteral("Wpisz nazwę parametru.");
    QTest::newRow("blank description")
        << "Kwota"
        << "   "
        << "10" << false << QString() << QStringLiteral("Wpisz opis parametru.");
    QTest::newRow("width not a number")
        << "Kwota"
        << "Opis"
        << "1x" << false << QString() << QStringLiteral("'1x' is not a valid integer value.");
    QTest::newRow("definition not well-formed")
        << "Kwota"
        << "Opis"
        << "10" << true << QStringLiteral("Błąd walidacji")
        << QStringLiteral("Plik definicji zawiera błędy i nie może być zapisany");
}

void TestDialogs::addParamRefuses() {
    QFETCH(QString, name);
    QFETCH(QString, desc);
    QFETCH(QString, width);
    QFETCH(bool, brokenEditor);
    QFETCH(QString, caption);
    QFETCH(QString, message);
    DefinitionFixture f;
    if (brokenEditor)
        f.Editors->edReportDefinition->setText(QStringLiteral("<Zestawnik>"));
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    dialog.FormShow();
    dialog.listTyp->setCurrentIndex(3);
    dialog.edName->setText(name);
    dialog.edDesc->setText(desc);
    dialog.edWidth->setText(width);
    TOrvel_MessageRecorder boxes;

    dialog.btnOK->click();

    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
    if (!caption.isEmpty())
        QCOMPARE(boxes.Messages()[0].Caption, caption);
    // The definition check adds its reason after the message.
    QVERIFY2(boxes.Messages()[0].Text.startsWith(message), qPrintable(boxes.Messages()[0].Text));
    QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open: not accepted
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
    QVERIFY(ReadParamItems(f.Doc).empty());
    QCOMPARE(dialog.edName->text(), name);
}

void TestDialogs::addParamCapitalises() {
    TF_AddDefParam dialog;
    dialog.FormShow();
    QTest::keyClicks(dialog.edName, QStringLiteral("kwota"));
    QCOMPARE(dialog.edName->text(), QStringLiteral("Kwota"));
    // Leaving the name (the focus goes to another input) replaces the description.
    dialog.edDesc->setText(QStringLiteral("stary opis"));
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(dialog.edName, &leave);
    QCOMPARE(dialog.edDesc->text(), QStringLiteral("Kwota"));
    // Switching to another window is no leaving.
    dialog.edName->setText(QStringLiteral("Inna"));
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(dialog.edName, &away);
    QCOMPARE(dialog.edDesc->text(), QStringLiteral("Kwota"));
    // Only the first character of an empty box, and only ASCII letters change.
    dialog.edDesc->clear();
    for (const QString &typed : {QStringLiteral("ł"), QStringLiteral("k")})
        QTest::sendKeyEvent(QTest::Click, dialog.edDesc, Qt::Key_unknown, typed, Qt::NoModifier);
    QCOMPARE(dialog.edDesc->text(), QStringLiteral("łk"));
}

namespace {
// Fills the dialog with an INT parameter of this name and confirms it.
void ConfirmParam(TF_AddDefParam &dialog, const QString &name) {
    dialog.FormShow();
    dialog.listTyp->setCurrentIndex(3);
    dialog.edName->setText(name);
    dialog.edDesc->setText(QStringLiteral("Opis"));
    dialog.btnOK->click();
}

QByteArray DefinitionWith(const QString &items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
           "<Zestawnik><version>1.0</version><params>" +
           items.toUtf8() + "</params></Zestawnik>\r\n";
}
} // namespace

void TestDialogs::addParamRefusesNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("existing"); // a parameter already in the definition
    QTest::addColumn<QString>("message");  // a part of the message

    QTest::newRow("blanks and Polish letters")
        << "data od ąę"
        << "" << QStringLiteral("'data od ąę' nie może być nazwą zmiennej SQL");
    QTest::newRow("digit first") << "1Rok"
                                 << "" << QStringLiteral("'1Rok' nie może być");
    QTest::newRow("punctuation") << "Kwota-netto"
                                 << "" << QStringLiteral("'Kwota-netto'");
    // The real reason, not the letters-and-digits rule the name keeps.
    QTest::newRow("200 characters")
        << QString(200, u'K') << ""
        << QStringLiteral("Nazwa parametru jest za długa: ma 200 znaków, a może mieć najwyżej 127");
    QTest::newRow("used already, letter case aside")
        << "kWOTA"
        << "Kwota" << QStringLiteral("Parametr o nazwie 'kWOTA' już istnieje w definicji raportu");
}

void TestDialogs::addParamRefusesNames() {
    QFETCH(QString, name);
    QFETCH(QString, existing);
    QFETCH(QString, message);
    const QByteArray definition =
        existing.isEmpty()
            ? Definition
            : DefinitionWith(
                  QStringLiteral("<item><name>%1</name><type>INT</type></item>").arg(existing));
    DefinitionFixture f(definition);
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    TOrvel_MessageRecorder boxes;

    ConfirmParam(dialog, name);

    QCOMPARE(int(boxes.Messages().size()), 1);
    QVERIFY2(boxes.Messages()[0].Text.contains(message), qPrintable(boxes.Messages()[0].Text));
    QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open
    QCOMPARE(ReadBytes(f.DefinitionFile), definition);
    QCOMPARE(f.Reloads, 0);
    // A valid name of Polish letters and underscores goes in.
    boxes.Clear();
    ConfirmParam(dialog, QStringLiteral("Data_od_ąę"));
    QVERIFY(boxes.Messages().empty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestDialogs::addParamListCounts_data() {
    QTest::addColumn<QString>("captions");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::newRow("more captions than values")
        << "A;B;C"
        << "1;2"
        << QStringLiteral("Lista wyboru parametru 'Rodzaj' ma różną liczbę nazw (3) i wartości "
                          "(2): każda nazwa potrzebuje swojej wartości");
    QTest::newRow("more values than captions")
        << "A"
        << "1;2" << QStringLiteral("ma różną liczbę nazw (1) i wartości (2)");
    QTest::newRow("as many of each") << "A;B"
                                     << "1;2" << QString();
    QTest::newRow("a separator at the end adds none") << "A;B;"
                                                      << "1;2" << QString();
    QTest::newRow("no values: the index is the value") << "A;B;C" << QString() << QString();
}

void TestDialogs::addParamListCounts() {
    QFETCH(QString, captions);
    QFETCH(QString, values);
    QFETCH(QString, message);
    DefinitionFixture f;
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.listLista->setCurrentIndex(1); // tekstowa
    // Typed as the author types: into the focused inputs, then OK clicked.
    const auto typeInto = [](QLineEdit *edit, const QString &text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTRY_VERIFY(edit->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), text);
    };
    typeInto(dialog.edName, QStringLiteral("rodzaj"));
    typeInto(dialog.edListNames, captions);
    typeInto(dialog.edListValues, values);
    TOrvel_MessageRecorder boxes;

    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);

    if (message.isEmpty()) {
        QVERIFY(boxes.Messages().empty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const std::vector<TOrvel_ParamData> items = ReadParamItems(f.Doc);
        QCOMPARE(int(items.size()), 1);
        QCOMPARE(items[0].listitems, captions);
        QCOMPARE(items[0].listvalues, values);
        return;
    }
    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Error);
    QVERIFY2(boxes.Messages()[0].Text.contains(message), qPrintable(boxes.Messages()[0].Text));
    QVERIFY(dialog.isVisible()); // open for a correction, with what was typed
    QCOMPARE(dialog.edListNames->text(), captions);
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
    QCOMPARE(f.Reloads, 0);
}

void TestDialogs::messageBoxStaysOnTheScreen() {
    // The real box, not a recorder: a 200-character name in its text has no blank to break at.
    const QString name(200, u'K');
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect shown;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QWidget *box = QApplication::activeModalWidget();
        QTRY_VERIFY(box->isVisible());
        shown = box->frameGeometry();
        static_cast<QDialog *>(box)->accept();
    });
    ShowMessage(
        nullptr, TOrvel_MsgIcon::Error, QString(),
        QStringLiteral("Parametr o nazwie '%1' już istnieje w definicji raportu").arg(name));
    QVERIFY(!shown.isEmpty());
    QVERIFY2(screen.contains(shown), qPrintable(QStringLiteral("%1,%2 %3x%4 on %5x%6")
                                                    .arg(shown.x())
                                                    .arg(shown.y())
                                                    .arg(shown.width())
                                                    .arg(shown.height())
                                                    .arg(screen.width())
                                                    .arg(screen.height())));
}

void TestDialogs::addParamDeclaresInScript_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected"); // the script editor's text afterwards
    const QString marker = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]\r\n");
    QTest::newRow("declarations above the marker")
        << QStringLiteral("DECLARE @Od DATETIME\r\n") + marker + QStringLiteral("SELECT 1\r\n")
        << QStringLiteral("DECLARE @Od DATETIME\r\nDECLARE @Kwota NUMERIC(12,2)\r\n") + marker +
               QStringLiteral("SELECT 1\r\n");
    // The template's script: the assignments at the marker need the variable all the same.
    QTest::newRow("nothing declared above the marker")
        << marker + QStringLiteral("SELECT 'Nowy raport' AS Opis\r\n")
        << QStringLiteral("DECLARE @Kwota NUMERIC(12,2)\r\n") + marker +
               QStringLiteral("SELECT 'Nowy raport' AS Opis\r\n");
    QTest::newRow("marker on the first line after a comment")
        << QStringLiteral("-- @Kwota w komentarzu\r\n") + marker
        << QStringLiteral("-- @Kwota w komentarzu\r\nDECLARE @Kwota NUMERIC(12,2)\r\n") + marker;
    QTest::newRow("declared on the marker's line")
        << QStringLiteral("DECLARE @Kwota MONEY ") + marker
        << QStringLiteral("DECLARE @Kwota MONEY ") + marker;
    QTest::newRow("declared already") << QStringLiteral("declare @KWOTA money\r\n") + marker
                                      << QStringLiteral("declare @KWOTA money\r\n") + marker;
    QTest::newRow("no marker") << QStringLiteral("DECLARE @Od INT\r\nSELECT 1\r\n")
                               << QStringLiteral("DECLARE @Od INT\r\nSELECT 1\r\n");
}

void TestDialogs::addParamDeclaresInScript() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    DefinitionFixture f;
    WriteBytes(f.ScriptFile(), script.toUtf8());
    f.Load();
    f.Editors->SetWritable(true); // a report is loaded: the editors take edits
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    dialog.FormShow();
    dialog.listTyp->setCurrentIndex(4); // liczba rzeczywista
    dialog.edName->setText(QStringLiteral("Kwota"));
    dialog.edDesc->setText(QStringLiteral("Kwota"));
    TOrvel_MessageRecorder boxes;

    dialog.btnOK->click();

    QVERIFY(boxes.Messages().empty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    TOrvel_SqlEditor *sql = f.Editors->edReportSQL;
    QCOMPARE(sql->text(), expected);
    // Shown as an unsaved change of the script; the file is the author's to save.
    QCOMPARE(sql->isModified(), expected != script);
    QCOMPARE(ReadBytes(f.ScriptFile()), script.toUtf8());
    if (expected != script) {
        sql->undo();
        QCOMPARE(sql->text(), script);
    }
}

void TestDialogs::addParamWithoutParamsElement() {
    DefinitionFixture f("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                        "<Zestawnik><version>1.0</version></Zestawnik>\r\n");
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    TOrvel_MessageRecorder boxes;
    ConfirmParam(dialog, QStringLiteral("Rok"));
    QVERIFY(boxes.Messages().empty());
    TOrvel_XML_util saved;
    QVERIFY(saved.LoadFromFile(f.DefinitionFile));
    const std::vector<TOrvel_ParamData> items = ReadParamItems(saved);
    QCOMPARE(int(items.size()), 1);
    QCOMPARE(items[0].name, QStringLiteral("Rok"));
}

void TestDialogs::addParamAsksAboutDefinitionEdits_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("added");
    QTest::addColumn<bool>("editKept"); // the typed edit is in the saved definition
    QTest::newRow("Zapisz: the edit is saved, then the item added")
        << int(QMessageBox::Save) << true << true;
    QTest::newRow("Nie zapisuj: the item added to the file's definition")
        << int(QMessageBox::Discard) << true << false;
    QTest::newRow("Anuluj: nothing changes, the dialog stays")
        << int(QMessageBox::Cancel) << false << false;
}

void TestDialogs::addParamAsksAboutDefinitionEdits() {
    QFETCH(int, answer);
    QFETCH(bool, added);
    QFETCH(bool, editKept);
    DefinitionFixture f;
    TOrvel_XmlEditor *xml = f.Editors->edReportDefinition;
    const QString edited =
        xml->text().replace(QStringLiteral("<version>1.0</version>"),
                            QStringLiteral("<version>1.0</version><defaultdb>KADRY</defaultdb>"));
    xml->setText(edited);
    TF_AddDefParam dialog;
    dialog.SetTarget(f.Target());
    TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

    ConfirmParam(dialog, QStringLiteral("Rok"));

    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Text, QStringLiteral("Zapisać zmiany w raporcie „Raport”?"));
    QCOMPARE(dialog.result(), added ? int(QDialog::Accepted) : int(QDialog::Rejected));
    const QByteArray file = ReadBytes(f.DefinitionFile);
    QCOMPARE(file.contains("<name>Rok</name>"), added);
    QCOMPARE(file.contains("<defaultdb>KADRY</defaultdb>"), editKept);
    if (!added) {
        QCOMPARE(xml->text(), edited);
        QVERIFY(xml->isModified());
    }
}

void TestDialogs::addParamChecksListQuery_data() {
    QTest::addColumn<QStringList>("columns"); // what the query gives; empty: it fails
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("message");
    QTest::newRow("columns found")
        << QStringList{"Id", "Nazwa"} << "id" << int(TOrvel_MsgIcon::Information)
        << QStringLiteral("Kolumny zapytania: Id, Nazwa");
    QTest::newRow("key not among them")
        << QStringList{"Id", "Nazwa"} << "Klucz" << int(TOrvel_MsgIcon::Warning)
        << QStringLiteral("Kolumny zapytania: Id, Nazwa\nBrak kolumn: Klucz");
    QTest::newRow("the server's error") << QStringList() << "Id" << int(TOrvel_MsgIcon::Error)
                                        << QStringLiteral("Nieprawidłowa nazwa obiektu 'Towary2'.");
}

void TestDialogs::addParamChecksListQuery() {
    QFETCH(QStringList, columns);
    QFETCH(QString, key);
    QFETCH(int, icon);
    QFETCH(QString, message);
    DefinitionFixture f;
    TOrvel_AddParamTarget target = f.Target();
    QString asked;
    target.ListQueryColumns = [&](const QString &query) {
        asked = query;
        if (columns.isEmpty())
            throw EOrvelError(QStringLiteral("Nieprawidłowa nazwa obiektu 'Towary2'."));
        return columns;
    };
    TF_AddDefParam dialog;
    dialog.SetTarget(target);
    dialog.FormShow();
    dialog.listLista->setCurrentIndex(2);
    QVERIFY(dialog.btnCheckSQL->isVisibleTo(&dialog));
    dialog.edListSQL->setPlainText(QStringLiteral(" SELECT Id, Nazwa FROM Towary2 \n"));
    dialog.edListSQLKey->setText(key);
    dialog.edListSQLFields->setText(QStringLiteral("Nazwa"));
    TOrvel_MessageRecorder boxes;

    dialog.btnCheckSQL->click();

    QCOMPARE(asked, QStringLiteral("SELECT Id, Nazwa FROM Towary2"));
    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(int(boxes.Messages()[0].Icon), icon);
    QCOMPARE(boxes.Messages()[0].Text, message);
    QCOMPARE(dialog.result(), 0); // the dialog goes on
    QCOMPARE(ReadBytes(f.DefinitionFile), Definition);
}

void TestDialogs::addParamTypeListShowsItsEntries() {
    TF_AddDefParam dialog;
    for (int i = 0; i < dialog.listTyp->count(); ++i)
        QVERIFY2(dialog.listTyp->width() >=
                     dialog.listTyp->fontMetrics().horizontalAdvance(dialog.listTyp->itemText(i)) +
                         16,
                 qPrintable(dialog.listTyp->itemText(i)));
}

void TestDialogs::newReportCreates_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relativeDefinition"); // below the reports folder

    QTest::newRow("empty group") << ""
                                 << "Nowy raport"
                                 << "Nowy raport.xml";
    QTest::newRow("new two-level group") << "Sprzedaż\\2024"
                                         << "Styczeń"
                                         << "Sprzedaż/2024/Styczeń.xml";
    QTest::newRow("unsafe characters") << " A.b/c "
                                       << "x:y?z<1>.w\\v"
                                       << "A_b_c/x_y_z_1__w_v.xml";
    QTest::newRow("doubled and trailing separators") << "A\\\\B\\"
                                                     << "R"
                                                     << "A/B/R.xml";
}

void TestDialogs::newReportCreates() {
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(QString, relativeDefinition);
    AppFolder app;
    TF_NewReport dialog;
    QString created;
    dialog.OnReportCreated = [&](const QString &path) { created = path; };
    dialog.FormShow();
    QCOMPARE(dialog.edName->text(), QStringLiteral("Nowy raport"));
    dialog.edPath->setEditText(group);
    dialog.edName->setText(name);
    TOrvel_MessageRecorder boxes;

    dialog.btnOK->click();

    QVERIFY(boxes.Messages().empty());
    const QString definition = GetReportsFolder() + relativeDefinition;
    QCOMPARE(created, definition);
    QCOMPARE(ReadBytes(definition), Definition);
    QCOMPARE(ReadBytes(CompanionFileName(definition, QStringLiteral(".sql"))),
             QByteArray("-- szablon sql\r\n"));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestDialogs::newReportReplaceQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("shown"); // the path in the question, with "/" as on disk
    QTest::newRow("yes replaces both files")
        << int(QMessageBox::Yes) << true << QStringLiteral("A\\B") << "A/B/Stary.xml";
    QTest::newRow("no changes nothing")
        << int(QMessageBox::No) << false << QStringLiteral("A\\B") << "A/B/Stary.xml";
    QTest::newRow("no group") << int(QMessageBox::No) << false << QString() << "Stary.xml";
}

void TestDialogs::newReportReplaceQuestion() {
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    QFETCH(QString, group);
    QFETCH(QString, shown);
    AppFolder app;
    const QString definition = GetReportsFolder() + shown;
    const QString script = CompanionFileName(definition, QStringLiteral(".sql"));
    WriteBytes(definition, "<mine/>");
    WriteBytes(script, "SELECT 'mine'");
    TF_NewReport dialog;
    bool called = false;
    dialog.OnReportCreated = [&](const QString &) { called = true; };
    dialog.FormShow();
    dialog.edPath->setEditText(group);
    dialog.edName->setText(QStringLiteral("Stary"));
    TOrvel_MessageRecorder boxes(static_cast<QMessageBox::StandardButton>(answer));

    dialog.btnOK->click();

    QCOMPARE(int(boxes.Messages().size()), 1);
    const TOrvel_MessageRequest &box = boxes.Messages()[0];
    QCOMPARE(box.Icon, TOrvel_MsgIcon::Warning);
    QCOMPARE(box.Caption, QStringLiteral("Uwaga"));
    QCOMPARE(box.Text, QStringLiteral("Raport \"") + shown +
                           QStringLiteral("\" juz istnieje !\r\nCzy chcesz aktualny zastąpić "
                                          "pustym ?"));
    QCOMPARE(box.Buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(ReadBytes(definition), replaced ? Definition : QByteArray("<mine/>"));
    QCOMPARE(ReadBytes(script),
             replaced ? QByteArray("-- szablon sql\r\n") : QByteArray("SELECT 'mine'"));
    QCOMPARE(called, replaced);
    QVERIFY(dialog.result() == (replaced ? int(QDialog::Accepted) : int(QDialog::Rejected)));
}

void TestDialogs::newReportBadInput_data() {
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("missingTemplate");
    QTest::addColumn<bool>("groupIsAFile");
    QTest::addColumn<QString>("messageStart");

    QTest::newRow("name of blanks") << "G"
                                    << "   "
                                    << "" << false << QStringLiteral("Wpisz nazwę raportu");
    QTest::newRow("definition template missing")
        << "G"
        << "R"
        << "default.xml" << false << QStringLiteral("Brak szablonu raportu:");
    QTest::newRow("script template missing")
        << "G"
        << "R"
        << "default.sql" << false << QStringLiteral("Brak szablonu raportu:");
    QTest::newRow("group folder cannot be created")
        << "G"
        << "R"
        << "" << true << QStringLiteral("Nie można utworzyć folderu grupy:");
}

void TestDialogs::newReportBadInput() {
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(QString, missingTemplate);
    QFETCH(bool, groupIsAFile);
    QFETCH(QString, messageStart);
    AppFolder app;
    if (!missingTemplate.isEmpty())
        QVERIFY(QFile::remove(GetTemplateFolder() + missingTemplate));
    if (groupIsAFile)
        WriteBytes(GetReportsFolder() + group, "a file where the group's folder should be");
    TF_NewReport dialog;
    bool called = false;
    dialog.OnReportCreated = [&](const QString &) { called = true; };
    dialog.FormShow();
    dialog.edPath->setEditText(group);
    dialog.edName->setText(name);
    TOrvel_MessageRecorder boxes;

    dialog.btnOK->click();

    QCOMPARE(int(boxes.Messages().size()), 1);
    QVERIFY2(boxes.Messages()[0].Text.startsWith(messageStart),
             qPrintable(boxes.Messages()[0].Text));
    QVERIFY(!called);
    QVERIFY(!QFileInfo::exists(GetReportsFolder() + group + QStringLiteral("/R.xml")));
    QVERIFY(!QFileInfo::exists(GetReportsFolder() + group + QStringLiteral("/R.sql")));
}

void TestDialogs::newReportGroupList() {
    AppFolder app;
    const QString reports = GetReportsFolder();
    for (const char *folder : {"A/B/C", "A/D", "E", ".ukryta"})
        QDir().mkpath(reports + QString::fromUtf8(folder));
    WriteBytes(reports + QStringLiteral("A/plik.xml"), "<a/>");
    TF_NewReport dialog;
    dialog.FormShow();
    QStringList listed;
    for (int i = 0; i < dialog.edPath->count(); ++i)
        listed.append(dialog.edPath->itemText(i));
    QStringList sorted = listed;
    sorted.sort();
    QCOMPARE(sorted, (QStringList{".ukryta", "A", "A\\B", "A\\B\\C", "A\\D", "E"}));
    // Each folder is followed directly by its own sub-folders.
    const qsizetype a = listed.indexOf(QStringLiteral("A"));
    const qsizetype b = listed.indexOf(QStringLiteral("A\\B"));
    QCOMPARE(listed.indexOf(QStringLiteral("A\\B\\C")), b + 1);
    QVERIFY(b > a && listed.indexOf(QStringLiteral("A\\D")) > a);
    QVERIFY(b <= a + 3 && listed.indexOf(QStringLiteral("A\\D")) <= a + 3);
    QVERIFY(dialog.edPath->currentText().isEmpty());
}

void TestDialogs::separator() {
    AppFolder app;
    CreateAppPrefs();
    TF_Settings dialog;
    dialog.FormShow();
    QCOMPARE(dialog.edCSVSeparator->text(), QStringLiteral(","));
    QCOMPARE(dialog.edCSVSeparator->maxLength(), 1);

    dialog.edCSVSeparator->setText(QStringLiteral(";"));
    dialog.btnOK->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(AppPrefs->ReadString(QStringLiteral("Export/CSV/Separator")), QStringLiteral(";"));
    TOrvel_XML_util file;
    QVERIFY(file.LoadFromFile(GetDataFolder() + QStringLiteral("settings.xml")));
    QCOMPARE(file.GetValue(QStringLiteral("Export/CSV/Separator")), QStringLiteral(";"));

    // A blank separator is refused and the dialog stays; Anuluj keeps the stored one.
    dialog.setResult(0);
    dialog.FormShow();
    QCOMPARE(dialog.edCSVSeparator->text(), QStringLiteral(";"));
    dialog.edCSVSeparator->setText(QStringLiteral(" "));
    TOrvel_MessageRecorder boxes;
    dialog.btnOK->click();
    QCOMPARE(int(boxes.Messages().size()), 1);
    QCOMPARE(boxes.Messages()[0].Icon, TOrvel_MsgIcon::Warning);
    QCOMPARE(boxes.Messages()[0].Caption, QStringLiteral("Informacja"));
    QCOMPARE(boxes.Messages()[0].Text, QStringLiteral("Separator musi być wypełniony"));
    QCOMPARE(dialog.result(), 0);

    // A double quote would quote values instead of separating them: refused, the dialog stays.
    dialog.edCSVSeparator->setText(QStringLiteral("\""));
    dialog.btnOK->click();
    QCOMPARE(int(boxes.Messages().size()), 2);
    QCOMPARE(boxes.Messages()[1].Text,
             QStringLiteral("Separatorem nie może być cudzysłów ani znak końca wiersza"));
    QCOMPARE(dialog.result(), 0);
    dialog.btnCancel->click();
    QCOMPARE(AppPrefs->ReadString(QStringLiteral("Export/CSV/Separator")), QStringLiteral(";"));
    FreeAppPrefs();
}

// The CSV encoding is chosen as a user does, with keys routed by the focus: Tab from the
// separator to the choice, Down to the next encoding, Enter for "OK". Nothing stored or an
// unknown name shows Windows-1250; "Anuluj" stores nothing.
void TestDialogs::csvEncoding() {
    AppFolder app;
    CreateAppPrefs();
    const QString key = QStringLiteral("Export/CSV/Encoding");
    TF_Settings dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.cbCSVEncoding->currentText(), QStringLiteral("Windows-1250"));
    QCOMPARE(dialog.cbCSVEncoding->count(), 3);
    dialog.edCSVSeparator->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), dialog.edCSVSeparator);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dialog.cbCSVEncoding);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(dialog.cbCSVEncoding->currentText(), QStringLiteral("UTF-8"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(AppPrefs->ReadString(key), QStringLiteral("utf-8"));
    TOrvel_XML_util file;
    QVERIFY(file.LoadFromFile(GetDataFolder() + QStringLiteral("settings.xml")));
    QCOMPARE(file.GetValue(key), QStringLiteral("utf-8"));

    // Shown again: the stored choice; "Anuluj" after a change keeps it.
    dialog.setResult(0);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.cbCSVEncoding->currentText(), QStringLiteral("UTF-8"));
    dialog.cbCSVEncoding->setCurrentIndex(2);
    QCOMPARE(dialog.cbCSVEncoding->currentText(), QStringLiteral("UTF-8 ze znacznikiem BOM"));
    dialog.btnCancel->click();
    QCOMPARE(AppPrefs->ReadString(key), QStringLiteral("utf-8"));

    AppPrefs->WriteString(key, QStringLiteral("ebcdic"));
    dialog.FormShow();
    QCOMPARE(dialog.cbCSVEncoding->currentText(), QStringLiteral("Windows-1250"));
    FreeAppPrefs();
}

void TestDialogs::screenshots() {
    const QString folder = qEnvironmentVariable("ORVEL_SHOTS_DIR");
    if (folder.isEmpty())
        QSKIP("set ORVEL_SHOTS_DIR to take screenshots");
    QDir().mkpath(folder);
    DefinitionFixture f;
    CreateAppPrefs();
    QDir().mkpath(GetReportsFolder() + QStringLiteral("Sprzedaż/2024"));
    auto shoot = [&](QWidget *widget, const QString &name) {
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        QTest::qWait(100);
        QVERIFY(widget->grab().save(folder + u'/' + name + QStringLiteral(".png")));
        widget->hide();
    };

    TF_AddDefParam addParam;
    addParam.SetTarget(f.Target());
    shoot(&addParam, QStringLiteral("add-param-text"));
    addParam.show();
    addParam.listLista->setCurrentIndex(2);
    addParam.edName->setText(QStringLiteral("Magazyn"));
    shoot(&addParam, QStringLiteral("add-param-sql-list"));

    TF_NewReport newReport;
    shoot(&newReport, QStringLiteral("new-report"));
    TF_Settings settings;
    shoot(&settings, QStringLiteral("settings"));
    TF_About about;
    shoot(&about, QStringLiteral("about"));

    QTabWidget tabs;
    tabs.resize(640, 360);
    tabs.addTab(&f.SqlTab, QStringLiteral("Zapytanie SQL"));
    tabs.addTab(&f.DefinitionTab, QStringLiteral("Definicja"));
    f.Editors->SetWritable(true);
    f.Editors->edReportSQL->SetScript(
        QStringLiteral("-- Sprzedaż w okresie\r\n-- [Orvel_Zestawnik_PARAMETRY]\r\nSELECT Nazwa, "
                       "SUM(Kwota) AS Kwota\r\n"
                       "FROM Sprzedaz /* bez zwrotów */\r\nWHERE Data >= @Od AND Typ = N'Faktura' "
                       "AND Ilosc > 10.5\r\n"
                       "GROUP BY [Nazwa]\r\n"));
    shoot(&tabs, QStringLiteral("editor-sql"));
    tabs.setCurrentIndex(1);
    f.Editors->edReportDefinition->SetEditorText(QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<!DOCTYPE Zestawnik>\r\n"
        "<Zestawnik>\r\n\t<version>1.0</version>\r\n\t<params>\r\n\t\t<item><name>Od</name>"
        "<desc>Data &amp; czas</desc></item>\r\n\t</params>\r\n</Zestawnik>\r\n"));
    shoot(&tabs, QStringLiteral("editor-xml"));
    tabs.removeTab(1);
    tabs.removeTab(0);
    f.SqlTab.setParent(nullptr);
    f.DefinitionTab.setParent(nullptr);
    FreeAppPrefs();
}

QTEST_MAIN(TestDialogs)
#include "DialogsTest.moc"
