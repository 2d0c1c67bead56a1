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
class QDateEdit;
class QLabel;
class QLineEdit;
class TOrvel_ParamInput;

// A date input with its own check box that tells whether a date is set.
class TOrvel_DateInput : public QWidget {
    Q_OBJECT
public:
    explicit TOrvel_DateInput(QWidget *parent = nullptr);
    QDate Date() const;
    bool IsSet() const;
    void SetValue(const QDate &date, bool set); // no signal
    QCheckBox *CheckBox() const { return FCheck; }
    QDateEdit *DateEdit() const { return FEdit; }

signals:
    void changed(); // the user changed the date or the check box

private:
    QCheckBox *FCheck;
    QDateEdit *FEdit;
};

// One parameter's row with its input.
class TOrvel_Parameter : public QFrame {
    Q_OBJECT
public:
    static constexpr int RowHeight = 25;
    static constexpr int InputLeft = 100;
    static constexpr int InputTop = 2;
    static constexpr int InputHeight = 21;
    static constexpr int WideMargin = 106; // a wide input ends 6 pixels before the row's edge

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
