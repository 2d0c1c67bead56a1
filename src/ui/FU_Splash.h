#pragma once
// The splash window shown while the program starts: a picture with a status line below it.
#include <QWidget>

class QLabel;

class TF_Splash : public QWidget {
    Q_OBJECT
public:
    explicit TF_Splash(QWidget *parent = nullptr);
    // The status line shows one blank followed by the text, repainted at once.
    void SetSplashInfo(const QString &text);
    QString SplashInfo() const;

private:
    QLabel *FPicture;
    QLabel *labInfo;
};
