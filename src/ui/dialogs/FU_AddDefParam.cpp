#include "FU_AddDefParam.h"

#include "U_Application.h"
#include "U_Db.h"
#include "U_DefinitionCheck.h"
#include "U_EditorFiles.h"
#include "U_MessageBox.h"
#include "U_ParamInput.h"
#include "U_ParamName.h"
#include "U_ParamType.h"
#include "U_ReportEditors.h"
#include "U_SqlEditor.h"
#include "U_XmlEditor.h"
#include "U_error.h"
#include "U_utils.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

TF_AddDefParam *F_AddDefParam = nullptr;

namespace {

constexpr int MaxWidth = 1024;

// A hint as shown: the texts keep Windows line breaks, the tool tip wants plain ones.
QString Hint(const QString &text) {
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A whole number as the user typed it; anything else is the conversion error the user sees.
int WholeNumber(const QString &text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EOrvelError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

} // namespace

TOrvel_AddParamTarget
TOrvel_AddParamTarget::ForEditors(TOrvel_ReportEditors *editors,
                                  std::function<bool(const TOrvel_ParamData &)> addItem,
                                  std::function<QString()> definitionText,
                                  std::function<QStringList(const QString &)> listColumns) {
    TOrvel_AddParamTarget target;
    target.ValidateDefinition = [editors] { return editors->ValidateDefinition(); };
    target.AddDefinitionItem = std::move(addItem);
    target.GetDefinitionText = std::move(definitionText);
    target.SetDefinitionEditorText = [editors](const QString &text) {
        editors->edReportDefinition->SetEditorText(text);
    };
    target.SaveDefinition = [editors] { return editors->SaveDefinition(); };
    target.ConfirmDefinitionEdits = [editors] {
        return !editors->edReportDefinition->isModified() || editors->ConfirmDiscard(true);
    };
    target.DeclareInScript = [editors](const TOrvel_ParamData &param) {
        editors->edReportSQL->AddDeclaration(param);
    };
    target.ListQueryColumns = std::move(listColumns);
    return target;
}

TF_AddDefParam::TF_AddDefParam(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("F_AddDefParam"));
    setWindowTitle(QStringLiteral("Dodaj parametr"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *rows = new QVBoxLayout;
    rows->setContentsMargins(8, 8, 8, 8);
    rows->setSpacing(0);
    layout->addLayout(rows, 1);

    edName = new QLineEdit;
    edDesc = new QLineEdit;
    listTyp = new QComboBox;
    for (TOrvel_ParamType type :
         {TOrvel_ParamType::ptText, TOrvel_ParamType::ptBit, TOrvel_ParamType::ptDate,
          TOrvel_ParamType::ptInt, TOrvel_ParamType::ptNumeric})
        listTyp->addItem(ParamTypeName(type), int(type));
    // Wide enough for its longest entry ("liczba rzeczywista") in the font in use.
    listTyp->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int typeWidth = std::max(120, listTyp->sizeHint().width());
    listLista = new QComboBox;
    listLista->addItems(
        {QStringLiteral("nie"), QStringLiteral("tekstowa"), QStringLiteral("z zapytania sql")});
    listLista->setCurrentIndex(-1);
    edWidth = new QLineEdit(QStringLiteral("0"));
    edWidthDec = new QLineEdit(QStringLiteral("0"));
    edListNames = new QLineEdit;
    edListValues = new QLineEdit;
    edListSQL = new QPlainTextEdit;
    edListSQL->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edListSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    edListSQLFields = new QLineEdit;
    edListSQLKey = new QLineEdit;
    btnCheckSQL = new QPushButton(QStringLiteral("Sprawdź"));
    btnCheckSQL->setObjectName(QStringLiteral("btnCheckSQL"));
    btnCheckSQL->setAutoDefault(false);
    btnCheckSQL->setToolTip(QStringLiteral(
        "Uruchamia zapytanie na bieżącym połączeniu i pokazuje kolumny, które zwraca"));

    const QPair<QWidget *, const char *> names[] = {{edName, "edName"},
                                                    {edDesc, "edDesc"},
                                                    {listTyp, "listTyp"},
                                                    {listLista, "listLista"},
                                                    {edWidth, "edWidth"},
                                                    {edWidthDec, "edWidthDec"},
                                                    {edListNames, "edListNames"},
                                                    {edListValues, "edListValues"},
                                                    {edListSQL, "edListSQL"},
                                                    {edListSQLFields, "edListSQLFields"},
                                                    {edListSQLKey, "edListSQLKey"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    edListNames->setToolTip(
        Hint(QStringLiteral("Kolejne nazwy oddzielone średnikiem, np:\r\nJeden;Dwa;Trzy")));
    edListValues->setToolTip(Hint(QStringLiteral(
        "Kolejne wartości oddzielone średnikiem, np:\r\n1;2;3\r\nJeśli ta lista zostanie "
        "pusta, parametr będzie\r\nzwracał indeks wybranej pozycji liczony od zera")));
    edListSQL->setToolTip(Hint(QStringLiteral(
        "Zapytanie SQL dla listy.\r\nMoże zawierać nazwy parametrów poprzedzone znakiem @ "
        "(jako zmienne SQL), np:\r\nSELECT * FROM Kartoteki WHERE NrMagazynu = @NrMagazynu AND "
        "User = @Uzytkownik")));
    edListSQLFields->setToolTip(
        Hint(QStringLiteral("Kolejne nazwy pól oddzielone średnikiem, np:\r\nNazwa;Opis;Numer")));
    edListSQLKey->setToolTip(
        Hint(QStringLiteral("Nazwa pola kluczowego zapytania SQL, zwracającego wartość listy")));

    // -1: the input stretches with the window.
    rows->addWidget(AddRow(rName, QStringLiteral("Nazwa"), edName, 200));
    rows->addWidget(AddRow(rDesc, QStringLiteral("Opis"), edDesc, 200));
    rows->addWidget(AddRow(rType, QStringLiteral("Typ"), listTyp, typeWidth));
    rows->addWidget(AddRow(rList, QStringLiteral("Lista"), listLista, 120));
    udWidth = NewUpDown(edWidth, QStringLiteral("udWidth"));
    rows->addWidget(AddRow(rWidth, QStringLiteral("Szerokość pola"), edWidth, 60));
    UpDown1 = NewUpDown(edWidthDec, QStringLiteral("UpDown1"));
    rows->addWidget(AddRow(rDecimal, QStringLiteral("Miejsca dziesiętne"), edWidthDec, 60));
    rows->addWidget(AddRow(rListNames, QStringLiteral("Nazwy listy wyboru"), edListNames, -1));
    rows->addWidget(AddRow(rListValues, QStringLiteral("Wartości listy wyboru"), edListValues, -1));
    // The query's row takes the height the window gives it.
    rows->addWidget(AddRow(rListSQL, QStringLiteral("Zapytanie listy SQL"), edListSQL, -1), 10);
    rows->addWidget(
        AddRow(rListSQLFields, QStringLiteral("Widoczne pola listy SQL"), edListSQLFields, -1));
    rows->addWidget(
        AddRow(rListSQLKey, QStringLiteral("Pole kluczowe listy SQL"), edListSQLKey, 120));
    rows->addStretch(1);
    FRows[rListSQL]->setMinimumHeight(25);
    FRows[rListSQL]->setMaximumHeight(QWIDGETSIZE_MAX);
    FRows[rListSQL]->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    edListSQL->setMinimumHeight(21);

    // The bottom bar: OK (Enter) and Anuluj (Esc) at the right.
    auto *bar = new QWidget;
    bar->setFixedHeight(42);
    auto *buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(8, 8, 8, 9);
    buttons->addStretch(1);
    btnOK = new QPushButton(QStringLiteral("OK"));
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setFixedSize(80, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Anuluj"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setFixedSize(80, 25);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addWidget(bar);

    connect(listTyp, &QComboBox::activated, this, &TF_AddDefParam::listTypChange);
    connect(listTyp, &QComboBox::currentIndexChanged, this, &TF_AddDefParam::listTypChange);
    connect(listLista, &QComboBox::activated, this, &TF_AddDefParam::listTypChange);
    connect(listLista, &QComboBox::currentIndexChanged, this, &TF_AddDefParam::listTypChange);
    connect(btnOK, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TF_AddDefParam::btnCancelClick);
    connect(btnCheckSQL, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { btnCheckSQLClick(); }); });
    edName->installEventFilter(this);
    edDesc->installEventFilter(this);

    for (Row row :
         {rList, rWidth, rDecimal, rListNames, rListValues, rListSQL, rListSQLFields, rListSQLKey})
        ShowRow(row, false);

    // 440 by 280 at first and never smaller; wider when the font's captions need it.
    const QSize least(std::max(440, CaptionWidth() + 288 + btnCheckSQL->sizeHint().width() + 16),
                      280);
    setMinimumSize(least);
    resize(least);
}

int TF_AddDefParam::CaptionWidth() const {
    // The inputs start 128 pixels from the left, or further when the font's captions need it.
    return std::max(128,
                    fontMetrics().horizontalAdvance(QStringLiteral("Widoczne pola listy SQL")) + 8);
}

QWidget *TF_AddDefParam::AddRow(Row row, const QString &caption, QWidget *input, int inputWidth) {
    auto *widget = new QWidget(this);
    widget->setFixedHeight(25);
    auto *line = new QHBoxLayout(widget);
    line->setContentsMargins(0, 2, 0, 2);
    line->setSpacing(0);
    auto *label = new QLabel(caption, widget);
    label->setFixedWidth(CaptionWidth());
    label->setBuddy(input);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    line->addWidget(label, 0, Qt::AlignTop);
    input->setParent(widget);
    if (inputWidth > 0) {
        input->setFixedSize(inputWidth, 21);
        line->addWidget(input, 0, Qt::AlignTop);
        if (row == rWidth)
            line->addWidget(udWidth, 0, Qt::AlignTop);
        if (row == rDecimal)
            line->addWidget(UpDown1, 0, Qt::AlignTop);
        line->addStretch(1);
    } else {
        input->setMinimumWidth(288);
        if (row != rListSQL)
            input->setFixedHeight(21);
        line->addWidget(input, 1);
        if (row == rListSQL) {
            btnCheckSQL->setParent(widget);
            line->addWidget(btnCheckSQL, 0, Qt::AlignTop);
        }
    }
    widget->setAccessibleName(caption);
    FRows[row] = widget;
    return widget;
}

QWidget *TF_AddDefParam::NewUpDown(QLineEdit *edit, const QString &name) {
    // Two small arrow buttons that step the number by 1 between 0 and 1024, without wrapping.
    auto *updown = new QWidget(this);
    updown->setObjectName(name);
    updown->setFixedSize(16, 21);
    auto *column = new QVBoxLayout(updown);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (int step : {1, -1}) {
        auto *button = new QToolButton(updown);
        button->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
        button->setObjectName(name + (step > 0 ? QStringLiteral("Up") : QStringLiteral("Down")));
        button->setFixedSize(16, 10);
        button->setAccessibleName(step > 0 ? QStringLiteral("Więcej") : QStringLiteral("Mniej"));
        button->setAutoRepeat(true);
        column->addWidget(button);
        connect(button, &QToolButton::clicked, edit, [edit, step] {
            bool ok = false;
            const int value = edit->text().toInt(&ok);
            edit->setText(QString::number(std::clamp((ok ? value : 0) + step, 0, MaxWidth)));
        });
    }
    return updown;
}

void TF_AddDefParam::ShowRow(Row row, bool visible) {
    FRows[row]->setVisible(visible);
}

QStringList TF_AddDefParam::VisibleRows() const {
    QStringList captions;
    for (QWidget *row : FRows)
        if (!row->isHidden())
            captions.append(row->accessibleName());
    return captions;
}

void TF_AddDefParam::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TF_AddDefParam::FormShow() {
    listTyp->setCurrentIndex(0);
    listTypChange();
    edName->clear();
    edDesc->clear();
    edName->setFocus();
}

void TF_AddDefParam::listTypChange() {
    const bool chosen = listTyp->currentIndex() >= 0;
    const TOrvel_ParamType type = ParamTypeFromNumber(listTyp->currentData().toInt());
    if (!chosen || type != TOrvel_ParamType::ptText)
        ShowRow(rList, false);
    for (Row row :
         {rWidth, rDecimal, rListNames, rListValues, rListSQL, rListSQLFields, rListSQLKey})
        ShowRow(row, false);
    edWidth->setText(QStringLiteral("0"));
    edWidthDec->setText(QStringLiteral("0"));
    edListNames->clear();
    edListValues->clear();
    edListSQL->clear();
    edListSQLFields->clear();
    edListSQLKey->clear();

    if (!chosen) {
        btnOK->setEnabled(false);
        return;
    }
    switch (type) {
    case TOrvel_ParamType::ptText:
        edWidth->setText(QStringLiteral("50"));
        ShowRow(rList, true);
        ShowRow(rWidth, true);
        if (listLista->currentIndex() == 1) {
            ShowRow(rListNames, true);
            ShowRow(rListValues, true);
        } else if (listLista->currentIndex() == 2) {
            ShowRow(rListSQL, true);
            ShowRow(rListSQLFields, true);
            ShowRow(rListSQLKey, true);
        }
        break;
    case TOrvel_ParamType::ptInt:
        edWidth->setText(QStringLiteral("10"));
        edWidthDec->setText(QStringLiteral("0"));
        ShowRow(rWidth, true);
        break;
    case TOrvel_ParamType::ptNumeric:
        edWidth->setText(QStringLiteral("12"));
        edWidthDec->setText(QStringLiteral("2"));
        ShowRow(rWidth, true);
        ShowRow(rDecimal, true);
        break;
    case TOrvel_ParamType::ptBit:
    case TOrvel_ParamType::ptDate:
        break;
    }
    btnOK->setEnabled(true);
}

bool TF_AddDefParam::eventFilter(QObject *watched, QEvent *event) {
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && event->type() == QEvent::KeyPress && edit->text().isEmpty()) {
        // The first character typed into an empty name or description becomes a capital.
        auto *key = static_cast<QKeyEvent *>(event);
        const QString typed = key->text();
        if (typed.size() == 1 && typed.at(0).isPrint() &&
            !(key->modifiers() & Qt::ControlModifier)) {
            edit->insert(AsciiUpper(typed));
            return true;
        }
    }
    if (watched == edName && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            edNameExit();
    }
    return QDialog::eventFilter(watched, event);
}

void TF_AddDefParam::edNameExit() {
    edDesc->setText(TrimText(edName->text()));
}

void TF_AddDefParam::btnOKClick() {
    if (!FTarget.ValidateDefinition || !FTarget.ValidateDefinition())
        return; // the check has shown its own message

    TOrvel_ParamData param;
    param.name = TrimText(edName->text());
    if (param.name.isEmpty())
        throw EOrvelError(QStringLiteral("Wpisz nazwę parametru"));
    if (listTyp->currentIndex() < 0)
        throw EOrvelError(QStringLiteral("Wybierz typ parametru"));
    param.type = ParamTypeFromNumber(listTyp->currentData().toInt());
    param.width = WholeNumber(edWidth->text());
    param.decimal = WholeNumber(edWidthDec->text());
    param.desc = TrimText(edDesc->text());
    if (param.desc.isEmpty())
        throw EOrvelError(QStringLiteral("Wpisz opis parametru"));
    param.listitems = TrimText(edListNames->text());
    param.listvalues = TrimText(edListValues->text());
    param.key = TrimText(edListSQLKey->text());
    param.listquery = TrimText(edListSQL->toPlainText());
    param.listfields = TrimText(edListSQLFields->text());
    // The name becomes a variable in the script and in every list query of the report: a name
    // the server would not take, or one already used, would break the report elsewhere.
    if (const QString fault = ParamNameFault(param.name); !fault.isEmpty())
        throw EOrvelError(fault);
    RefuseUsedName(param.name);
    // A caption without its value would give NULL, which most reports read as "no filter".
    if (const QString fault = ListCountFault(param); !fault.isEmpty())
        throw EOrvelError(fault);
    if (FTarget.ConfirmDefinitionEdits && !FTarget.ConfirmDefinitionEdits())
        return;                 // Anuluj: the dialog stays open, nothing changed
    RefuseUsedName(param.name); // the definition may have been saved and reloaded
    FParam = param;

    if (FTarget.AddDefinitionItem)
        FTarget.AddDefinitionItem(FParam);
    if (FTarget.SetDefinitionEditorText && FTarget.GetDefinitionText)
        FTarget.SetDefinitionEditorText(FTarget.GetDefinitionText());
    if (FTarget.SaveDefinition && !FTarget.SaveDefinition())
        return;
    if (FTarget.DeclareInScript)
        FTarget.DeclareInScript(FParam);
    accept();
}

void TF_AddDefParam::RefuseUsedName(const QString &name) const {
    if (!FTarget.GetDefinitionText)
        return;
    const QStringList used = DefinitionParamNames(DefinitionFileBytes(FTarget.GetDefinitionText()));
    if (ContainsParamName(used, name))
        throw EOrvelError(QStringLiteral("Parametr o nazwie '%1' już istnieje w definicji raportu "
                                         "(wielkość liter nie ma znaczenia)")
                              .arg(name));
}

void TF_AddDefParam::btnCheckSQLClick() {
    const QString query = TrimText(edListSQL->toPlainText());
    if (!FTarget.ListQueryColumns || query.isEmpty())
        return;
    QStringList columns;
    try {
        columns = FTarget.ListQueryColumns(query);
    } catch (const EDbCancelled &) {
        return; // stopped by the author with "Przerwij": nothing to report
    } catch (const EOrvelError &error) {
        ShowMessage(this, TOrvel_MsgIcon::Error, QStringLiteral("Błąd zapytania"), error.message());
        return;
    }
    if (columns.isEmpty()) {
        ShowMessage(this, TOrvel_MsgIcon::Warning, QStringLiteral("Informacja"),
                    QStringLiteral("Zapytanie nie zwraca żadnych kolumn"));
        return;
    }
    QString text = QStringLiteral("Kolumny zapytania: ") + columns.join(QStringLiteral(", "));
    // The key and the shown fields typed so far must be among them.
    QStringList missing;
    QStringList wanted = SplitListText(edListSQLFields->text());
    wanted.prepend(edListSQLKey->text());
    for (const QString &field : wanted) {
        const QString name = TrimText(field);
        if (!name.isEmpty() && !columns.contains(name, Qt::CaseInsensitive) &&
            !missing.contains(name))
            missing.append(name);
    }
    if (!missing.isEmpty())
        text += QStringLiteral("\nBrak kolumn: ") + missing.join(QStringLiteral(", "));
    ShowMessage(this, missing.isEmpty() ? TOrvel_MsgIcon::Information : TOrvel_MsgIcon::Warning,
                QStringLiteral("Informacja"), text);
}

void TF_AddDefParam::btnCancelClick() {
    reject();
}
