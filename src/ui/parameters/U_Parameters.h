#pragma once
// The parameter panel: one row per report parameter (a caption on the left, the input 100 pixels
// from the row's left edge), bound to the report's input states. The rows write what the user
// enters into the states and tell the report; the report tells the rows when it changed a state.
#include "U_SQL_report.h"

#include <QFrame>
#include <QPointer>
#include <QString>

#include <vector>

class DbLookupList;
class QCheckBox;
class QComboBox;
class QCalendarWidget;
class QLabel;
class QLineEdit;
class QToolButton;
class TOrvel_ParamInput;

// A date input with its own check box that tells whether a date is set, as a date picker with a
// check box behaves: the text shows the date in the user's short date format; typing a date or
// picking one from the calendar ticks the box; a typed text that is no whole date stays as typed
// and is shown as invalid, never replaced by another date; the text is greyed while the box is
// clear. The check box and the text are both reached by Tab and Shift+Tab; Alt+Down or F4 in
// the text, or the arrow button, opens the calendar.
class TOrvel_DateInput : public QWidget {
    Q_OBJECT
public:
    explicit TOrvel_DateInput(QWidget *parent = nullptr);
    // The date the text shows; invalid while the text is no whole date.
    QDate Date() const;
    bool IsSet() const;
    QString Text() const;
    // Set with a text that is no whole date.
    bool IsRejected() const;
    void SetValue(const QDate &date, bool set); // no signal
    // The width that shows the whole of any date beside the check box and the arrow.
    int NeededWidth() const;
    QCheckBox *CheckBox() const { return FCheck; }
    QLineEdit *DateEdit() const { return FEdit; }
    QToolButton *CalendarButton() const { return FButton; }
    // The calendar's pop-up, created when first shown.
    QWidget *CalendarPopup() const { return FPopup; }
    QCalendarWidget *Calendar() const { return FCalendar; }
    void ShowCalendar();
    // Names the parts after the parameter's caption for a screen reader.
    void SetAccessibleCaption(const QString &caption);

signals:
    void changed(); // the user changed the date or the check box

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    void TextEdited(const QString &text);
    void Pick(const QDate &date);
    void ShowState();

    QCheckBox *FCheck;
    QLineEdit *FEdit;
    QToolButton *FButton;
    QFrame *FPopup = nullptr;
    QCalendarWidget *FCalendar = nullptr;
    // A click into the grey text of an unset input selects the whole text once the click is
    // done, so that typing replaces it, as Tab into the text does.
    bool FSelectAfterClick = false;
    bool FRedelivering = false;
};

// One parameter's row with its input.
class TOrvel_Parameter : public QFrame {
    Q_OBJECT
public:
    static constexpr int RowHeight = 25;
    static constexpr int InputLeft = 100; // the least distance of the input from the row's left
    static constexpr int InputTop = 2;
    static constexpr int InputHeight = 21;
    static constexpr int RightMargin = 6; // a wide input ends 6 pixels before the row's edge
    static constexpr int WideMargin = InputLeft + RightMargin;
    static constexpr int CaptionShare = 40; // the caption column's most, in percent of the row

    // The caption column the report's captions want (the widest of them); each row gives it
    // as much of that as its width allows, and never less than InputLeft.
    void SetCaptionWidth(int wanted);
    int InputLeftNow() const;
    int CaptionTextWidth() const; // what this row's caption needs

    TOrvel_Parameter(TOrvel_Report *report, int index, QWidget *panel);

    int Index() const { return FIndex; }
    TOrvel_ParamInput &Input() const;
    // The one input control of the row.
    QWidget *InputWidget() const { return FInput; }
    QLabel *CaptionLabel() const { return FCaption; }
    // Whether the input follows the row's width.
    bool IsWide() const { return FWide; }

    // Shows the input state.
    void ShowValue();
    // Re-reads the SQL pick list's entries from its list query.
    void ReloadList();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void CreateInput();
    void PlaceInput();
    void Changed();
    void InputLeft_();
    void CheckNumber(bool wholeNumber);
    void EnterList();

    TOrvel_Report *FReport;
    int FIndex;
    QLabel *FCaption;
    QWidget *FInput = nullptr;
    QLineEdit *FEdit = nullptr;
    QCheckBox *FCheck = nullptr;
    TOrvel_DateInput *FDate = nullptr;
    QComboBox *FFixedList = nullptr;
    DbLookupList *FSqlList = nullptr;
    bool FWide = false;
    int FFixedWidth = 0;
    int FCaptionWanted = InputLeft;
};

// The rows on the main window's parameter panel, and the 3-pixel spacer below them.
class TOrvel_Parameters : public TOrvel_ParamView {
public:
    static constexpr int SpacerHeight = 3;

    // The panel gets a vertical layout when it has none; rows go below what it already holds.
    TOrvel_Parameters(QWidget *panel, TOrvel_Report *report);
    ~TOrvel_Parameters() override;
    TOrvel_Parameters(const TOrvel_Parameters &) = delete;
    TOrvel_Parameters &operator=(const TOrvel_Parameters &) = delete;

    int Count() const { return static_cast<int>(FRows.size()); }
    TOrvel_Parameter *Row(int index) const { return FRows.at(static_cast<std::size_t>(index)); }
    QWidget *Spacer() const { return FSpacer; }
    QWidget *Panel() const { return FPanel; }

    void BeginLoad() override;
    void Add(int index) override;
    void EndLoad() override;
    void Clear() override;
    void ShowValue(int index) override;
    void ListRefreshed(int index) override;
    void RunRefused(const QString &text) override;

private:
    QPointer<QWidget> FPanel;
    TOrvel_Report *FReport;
    QPointer<QFrame> FSpacer;
    std::vector<QPointer<TOrvel_Parameter>> FRows;
};
