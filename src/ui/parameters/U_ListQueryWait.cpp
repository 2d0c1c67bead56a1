#include "U_ListQueryWait.h"

#include "U_Db.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <exception>
#include <memory>

namespace {
// How long a list query may take before the box shows (the window waits meanwhile).
constexpr int kQuietMSecs = 300;
} // namespace

void RunListQuery(QWidget *owner, DbConnection &connection, const std::function<void()> &open) {
    std::exception_ptr failure;
    // A cancel pressed before the query reaches the server still stops it.
    connection.ExpectBatch();
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            open();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    thread->start();
    if (!thread->wait(QDeadlineTimer(kQuietMSecs))) {
        // Above the dialog the query was started from (the add-parameter dialog's check), else
        // above the owner's window.
        QWidget *parent = QApplication::activeModalWidget();
        if (!parent && owner)
            parent = owner->window();
        QDialog box(parent);
        box.setObjectName(QStringLiteral("dlgListWait"));
        box.setWindowTitle(QStringLiteral("Lista"));
        box.setModal(true);
        auto *layout = new QVBoxLayout(&box);
        auto *label = new QLabel(QStringLiteral("Wypełnianie listy..."), &box);
        label->setObjectName(QStringLiteral("labInfo"));
        layout->addWidget(label);
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        auto *cancel = new QPushButton(QStringLiteral("Przerwij"), &box);
        cancel->setObjectName(QStringLiteral("btnCancel"));
        buttons->addWidget(cancel);
        layout->addLayout(buttons);
        QObject::connect(cancel, &QPushButton::clicked, &box, [&] {
            label->setText(QStringLiteral("Przerywanie…"));
            cancel->setEnabled(false);
            connection.Cancel();
        });
        // Closing the box is a cancel too; the box itself stays until the query has ended.
        QObject::connect(&box, &QDialog::rejected, &box, [&] {
            if (thread->isRunning())
                cancel->click();
        });
        QObject::connect(thread.get(), &QThread::finished, &box,
                         [&] { box.done(QDialog::Accepted); });
        while (!thread->isFinished()) {
            box.exec();
        }
    }
    thread->wait();
    if (failure)
        std::rethrow_exception(failure);
}
