#include "U_ExportCommands.h"

#include "U_Application.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_GridColumns.h"
#include "U_MessageBox.h"
#include "U_WidgetUtils.h"
#include "U_settings.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QStandardPaths>

namespace {

// Keeps the view's current cell and scroll position across an export, also when it fails.
class TViewStateKeeper {
public:
    explicit TViewStateKeeper(QAbstractItemView *view) : FView(view) {
        if (!FView)
            return;
        FCurrent = FView->currentIndex();
        FHorizontal = FView->horizontalScrollBar()->value();
        FVertical = FView->verticalScrollBar()->value();
    }
    ~TViewStateKeeper() {
        if (!FView)
            return;
        if (FCurrent.isValid() && FView->currentIndex() != FCurrent)
            FView->setCurrentIndex(FCurrent);
        FView->horizontalScrollBar()->setValue(FHorizontal);
        FView->verticalScrollBar()->setValue(FVertical);
    }
    TViewStateKeeper(const TViewStateKeeper &) = delete;
    TViewStateKeeper &operator=(const TViewStateKeeper &) = delete;

private:
    QAbstractItemView *FView;
    QPersistentModelIndex FCurrent;
    int FHorizontal = 0;
    int FVertical = 0;
};

} // namespace

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

TOrvel_ExportCommands::TOrvel_ExportCommands(QWidget *owner) : QObject(owner), FOwner(owner) {
    OpenFile = [](QWidget *o, const QString &file) { return ShellOpenOwned(o, file); };
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

void TOrvel_ExportCommands::miSaveAs_CSVClick() {
    if (!Columns)
        return;
    const QString file = AskFor(QStringLiteral("CSV"), QStringLiteral("Zapisz do formatu CSV"),
                                QStringLiteral(".csv"), QStringLiteral("pliki CSV|*.csv;*.txt"));
    if (file.isEmpty())
        return;
    // Read after the dialog, at every export: the settings dialog may have changed it meanwhile.
    const QChar separator = CsvSeparator();
    TViewStateKeeper keep(View);
    TOrvel_DataExport_CSV(*Columns, separator, DocumentTitle()).ExportToFile(file);
}

void TOrvel_ExportCommands::miSaveAs_XHTMLClick() {
    FLastXhtmlFile.clear();
    if (!Columns)
        return;
    const QString file = AskFor(QStringLiteral("XHTML"), QStringLiteral("Zapisz do formatu XHTML"),
                                QStringLiteral(".htm"), QStringLiteral("pliki XHTML|*.htm;*.html"));
    if (file.isEmpty())
        return;
    TViewStateKeeper keep(View);
    TOrvel_DataExport_XHTML(*Columns, DocumentTitle()).ExportToFile(file);
    FLastXhtmlFile = file;
}

QString TOrvel_ExportCommands::CannotShowPageText(const QString &file) {
    return QStringLiteral("Strona została zapisana w pliku:\n%1\n\nNie można jej pokazać: "
                          "pulpit nie ma programu do otwierania stron (przeglądarki).")
        .arg(QDir::toNativeSeparators(file));
}

void TOrvel_ExportCommands::miSaveAs_XHTML_andOpenClick() {
    miSaveAs_XHTMLClick();
    if (FLastXhtmlFile.isEmpty() || !QFileInfo::exists(FLastXhtmlFile) || !OpenFile)
        return;
    // Without a program for web pages (no browser, no xdg-open) the page would silently stay
    // unseen: the user learns where it was written.
    if (!OpenFile(FOwner, FLastXhtmlFile))
        ShowMessage(FOwner, TOrvel_MsgIcon::Warning, QStringLiteral("Uwaga"),
                    CannotShowPageText(FLastXhtmlFile));
}

void TOrvel_ExportCommands::miSaveAs_XMLClick() {
    if (!Columns)
        return;
    const QString file = AskFor(QStringLiteral("XML"), QStringLiteral("Zapisz do formatu XML"),
                                QStringLiteral(".xml"), QStringLiteral("pliki XML|*.xml"));
    if (file.isEmpty())
        return;
    TViewStateKeeper keep(View);
    TOrvel_DataExport_XML(*Columns, DocumentTitle()).ExportToFile(file);
}

void TOrvel_ExportCommands::miSaveAs_XLSXClick() {
    if (!Columns)
        return;
    const QString file = AskFor(QStringLiteral("XLSX"), QStringLiteral("Zapisz jako arkusz Excel"),
                                QStringLiteral(".xlsx"), QStringLiteral("arkusze Excel|*.xlsx"));
    if (file.isEmpty())
        return;
    TViewStateKeeper keep(View);
    TOrvel_DataExport_XLSX writer(*Columns, DocumentTitle());
    writer.ExportToFile(file);
    if (const QString notice = writer.NoticeText(); !notice.isEmpty() && ShowStatus)
        ShowStatus(notice);
}

std::unique_ptr<TOrvel_PrintDocument> TOrvel_ExportCommands::MakePrintDocument() const {
    if (!Columns)
        return {};
    TOrvel_PrintInfo info = PrintInfo ? PrintInfo() : TOrvel_PrintInfo();
    info.Title = DocumentTitle();
    auto document = std::make_unique<TOrvel_PrintDocument>(*Columns, info);
    document->Layout();
    return document;
}

void TOrvel_ExportCommands::miSaveAs_PDFClick() {
    if (!Columns)
        return;
    const QString file = AskFor(QStringLiteral("PDF"), QStringLiteral("Zapisz jako dokument PDF"),
                                QStringLiteral(".pdf"), QStringLiteral("dokumenty PDF|*.pdf"));
    if (file.isEmpty())
        return;
    TViewStateKeeper keep(View);
    MakePrintDocument()->WritePdf(file);
}
