#pragma once
// The dialog "Format wyniku": per result column, whether it is shown, its caption, its alignment
// and the display format of numeric and date-time values. It works on the report's column
// settings and on the shown columns: opening brings the settings up to date with the columns
// (and writes the settings file), "OK" applies the choices to the columns and stores them;
// "Anuluj" leaves everything as it was at the opening. Order and width are set in the grid.
//
// Usage (main window, dialog created once):
//   F_ResultFormat->ShowResultFormat(&report.Settings, &gridlist->Columns(), gridlist);
#include <QDialog>
#include <QString>

#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TOrvel_GridColumns;
class TOrvel_ReportSettings;

// The working record of one list row.
struct TF_FieldResultFormat {
    QString Name;       // the field name (the column element's name)
    int Occurrence = 1; // which field of that name (the element's occurrence mark)
    QString Desc;
    QString Align; // "L", "C" or "R"
    QString Format;
    bool Visible = true;
    bool IsBoolean = false;
    bool IsNumeric = false;
    bool IsString = false;
    bool IsDateTime = false;
    QString TypeName; // "liczba", "tekst", "data", "logiczny" or empty
};

class TF_ResultFormat : public QDialog {
    Q_OBJECT
public:
    // The list's columns.
    enum { colShow = 0, colDesc = 1, colName = 2 };
    // Hidden columns' rows are drawn in this colour.
    static QColor HiddenRowColor() { return QColor(160, 160, 160); }

    explicit TF_ResultFormat(QWidget *parent = nullptr);

    // Stores the settings, the columns and the widget that shows them (repainted after "OK"),
    // then shows the dialog modally.
    int ShowResultFormat(TOrvel_ReportSettings *settings, TOrvel_GridColumns *grid,
                         QWidget *gridView = nullptr);
    // Stores them without showing (the next showing uses them).
    void SetTarget(TOrvel_ReportSettings *settings, TOrvel_GridColumns *grid,
                   QWidget *gridView = nullptr);

    const std::vector<TF_FieldResultFormat> &Formats() const { return FFormats; }

    // Controls, named as their object names.
    QGroupBox *grpList;
    QTreeWidget *list;
    QGroupBox *grpProperties;
    QLabel *labDesc;
    QLineEdit *edDesc;
    QLabel *labAlign;
    QComboBox *listAlign;
    QLabel *labFormat;
    QLineEdit *edFormat;
    QPushButton *btnOK;
    QPushButton *btnCancel;

    // Handlers.
    void FormShow();
    void FormResize();
    void listSelectItem();
    void edDescChange();
    void edFormatChange();
    void listAlignChange();
    void btnOKClick();
    void btnCancelClick();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FillList();
    void ShowColumn(QTreeWidgetItem *item);
    void listItemChanged(QTreeWidgetItem *item, int column);
    void PaintRow(QTreeWidgetItem *item);
    TF_FieldResultFormat *Record(QTreeWidgetItem *item);
    QTreeWidgetItem *SelectedRow() const;
    void LayOut();

    TOrvel_ReportSettings *FReport = nullptr;
    TOrvel_GridColumns *FGrid = nullptr;
    QWidget *FGridView = nullptr;
    std::vector<TF_FieldResultFormat> FFormats;
    bool FApplying = false;
    bool FShowingColumn = false;
    bool FPainting = false;
    // Widths at the last showing; 0 before the first.
    int FDescWidth = 0;
    int FNameWidth = 0;
    int FListWidth = 0;
};
