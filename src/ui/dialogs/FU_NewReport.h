#pragma once
// The new report dialog: a group (a folder below the reports folder, listed or typed with "\"
// between its levels) and a name; "OK" copies the two templates into NAME.sql and NAME.xml there.
#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// Adds to `list` every folder below `folder` at any depth, each followed by its own sub-folders,
// as paths relative to `reportsFolder` with "\" between the levels. A folder reached again
// through a link is listed but not entered again.
void ListGroupFolders(QStringList &list, const QString &folder, const QString &reportsFolder);

class TF_NewReport : public QDialog {
    Q_OBJECT
public:
    // Remembers the reports folder.
    explicit TF_NewReport(QWidget *parent = nullptr);

    // Called after the dialog has closed with a new report: the main window brings its "Raport"
    // tab to the front, rebuilds the report tree and selects the node of this definition file.
    std::function<void(const QString &definitionFile)> OnReportCreated;
    // Asked on "OK" before any file is written (the open report's unsaved changes); false keeps
    // the dialog open and writes nothing.
    std::function<bool()> BeforeCreate;

    enum class TCreateResult { Created, Refused, Failed };
    // Creates the report's files; `definitionFile` receives the new definition's full path.
    // Refused: the user kept an existing report. Failed: the user was told why; nothing copied.
    TCreateResult CreateReportFiles(QString &definitionFile);

    void FormShow();
    void btnOKClick();
    void btnCancelClick();

    const QString &ReportsFolder() const { return FReportsFolder; }

    QGroupBox *grpPath;
    QComboBox *edPath;
    QGroupBox *grpName;
    QLineEdit *edName;
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString FReportsFolder;
};

// The single new report dialog of the process (null until the main window creates it).
extern TF_NewReport *F_NewReport;
