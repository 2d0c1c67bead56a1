#pragma once
// The export menu behind "Zapisz": each entry asks for a file name and lets one writer save the
// shown result there. The dialog only chooses the file; the writers (U_DataExport) do the work.
// The grid's current row and scroll position are the same after an export as before it, whether
// the export succeeded or failed; a failed write raises the writer's error (the caller shows it)
// and leaves no file behind.
//
// Usage (main window):
//   FExport = new TOrvel_ExportCommands(this);
//   FExport->Columns = &gridlist->Columns();
//   FExport->View = gridlist;
//   FExport->Title = [this] { return FReport->GetTitle(); };
//   FExport->ConnectMenu(pmSaveAsFormat); // the entries "miSaveAs_CSV" ... by object name
#include "U_PrintDocument.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAbstractItemView;
class QMenu;
class QWidget;
class TOrvel_GridColumns;

// What the save dialog is set up with. Filter: description "|" patterns, the patterns separated
// by ";" ("pliki CSV|*.csv;*.txt"); DefaultExtension with its dot (".csv").
struct TOrvel_SaveRequest {
    QWidget *Owner = nullptr;
    QString Title;
    QString DefaultExtension;
    QString Filter;
    QString Folder; // where the dialog opens
};

// Asks the user for the name of a file to write; empty when the user cancelled.
using TOrvel_AskFileName = std::function<QString(const TOrvel_SaveRequest &)>;

// The real save dialog: no proposed name, asks before overwriting an existing file, resizable.
QString AskSaveFileName(const TOrvel_SaveRequest &request);
// "pliki CSV|*.csv;*.txt" as the toolkit's name filters ("pliki CSV (*.csv *.txt)").
QStringList SaveFilterToNameFilters(const QString &filter);

class TOrvel_ExportCommands : public QObject {
    Q_OBJECT
public:
    explicit TOrvel_ExportCommands(QWidget *owner);

    // The result to export: its columns, the view showing it (may be none) and the report's
    // title, read at every export.
    TOrvel_GridColumns *Columns = nullptr;
    QAbstractItemView *View = nullptr;
    std::function<QString()> Title;
    // What the printed document's first page tells of the run: parameters, database, user and
    // time (the title is Title's).
    std::function<TOrvel_PrintInfo()> PrintInfo;

    // Replaceable so that tests choose the file name and see what would be opened. OpenFile
    // answers whether the desktop took the file.
    TOrvel_AskFileName AskFileName = AskSaveFileName;
    std::function<bool(QWidget *owner, const QString &file)> OpenFile;
    // What the user reads when the written page cannot be shown.
    static QString CannotShowPageText(const QString &file);
    // Tells the user something about a finished export in the status bar (a split spreadsheet).
    std::function<void(const QString &text)> ShowStatus;

    // Connects the menu's actions named "miSaveAs_CSV", "miSaveAs_XHTML", "miSaveAs_XHTML_andOpen",
    // "miSaveAs_XML", "miSaveAs_XLSX" and "miSaveAs_PDF" to the entries; an error of an entry goes
    // to the general error message.
    void ConnectMenu(QMenu *menu);

    // The entries of the menu; without Columns they do nothing. Errors of the writers pass on to
    // the caller.
    void miSaveAs_CSVClick();
    void miSaveAs_XHTMLClick();
    void miSaveAs_XHTML_andOpenClick();
    void miSaveAs_XMLClick();
    void miSaveAs_XLSXClick();
    void miSaveAs_PDFClick();

    // The printed document of the shown result, laid out; none without Columns.
    std::unique_ptr<TOrvel_PrintDocument> MakePrintDocument() const;

    // The file of the last XHTML export; empty when the last one was abandoned or failed.
    const QString &LastXhtmlFile() const { return FLastXhtmlFile; }

    // The CSV separator: the first character of the preference "Export/CSV/Separator", or ","
    // when it is empty (or there are no preferences).
    static QChar CsvSeparator();

    // The folder the save dialog opens in for a kind of export ("CSV", "XHTML", "XML", "XLSX"): the
    // one last used for that kind (preference "Export/<kind>/Folder"), at first the user's
    // documents.
    static QString ExportFolder(const QString &kind);

private:
    QString AskFor(const QString &kind, const QString &title, const QString &extension,
                   const QString &filter) const;
    QString DocumentTitle() const;

    QWidget *FOwner;
    QString FLastXhtmlFile;
};
