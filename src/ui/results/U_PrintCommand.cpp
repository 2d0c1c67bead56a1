#include "U_PrintCommand.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWidget>

TOrvel_PrintCommand::TOrvel_PrintCommand(QWidget *owner) : QObject(owner), FOwner(owner) {
    RunDialog = [](QPrintPreviewDialog &dialog) { dialog.exec(); };
}

QString TOrvel_PrintCommand::PreviewTitle() {
    return QStringLiteral("Podgląd wydruku");
}

void TOrvel_PrintCommand::Execute() {
    if (!Document)
        return;
    const std::unique_ptr<TOrvel_PrintDocument> document = Document();
    if (!document)
        return;
    QPrinter printer(QPrinter::HighResolution);
    // The document draws its own margins on the whole sheet.
    printer.setFullPage(true);
    printer.setPageLayout(document->PageLayout());
    QPrintPreviewDialog dialog(&printer, FOwner);
    dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
    dialog.setWindowTitle(PreviewTitle());
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&document](QPrinter *target) {
        QPainter painter(target);
        document->Paint(*target, painter);
    });
    RunDialog(dialog);
}
