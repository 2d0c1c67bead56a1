#include "FU_Settings.h"

#include "U_Application.h"
#include "U_DataExport.h"
#include "U_MessageBox.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

TF_Settings *F_Settings = nullptr;

namespace {
const QString SeparatorKey = QStringLiteral("Export/CSV/Separator");
const QString EncodingKey = QStringLiteral("Export/CSV/Encoding");
} // namespace

TF_Settings::TF_Settings(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("F_Settings"));
    setWindowTitle(QStringLiteral("Ustawienia"));
    resize(347, 243);

    pages = new QTabWidget(this);
    tabExport = new QWidget;
    pages->addTab(tabExport, QStringLiteral("Eksport"));
    labCSVSeparator = new QLabel(QStringLiteral("Separator dla CSV"), tabExport);
    // The field stands 100 pixels from the left, or further when the font's caption needs it.
    labCSVEncoding = new QLabel(QStringLiteral("Kodowanie plików CSV"), tabExport);
    const int captionWidth =
        std::max(labCSVSeparator->sizeHint().width(), labCSVEncoding->sizeHint().width());
    const int fieldLeft = std::max(100, 8 + captionWidth + 6);
    labCSVSeparator->setGeometry(8, 12, fieldLeft - 8, 21);
    edCSVSeparator = new QLineEdit(tabExport);
    edCSVSeparator->setObjectName(QStringLiteral("edCSVSeparator"));
    edCSVSeparator->setGeometry(fieldLeft, 12, 21, 21);
    edCSVSeparator->setMaxLength(1);
    labCSVSeparator->setBuddy(edCSVSeparator);

    labCSVEncoding->setGeometry(8, 42, fieldLeft - 8, 23);
    cbCSVEncoding = new QComboBox(tabExport);
    cbCSVEncoding->setObjectName(QStringLiteral("cbCSVEncoding"));
    cbCSVEncoding->addItem(QStringLiteral("Windows-1250"),
                           CsvEncodingName(TOrvel_CsvEncoding::Windows1250));
    cbCSVEncoding->addItem(QStringLiteral("UTF-8"), CsvEncodingName(TOrvel_CsvEncoding::Utf8));
    cbCSVEncoding->addItem(QStringLiteral("UTF-8 ze znacznikiem BOM"),
                           CsvEncodingName(TOrvel_CsvEncoding::Utf8Bom));
    // As wide as the tab leaves right of the field's column (the dialog's margins and the tab's
    // frame taken off its 347 pixels), so that the longest choice shows whole where it fits.
    const int roomRight = 347 - 2 * 8 - 2 * 4 - 8 - fieldLeft;
    cbCSVEncoding->setGeometry(fieldLeft, 42, std::max(120, roomRight), 23);
    labCSVEncoding->setBuddy(cbCSVEncoding);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setFixedSize(80, 25);
    btnCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setFixedSize(80, 25);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TF_Settings::btnCancelClick);
}

void TF_Settings::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TF_Settings::FormShow() {
    edCSVSeparator->setText(AppPrefs ? AppPrefs->ReadString(SeparatorKey) : QString());
    if (edCSVSeparator->text().isEmpty())
        edCSVSeparator->setText(QStringLiteral(","));
    const TOrvel_CsvEncoding encoding =
        CsvEncodingFromPreference(AppPrefs ? AppPrefs->ReadString(EncodingKey) : QString());
    cbCSVEncoding->setCurrentIndex(cbCSVEncoding->findData(CsvEncodingName(encoding)));
}

void TF_Settings::btnOKClick() {
    if (TrimText(edCSVSeparator->text()).isEmpty()) {
        ShowMessage(this, TOrvel_MsgIcon::Warning, QStringLiteral("Informacja"),
                    QStringLiteral("Separator musi być wypełniony"));
        return;
    }
    if (!IsValidCsvSeparator(edCSVSeparator->text().front())) {
        ShowMessage(this, TOrvel_MsgIcon::Warning, QStringLiteral("Informacja"),
                    QStringLiteral("Separatorem nie może być cudzysłów ani znak końca wiersza"));
        return;
    }
    if (AppPrefs) {
        AppPrefs->WriteString(SeparatorKey, edCSVSeparator->text());
        AppPrefs->WriteString(EncodingKey, cbCSVEncoding->currentData().toString());
        AppPrefs->SaveFile(); // a write failure is raised and the dialog stays open
        AppPrefs->LoadFile(QStringLiteral("settings.xml"));
    }
    accept();
}

void TF_Settings::btnCancelClick() {
    reject();
}
