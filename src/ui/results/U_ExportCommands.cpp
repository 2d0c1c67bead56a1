#include "U_ExportCommands.h"

#include "U_AppState.h"
#include "U_Application.h"
#include "U_DataExport.h"
#include "U_DataExport_PDF.h"
#include "U_DataExport_XLSX.h"
#include "U_ExportJob.h"
#include "U_GridColumns.h"
#include "U_MessageBox.h"
#include "U_WidgetUtils.h"
#include "U_settings.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

QStringList SaveFilterToNameFilters(const QString &filter) {
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        result << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return result;
}

QString AskSaveFileName(const TOrvel_SaveRequest &request) {
    QFileDialog dialog(request.Owner, request.Title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilters(SaveFilterToNameFilters(request.Filter));
    QString suffix = request.DefaultExtension;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!request.Folder.isEmpty())
        dialog.setDirectory(request.Folder);
    dialog.selectFile(QString());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

TOrvel_ExportCommands::TOrvel_ExportCommands(QWidget *owner)
    : QObject(owner), FOwner(owner), FProgressTimer(new QTimer(this)) {
    OpenFile = [](QWidget *o, const QString &file) { return ShellOpenOwned(o, file); };
    FProgressTimer->setInterval(ProgressInterval);
    connect(FProgressTimer, &QTimer::timeout, this, [this] {
        if (!FJob)
            return;
        emit exportProgress(FJob->Written(), FTotal);
        if (FJob->StopAsked() && FJob->RowsDone())
            ReleaseStopped();
    });
}

TOrvel_ExportCommands::~TOrvel_ExportCommands() = default; // a running job stops and is waited for

bool TOrvel_ExportCommands::IsExporting() const {
    return FJob != nullptr;
}

void TOrvel_ExportCommands::StopExport() {
    if (!FJob)
        return;
    FJob->Stop();
    if (FJob->RowsDone())
        ReleaseStopped();
}

void TOrvel_ExportCommands::ReleaseStopped() {
    FProgressTimer->stop();
    TOrvel_ExportJob *job = FJob.get();
    FFinishing.push_back(std::move(FJob));
    FAfter = {};
    emit exportEnded();
    // Unless its end has been told meanwhile (the window processes events as it changes state).
    const bool finishing = std::any_of(FFinishing.begin(), FFinishing.end(),
                                       [job](const auto &f) { return f.get() == job; });
    if (finishing && ShowStatus)
        ShowStatus(QStringLiteral("Przerywanie zapisu\u2026"));
}

void TOrvel_ExportCommands::WaitForExport() {
    if (!FJob)
        return;
    QEventLoop loop;
    connect(this, &TOrvel_ExportCommands::exportEnded, &loop, &QEventLoop::quit);
    loop.exec();
}

QString TOrvel_ExportCommands::WrittenText(int rows, const QString &file, qint64 elapsedMs) {
    return QStringLiteral("Zapisano %1 do pliku \u201E%2\u201D, czas: %3")
        .arg(RowsText(rows), QFileInfo(file).fileName(),
             FormatElapsedTime(static_cast<std::int32_t>(elapsedMs)));
}

void TOrvel_ExportCommands::StartExport(
    std::unique_ptr<TOrvel_DataExport> writer, const QString &file, TAfter after,
    std::function<void(TOrvel_DataExport &, const QString &)> write) {
    FTotal = Columns->Query() && Columns->Query()->IsOpen() ? Columns->Query()->RecordCount() : 0;
    FAfter = std::move(after);
    FJob = std::make_unique<TOrvel_ExportJob>(std::move(writer), file, std::move(write));
    connect(FJob.get(), &TOrvel_ExportJob::finished, this,
            [this, job = FJob.get()] { ExportFinished(job); });
    if (WriterReady)
        WriterReady(FJob->Writer());
    emit exportStarted(file, FTotal);
    FJob->Start();
    FProgressTimer->start();
}

void TOrvel_ExportCommands::ExportFinished(TOrvel_ExportJob *ended) {
    const auto released = std::find_if(FFinishing.begin(), FFinishing.end(),
                                       [ended](const auto &f) { return f.get() == ended; });
    if (released != FFinishing.end()) {
        // Stopped and let go before: nearly always dropped; written only when the file was
        // already in place.
        const std::unique_ptr<TOrvel_ExportJob> job = std::move(*released);
        FFinishing.erase(released);
        if (ShowStatus)
            ShowStatus(job->End() == TOrvel_ExportEnd::Written
                           ? WrittenText(job->Written(), job->FileName(), job->ElapsedMs())
                           : QStringLiteral("Zapis przerwany"));
        return;
    }
    if (ended != FJob.get())
        return;
    FProgressTimer->stop();
    // The job is gone before anyone is told, so a new export may start from the handlers.
    const std::unique_ptr<TOrvel_ExportJob> job = std::move(FJob);
    const TAfter after = std::move(FAfter);
    FAfter = {};
    emit exportProgress(job->Written(), FTotal);
    emit exportEnded();
    switch (job->End()) {
    case TOrvel_ExportEnd::Written: {
        QString note;
        if (after)
            RunGuarded([&] { note = after(job->Writer(), job->FileName()); });
        if (ShowStatus)
            ShowStatus(WrittenText(job->Written(), job->FileName(), job->ElapsedMs()) +
                       (note.isEmpty() ? QString() : QStringLiteral(". ") + note));
        break;
    }
    case TOrvel_ExportEnd::Stopped:
        if (ShowStatus)
            ShowStatus(QStringLiteral("Zapis przerwany"));
        break;
    case TOrvel_ExportEnd::Failed:
        ShowGeneralError(job->ErrorText());
        break;
    }
}

void TOrvel_ExportCommands::ConnectMenu(QMenu *menu) {
    const std::pair<const char *, void (TOrvel_ExportCommands::*)()> entries[] = {
        {"miSaveAs_CSV", &TOrvel_ExportCommands::miSaveAs_CSVClick},
        {"miSaveAs_XHTML", &TOrvel_ExportCommands::miSaveAs_XHTMLClick},
        {"miSaveAs_XHTML_andOpen", &TOrvel_ExportCommands::miSaveAs_XHTML_andOpenClick},
        {"miSaveAs_XML", &TOrvel_ExportCommands::miSaveAs_XMLClick},
        {"miSaveAs_XLSX", &TOrvel_ExportCommands::miSaveAs_XLSXClick},
        {"miSaveAs_PDF", &TOrvel_ExportCommands::miSaveAs_PDFClick}};
    for (QAction *action : menu->actions()) {
        for (const auto &[name, handler] : entries) {
            if (action->objectName() != QLatin1String(name))
                continue;
            connect(action, &QAction::triggered, this,
                    // Copied: clang does not capture a structured binding.
                    [this, entry = handler] { RunGuarded([this, entry] { (this->*entry)(); }); });
        }
    }
}

QChar TOrvel_ExportCommands::CsvSeparator() {
    const QString text =
        AppPrefs ? AppPrefs->ReadString(QStringLiteral("Export/CSV/Separator")) : QString();
    // A hand-edited preference that would break the file is not used.
    return text.isEmpty() || !IsValidCsvSeparator(text.front()) ? QChar(u',') : text.front();
}

namespace {
QString FolderKey(const QString &kind) {
    return QStringLiteral("Export/") + kind + QStringLiteral("/Folder");
}
} // namespace

QString TOrvel_ExportCommands::ExportFolder(const QString &kind) {
    const QString stored = AppPrefs ? AppPrefs->ReadString(FolderKey(kind)) : QString();
    if (!stored.isEmpty() && QFileInfo(stored).isDir())
        return stored;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString TOrvel_ExportCommands::AskFor(const QString &kind, const QString &title,
                                      const QString &extension, const QString &filter) const {
    TOrvel_SaveRequest request;
    request.Owner = FOwner;
    request.Title = title;
    request.DefaultExtension = extension;
    request.Filter = filter;
    request.Folder = ExportFolder(kind);
    const QString file = AskFileName ? AskFileName(request) : QString();
    if (!file.isEmpty() && AppPrefs) {
        AppPrefs->WriteString(FolderKey(kind), QFileInfo(file).absolutePath());
        AppPrefs->SaveFile();
    }
    return file;
}

QString TOrvel_ExportCommands::DocumentTitle() const {
    return Title ? Title() : QString();
}

TOrvel_PrintInfo TOrvel_ExportCommands::DocumentInfo() const {
    TOrvel_PrintInfo info = PrintInfo ? PrintInfo() : TOrvel_PrintInfo();
    info.Title = DocumentTitle();
    return info;
}

void TOrvel_ExportCommands::miSaveAs_CSVClick() {
    if (!Columns || FJob)
        return;
    const QString file = AskFor(QStringLiteral("CSV"), QStringLiteral("Zapisz do formatu CSV"),
                                QStringLiteral(".csv"), QStringLiteral("pliki CSV|*.csv;*.txt"));
    if (file.isEmpty())
        return;
    // Read after the dialog, at every export: the settings dialog may have changed it meanwhile.
    const QChar separator = CsvSeparator();
    const TOrvel_CsvEncoding encoding = CsvEncodingFromPreference(
        AppPrefs ? AppPrefs->ReadString(QStringLiteral("Export/CSV/Encoding")) : QString());
    StartExport(
        std::make_unique<TOrvel_DataExport_CSV>(*Columns, separator, DocumentTitle(), encoding),
        file);
}

void TOrvel_ExportCommands::ExportXhtml(bool open) {
    if (!Columns || FJob)
        return;
    FLastXhtmlFile.clear();
    const QString file = AskFor(QStringLiteral("XHTML"), QStringLiteral("Zapisz do formatu XHTML"),
                                QStringLiteral(".htm"), QStringLiteral("pliki XHTML|*.htm;*.html"));
    if (file.isEmpty())
        return;
    StartExport(std::make_unique<TOrvel_DataExport_XHTML>(*Columns, DocumentTitle()), file,
                [this, open](TOrvel_DataExport &, const QString &written) {
                    FLastXhtmlFile = written;
                    // Without a program for web pages (no browser, no xdg-open) the page would
                    // silently stay unseen: the user learns where it was written.
                    if (open && QFileInfo::exists(written) && OpenFile &&
                        !OpenFile(FOwner, written))
                        ShowMessage(FOwner, TOrvel_MsgIcon::Warning, QStringLiteral("Uwaga"),
                                    CannotShowPageText(written));
                    return QString();
                });
}

void TOrvel_ExportCommands::miSaveAs_XHTMLClick() {
    ExportXhtml(false);
}

QString TOrvel_ExportCommands::CannotShowPageText(const QString &file) {
    return QStringLiteral("Strona została zapisana w pliku:\n%1\n\nNie można jej pokazać: "
                          "pulpit nie ma programu do otwierania stron (przeglądarki).")
        .arg(QDir::toNativeSeparators(file));
}

void TOrvel_ExportCommands::miSaveAs_XHTML_andOpenClick() {
    ExportXhtml(true);
}

void TOrvel_ExportCommands::miSaveAs_XMLClick() {
    if (!Columns || FJob)
        return;
    const QString file = AskFor(QStringLiteral("XML"), QStringLiteral("Zapisz do formatu XML"),
                                QStringLiteral(".xml"), QStringLiteral("pliki XML|*.xml"));
    if (file.isEmpty())
        return;
    StartExport(std::make_unique<TOrvel_DataExport_XML>(*Columns, DocumentTitle()), file);
}

void TOrvel_ExportCommands::miSaveAs_XLSXClick() {
    if (!Columns || FJob)
        return;
    const QString file = AskFor(QStringLiteral("XLSX"), QStringLiteral("Zapisz jako arkusz Excel"),
                                QStringLiteral(".xlsx"), QStringLiteral("arkusze Excel|*.xlsx"));
    if (file.isEmpty())
        return;
    StartExport(
        std::make_unique<TOrvel_DataExport_XLSX>(*Columns, DocumentTitle()), file,
        [](TOrvel_DataExport &writer, const QString &) {
            // A split over sheets and cells cut to the sheet's limit are said.
            return static_cast<TOrvel_DataExport_XLSX &>(writer).NoticeText();
        },
        // The spreadsheet writes its file its own way.
        [](TOrvel_DataExport &writer, const QString &target) {
            static_cast<TOrvel_DataExport_XLSX &>(writer).ExportToFile(target);
        });
}

std::unique_ptr<TOrvel_PrintDocument> TOrvel_ExportCommands::MakePrintDocument() const {
    if (!Columns)
        return {};
    auto document = std::make_unique<TOrvel_PrintDocument>(*Columns, DocumentInfo());
    document->Layout();
    return document;
}

void TOrvel_ExportCommands::miSaveAs_PDFClick() {
    if (!Columns || FJob)
        return;
    const QString file = AskFor(QStringLiteral("PDF"), QStringLiteral("Zapisz jako dokument PDF"),
                                QStringLiteral(".pdf"), QStringLiteral("dokumenty PDF|*.pdf"));
    if (file.isEmpty())
        return;
    // What the first page tells is read here, from the window; the pages are laid out and drawn
    // on the export's thread.
    StartExport(std::make_unique<TOrvel_DataExport_PDF>(*Columns, DocumentInfo()), file, {},
                [](TOrvel_DataExport &writer, const QString &target) {
                    static_cast<TOrvel_DataExport_PDF &>(writer).ExportToFile(target);
                });
}
