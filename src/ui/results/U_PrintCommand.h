#pragma once
// "Drukuj": the printed document of the shown result in the toolkit's print preview, printed
// from there through the system's printers. The preview shows the very pages a PDF export
// writes.
//
//   FPrint = new TOrvel_PrintCommand(this);
//   FPrint->Document = [this] { return FExport->MakePrintDocument(); };
//   FPrint->Execute();
#include "U_PrintDocument.h"

#include <QObject>

#include <functional>
#include <memory>

class QPrintPreviewDialog;
class QWidget;

class TOrvel_PrintCommand : public QObject {
    Q_OBJECT
public:
    explicit TOrvel_PrintCommand(QWidget *owner);

    // The document to print, laid out; none: nothing to print.
    std::function<std::unique_ptr<TOrvel_PrintDocument>()> Document;
    // Runs the preview dialog modally; replaceable so that a test can look at it and close it.
    std::function<void(QPrintPreviewDialog &)> RunDialog;

    void Execute();

    // The preview window's title.
    static QString PreviewTitle();

private:
    QWidget *FOwner;
};
