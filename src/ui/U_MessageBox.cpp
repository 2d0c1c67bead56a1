#include "U_MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

namespace {

TOrvel_MessageHandler &InstalledHandler() {
    static TOrvel_MessageHandler handler;
    return handler;
}

QMessageBox::Icon ToQtIcon(TOrvel_MsgIcon icon) {
    switch (icon) {
    case TOrvel_MsgIcon::Information:
        return QMessageBox::Information;
    case TOrvel_MsgIcon::Warning:
        return QMessageBox::Warning;
    case TOrvel_MsgIcon::Error:
        return QMessageBox::Critical;
    case TOrvel_MsgIcon::Question:
        return QMessageBox::Question;
    case TOrvel_MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A box is as wide as the longest unbroken run of its text: a long name or path without blanks
// would push it off the screen. The text shown gets a break opportunity (a zero-width space)
// in every run longer than this; the text itself is unchanged.
constexpr int kLongestRun = 40;

QString WrappableText(const QString &text) {
    QString shown;
    shown.reserve(text.size() + text.size() / kLongestRun);
    int run = 0;
    for (const QChar c : text) {
        if (c.isSpace()) {
            run = 0;
        } else if (++run > kLongestRun && !c.isLowSurrogate()) {
            shown += QChar(0x200B);
            run = 1;
        }
        shown += c;
    }
    return shown;
}

} // namespace

int TitleWidth(const QString &title) {
    // The title bar's font is the window manager's; the application's bold font is a fair
    // measure. Room is added for the window's icon and its close button.
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + 100;
}

void WidenForTitle(QMessageBox &box) {
    // A message box sizes itself to its text only; a spacer across the bottom of its grid keeps
    // it as wide as its title.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

QString DefaultCaption(TOrvel_MsgIcon icon) {
    switch (icon) {
    case TOrvel_MsgIcon::Information:
        return QStringLiteral("Informacja");
    case TOrvel_MsgIcon::Warning:
        return QStringLiteral("Ostrzeżenie");
    case TOrvel_MsgIcon::Error:
        return QStringLiteral("Błąd");
    case TOrvel_MsgIcon::Question:
        return QStringLiteral("Potwierdzenie");
    case TOrvel_MsgIcon::None:
        break;
    }
    return QApplication::applicationName();
}

QMessageBox::StandardButton ShowMessage(const TOrvel_MessageRequest &request) {
    if (const TOrvel_MessageHandler &handler = InstalledHandler())
        return handler(request);
    QMessageBox box(ToQtIcon(request.Icon),
                    request.Caption.isEmpty() ? DefaultCaption(request.Icon) : request.Caption,
                    WrappableText(request.Text), request.Buttons, request.Owner);
    if (request.DefaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.DefaultButton);
    for (const auto &[button, text] : request.ButtonTexts)
        if (QAbstractButton *shown = box.button(button))
            shown->setText(text);
    WidenForTitle(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton ShowMessage(QWidget *owner, TOrvel_MsgIcon icon, const QString &caption,
                                        const QString &text) {
    TOrvel_MessageRequest request;
    request.Owner = owner;
    request.Icon = icon;
    request.Caption = caption;
    request.Text = text;
    return ShowMessage(request);
}

TOrvel_MessageHandler SetMessageHandler(TOrvel_MessageHandler handler) {
    TOrvel_MessageHandler previous = std::move(InstalledHandler());
    InstalledHandler() = std::move(handler);
    return previous;
}

TOrvel_MessageRecorder::TOrvel_MessageRecorder(QMessageBox::StandardButton answer)
    : FAnswer(answer) {
    FPrevious = SetMessageHandler([this](const TOrvel_MessageRequest &request) {
        FMessages.push_back(request);
        return FAnswer;
    });
}

TOrvel_MessageRecorder::~TOrvel_MessageRecorder() {
    SetMessageHandler(std::move(FPrevious));
}
