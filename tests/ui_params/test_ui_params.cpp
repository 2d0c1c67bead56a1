// The parameter panel on a real (off-screen) window: rows and their inputs, the number checks,
// the pick lists with their queries and the dependent-list cascade, the run's refusal box and the
// information tree.
#include "DbLookupList.h"
#include "FU_AddDefParam.h"
#include "TestSupport.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_Login.h"
#include "U_MessageBox.h"
#include "U_ParamInput.h"
#include "U_ReportUI.h"
#include "U_WidgetUtils.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {
const QByteArray kMarker = "-- [Orvel_Zestawnik_PARAMETRY]";

QByteArray Item(const QString &name, const QString &type, const QString &extra = {}) {
    return QStringLiteral("<item><name>%1</name><type>%2</type><desc>Opis %1</desc>%3</item>")
        .arg(name, type, extra)
        .toUtf8();
}

QByteArray Definition(const QByteArray &items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
           "<Zestawnik><version>1.0</version><params>" +
           items + "</params></Zestawnik>\r\n";
}

// Every kind of input once, in a fixed order.
QByteArray AllKinds() {
    return Item("Lista", "INT",
                "<key>IdKategorii</key><listquery>SELECT IdKategorii, Nazwa FROM Kategorie ORDER "
                "BY IdKategorii</listquery><listfields>Nazwa;IdKategorii</listfields>") +
           Item("Stala", "TEXT", "<listitems>Tak;Nie;Może</listitems>") + Item("Calk", "INT") +
           Item("Tekst", "TEXT", "<width>30</width>") + Item("Bit", "BIT") +
           Item("Liczba", "NUMERIC") + Item("Data", "DATE");
}
} // namespace

class UiParamsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsAndWidths_data();
    void rowsAndWidths();
    void noParametersLeavesTitleAndSpacer();
    void dateStartsUnset();
    void dateTyping_data();
    void dateTyping();
    void datePickedFromTheCalendar();
    void clickIntoGreyDateThenType();
    void dateUnderEachLocale_data();
    void dateUnderEachLocale();
    void dateRuleSurvivesEnablingThePanel();
    void disabledNumberBoxWasNotLeft();
    void tabOrderOverADateRow();
    void rejectedInputRefusesTheRun_data();
    void rejectedInputRefusesTheRun();
    void numberChecks_data();
    void numberChecks();
    void textAndCheckBoxNotify();
    void fixedListDeleteThenLeave();
    void sqlListEnterChooseAndCascade();
    void sqlListWithoutListFieldsShowsKeys();
    void listFieldsSplitAtLineBreaks();
    void failingPickListQueryOnEntering();
    void hangingPickListQueryIsCancelled();
    void hangingListQueryCheckIsCancelled();
    void longCaptionIsElided();
    void storedValuesShowInTheInputs();
    void runFromThePanel();
    void refusedRunShowsBox();
    void informationTree();

private:
    QString Write(const QString &name, const QByteArray &definition,
                  const QByteArray &script = QByteArray());
    void Load(const QByteArray &items, const QByteArray &script = QByteArray());
    TOrvel_Parameter *Row(int index) { return FUi->Parameters().Row(index); }
    void Leave(); // the focus moves to the box outside the panel
    void Enter(QWidget *widget);
    // Selects the date's text and types over it, as a user does; an empty text deletes it.
    void TypeDate(TOrvel_DateInput *date, const QString &text);

    QTemporaryDir FDir;
    DbConnection FConnection;
    std::unique_ptr<QWidget> FWindow;
    QWidget *FPanel = nullptr;
    QLineEdit *FOutside = nullptr;
    std::unique_ptr<TOrvel_ReportUI> FUi;
    std::unique_ptr<TOrvel_MessageRecorder> FMessages;
    QStringList FNotified;
};

void UiParamsTest::initTestCase() {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    SetAppFolder(FDir.path());
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
    QString failure;
    QVERIFY2(OpenConnection(FConnection, settings, &failure), qPrintable(failure));
    QVERIFY(UseDatabase(FConnection, "Hurtownia"));
}

void UiParamsTest::init() {
    FWindow = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(FWindow.get());
    layout->setContentsMargins(0, 0, 0, 0);
    FPanel = new QWidget(FWindow.get());
    auto *panelLayout = new QVBoxLayout(FPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto *title = new QFrame(FPanel);
    title->setFixedHeight(24);
    panelLayout->addWidget(title);
    FPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    layout->addWidget(FPanel);
    FOutside = new QLineEdit(FWindow.get());
    layout->addWidget(FOutside);
    layout->addStretch();
    FWindow->resize(600, 400);
    FUi = std::make_unique<TOrvel_ReportUI>(FPanel, FConnection);
    FUi->OnParamChange = [this](const QString &name, const QString &value) {
        FNotified << name + '=' + value;
    };
    FMessages = std::make_unique<TOrvel_MessageRecorder>();
    FNotified.clear();
    FWindow->show();
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
}

void UiParamsTest::cleanup() {
    FUi.reset();
    FWindow.reset();
    FMessages.reset();
}

QString UiParamsTest::Write(const QString &name, const QByteArray &definition,
                            const QByteArray &script) {
    const QString path = FDir.path() + u'/' + name + ".xml";
    WriteBytes(path, definition);
    if (!script.isEmpty())
        WriteBytes(FDir.path() + u'/' + name + ".sql", script);
    return path;
}

void UiParamsTest::Load(const QByteArray &items, const QByteArray &script) {
    QVERIFY(FUi->LoadReport(Write("Raport", Definition(items), script), "Raport"));
    QCoreApplication::processEvents();
}

void UiParamsTest::Leave() {
    FOutside->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
}

void UiParamsTest::Enter(QWidget *widget) {
    widget->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
}

void UiParamsTest::rowsAndWidths_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("fixedWidth"); // 0: follows the row's width
    QTest::newRow("SQL list") << 0 << "DbLookupList" << 0;
    QTest::newRow("fixed list") << 1 << "QComboBox" << 0;
    QTest::newRow("INT") << 2 << "QLineEdit" << 90;
    QTest::newRow("TEXT") << 3 << "QLineEdit" << 0;
    QTest::newRow("BIT") << 4 << "QCheckBox" << 32;
    QTest::newRow("NUMERIC") << 5 << "QLineEdit" << 90;
    QTest::newRow("DATE") << 6 << "TOrvel_DateInput" << 108;
}

void UiParamsTest::rowsAndWidths() {
    QFETCH(int, index);
    QFETCH(QString, className);
    QFETCH(int, fixedWidth);
    Load(AllKinds());
    QCOMPARE(FUi->Parameters().Count(), 7);
    TOrvel_Parameter *row = Row(index);
    QVERIFY(row->isVisible());
    QCOMPARE(row->height(), 25);
    QCOMPARE(row->CaptionLabel()->text(), "Opis " + FUi->Report().Param(index).Name());
    QWidget *input = row->InputWidget();
    QCOMPARE(QString::fromLatin1(input->metaObject()->className()), className);
    QCOMPARE(input->x(), 100);
    QCOMPARE(input->y(), 2);
    QCOMPARE(input->height(), 21);
    // The date input is 108 wide, or wider where the font needs it to show a whole date.
    if (auto *date = qobject_cast<TOrvel_DateInput *>(input))
        fixedWidth = qMax(fixedWidth, date->NeededWidth());
    for (int width : {600, 820}) {
        FWindow->resize(width, 400);
        QTRY_COMPARE(row->width(), width);
        QCOMPARE(input->width(), fixedWidth ? fixedWidth : width - 106);
    }
    if (auto *edit = qobject_cast<QLineEdit *>(input))
        QCOMPARE(edit->maxLength(), fixedWidth ? 12 : 32767);
    // The rows lie in order under the title, the spacer below the last one.
    auto *layout = static_cast<QVBoxLayout *>(FPanel->layout());
    QCOMPARE(layout->indexOf(row), index + 1);
    QCOMPARE(layout->indexOf(FUi->Parameters().Spacer()), 8);
    QCOMPARE(FUi->Parameters().Spacer()->height(), 3);
    QTRY_COMPARE(FPanel->height(), 24 + 7 * 25 + 3);
}

void UiParamsTest::noParametersLeavesTitleAndSpacer() {
    Load(AllKinds());
    Load(QByteArray());
    QCOMPARE(FUi->Parameters().Count(), 0);
    QCOMPARE(FPanel->layout()->count(), 2);
    QVERIFY(FUi->Parameters().Spacer()->isVisible());
    QTRY_COMPARE(FPanel->height(), 24 + 3);
    QCOMPARE(FPanel->findChildren<TOrvel_Parameter *>().size(), 0);
}

void UiParamsTest::dateStartsUnset() {
    Load(Item("Data", "DATE"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    QVERIFY(date);
    QVERIFY(!date->CheckBox()->isChecked());
    QCOMPARE(date->Date(), QDate::currentDate());
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("NULL"));
    QTest::mouseClick(date->CheckBox(), Qt::LeftButton);
    QCOMPARE(FNotified, QStringList{"Data=" + DateToSQL(QDate::currentDate())});
    TypeDate(date, "31.01.2024");
    QCOMPARE(FNotified.last(), QStringLiteral("Data='20240131'"));
    QTest::mouseClick(date->CheckBox(), Qt::LeftButton);
    QCOMPARE(FNotified.last(), QStringLiteral("Data=NULL"));
    // The whole date shows: the text's room holds the widest date of the font.
    QLineEdit *edit = date->DateEdit();
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    const QRect textRoom = edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit);
    QVERIFY2(textRoom.width() - 4 >= edit->fontMetrics().horizontalAdvance("28.08.2088"),
             qPrintable(QString::number(textRoom.width())));
}

void UiParamsTest::TypeDate(TOrvel_DateInput *date, const QString &text) {
    Enter(date->DateEdit());
    QTest::keyClick(date->DateEdit(), Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(date->DateEdit(), Qt::Key_Delete);
    else
        QTest::keyClicks(date->DateEdit(), text);
}

void UiParamsTest::dateTyping_data() {
    QTest::addColumn<bool>("ticked"); // the box before typing
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("shown"); // after leaving the input: always as typed
    QTest::newRow("whole date into an unticked input") << false << "01.01.2024"
                                                       << "'20240101'" << true << "01.01.2024";
    QTest::newRow("last day of a month") << true << "31.03.2024"
                                         << "'20240331'" << true << "31.03.2024";
    QTest::newRow("leap day") << false << "29.02.2024"
                              << "'20240229'" << true << "29.02.2024";
    QTest::newRow("without leading zeros") << false << "1.2.2024"
                                           << "'20240201'" << true << "1.2.2024";
    QTest::newRow("impossible date stays as typed") << false << "31.02.2024"
                                                    << "NULL" << true << "31.02.2024";
    QTest::newRow("partial date stays as typed") << true << "01.01"
                                                 << "NULL" << true << "01.01";
    QTest::newRow("two-digit year is partial") << false << "01.01.24"
                                               << "NULL" << true << "01.01.24";
    QTest::newRow("not a date") << false << "abc"
                                << "NULL" << true << "abc";
    QTest::newRow("cleared text takes the date away") << true << ""
                                                      << "NULL" << false << "";
}

void UiParamsTest::dateTyping() {
    QFETCH(bool, ticked);
    QFETCH(QString, typed);
    QFETCH(QString, value);
    QFETCH(bool, set);
    QFETCH(QString, shown);
    Load(Item("Data", "DATE"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    if (ticked)
        QTest::mouseClick(date->CheckBox(), Qt::LeftButton);
    TypeDate(date, typed);
    Leave();
    QCOMPARE(date->IsSet(), set);
    QCOMPARE(date->CheckBox()->isChecked(), set);
    QCOMPARE(date->DateEdit()->text(), shown);
    const TOrvel_ParamInput &input = FUi->Report().Param(0);
    QCOMPARE(input.GetSQLValue(), value);
    QCOMPARE(FNotified.last(), "Data=" + value);
    const bool rejected = set && value == u"NULL";
    QCOMPARE(date->IsRejected(), rejected);
    QCOMPARE(input.RejectedText(), rejected ? typed : QString());
    QCOMPARE(date->DateEdit()->toolTip().isEmpty(), !rejected);
    QVERIFY(date->DateEdit()->isEnabled());
    QVERIFY(FMessages->Messages().empty()); // nothing is said, nothing replaced
}

void UiParamsTest::datePickedFromTheCalendar() {
    Load(Item("Data", "DATE"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    TypeDate(date, "15.05.2024");
    QTest::mouseClick(date->CheckBox(), Qt::LeftButton); // untick: the date stays shown
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("NULL"));
    // Alt+Down opens the calendar on the shown date; a day picked with the keys ticks the box.
    QTest::keyClick(date->DateEdit(), Qt::Key_Down, Qt::AltModifier);
    QVERIFY(date->CalendarPopup() && date->CalendarPopup()->isVisible());
    QCOMPARE(date->Calendar()->selectedDate(), QDate(2024, 5, 15));
    QTest::keyClick(date->Calendar()->focusWidget() ? date->Calendar()->focusWidget()
                                                    : date->Calendar(),
                    Qt::Key_Right);
    QTest::keyClick(date->Calendar()->focusWidget() ? date->Calendar()->focusWidget()
                                                    : date->Calendar(),
                    Qt::Key_Return);
    QTRY_VERIFY(!date->CalendarPopup()->isVisible());
    QVERIFY(date->IsSet());
    QCOMPARE(date->DateEdit()->text(), QStringLiteral("16.05.2024"));
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20240516'"));
    QCOMPARE(FNotified.last(), QStringLiteral("Data='20240516'"));
    // The arrow button opens it too, and a click on a day picks it.
    QTest::mouseClick(date->CalendarButton(), Qt::LeftButton);
    QVERIFY(date->CalendarPopup()->isVisible());
    emit date->Calendar()->clicked(QDate(2024, 6, 3));
    QVERIFY(!date->CalendarPopup()->isVisible());
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20240603'"));
}

void UiParamsTest::clickIntoGreyDateThenType() {
    // A real click into the middle of the grey text of an unset date, then typing: the typed
    // date replaces the grey one, as after Tab.
    Load(Item("Data", "DATE"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    date->SetValue(QDate(2026, 12, 10), false);
    QLineEdit *edit = date->DateEdit();
    Leave();
    QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
    QCOMPARE(QApplication::focusWidget(), edit);
    QTest::keyClicks(QApplication::focusWidget(), "31.12.2024");
    QCOMPARE(edit->text(), QStringLiteral("31.12.2024"));
    QVERIFY(date->IsSet());
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20241231'"));
    // Once the date is set, a click places the cursor as in any text.
    Leave();
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 3, edit->height() / 2));
    QVERIFY(!edit->hasSelectedText());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("31.12.202"));
}

void UiParamsTest::dateUnderEachLocale_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("picked"); // 3 June 2024 as the input shows it
    QTest::addColumn<QString>("typed");  // 31 December 2024 typed in the same format
    QTest::newRow("C") << QLocale::c() << "3 Jun 2024"
                       << "31 Dec 2024";
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "6/3/2024"
                           << "12/31/2024";
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "03.06.2024"
                           << "31.12.2024";
    QTest::newRow("pl_PL") << QLocale(QLocale::Polish, QLocale::Poland) << "3.06.2024"
                           << "31.12.2024";
}

void UiParamsTest::dateUnderEachLocale() {
    // A date picked from the calendar or typed as the input shows dates runs, in any locale.
    QFETCH(QLocale, locale);
    QFETCH(QString, picked);
    QFETCH(QString, typed);
    SetUserLocale(locale);
    struct Restore {
        ~Restore() { SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland)); }
    } restore;
    Load(Item("Data", "DATE"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    QTest::mouseClick(date->CalendarButton(), Qt::LeftButton);
    QVERIFY(date->CalendarPopup()->isVisible());
    emit date->Calendar()->clicked(QDate(2024, 6, 3));
    QCOMPARE(date->DateEdit()->text(), picked);
    QVERIFY(!date->IsRejected());
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20240603'"));
    QVERIFY(FUi->Report().Param(0).RejectedText().isEmpty());
    TypeDate(date, typed);
    Leave();
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20241231'"));
    QVERIFY(!date->IsRejected());
    // A year in two digits is refused everywhere.
    TypeDate(date, QString(typed).replace("2024", "24"));
    Leave();
    QVERIFY(date->IsRejected());
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("NULL"));
}

void UiParamsTest::dateRuleSurvivesEnablingThePanel() {
    // Disabling and enabling the work area (a run, a load) gives back what it took and no more.
    Load(Item("Data", "DATE") + Item("A", "INT"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(0)->InputWidget());
    auto *own = new QLineEdit(FPanel);
    own->setEnabled(false); // a control disabled by its own rule
    SetControlsEnabled(FPanel, false);
    QVERIFY(!date->DateEdit()->isEnabled());
    QVERIFY(!Row(1)->InputWidget()->isEnabled());
    SetControlsEnabled(FPanel, true);
    QVERIFY(date->DateEdit()->isEnabled());
    QVERIFY(date->CheckBox()->isEnabled());
    QVERIFY(Row(1)->InputWidget()->isEnabled());
    QVERIFY(!own->isEnabled());
    // Typing into the unticked input now ticks it: what is shown is what runs.
    TypeDate(date, "02.03.2024");
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'20240302'"));
}

void UiParamsTest::disabledNumberBoxWasNotLeft() {
    // Starting a run disables the panel and so takes the focus from the box: that is not the
    // user leaving it, and no warning comes before the run's own refusal.
    Load(Item("P", "INT"));
    auto *edit = qobject_cast<QLineEdit *>(Row(0)->InputWidget());
    Enter(edit);
    QTest::keyClicks(edit, "12x");
    SetControlsEnabled(FPanel, false);
    QCoreApplication::processEvents();
    QVERIFY(FMessages->Messages().empty());
    SetControlsEnabled(FPanel, true);
    Enter(edit);
    Leave(); // leaving it by hand still warns
    QCOMPARE(FMessages->Messages().size(), std::size_t(1));
}

void UiParamsTest::tabOrderOverADateRow() {
    Load(Item("A", "INT") + Item("Data", "DATE") + Item("T", "TEXT"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(1)->InputWidget());
    QWidget *a = Row(0)->InputWidget();
    QWidget *t = Row(2)->InputWidget();
    Enter(a);
    const QList<QWidget *> forward = {date->CheckBox(), date->DateEdit(), t};
    for (QWidget *expected : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    const QList<QWidget *> backward = {date->DateEdit(), date->CheckBox(), a};
    for (QWidget *expected : backward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), expected);
    }
    // The space bar on the focused box ticks it.
    QTest::keyClick(a, Qt::Key_Tab);
    QTest::keyClick(date->CheckBox(), Qt::Key_Space);
    QVERIFY(date->IsSet());
}

void UiParamsTest::rejectedInputRefusesTheRun_data() {
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString head = QStringLiteral("Raport nie został uruchomiony: wartość ");
    QTest::newRow("whole number")
        << Item("P", "INT") << "12x"
        << head + QStringLiteral("\"12x\" parametru \"Opis P\" nie jest liczbą całkowitą.");
    QTest::newRow("whole number out of range")
        << Item("P", "INT") << "3000000000"
        << head + QStringLiteral("\"3000000000\" parametru \"Opis P\" nie jest liczbą całkowitą.");
    QTest::newRow("number with a dot")
        << Item("P", "NUMERIC") << "1.5"
        << head + QStringLiteral("\"1.5\" parametru \"Opis P\" nie jest liczbą.");
    QTest::newRow("impossible date")
        << Item("P", "DATE") << "31.02.2024"
        << head + QStringLiteral(
                      "\"31.02.2024\" parametru \"Opis P\" nie jest datą w postaci DD.MM.RRRR.");
    QTest::newRow("partial date, after a good parameter")
        << Item("A", "INT") + Item("P", "DATE") << "01.01"
        << head +
               QStringLiteral("\"01.01\" parametru \"Opis P\" nie jest datą w postaci DD.MM.RRRR.");
}

void UiParamsTest::rejectedInputRefusesTheRun() {
    QFETCH(QByteArray, items);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Load(items, "DECLARE @A INT, @P NVARCHAR(30)\r\n" + kMarker + "\r\nSELECT @P AS p\r\n");
    TOrvel_Parameter *row = Row(FUi->Parameters().Count() - 1);
    if (auto *date = qobject_cast<TOrvel_DateInput *>(row->InputWidget())) {
        TypeDate(date, typed);
    } else {
        Enter(row->InputWidget());
        QTest::keyClicks(row->InputWidget(), typed);
    }
    int done = 0;
    FUi->OnRunDone = [&] { ++done; };
    QVERIFY(!FUi->Run());
    QCOMPARE(FMessages->Messages().size(), std::size_t(1));
    const TOrvel_MessageRequest &box = FMessages->Messages().front();
    QCOMPARE(box.Text, message);
    QCOMPARE(box.Icon, TOrvel_MsgIcon::Error);
    QCOMPARE(box.Owner, FPanel->window());
    QCoreApplication::processEvents();
    QCOMPARE(done, 0);
    QVERIFY(!FUi->Report().ResultQuery()->IsOpen());
    // Mended, the same report runs.
    if (auto *date = qobject_cast<TOrvel_DateInput *>(row->InputWidget())) {
        TypeDate(date, "01.02.2024");
    } else {
        auto *edit = qobject_cast<QLineEdit *>(row->InputWidget());
        edit->selectAll();
        QTest::keyClicks(edit, "5");
    }
    QVERIFY(FUi->Run());
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 60000);
    QCOMPARE(FUi->ErrorText(), QString());
}

void UiParamsTest::numberChecks_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QStringList>("notified");
    QTest::addColumn<QString>("value");
    QTest::newRow("whole number") << "INT"
                                  << " 42 " << QString() << QStringList{"P=42"} << "42";
    QTest::newRow("not a whole number")
        << "INT"
        << "12x"
        << "Wprowadzona wartość nie jest liczbą całkowitą" << QStringList{} << "0";
    QTest::newRow("whole number out of range")
        << "INT"
        << "3000000000"
        << "Wprowadzona wartość nie jest liczbą całkowitą" << QStringList{} << "0";
    QTest::newRow("empty whole number") << "INT"
                                        << "  " << QString() << QStringList{} << "NULL";
    QTest::newRow("number with decimal comma")
        << "NUMERIC"
        << "1,5" << QString() << QStringList{"P=1.5"} << "1.5";
    QTest::newRow("number with a dot")
        << "NUMERIC"
        << "1.5"
        << "Wprowadzona wartość nie jest liczbą" << QStringList{} << "NULL";
    QTest::newRow("empty number") << "NUMERIC"
                                  << "" << QString() << QStringList{} << "NULL";
}

void UiParamsTest::numberChecks() {
    QFETCH(QString, type);
    QFETCH(QString, typed);
    QFETCH(QString, warning);
    QFETCH(QStringList, notified);
    QFETCH(QString, value);
    Load(Item("P", type));
    auto *edit = qobject_cast<QLineEdit *>(Row(0)->InputWidget());
    QVERIFY(edit);
    Enter(edit);
    QTest::keyClicks(edit, typed);
    Leave();
    QCOMPARE(FNotified, notified);
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), value);
    if (warning.isEmpty()) {
        QVERIFY(FMessages->Messages().empty());
        QCOMPARE(QApplication::focusWidget(), FOutside);
    } else {
        QCOMPARE(FMessages->Messages().size(), std::size_t(1));
        const TOrvel_MessageRequest &box = FMessages->Messages().front();
        QCOMPARE(box.Text, warning);
        QCOMPARE(box.Icon, TOrvel_MsgIcon::Warning);
        QCOMPARE(box.Caption, QString());
        QCOMPARE(box.Owner, FWindow.get());
        QTRY_COMPARE(QApplication::focusWidget(), edit); // the focus is put back
        QCOMPARE(edit->text(), typed);                   // the wrong text stays
    }
}

void UiParamsTest::textAndCheckBoxNotify() {
    Load(Item("T", "TEXT") + Item("B", "BIT"));
    auto *edit = qobject_cast<QLineEdit *>(Row(0)->InputWidget());
    Enter(edit);
    QTest::keyClicks(edit, "O'Brien");
    QVERIFY(FNotified.isEmpty()); // typing alone does not notify
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("'O''Brien'"));
    Leave();
    QCOMPARE(FNotified, QStringList{"T='O''Brien'"});
    auto *check = qobject_cast<QCheckBox *>(Row(1)->InputWidget());
    QVERIFY(check->text().isEmpty());
    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(FNotified.last(), QStringLiteral("B=1"));
    // Values set by the report show in the inputs without notifying twice.
    FNotified.clear();
    FUi->ResetValues();
    QCOMPARE(edit->text(), QString());
    QVERIFY(!check->isChecked());
    QCOMPARE(FNotified, (QStringList{"T=NULL", "B=0"}));
}

void UiParamsTest::fixedListDeleteThenLeave() {
    Load(Item("S", "TEXT", "<listitems>Tak;Nie</listitems><listvalues>T;N</listvalues>"));
    auto *list = qobject_cast<QComboBox *>(Row(0)->InputWidget());
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->count(), 2);
    Enter(list);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(FNotified, QStringList{"S='T'"});
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(FNotified.size(), 1); // Delete alone does not notify
    QCOMPARE(FUi->Report().Param(0).GetSQLValue(), QStringLiteral("NULL"));
    Leave();
    QCOMPARE(FNotified.last(), QStringLiteral("S=NULL"));
}

void UiParamsTest::sqlListEnterChooseAndCascade() {
    const QByteArray items =
        Item("Kategoria", "INT",
             "<key>IdKategorii</key><listquery>SELECT IdKategorii, Nazwa FROM Kategorie ORDER "
             "BY IdKategorii</listquery><listfields>Nazwa;IdKategorii</listfields>") +
        Item("Towar", "INT",
             "<key>IdTowaru</key><listquery>SELECT IdTowaru, Indeks, Nazwa FROM Towary WHERE "
             "(@Kategoria IS NULL OR IdKategorii = @Kategoria)</listquery>"
             "<listfields>Indeks;Nazwa</listfields>");
    Load(items);
    auto *categories = qobject_cast<DbLookupList *>(Row(0)->InputWidget());
    auto *goods = qobject_cast<DbLookupList *>(Row(1)->InputWidget());
    QCOMPARE(categories->count(), 0); // closed until first entered
    Enter(categories);
    DbQuery count(&FConnection);
    count.SQL = "SELECT COUNT(*) AS n, MIN(IdKategorii) AS k FROM Kategorie";
    count.Open();
    QCOMPARE(categories->count(), count.Field(0)->Value().toInt());
    QCOMPARE(categories->model()->columnCount(), 2); // the list fields as columns
    QVERIFY(FNotified.isEmpty());

    // The goods of every category, chosen, then cleared by a new category.
    Enter(goods);
    const int allGoods = goods->count();
    QVERIFY(allGoods > 0);
    FNotified.clear(); // leaving the categories notified them
    QTest::keyClick(goods, Qt::Key_Down);
    QCOMPARE(FNotified.size(), 1);
    QVERIFY(FNotified[0].startsWith("Towar="));
    QVERIFY(FUi->Report().Param(1).HasKey());

    Enter(categories);
    FNotified.clear();
    QTest::keyClick(categories, Qt::Key_Down);
    const QString firstKey = count.Field(1)->AsString();
    QCOMPARE(FNotified, (QStringList{"Kategoria=" + firstKey, "Towar=NULL"}));
    QCOMPARE(categories->currentText(), categories->model()->index(0, 0).data().toString());
    QCOMPARE(goods->currentIndex(), -1);
    Enter(goods); // the goods' query now sees the chosen category
    QVERIFY(goods->count() < allGoods);
    QVERIFY(FUi->Report().ListQuery(1)->SQL.startsWith("DECLARE\r\n @Kategoria INT,\r\n"));

    // Delete empties the list; leaving it notifies.
    Enter(categories);
    FNotified.clear();
    QTest::keyClick(categories, Qt::Key_Delete);
    QCOMPARE(categories->currentIndex(), -1);
    QVERIFY(FNotified.isEmpty());
    Leave();
    QCOMPARE(FNotified.first(), QStringLiteral("Kategoria=NULL"));
}

void UiParamsTest::sqlListWithoutListFieldsShowsKeys() {
    Load(Item("K", "INT",
              "<key>IdKategorii</key><listquery>SELECT IdKategorii FROM Kategorie ORDER BY "
              "IdKategorii</listquery>"));
    auto *list = qobject_cast<DbLookupList *>(Row(0)->InputWidget());
    Enter(list);
    QVERIFY(list->count() > 1);
    QCOMPARE(list->model()->columnCount(), 1);
    QCOMPARE(list->itemText(0), FUi->Report().ListQuery(0)->Field(0)->DisplayTextAt(0));
    FUi->Report().SetParamValue(0, FUi->Report().ListQuery(0)->Field(0)->AsStringAt(1));
    QCOMPARE(list->currentIndex(), 1);
}

void UiParamsTest::listFieldsSplitAtLineBreaks() {
    // A hand-written list of shown fields, one per line: split as every list text is.
    Load(Item("K", "INT",
              "<key>IdKategorii</key><listquery>SELECT IdKategorii, Nazwa FROM Kategorie ORDER BY "
              "IdKategorii</listquery><listfields>Nazwa\r\nIdKategorii;</listfields>"));
    auto *list = qobject_cast<DbLookupList *>(Row(0)->InputWidget());
    Enter(list);
    QVERIFY(FMessages->Messages().empty());
    QVERIFY(list->count() > 1);
    QCOMPARE(list->model()->columnCount(), 2);
    QCOMPARE(list->itemText(0), FUi->Report().ListQuery(0)->Field(1)->DisplayTextAt(0));
}

void UiParamsTest::failingPickListQueryOnEntering() {
    Load(Item("K", "INT", "<key>k</key><listquery>SELECT k FROM TabelaKtorejNieMa</listquery>") +
         Item("L", "INT", "<key>brak</key><listquery>SELECT 1 AS k</listquery>"));
    for (int index : {0, 1}) {
        FMessages->Clear();
        auto *list = qobject_cast<DbLookupList *>(Row(index)->InputWidget());
        Enter(list);
        QCOMPARE(FMessages->Messages().size(), std::size_t(1));
        const TOrvel_MessageRequest &box = FMessages->Messages().front();
        QCOMPARE(box.Icon, TOrvel_MsgIcon::Error);
        QCOMPARE(box.Caption, ApplicationTitle());
        QVERIFY(!box.Text.isEmpty());
        QCOMPARE(list->count(), 0);
        QCOMPARE(QApplication::focusWidget(), list); // the user can go on
    }
    QVERIFY(FMessages->Messages().front().Text.contains("Pole 'brak' nie znalezione"));
}

void UiParamsTest::hangingPickListQueryIsCancelled() {
    // A list query that would run for minutes: the window waits a moment, then offers "Przerwij".
    Load(Item("K", "INT",
              "<key>k</key><listquery>WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
              "WHERE i &lt; 1000000000) SELECT MAX(i) AS k FROM n OPTION (MAXRECURSION 0)"
              "</listquery>"));
    auto *list = qobject_cast<DbLookupList *>(Row(0)->InputWidget());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QWidget *seen = nullptr;
    QString shownText;
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || box->objectName() != QStringLiteral("dlgListWait"))
            return;
        poll->stop();
        seen = box;
        shownText = box->findChild<QLabel *>(QStringLiteral("labInfo"))->text();
        QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
    });
    poll->start(20);
    Enter(list);
    delete poll;
    QVERIFY2(seen, "no box offered to stop the list query");
    QCOMPARE(shownText, QStringLiteral("Wypełnianie listy..."));
    QVERIFY2(ticks > 0, "the window's event loop stood still while the list query ran");
    // Stopped by the user: no error box, the list stays empty, and the next query runs.
    QVERIFY(FMessages->Messages().empty());
    QCOMPARE(list->count(), 0);
    DbQuery check(&FConnection);
    check.SQL = QStringLiteral("SELECT 1 AS a");
    check.Open();
    QCOMPARE(check.RecordCount(), 1);
}

void UiParamsTest::hangingListQueryCheckIsCancelled() {
    // "Sprawdź" in the add-parameter dialog with a list query that would run for minutes: the
    // same wait box as the pick lists, above the dialog, and the window keeps answering.
    Load(Item("K", "INT"));
    TF_AddDefParam dialog(FWindow.get());
    TOrvel_AddParamTarget target;
    target.ListQueryColumns = [this](const QString &query) { return FUi->ListQueryColumns(query); };
    dialog.SetTarget(target);
    dialog.setModal(true); // as the editors' menu opens it
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.listLista->setCurrentIndex(2); // z zapytania sql
    QTest::mouseClick(dialog.edListSQL->viewport(), Qt::LeftButton);
    QTRY_VERIFY(dialog.edListSQL->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(),
                     "WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000000) "
                     "SELECT MAX(i) AS k FROM n OPTION (MAXRECURSION 0)");
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QWidget *seen = nullptr;
    QWidget *seenParent = nullptr;
    QString shownText;
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || box->objectName() != QStringLiteral("dlgListWait"))
            return;
        poll->stop();
        seen = box;
        seenParent = box->parentWidget();
        shownText = box->findChild<QLabel *>(QStringLiteral("labInfo"))->text();
        QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
    });
    poll->start(20);
    QTest::mouseClick(dialog.btnCheckSQL, Qt::LeftButton);
    delete poll;
    QVERIFY2(seen, "no box offered to stop the check");
    QCOMPARE(seenParent, &dialog);
    QCOMPARE(shownText, QStringLiteral("Wypełnianie listy..."));
    QVERIFY2(ticks > 0, "the window's event loop stood still while the check ran");
    // Stopped by the author: no error box, the dialog stays with its query, the connection works.
    QVERIFY(FMessages->Messages().empty());
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.edListSQL->toPlainText().startsWith(QStringLiteral("WITH n")));
    QCOMPARE(FUi->ListQueryColumns(QStringLiteral("SELECT 1 AS a, 2 AS b")),
             (QStringList{"a", "b"}));
}

void UiParamsTest::longCaptionIsElided() {
    const QString caption =
        QStringLiteral("Wartość sprzedaży netto w złotych za wybrany okres rozliczeniowy działu");
    Load(QStringLiteral("<item><name>Kwota</name><type>NUMERIC</type><desc>%1</desc></item>")
             .arg(caption)
             .toUtf8() +
         Item("Rok", "INT"));
    TOrvel_Parameter *row = Row(0);
    QLabel *label = row->CaptionLabel();
    // Cut with a visible sign, within the room left of the input.
    QVERIFY2(label->text().endsWith(QChar(0x2026)), qPrintable(label->text()));
    QVERIFY(caption.startsWith(label->text().chopped(1)));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    QVERIFY(label->geometry().right() < row->InputWidget()->geometry().left());
    // The whole caption is the hint where the caption is shown.
    QHelpEvent help(QEvent::ToolTip, label->rect().center(),
                    label->mapToGlobal(label->rect().center()));
    QApplication::sendEvent(label, &help);
    QTRY_COMPARE(QToolTip::text(), caption);
    QToolTip::hideText();
    // A short caption stays whole; a wider window gives the long one its room back.
    QCOMPARE(Row(1)->CaptionLabel()->text(), QStringLiteral("Opis Rok"));
    FWindow->resize(1600, 400);
    QTRY_COMPARE(label->text(), caption);
}

void UiParamsTest::storedValuesShowInTheInputs() {
    Load(AllKinds());
    TOrvel_Report &report = FUi->Report();
    report.SetParamValue(0, "2");
    report.SetParamValue(1, "1");
    report.SetParamValue(2, "17");
    report.SetParamValue(3, "ala");
    report.SetParamValue(4, "1");
    report.SetParamValue(5, "2.25");
    report.SetParamValue(6, "20240229");
    FUi->SaveValues();
    FUi->ResetValues();
    FUi->LoadDefaultValues();
    QCOMPARE(qobject_cast<DbLookupList *>(Row(0)->InputWidget())->currentIndex(), 1);
    QCOMPARE(qobject_cast<QComboBox *>(Row(1)->InputWidget())->currentText(),
             QStringLiteral("Nie"));
    QCOMPARE(qobject_cast<QLineEdit *>(Row(2)->InputWidget())->text(), QStringLiteral("17"));
    QCOMPARE(qobject_cast<QLineEdit *>(Row(3)->InputWidget())->text(), QStringLiteral("ala"));
    QVERIFY(qobject_cast<QCheckBox *>(Row(4)->InputWidget())->isChecked());
    QCOMPARE(qobject_cast<QLineEdit *>(Row(5)->InputWidget())->text(), QStringLiteral("2,25"));
    auto *date = qobject_cast<TOrvel_DateInput *>(Row(6)->InputWidget());
    QVERIFY(date->IsSet());
    QCOMPARE(date->Date(), QDate(2024, 2, 29));
    QCOMPARE(report.GetParamsBlock(false),
             QStringLiteral("SET @Lista = 2 -- INT\r\nSET @Stala = '1' -- TEXT\r\n"
                            "SET @Calk = 17 -- INT\r\nSET @Tekst = 'ala' -- TEXT\r\n"
                            "SET @Bit = 1 -- BIT\r\nSET @Liczba = 2.25 -- NUMERIC\r\n"
                            "SET @Data = '20240229' -- DATE\r\n"));
}

void UiParamsTest::runFromThePanel() {
    const QByteArray script = "DECLARE @Kat INT, @Fraza NVARCHAR(50)\r\n" + kMarker +
                              "\r\nSELECT IdTowaru, Nazwa FROM Towary WHERE IdKategorii = @Kat "
                              "AND Nazwa LIKE '%' + ISNULL(@Fraza, '') + '%'\r\n";
    Load(Item("Kat", "INT") + Item("Fraza", "TEXT", "<width>50</width>"), script);
    auto *kat = qobject_cast<QLineEdit *>(Row(0)->InputWidget());
    Enter(kat);
    QTest::keyClicks(kat, "2");
    Leave();
    int done = 0;
    FUi->OnRunDone = [&] { ++done; };
    QVERIFY(FUi->Run());
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 60000);
    QCOMPARE(FUi->ErrorText(), QString());
    DbQuery expected(&FConnection);
    expected.SQL = "SELECT COUNT(*) FROM Towary WHERE IdKategorii = 2";
    expected.Open();
    QCOMPARE(FUi->RecordCount(), expected.Field(0)->Value().toInt());
    QCOMPARE(FUi->HasRecords(), FUi->RecordCount() > 0);
}

void UiParamsTest::refusedRunShowsBox() {
    Load(Item("A", "INT"), "SELECT 1 AS a");
    QVERIFY(!FUi->Run());
    QCOMPARE(FMessages->Messages().size(), std::size_t(1));
    const TOrvel_MessageRequest &box = FMessages->Messages().front();
    QCOMPARE(box.Text, QStringLiteral("Zapytanie SQL nie zawiera linii wymiany parametrów"));
    QCOMPARE(box.Icon, TOrvel_MsgIcon::Error);
    QCOMPARE(box.Caption, QString());
    QCOMPARE(box.Owner, FPanel->window());
}

void UiParamsTest::informationTree() {
    QTreeWidget tree;
    FUi->ShowInfo(&tree);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.topLevelItem(0)->text(0), QStringLiteral("Raport nie został załadowany"));
    QVERIFY(!tree.rootIsDecorated());

    Load(Item("Rok", "INT") + Item("Stan", "TEXT", "<listitems>Tak;Nie</listitems>"));
    FUi->ShowInfo(&tree);
    QVERIFY(tree.rootIsDecorated());
    QTreeWidgetItem *root = tree.topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Raport"));
    QCOMPARE(root->childCount(), 3);
    QTreeWidgetItem *params = root->child(2);
    QCOMPARE(params->text(0), QStringLiteral("parametry"));
    QCOMPARE(params->childCount(), 2);
    QTreeWidgetItem *stan = params->child(1);
    QCOMPARE(stan->text(0), QStringLiteral("Opis Stan"));
    QCOMPARE(stan->child(1)->text(0), QStringLiteral("pozycje: Tak, Nie"));
    QCOMPARE(stan->child(2)->text(0), QStringLiteral("wartość: NULL"));
    QVERIFY(stan->isExpanded());

    auto *rok = qobject_cast<QLineEdit *>(Row(0)->InputWidget());
    Enter(rok);
    QTest::keyClicks(rok, "2023");
    Leave();
    FUi->UpdateInfoValue(&tree, "Rok", "ignored");
    QCOMPARE(params->child(0)->child(1)->text(0), QStringLiteral("wartość: 2023"));
    QCOMPARE(stan->child(2)->text(0), QStringLiteral("wartość: NULL"));
}

QTEST_MAIN(UiParamsTest)
#include "test_ui_params.moc"
