#include "FU_NewReport.h"

#include "U_Application.h"
#include "U_MessageBox.h"
#include "U_SafeFile.h"
#include "U_error.h"
#include "U_utils.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>

TF_NewReport *F_NewReport = nullptr;

namespace {

QString WithSeparator(const QString &folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

void ListGroupFoldersIn(QStringList &list, const QString &folder, const QString &reportsFolder,
                        QSet<QString> &visiting) {
    const QString dir = WithSeparator(folder);
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() || visiting.contains(canonical))
        return;
    visiting.insert(canonical);
    QDirIterator entries(dir,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        const QString path = dir + TrimText(entries.fileName());
        if (!QFileInfo(path).isDir())
            continue;
        QString relative = path.mid(reportsFolder.size()).left(1024);
        list.append(relative.replace(u'/', u'\\'));
        ListGroupFoldersIn(list, path, reportsFolder, visiting);
    }
    visiting.remove(canonical);
}

// The group's levels as folder names: the "\" between them, empty levels dropped.
QStringList GroupLevels(const QString &group) {
    QStringList levels = group.split(u'\\', Qt::SkipEmptyParts);
    return levels;
}

} // namespace

void ListGroupFolders(QStringList &list, const QString &folder, const QString &reportsFolder) {
    QSet<QString> visiting;
    ListGroupFoldersIn(list, folder, WithSeparator(reportsFolder), visiting);
}

TF_NewReport::TF_NewReport(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("F_NewReport"));
    setWindowTitle(QStringLiteral("Nowy raport"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(392, 176);

    grpPath = new QGroupBox(QStringLiteral("Grupa (ścieżka)"), this);
    grpPath->setGeometry(8, 4, 377, 57);
    edPath = new QComboBox(grpPath);
    edPath->setObjectName(QStringLiteral("edPath"));
    edPath->setEditable(true);
    edPath->setInsertPolicy(QComboBox::NoInsert);
    edPath->setGeometry(8, 22, 360, 24);
    edPath->setAccessibleName(grpPath->title());
    edPath->lineEdit()->setAccessibleName(grpPath->title());

    grpName = new QGroupBox(QStringLiteral("Nazwa"), this);
    grpName->setGeometry(8, 66, 377, 57);
    edName = new QLineEdit(grpName);
    edName->setObjectName(QStringLiteral("edName"));
    edName->setGeometry(8, 22, 360, 24);
    edName->setAccessibleName(grpName->title());

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(220, 138, 80, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(305, 138, 80, 25);

    connect(btnOK, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TF_NewReport::btnCancelClick);

    // FormCreate: the reports folder, taken once.
    FReportsFolder = WithSeparator(GetReportsFolder());
}

void TF_NewReport::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TF_NewReport::FormShow() {
    edName->setText(QStringLiteral("Nowy raport"));
    edPath->clear();
    edPath->setEditText(QString());
    QStringList groups;
    ListGroupFolders(groups, FReportsFolder, FReportsFolder);
    edPath->addItems(groups);
    edPath->setCurrentIndex(-1);
    edPath->setEditText(QString());
    edName->setFocus();
}

TF_NewReport::TCreateResult TF_NewReport::CreateReportFiles(QString &definitionFile) {
    // The group: "\" separates its levels; an empty group is the reports folder itself.
    QString group = SanitizePath(TrimText(edPath->currentText()));
    if (!group.endsWith(u'\\'))
        group += u'\\';
    const QString name = SanitizeFileName(TrimText(edName->text()));
    const QString relativeDefinition = group + name + QStringLiteral(".xml");

    // Files named only ".xml" and ".sql" would be hidden and never listed as a report.
    if (name.isEmpty()) {
        ShowMessage(this, TOrvel_MsgIcon::Warning, QStringLiteral("Informacja"),
                    QStringLiteral("Wpisz nazwę raportu"));
        return TCreateResult::Failed;
    }

    const QStringList levels = GroupLevels(group);
    const QString folder =
        FReportsFolder + (levels.isEmpty() ? QString() : levels.join(u'/') + u'/');
    definitionFile = folder + name + QStringLiteral(".xml");
    const QString scriptFile = folder + name + QStringLiteral(".sql");

    const QString templateScript = GetTemplateFolder() + QStringLiteral("default.sql");
    const QString templateDefinition = GetTemplateFolder() + QStringLiteral("default.xml");
    for (const QString &templateFile : {templateScript, templateDefinition}) {
        if (!QFileInfo(templateFile).isFile()) {
            ShowMessage(this, TOrvel_MsgIcon::Error, QString(),
                        QStringLiteral("Brak szablonu raportu:\r\n") + templateFile);
            return TCreateResult::Failed;
        }
    }

    if (!QDir().mkpath(folder)) {
        ShowMessage(this, TOrvel_MsgIcon::Error, QString(),
                    QStringLiteral("Nie można utworzyć folderu grupy:\r\n") + folder);
        return TCreateResult::Failed;
    }

    if (QFileInfo::exists(definitionFile)) {
        TOrvel_MessageRequest question;
        question.Owner = this;
        question.Icon = TOrvel_MsgIcon::Warning;
        question.Caption = QStringLiteral("Uwaga");
        // The path as the system writes paths: "/" between the levels, none in front.
        QString shownDefinition = relativeDefinition;
        shownDefinition.replace(u'\\', u'/');
        while (shownDefinition.startsWith(u'/'))
            shownDefinition.remove(0, 1);
        question.Text =
            QStringLiteral("Raport \"") + shownDefinition +
            QStringLiteral("\" juz istnieje !\r\nCzy chcesz aktualny zastąpić pustym ?");
        question.Buttons = QMessageBox::Yes | QMessageBox::No;
        if (ShowMessage(question) != QMessageBox::Yes)
            return TCreateResult::Refused;
    }

    // Each copy replaces the file whole or, when it fails, leaves it as it was (the error is
    // shown).
    auto copy = [](const QString &from, const QString &to) {
        QFile source(from);
        if (!source.open(QIODevice::ReadOnly))
            throw EOrvelError(QStringLiteral("Nie można odczytać pliku ") + from);
        SafeWriteFile(to, source.readAll());
    };
    copy(templateScript, scriptFile);
    copy(templateDefinition, definitionFile);
    return TCreateResult::Created;
}

void TF_NewReport::btnOKClick() {
    if (BeforeCreate && !BeforeCreate())
        return;
    QString definitionFile;
    switch (CreateReportFiles(definitionFile)) {
    case TCreateResult::Created:
        accept();
        if (OnReportCreated)
            OnReportCreated(definitionFile);
        break;
    case TCreateResult::Refused:
        reject();
        break;
    case TCreateResult::Failed:
        break; // the user was told why; the dialog stays for a correction
    }
}

void TF_NewReport::btnCancelClick() {
    reject();
}
