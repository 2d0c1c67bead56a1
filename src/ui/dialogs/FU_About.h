#pragma once
// The about dialog: the program's title with its shadow, a contact text, a web address that opens
// in the browser, and a bottom line with the version.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TF_About : public QDialog {
    Q_OBJECT
public:
    explicit TF_About(QWidget *parent = nullptr);

    void labLinkClick();
    void btnCloseClick();

    QFrame *panFrame;
    QWidget *labTitle; // the title drawn twice
    QLabel *labContact;
    QLabel *labLink;
    QLabel *labBottom;
    QPushButton *btnClose;
};

// The texts of the dialog.
QString AboutContactText();
QString AboutWebAddress();
QString AboutBottomLine();

// The single about dialog of the process (null until the main window creates it).
extern TF_About *F_About;
