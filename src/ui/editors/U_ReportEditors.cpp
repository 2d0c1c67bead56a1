#include "U_ReportEditors.h"

#include "U_Application.h"
#include "U_EditorFiles.h"
#include "U_MessageBox.h"
#include "U_SafeFile.h"
#include "U_SqlEditor.h"
#include "U_XmlEditor.h"
#include "U_utils.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The script's marker line, where the parameter assignments go when the report runs.
const QString MarkerLine = QStringLiteral("-- [Orvel_Zestawnik_PARAMETRY]");

TOrvel_SaveFileChooser &InstalledChooser() {
    static TOrvel_SaveFileChooser chooser;
    return chooser;
}

QString AskForFile(QWidget *owner, const TOrvel_SaveEditRequest &request) {
    if (const TOrvel_SaveFileChooser &chooser = InstalledChooser())
        return chooser(owner, request);
    QFileDialog dialog(owner, request.Title, request.Folder, request.Filter);
    dialog.setObjectName(QStringLiteral("dlgSaveEdit"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    dialog.selectFile(request.ProposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// The pause after saving, during which the window keeps painting.
void Pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

QToolBar *NewToolBar(QWidget *tab, const QString &name) {
    auto *bar = new QToolBar(tab);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return bar;
}

QToolButton *NewButton(QToolBar *bar, const QString &name, const QString &caption,
                       const QString &hint, QStyle::StandardPixmap picture) {
    auto *button = new QToolButton(bar);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIcon(bar->style()->standardIcon(picture));
    button->setToolTip(hint);
    if (!caption.isEmpty()) {
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    bar->addWidget(button);
    return button;
}

QString SanitizedFileStem(const QString &title) {
    // The proposed name is the title without an extension.
    return QFileInfo(title).completeBaseName().isEmpty() ? title
                                                         : QFileInfo(title).completeBaseName();
}

} // namespace

TOrvel_SaveFileChooser SetSaveFileChooser(TOrvel_SaveFileChooser chooser) {
    TOrvel_SaveFileChooser previous = std::move(InstalledChooser());
    InstalledChooser() = std::move(chooser);
    return previous;
}

TOrvel_ReportEditors::TOrvel_ReportEditors(QWidget *sqlTab, QWidget *definitionTab,
                                           TOrvel_EditorHost host, QObject *parent)
    : QObject(parent), FHost(std::move(host)) {
    // "Zapytanie SQL": toolbar over the script editor.
    barEdit_SQL = NewToolBar(sqlTab, QStringLiteral("barEdit_SQL"));
    btnEditSQL_save =
        NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_save"), QStringLiteral("&Zapisz"),
                  QStringLiteral("Zapisz"), QStyle::SP_DialogSaveButton);
    btnEditSQL_saveas = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_saveas"), QString(),
                                  QStringLiteral("Zapisz jako"), QStyle::SP_DriveFDIcon);
    barEdit_SQL->addSeparator();
    btnEditSQL_undo = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_undo"), QString(),
                                QStringLiteral("Cofnij"), QStyle::SP_ArrowBack);
    barEdit_SQL->addSeparator();
    btnEditSQL_add = NewButton(barEdit_SQL, QStringLiteral("btnEditSQL_add"), QString(),
                               QStringLiteral("Wstaw"), QStyle::SP_FileDialogDetailedView);
    pmEditorSQL_add = new QMenu(btnEditSQL_add);
    pmEditorSQL_add->setObjectName(QStringLiteral("pmEditorSQL_add"));
    miAddSQLParameters = pmEditorSQL_add->addAction(QStringLiteral("Wstaw linię parametrów"));
    miAddSQLParameters->setObjectName(QStringLiteral("miAddSQLParameters"));
    btnEditSQL_add->setMenu(pmEditorSQL_add);
    btnEditSQL_add->setPopupMode(QToolButton::InstantPopup);
    edReportSQL = new TOrvel_SqlEditor(sqlTab);

    // "Definicja": toolbar over the definition editor.
    barEdit_DEF = NewToolBar(definitionTab, QStringLiteral("barEdit_DEF"));
    btnEditDEF_save =
        NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_save"), QStringLiteral("&Zapisz"),
                  QStringLiteral("Zapisz"), QStyle::SP_DialogSaveButton);
    btnEditDEF_saveas = NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_saveas"), QString(),
                                  QStringLiteral("Zapisz jako"), QStyle::SP_DriveFDIcon);
    barEdit_DEF->addSeparator();
    btnEditDEF_undo = NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_undo"), QString(),
                                QStringLiteral("Cofnij"), QStyle::SP_ArrowBack);
    barEdit_DEF->addSeparator();
    btnEditDEF_add =
        NewButton(barEdit_DEF, QStringLiteral("btnEditDEF_add"), QStringLiteral("Wstaw parametr"),
                  QStringLiteral("Wstaw"), QStyle::SP_FileDialogDetailedView);
    pmEditorDEF_add = new QMenu(btnEditDEF_add);
    pmEditorDEF_add->setObjectName(QStringLiteral("pmEditorDEF_add"));
    miAddDefParameter = pmEditorDEF_add->addAction(QStringLiteral("Wstaw parametr"));
    miAddDefParameter->setObjectName(QStringLiteral("miAddDefParameter"));
    btnEditDEF_add->setMenu(pmEditorDEF_add);
    btnEditDEF_add->setPopupMode(QToolButton::InstantPopup);
    edReportDefinition = new TOrvel_XmlEditor(definitionTab);

    for (auto [tab, bar, editor] :
         {std::tuple<QWidget *, QToolBar *, QWidget *>{sqlTab, barEdit_SQL, edReportSQL},
          {definitionTab, barEdit_DEF, edReportDefinition}}) {
        auto *layout = new QVBoxLayout(tab);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(bar);
        layout->addWidget(editor, 1);
    }

    auto guarded = [this](void (TOrvel_ReportEditors::*handler)()) {
        return [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); };
    };
    connect(btnEditSQL_save, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_saveClick));
    connect(btnEditSQL_saveas, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_saveasClick));
    connect(btnEditSQL_undo, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditSQL_undoClick));
    connect(miAddSQLParameters, &QAction::triggered, this,
            guarded(&TOrvel_ReportEditors::miAddSQLParametersClick));
    connect(btnEditDEF_save, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_saveClick));
    connect(btnEditDEF_saveas, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_saveasClick));
    connect(btnEditDEF_undo, &QToolButton::clicked, this,
            guarded(&TOrvel_ReportEditors::btnEditDEF_undoClick));
    connect(miAddDefParameter, &QAction::triggered, this,
            guarded(&TOrvel_ReportEditors::miAddDefParameterClick));
}

void TOrvel_ReportEditors::ShowReport(const QString &script, const QString &scriptFile,
                                      const QString &definition) {
    edReportSQL->SetScript(script, scriptFile);
    edReportDefinition->SetEditorText(definition);
}

void TOrvel_ReportEditors::Clear() {
    edReportSQL->SetScript(QString());
    edReportDefinition->SetEditorText(QString());
}

void TOrvel_ReportEditors::SetWritable(bool writable) {
    edReportSQL->setReadOnly(!writable);
    edReportDefinition->setReadOnly(!writable);
}

void TOrvel_ReportEditors::SetActivity(const QString &text) {
    if (FHost.SetActivityText)
        FHost.SetActivityText(text);
}

void TOrvel_ReportEditors::WriteEditor(const QString &path, TOrvel_ReportEditor *editor) {
    SetActivity(QStringLiteral("Zapisywanie..."));
    SafeWriteFile(path, editor->FileBytes());
    ReformatXmlFile(path); // a file the library does not take as XML stays as written
    SetActivity(QStringLiteral("Zapisane"));
}

void TOrvel_ReportEditors::SaveEditorToFile(const QString &path, TOrvel_ReportEditor *editor) {
    if (path.isEmpty())
        return; // no report loaded
    WriteEditor(path, editor);
    Pause(100);
    if (FHost.ReloadReport)
        FHost.ReloadReport();
}

bool TOrvel_ReportEditors::ValidateDefinition() {
    // The text is checked as the bytes a save would write, without a file: a file of the user's
    // that happens to carry the check's name is never overwritten or removed.
    if (IsWellFormedXml(edReportDefinition->FileBytes()))
        return true;
    ShowMessage(edReportDefinition->window(), TOrvel_MsgIcon::Error,
                QStringLiteral("Błąd walidacji"),
                QStringLiteral("Plik definicji zawiera błędy i nie może być zapisany"));
    return false;
}

void TOrvel_ReportEditors::SaveEditorAs(const QString &extension, TOrvel_ReportEditor *editor) {
    const QString upper = AsciiUpper(extension);
    const QString lower = AsciiLower(extension);
    TOrvel_SaveEditRequest request;
    request.Title = QStringLiteral("Zapisz plik ") + upper;
    request.DefaultSuffix = lower;
    request.Filter = QStringLiteral("pliki %1 (*.%2)").arg(upper, lower);
    request.ProposedName = SanitizedFileStem(FHost.Title ? FHost.Title() : QString());
    const QString current =
        editor == edReportSQL ? (FHost.ScriptFileName ? FHost.ScriptFileName() : QString())
                              : (FHost.DefinitionFileName ? FHost.DefinitionFileName() : QString());
    request.Folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();

    const QString path = AskForFile(editor->window(), request);
    if (path.isEmpty())
        return;
    WriteEditor(path, editor);
}

void TOrvel_ReportEditors::btnEditSQL_saveClick() {
    SaveEditorToFile(FHost.ScriptFileName ? FHost.ScriptFileName() : QString(), edReportSQL);
}

void TOrvel_ReportEditors::btnEditDEF_saveClick() {
    if (!ValidateDefinition())
        return;
    SaveEditorToFile(FHost.DefinitionFileName ? FHost.DefinitionFileName() : QString(),
                     edReportDefinition);
}

void TOrvel_ReportEditors::btnEditSQL_saveasClick() {
    SaveEditorAs(QStringLiteral("sql"), edReportSQL);
}

void TOrvel_ReportEditors::btnEditDEF_saveasClick() {
    SaveEditorAs(QStringLiteral("xml"), edReportDefinition);
}

void TOrvel_ReportEditors::btnEditSQL_undoClick() {
    edReportSQL->undo();
}

void TOrvel_ReportEditors::btnEditDEF_undoClick() {
    edReportDefinition->undo();
}

void TOrvel_ReportEditors::miAddSQLParametersClick() {
    if (edReportSQL->isReadOnly())
        return;
    edReportSQL->InsertMarkerLine(MarkerLine);
}

void TOrvel_ReportEditors::miAddDefParameterClick() {
    if (FHost.AddDefinitionParameter)
        FHost.AddDefinitionParameter();
}
