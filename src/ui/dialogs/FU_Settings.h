#pragma once
// The settings dialog: the field separator of the CSV export, kept in the preferences store as
// "Export/CSV/Separator" ("," when none is stored), and the encoding of CSV files, kept as
// "Export/CSV/Encoding" (Windows-1250 when none is stored).
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class TF_Settings : public QDialog {
    Q_OBJECT
public:
    explicit TF_Settings(QWidget *parent = nullptr);

    void FormShow();
    void btnOKClick();
    void btnCancelClick();

    QTabWidget *pages;
    QWidget *tabExport;
    QLabel *labCSVSeparator;
    QLineEdit *edCSVSeparator;
    QLabel *labCSVEncoding;
    QComboBox *cbCSVEncoding; // item data: the encoding's stored name
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;
};

// The single settings dialog of the process (null until the main window creates it).
extern TF_Settings *F_Settings;
