#include "FU_Splash.h"

#include "U_UiResources.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

TF_Splash::TF_Splash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FPicture(new QLabel(this)), labInfo(new QLabel(this)) {
    setObjectName(QStringLiteral("F_Splash"));
    // A black frame of one pixel around the picture and the status line.
    setAutoFillBackground(true);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, Qt::black);
    setPalette(frame);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    FPicture->setFixedSize(380, 180);
    FPicture->setPixmap(UiPicture(QStringLiteral("splash")));
    labInfo->setObjectName(QStringLiteral("labInfo"));
    labInfo->setFixedSize(380, 17);
    labInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labInfo->setAutoFillBackground(true);
    QPalette status = labInfo->palette();
    status.setColor(QPalette::Window, QColor(0x00, 0x80, 0xC0));
    status.setColor(QPalette::WindowText, Qt::white);
    labInfo->setPalette(status);
    layout->addWidget(FPicture);
    layout->addWidget(labInfo);
    setFixedSize(382, 199);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TF_Splash::SetSplashInfo(const QString &text) {
    labInfo->setText(u' ' + text);
    labInfo->repaint();
}

QString TF_Splash::SplashInfo() const {
    return labInfo->text();
}
