#include "U_Parameters.h"

#include "DbLookupList.h"
#include "U_Application.h"
#include "U_Db.h"
#include "U_MessageBox.h"
#include "U_ParamInput.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int NumberBoxWidth = 90;
constexpr int NumberMaxLength = 12;
constexpr int CheckBoxWidth = 32;
constexpr int DateInputWidth = 108; // at least; wider where the font needs it
constexpr int DateInputSpacing = 2;
constexpr int CaptionLeft = 4; // the row's border

// A check box without a caption: the whole box takes the click, not only its indicator, and the
// focus is marked around the indicator (styles mark it around a caption, which there is not).
class TOrvel_BitBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent *event) override {
        QCheckBox::paintEvent(event);
        if (!hasFocus())
            return;
        QStyleOptionButton button;
        initStyleOption(&button);
        QStyleOptionFocusRect mark;
        mark.initFrom(this);
        mark.rect = style()
                        ->subElementRect(QStyle::SE_CheckBoxIndicator, &button, this)
                        .adjusted(-2, -2, 2, 2)
                        .intersected(rect().adjusted(0, 0, -1, -1));
        mark.backgroundColor = palette().color(QPalette::Window);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &mark, &painter, this);
    }
};

// A focus change within the window, as opposed to the window losing the focus or a drop-down
// opening: only the first counts as leaving the control.
bool LeavesControl(const QFocusEvent *event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}
} // namespace

// ---------------------------------------------------------------------------------------------

TOrvel_DateInput::TOrvel_DateInput(QWidget *parent)
    : QWidget(parent), FCheck(new TOrvel_BitBox(this)), FEdit(new QLineEdit(this)),
      FButton(new QToolButton(this)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(DateInputSpacing);
    layout->addWidget(FCheck);
    layout->addWidget(FEdit, 1);
    layout->addWidget(FButton);
    FCheck->setFocusPolicy(Qt::StrongFocus);
    FEdit->setObjectName(QStringLiteral("edDateText"));
    FButton->setArrowType(Qt::DownArrow);
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setToolTip(QStringLiteral("Kalendarz"));
    FButton->setAccessibleName(QStringLiteral("Kalendarz"));
    // Not set, although the input shows today's date.
    SetValue(QDate::currentDate(), false);
    FEdit->installEventFilter(this);
    connect(FCheck, &QCheckBox::clicked, this, [this](bool checked) {
        // A box ticked over an empty text gets a date to stand for.
        if (checked && TrimText(FEdit->text()).isEmpty())
            FEdit->setText(DateToUserText(QDate::currentDate(), UserFormatSettings()));
        ShowState();
        emit changed();
    });
    connect(FEdit, &QLineEdit::textEdited, this, &TOrvel_DateInput::TextEdited);
    connect(FButton, &QToolButton::clicked, this, &TOrvel_DateInput::ShowCalendar);
}

QDate TOrvel_DateInput::Date() const {
    return UserTextToDate(FEdit->text(), UserFormatSettings());
}

bool TOrvel_DateInput::IsSet() const {
    return FCheck->isChecked();
}

QString TOrvel_DateInput::Text() const {
    return FEdit->text();
}

bool TOrvel_DateInput::IsRejected() const {
    return IsSet() && !Date().isValid();
}

void TOrvel_DateInput::SetValue(const QDate &date, bool set) {
    const QSignalBlocker blockEdit(FEdit);
    const QSignalBlocker blockCheck(FCheck);
    if (date.isValid())
        FEdit->setText(DateToUserText(date, UserFormatSettings()));
    else if (!Date().isValid())
        FEdit->setText(DateToUserText(QDate::currentDate(), UserFormatSettings()));
    FCheck->setChecked(set);
    ShowState();
}

int TOrvel_DateInput::NeededWidth() const {
    // The widest date: two-digit day and month, digits as wide as the font draws any digit, and
    // every month (its name, where the format shows one).
    int widest = 0;
    for (int month = 1; month <= 12; ++month)
        for (const QDate &d :
             {QDate(2000, month, 28), QDate(2088, month, 28), QDate(2000, month, 20)})
            widest = qMax(widest, FEdit->fontMetrics().horizontalAdvance(
                                      DateToUserText(d, UserFormatSettings())));
    QStyleOptionFrame frame;
    frame.initFrom(FEdit);
    frame.lineWidth = FEdit->hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    const QMargins margins = FEdit->textMargins();
    // QLineEdit keeps 2 pixels of its own on each side of the text, and a cursor's width.
    const int text = widest + margins.left() + margins.right() + 2 * 2 + 2;
    const int edit = style()
                         ->sizeFromContents(QStyle::CT_LineEdit, &frame,
                                            QSize(text, FEdit->fontMetrics().height()), FEdit)
                         .width();
    return FCheck->sizeHint().width() + DateInputSpacing + edit + DateInputSpacing +
           FButton->sizeHint().width();
}

void TOrvel_DateInput::TextEdited(const QString &text) {
    {
        // Typing a date sets it; clearing the text takes the date away.
        const QSignalBlocker block(FCheck);
        FCheck->setChecked(!TrimText(text).isEmpty());
    }
    ShowState();
    emit changed();
}

void TOrvel_DateInput::Pick(const QDate &date) {
    if (FPopup)
        FPopup->hide();
    if (!date.isValid())
        return;
    {
        const QSignalBlocker blockEdit(FEdit);
        const QSignalBlocker blockCheck(FCheck);
        FEdit->setText(DateToUserText(date, UserFormatSettings()));
        FCheck->setChecked(true);
    }
    ShowState();
    FEdit->setFocus(Qt::OtherFocusReason);
    emit changed();
}

void TOrvel_DateInput::ShowCalendar() {
    if (!FPopup) {
        FPopup = new QFrame(this, Qt::Popup);
        FPopup->setObjectName(QStringLiteral("pmCalendar"));
        FPopup->setFrameShape(QFrame::Box);
        auto *layout = new QVBoxLayout(FPopup);
        layout->setContentsMargins(1, 1, 1, 1);
        FCalendar = new QCalendarWidget(FPopup);
        FCalendar->setLocale(UserFormatSettings().Locale);
        FCalendar->setFirstDayOfWeek(UserFormatSettings().Locale.firstDayOfWeek());
        layout->addWidget(FCalendar);
        connect(FCalendar, &QCalendarWidget::clicked, this, &TOrvel_DateInput::Pick);
        connect(FCalendar, &QCalendarWidget::activated, this, &TOrvel_DateInput::Pick);
    }
    const QDate shown = Date();
    FCalendar->setSelectedDate(shown.isValid() ? shown : QDate::currentDate());
    FPopup->adjustSize();
    // Below the input, kept on its screen.
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + FPopup->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - FPopup->height());
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - FPopup->width())));
    }
    FPopup->move(at);
    FPopup->show();
    FCalendar->setFocus(Qt::PopupFocusReason);
}

void TOrvel_DateInput::ShowState() {
    QPalette palette = QApplication::palette(FEdit);
    if (!IsSet()) {
        palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
        FEdit->setToolTip(QString());
    } else if (IsRejected()) {
        palette.setColor(QPalette::Text, QColor(0xc0, 0x00, 0x00));
        palette.setColor(QPalette::Base, QColor(0xff, 0xe4, 0xe4));
        FEdit->setToolTip(QStringLiteral("To nie jest data w postaci ") +
                          DatePatternText(UserFormatSettings()));
    } else {
        FEdit->setToolTip(QString());
    }
    FEdit->setPalette(palette);
}

void TOrvel_DateInput::focusInEvent(QFocusEvent *event) {
    // Focus given to the input as a whole goes to its text.
    QWidget::focusInEvent(event);
    FEdit->setFocus(event->reason());
}

bool TOrvel_DateInput::eventFilter(QObject *watched, QEvent *event) {
    if (watched == FEdit && !FRedelivering) {
        auto leftButton = [event] {
            return static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        };
        if (event->type() == QEvent::MouseButtonPress && leftButton())
            FSelectAfterClick = !IsSet();
        if (event->type() == QEvent::MouseButtonRelease && FSelectAfterClick && leftButton()) {
            // The text handles the release first (it may place the cursor), then the whole
            // grey text is selected.
            FSelectAfterClick = false;
            {
                const QScopedValueRollback redelivering(FRedelivering, true);
                QCoreApplication::sendEvent(FEdit, event);
            }
            if (!IsSet())
                FEdit->selectAll();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_F4 ||
                (key->key() == Qt::Key_Down && key->modifiers() == Qt::AltModifier)) {
                ShowCalendar();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TOrvel_DateInput::SetAccessibleCaption(const QString &caption) {
    FEdit->setAccessibleName(caption);
    FCheck->setAccessibleName(caption + QStringLiteral(": ustawiona"));
    FButton->setAccessibleName(QStringLiteral("Kalendarz: ") + caption);
}

// ---------------------------------------------------------------------------------------------

TOrvel_Parameter::TOrvel_Parameter(TOrvel_Report *report, int index, QWidget *panel)
    : QFrame(panel), FReport(report), FIndex(index), FCaption(new QLabel(this)) {
    setVisible(false);
    setFrameShape(QFrame::NoFrame);
    setFixedHeight(RowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FCaption->setText(Input().Definition().desc);
    FCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A caption longer than the room left of the input is shortened with "…"; its whole text
    // stays readable as the row's hint.
    setToolTip(Input().Definition().desc);
    CreateInput();
    // The caption names the input, also for a screen reader; the date input names its parts.
    FCaption->setBuddy(FInput);
    FInput->setAccessibleName(Input().Definition().desc);
    if (FDate)
        FDate->SetAccessibleCaption(Input().Definition().desc);
    FInput->show();
    PlaceInput();
}

TOrvel_ParamInput &TOrvel_Parameter::Input() const {
    return FReport->Param(FIndex);
}

void TOrvel_Parameter::CreateInput() {
    TOrvel_ParamInput &input = Input();
    const TOrvel_ParamData &d = input.Definition();
    switch (input.Kind()) {
    case TOrvel_InputKind::ikSqlList: {
        FSqlList = new DbLookupList(this);
        FSqlList->SetListSource(FReport->ListQuery(FIndex));
        FSqlList->SetKeyField(d.key);
        FSqlList->SetListFields(d.listfields);
        // Keys compare in the text form the input gives them.
        FSqlList->SetKeyTextFunction([definition = d](const QVariant &key) {
            TOrvel_ParamInput probe(definition);
            probe.SetKeyValue(key);
            return probe.KeyText();
        });
        connect(FSqlList, &DbLookupList::entered, this, &TOrvel_Parameter::EnterList);
        connect(FSqlList, &DbLookupList::entryChosen, this, [this] {
            Input().SetKeyValue(FSqlList->KeyValue());
            Changed();
        });
        connect(FSqlList, &DbLookupList::deletePressed, this, [this] { Input().ClearKey(); });
        connect(FSqlList, &DbLookupList::left, this, &TOrvel_Parameter::Changed);
        FInput = FSqlList;
        FWide = true;
        break;
    }
    case TOrvel_InputKind::ikFixedList:
        FFixedList = new QComboBox(this);
        FFixedList->setEditable(false);
        FFixedList->addItems(input.Captions());
        FFixedList->setCurrentIndex(-1);
        connect(FFixedList, &QComboBox::currentIndexChanged, this, [this](int position) {
            Input().SetChosenIndex(position);
            Changed();
        });
        FFixedList->installEventFilter(this);
        FInput = FFixedList;
        FWide = true;
        break;
    case TOrvel_InputKind::ikInt:
    case TOrvel_InputKind::ikNumeric:
    case TOrvel_InputKind::ikText:
        FEdit = new QLineEdit(this);
        if (input.Kind() == TOrvel_InputKind::ikText) {
            FWide = true;
        } else {
            FEdit->setMaxLength(NumberMaxLength);
            FFixedWidth = NumberBoxWidth;
        }
        connect(FEdit, &QLineEdit::textChanged, this,
                [this](const QString &text) { Input().SetText(text); });
        FEdit->installEventFilter(this);
        FInput = FEdit;
        break;
    case TOrvel_InputKind::ikBit:
        FCheck = new TOrvel_BitBox(this);
        FCheck->setChecked(false);
        connect(FCheck, &QCheckBox::clicked, this, [this](bool checked) {
            Input().SetChecked(checked);
            Changed();
        });
        FInput = FCheck;
        FFixedWidth = CheckBoxWidth;
        break;
    case TOrvel_InputKind::ikDate:
        FDate = new TOrvel_DateInput(this);
        FDate->SetValue(Input().Date().isValid() ? Input().Date() : QDate::currentDate(),
                        Input().DateSet());
        connect(FDate, &TOrvel_DateInput::changed, this, [this] {
            if (FDate->IsRejected())
                Input().SetRejectedDateText(FDate->Text());
            else
                Input().SetDate(FDate->Date(), FDate->IsSet());
            Changed();
        });
        FInput = FDate;
        FFixedWidth = qMax(DateInputWidth, FDate->NeededWidth());
        break;
    }
    FInput->setObjectName(QStringLiteral("ed") + input.Name());
}

int TOrvel_Parameter::CaptionTextWidth() const {
    constexpr int Gap = 6; // between the caption's end and the input
    return CaptionLeft + FCaption->fontMetrics().horizontalAdvance(Input().Definition().desc) + Gap;
}

void TOrvel_Parameter::SetCaptionWidth(int wanted) {
    FCaptionWanted = wanted;
    PlaceInput();
}

int TOrvel_Parameter::InputLeftNow() const {
    return qMax(InputLeft, qMin(FCaptionWanted, width() * CaptionShare / 100));
}

void TOrvel_Parameter::PlaceInput() {
    const int left = InputLeftNow();
    FCaption->setGeometry(CaptionLeft, 0, left - CaptionLeft, RowHeight);
    // Cut at a whole character with a visible sign, never mid-glyph under the input.
    constexpr int Gap = 4;
    FCaption->setText(FCaption->fontMetrics().elidedText(Input().Definition().desc, Qt::ElideRight,
                                                         qMax(0, left - CaptionLeft - Gap)));
    const int width = FWide ? qMax(0, this->width() - left - RightMargin) : FFixedWidth;
    FInput->setGeometry(left, InputTop, width, InputHeight);
}

void TOrvel_Parameter::resizeEvent(QResizeEvent *event) {
    QFrame::resizeEvent(event);
    PlaceInput();
}

void TOrvel_Parameter::Changed() {
    RunGuarded([this] { FReport->ParamChanged(FIndex); });
}

void TOrvel_Parameter::EnterList() {
    // A failing list query is shown as any other error; the list stays empty. A list the user
    // stopped filling stays empty without a word.
    RunGuarded([this] {
        try {
            FReport->RefreshList(FIndex);
        } catch (const EDbCancelled &) {
        }
    });
}

void TOrvel_Parameter::InputLeft_() {
    switch (Input().Kind()) {
    case TOrvel_InputKind::ikInt:
        CheckNumber(true);
        break;
    case TOrvel_InputKind::ikNumeric:
        CheckNumber(false);
        break;
    case TOrvel_InputKind::ikText:
    case TOrvel_InputKind::ikFixedList:
        Changed();
        break;
    default:
        break;
    }
}

void TOrvel_Parameter::CheckNumber(bool wholeNumber) {
    const QString text = FEdit->text();
    if (TrimText(text).isEmpty())
        return;
    std::int32_t whole = 0;
    const bool valid =
        wholeNumber ? TryTextToInt32(text, whole) : IsLocaleNumberText(text, UserFormatSettings());
    if (valid) {
        Changed();
        return;
    }
    ShowMessage(window(), TOrvel_MsgIcon::Warning, QString(),
                wholeNumber ? QStringLiteral("Wprowadzona wartość nie jest liczbą całkowitą")
                            : QStringLiteral("Wprowadzona wartość nie jest liczbą"));
    // The focus goes back once the focus change in progress has ended.
    QPointer<QLineEdit> edit = FEdit;
    QTimer::singleShot(0, this, [edit] {
        if (edit && edit->isEnabled() && edit->isVisible() && edit->focusPolicy() != Qt::NoFocus)
            edit->setFocus(Qt::OtherFocusReason);
    });
}

bool TOrvel_Parameter::eventFilter(QObject *watched, QEvent *event) {
    if (watched == FInput) {
        // An input that loses the focus because it was disabled (the window starts a run) was
        // not left by the user.
        if (event->type() == QEvent::FocusOut && FInput->isEnabled() &&
            LeavesControl(static_cast<QFocusEvent *>(event))) {
            InputLeft_();
        } else if (event->type() == QEvent::KeyPress && FFixedList &&
                   static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete &&
                   static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            // Delete only empties the list; leaving it notifies.
            const QSignalBlocker block(FFixedList);
            FFixedList->setCurrentIndex(-1);
            Input().SetChosenIndex(-1);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TOrvel_Parameter::ShowValue() {
    const TOrvel_ParamInput &input = Input();
    if (FEdit) {
        if (FEdit->text() != input.Text()) {
            const QSignalBlocker block(FEdit);
            FEdit->setText(input.Text());
        }
    } else if (FCheck) {
        const QSignalBlocker block(FCheck);
        FCheck->setChecked(input.Checked());
    } else if (FDate) {
        FDate->SetValue(input.Date(), input.DateSet());
    } else if (FFixedList) {
        const QSignalBlocker block(FFixedList);
        FFixedList->setCurrentIndex(input.ChosenIndex());
    } else if (FSqlList) {
        FSqlList->SetKeyText(input.KeyText());
    }
}

void TOrvel_Parameter::ReloadList() {
    if (!FSqlList)
        return;
    FSqlList->SetKeyText(Input().KeyText());
    FSqlList->ReloadEntries();
}

// ---------------------------------------------------------------------------------------------

TOrvel_Parameters::TOrvel_Parameters(QWidget *panel, TOrvel_Report *report)
    : FPanel(panel), FReport(report), FSpacer(new QFrame()) {
    FSpacer->setObjectName(QStringLiteral("panParamsSpacer"));
    FSpacer->setFrameShape(QFrame::NoFrame);
    FSpacer->setFixedHeight(SpacerHeight);
    FSpacer->hide();
    if (FPanel && !FPanel->layout()) {
        auto *layout = new QVBoxLayout(FPanel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
}

TOrvel_Parameters::~TOrvel_Parameters() {
    Clear();
    delete FSpacer.data();
}

void TOrvel_Parameters::Clear() {
    for (QPointer<TOrvel_Parameter> &row : FRows)
        delete row.data();
    FRows.clear();
}

void TOrvel_Parameters::BeginLoad() {
    if (FSpacer) {
        FSpacer->hide();
        if (FPanel && FPanel->layout())
            FPanel->layout()->removeWidget(FSpacer);
    }
    // The panel keeps its height while the rows are rebuilt.
    if (FPanel)
        FPanel->setFixedHeight(FPanel->height());
    Clear();
}

void TOrvel_Parameters::Add(int index) {
    if (!FPanel)
        return;
    auto *row = new TOrvel_Parameter(FReport, index, FPanel);
    row->resize(FPanel->width(), TOrvel_Parameter::RowHeight);
    FPanel->layout()->addWidget(row);
    FRows.emplace_back(row);
}

void TOrvel_Parameters::EndLoad() {
    if (!FPanel)
        return;
    // One caption column for the whole report, as wide as its longest caption wants.
    int captionWidth = TOrvel_Parameter::InputLeft;
    for (QPointer<TOrvel_Parameter> &row : FRows)
        if (row)
            captionWidth = qMax(captionWidth, row->CaptionTextWidth());
    for (QPointer<TOrvel_Parameter> &row : FRows)
        if (row) {
            row->SetCaptionWidth(captionWidth);
            row->show();
        }
    FSpacer->setParent(FPanel);
    FPanel->layout()->addWidget(FSpacer);
    FSpacer->show();
    // The panel takes the height of its title bar, rows and spacer again.
    FPanel->setMinimumHeight(0);
    FPanel->setMaximumHeight(QWIDGETSIZE_MAX);
    FPanel->updateGeometry();
}

void TOrvel_Parameters::ShowValue(int index) {
    if (index >= 0 && index < Count() && Row(index))
        Row(index)->ShowValue();
}

void TOrvel_Parameters::ListRefreshed(int index) {
    if (index >= 0 && index < Count() && Row(index))
        Row(index)->ReloadList();
}

void TOrvel_Parameters::RunRefused(const QString &text) {
    ShowMessage(FPanel ? FPanel->window() : nullptr, TOrvel_MsgIcon::Error, QString(), text);
}
