#pragma once
// A drop-down pick list fed by a query: the rows of its list source are the entries, the key
// field's value of the chosen row is the list's key value, and the list fields are shown as
// columns in the drop-down (the first one also in the closed box).
#include <QComboBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class DbQuery;
class QStandardItemModel;
class QTreeView;

class DbLookupList : public QComboBox {
    Q_OBJECT
public:
    explicit DbLookupList(QWidget *parent = nullptr);

    // The query whose rows fill the list; not owned. The owner calls ReloadEntries after it has
    // opened or closed the query.
    void SetListSource(DbQuery *query);
    DbQuery *ListSource() const { return FSource; }

    void SetKeyField(const QString &name);
    QString KeyField() const { return FKeyField; }
    // Names separated by ";"; with none, the key field is shown.
    void SetListFields(const QString &names);
    QStringList ListFields() const;

    // The key value: the key field's value of the chosen row; invalid for no choice.
    QVariant KeyValue() const { return FKeyValue; }
    // Shows the row whose key, as text, equals the given text (none when no row has it).
    void SetKeyText(const QString &keyText);
    QString KeyText() const { return FKeyText; }
    // How a key value is written as text for the comparison; the value's own text by default.
    void SetKeyTextFunction(std::function<QString(const QVariant &)> function);

    // Re-reads the entries from the list source. Raises the database interface's error when the
    // key field or a list field is missing from the open result; the list is then left empty.
    void ReloadEntries();

    // The text of the closed box: the first list field, and when another row shows the same
    // text, the row's other list fields in parentheses after it.
    QString ClosedText() const;

signals:
    void entered();       // the control took the focus
    void left();          // the control lost the focus
    void entryChosen();   // the user chose an entry (a click or the keyboard)
    void deletePressed(); // the Delete key emptied the list

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showPopup() override;
    void paintEvent(QPaintEvent *event) override;

private:
    void ShowKey();
    void MarkRepeatedTexts();
    void EntryActivated(int index);

    QPointer<DbQuery> FSource;
    QString FKeyField;
    QString FListFields;
    QVariant FKeyValue;
    QString FKeyText;
    std::function<QString(const QVariant &)> FKeyTextOf;
    QStandardItemModel *FModel;
    QTreeView *FView;
    bool FReloading = false;
};
