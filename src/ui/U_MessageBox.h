#pragma once
// Every modal message box of the program goes through ShowMessage, so that a test can install a
// handler that sees and answers each box without blocking.
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

enum class TOrvel_MsgIcon { None, Information, Warning, Error, Question };

struct TOrvel_MessageRequest {
    QWidget *Owner = nullptr;
    TOrvel_MsgIcon Icon = TOrvel_MsgIcon::None;
    QString Caption; // empty: the platform's default caption for the icon
    QString Text;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
    // Captions of the program's own for some of the buttons ("Nie zapisuj").
    QList<QPair<QMessageBox::StandardButton, QString>> ButtonTexts;
};

using TOrvel_MessageHandler =
    std::function<QMessageBox::StandardButton(const TOrvel_MessageRequest &)>;

// Shows the box (or hands it to the installed handler) and returns the button that closed it.
QMessageBox::StandardButton ShowMessage(const TOrvel_MessageRequest &request);
QMessageBox::StandardButton ShowMessage(QWidget *owner, TOrvel_MsgIcon icon, const QString &caption,
                                        const QString &text);

// Installs a handler in place of the real boxes; an empty handler restores them. Returns the one
// that was installed before.
TOrvel_MessageHandler SetMessageHandler(TOrvel_MessageHandler handler);

// A box is at least as wide as its title needs, so the title bar shows the title whole.
int TitleWidth(const QString &title);
void WidenForTitle(QMessageBox &box);

// The caption a box gets when it has none of its own.
QString DefaultCaption(TOrvel_MsgIcon icon);

// For the time of its life, records every box and answers it with a fixed button.
class TOrvel_MessageRecorder {
public:
    explicit TOrvel_MessageRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~TOrvel_MessageRecorder();
    TOrvel_MessageRecorder(const TOrvel_MessageRecorder &) = delete;
    TOrvel_MessageRecorder &operator=(const TOrvel_MessageRecorder &) = delete;

    const std::vector<TOrvel_MessageRequest> &Messages() const { return FMessages; }
    void Clear() { FMessages.clear(); }
    void SetAnswer(QMessageBox::StandardButton answer) { FAnswer = answer; }

private:
    std::vector<TOrvel_MessageRequest> FMessages;
    QMessageBox::StandardButton FAnswer;
    TOrvel_MessageHandler FPrevious;
};
