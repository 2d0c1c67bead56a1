#include "FU_About.h"

#include "U_WidgetUtils.h"
#include "U_utils.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

TF_About *F_About = nullptr;

namespace {

// The title in bold Arial of 19 pixels: a light copy 2 pixels right and down, the main copy over
// it.
class TitleLabel : public QWidget {
public:
    explicit TitleLabel(QWidget *parent) : QWidget(parent) {
        setObjectName(QStringLiteral("labTitle"));
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(19);
        font.setBold(true);
        painter.setFont(font);
        const QString title = QStringLiteral("Orvel-Zestawnik");
        const int baseline = QFontMetrics(font).ascent();
        painter.setPen(QColor(0x9E, 0xD5, 0xE4));
        painter.drawText(2, baseline + 2, title);
        painter.setPen(QColor(0x00, 0x63, 0x93));
        painter.drawText(0, baseline, title);
    }
};

// A label that reports a click.
class LinkLabel : public QLabel {
public:
    LinkLabel(QWidget *parent, std::function<void()> onClick)
        : QLabel(parent), FOnClick(std::move(onClick)) {}

protected:
    void mouseReleaseEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            FOnClick();
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> FOnClick;
};

} // namespace

QString AboutContactText() {
    // The colon leads to the link below, where there is one.
    return QStringLiteral("Raporty SQL dla Microsoft SQL Server\n\n"
                          "Uwagi, pytania i zgłoszenia błędów\n"
                          "przyjmuje zespół Orvel-Zestawnik") +
           (AboutWebAddress().isEmpty() ? QStringLiteral(".") : QStringLiteral(":"));
}

QString AboutWebAddress() {
    return GetProductWebAddress();
}

QString AboutBottomLine() {
    return QStringLiteral("Wersja ") + GetVersionString() + QStringLiteral(" dla systemu Linux");
}

TF_About::TF_About(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("F_About"));
    setWindowTitle(QStringLiteral("O programie"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(392, 224);

    panFrame = new QFrame(this);
    panFrame->setObjectName(QStringLiteral("panFrame"));
    panFrame->setGeometry(8, 8, 376, 165);
    panFrame->setStyleSheet(
        QStringLiteral("#panFrame { border: 1px solid #0080C0; background: white; }"));

    labTitle = new TitleLabel(panFrame);
    labTitle->setGeometry(10, 8, 200, 28);

    labContact = new QLabel(AboutContactText(), panFrame);
    labContact->setObjectName(QStringLiteral("labContact"));
    labContact->setAlignment(Qt::AlignRight | Qt::AlignTop);
    labContact->setGeometry(120, 44, 246, 70);

    labLink = new LinkLabel(panFrame, [this] { labLinkClick(); });
    labLink->setObjectName(QStringLiteral("labLink"));
    labLink->setText(AboutWebAddress());
    labLink->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QFont linkFont = labLink->font();
    linkFont.setUnderline(true);
    labLink->setFont(linkFont);
    QPalette linkPalette = labLink->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x5B, 0xBF));
    labLink->setPalette(linkPalette);
    labLink->setCursor(Qt::PointingHandCursor);
    labLink->setGeometry(120, 116, 246, 18);
    labLink->setVisible(!labLink->text().isEmpty());

    labBottom = new QLabel(AboutBottomLine(), panFrame);
    labBottom->setObjectName(QStringLiteral("labBottom"));
    labBottom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labBottom->setGeometry(8, 140, 358, 18);

    btnClose = new QPushButton(QStringLiteral("Zamknij"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(304, 189, 80, 24);
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &TF_About::btnCloseClick);
}

void TF_About::labLinkClick() {
    if (!labLink->text().isEmpty())
        ShellOpen(labLink->text());
}

void TF_About::btnCloseClick() {
    accept();
}
