#pragma once
// The export menu behind "Zapisz": each entry asks for a file name and lets one writer save the
// shown result there. The dialog only chooses the file; the writers (U_DataExport) do the work,
// on their own thread (U_ExportJob), so the window keeps painting and the grid can be scrolled
// meanwhile. The writer never moves the grid. While an export runs the result must not change:
// the window keeps to its exporting state from exportStarted to exportEnded. When it ends, the
// status line says what was written ("Zapisano ..."), that it was stopped ("Zapis przerwany"), or
// the general error message gives the writer's reason; a failed or stopped export leaves the old
// file as it was and no temporary file.
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
#include <vector>

class QAbstractItemView;
class QMenu;
class QWidget;
class TOrvel_GridColumns;
class TOrvel_DataExport;
class TOrvel_ExportJob;
class QTimer;

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
    ~TOrvel_ExportCommands() override;

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
    // Tells the user how a finished export ended, in the status bar.
    std::function<void(const QString &text)> ShowStatus;
    // Given each writer just before its thread starts, its stop and progress already connected
    // (tests hold a writer at a row to look at the window meanwhile).
    std::function<void(TOrvel_DataExport &writer)> WriterReady;

    // Connects the menu's actions named "miSaveAs_CSV", "miSaveAs_XHTML", "miSaveAs_XHTML_andOpen",
    // "miSaveAs_XML", "miSaveAs_XLSX" and "miSaveAs_PDF" to the entries; an error of an entry goes
    // to the general error message.
    void ConnectMenu(QMenu *menu);

    // The entries of the menu; without Columns, or while an export runs, they do nothing. They
    // return once the export has started.
    void miSaveAs_CSVClick();
    void miSaveAs_XHTMLClick();
    void miSaveAs_XHTML_andOpenClick();
    void miSaveAs_XMLClick();
    void miSaveAs_XLSXClick();
    void miSaveAs_PDFClick();

    // The printed document of the shown result, laid out; none without Columns.
    std::unique_ptr<TOrvel_PrintDocument> MakePrintDocument() const;

    // The export running now, if any: stop it, and wait for its end (tests; the window never
    // waits).
    bool IsExporting() const;
    void StopExport();
    void WaitForExport();
    // How often exportProgress is sent while an export runs (milliseconds).
    static constexpr int ProgressInterval = 100;

    // The status text of an export that wrote rows: "Zapisano 1 234 wiersze do pliku „a.csv”,
    // czas: 0:02".
    static QString WrittenText(int rows, const QString &file, qint64 elapsedMs);

    // The file of the last XHTML export; empty when the last one was abandoned or failed.
    const QString &LastXhtmlFile() const { return FLastXhtmlFile; }

    // The CSV separator: the first character of the preference "Export/CSV/Separator", or ","
    // when it is empty (or there are no preferences).
    static QChar CsvSeparator();

    // The folder the save dialog opens in for a kind of export ("CSV", "XHTML", "XML", "XLSX",
    // "PDF"): the one last used for that kind (preference "Export/<kind>/Folder"), at first the
    // user's documents.
    static QString ExportFolder(const QString &kind);

signals:
    // An export of `total` rows to `file` has started; the rows written so far, a few times a
    // second; it has ended (sent before the status text and any error message).
    void exportStarted(const QString &file, int total);
    void exportProgress(int written, int total);
    void exportEnded();

private:
    // What to do once the export has written its file; gives a note for the status text, or "".
    using TAfter = std::function<QString(TOrvel_DataExport &writer, const QString &file)>;
    void StartExport(std::unique_ptr<TOrvel_DataExport> writer, const QString &file,
                     TAfter after = {},
                     std::function<void(TOrvel_DataExport &, const QString &)> write = {});
    void ExportFinished(TOrvel_ExportJob *ended);
    // A stopped export whose rows are all read lets the window go at once; its thread finishes
    // (or drops) its file meanwhile, and the status line is told how it ended.
    void ReleaseStopped();
    void ExportXhtml(bool open);
    QString AskFor(const QString &kind, const QString &title, const QString &extension,
                   const QString &filter) const;
    QString DocumentTitle() const;
    TOrvel_PrintInfo DocumentInfo() const;

    QWidget *FOwner;
    QString FLastXhtmlFile;
    std::unique_ptr<TOrvel_ExportJob> FJob;
    std::vector<std::unique_ptr<TOrvel_ExportJob>> FFinishing; // released, their threads ending
    TAfter FAfter;
    int FTotal = 0; // rows of the running export
    QTimer *FProgressTimer;
};
