#include "U_PrintCommand.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWidget>

namespace {
// The toolkit's preview names its commands but leaves its two fields unnamed: the page number
// and the zoom, which a screen reader would then read only by their values.
void NamePreviewFields(QPrintPreviewDialog &dialog) {
    for (QComboBox *zoom : dialog.findChildren<QComboBox *>()) {
        zoom->setAccessibleName(QStringLiteral("Powiększenie"));
        if (zoom->lineEdit())
            zoom->lineEdit()->setAccessibleName(QStringLiteral("Powiększenie"));
    }
    for (QLineEdit *field : dialog.findChildren<QLineEdit *>()) {
        if (field->accessibleName().isEmpty())
            field->setAccessibleName(QStringLiteral("Numer strony"));
    }
}
} // namespace

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
    NamePreviewFields(dialog);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&document](QPrinter *target) {
        QPainter painter(target);
        document->Paint(*target, painter);
    });
    RunDialog(dialog);
}
