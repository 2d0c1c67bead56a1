#pragma once
// The add-parameter dialog: composes one parameter (name, description, type, width, decimal
// places, and for a text parameter an optional fixed or SQL pick list) and appends it to the
// report's definition, which is then saved through the definition editor and reloaded. A name
// that is not a valid SQL variable name, or is used already, is refused.
#include "U_ParamData.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TOrvel_ReportEditors;

// What the dialog changes: the definition editor and the report object.
struct TOrvel_AddParamTarget {
    std::function<bool()> ValidateDefinition; // the definition editor's check
    std::function<bool(const TOrvel_ParamData &)> AddDefinitionItem; // the report's
    std::function<QString()> GetDefinitionText;                      // the report's
    std::function<void(const QString &)> SetDefinitionEditorText;
    std::function<bool()> SaveDefinition; // the definition's save command; false: not saved
    // Before the definition editor's text is replaced: its unsaved changes are asked about
    // (saving reloads the report); false on Anuluj.
    std::function<bool()> ConfirmDefinitionEdits;
    // Adds the new parameter's declaration above the script editor's marker line, unless the
    // script mentions the variable there already; it shows as an unsaved change.
    std::function<void(const TOrvel_ParamData &)> DeclareInScript;
    // "Sprawdź": the columns of a list query opened as the list would open it; the database
    // error passes on.
    std::function<QStringList(const QString &)> ListQueryColumns;

    // The editor's side taken from the report editors.
    static TOrvel_AddParamTarget
    ForEditors(TOrvel_ReportEditors *editors, std::function<bool(const TOrvel_ParamData &)> addItem,
               std::function<QString()> definitionText,
               std::function<QStringList(const QString &)> listColumns = {});
};

class TF_AddDefParam : public QDialog {
    Q_OBJECT
public:
    explicit TF_AddDefParam(QWidget *parent = nullptr);

    // Set before every showing.
    void SetTarget(TOrvel_AddParamTarget target) { FTarget = std::move(target); }

    void FormShow();
    void listTypChange();
    void edNameExit();
    void btnOKClick();
    void btnCancelClick();
    // "Sprawdź" beside the list query: shows the columns the query gives, or the server's error.
    void btnCheckSQLClick();

    // The record filled by the last confirmation.
    const TOrvel_ParamData &Param() const { return FParam; }
    // The captions of the rows shown now, top to bottom.
    QStringList VisibleRows() const;

    QLineEdit *edName;
    QLineEdit *edDesc;
    QComboBox *listTyp;
    QComboBox *listLista;
    QLineEdit *edWidth;
    QWidget *udWidth;
    QLineEdit *edWidthDec;
    QWidget *UpDown1;
    QLineEdit *edListNames;
    QLineEdit *edListValues;
    QPlainTextEdit *edListSQL;
    QLineEdit *edListSQLFields;
    QLineEdit *edListSQLKey;
    QPushButton *btnCheckSQL;
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum Row {
        rName,
        rDesc,
        rType,
        rList,
        rWidth,
        rDecimal,
        rListNames,
        rListValues,
        rListSQL,
        rListSQLFields,
        rListSQLKey,
        RowCount
    };
    int CaptionWidth() const;
    QWidget *AddRow(Row row, const QString &caption, QWidget *input, int inputWidth);
    QWidget *NewUpDown(QLineEdit *edit, const QString &name);
    void ShowRow(Row row, bool visible);
    // Throws the user's error when the report's definition has a parameter of this name.
    void RefuseUsedName(const QString &name) const;

    QWidget *FRows[RowCount] = {};
    TOrvel_AddParamTarget FTarget;
    TOrvel_ParamData FParam;
};

// The single add-parameter dialog of the process (null until the main window creates it).
extern TF_AddDefParam *F_AddDefParam;
