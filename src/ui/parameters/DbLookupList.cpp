#include "DbLookupList.h"

#include "U_Db.h"
#include "U_ParamInput.h"
#include "U_SqlListText.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTreeView>

namespace {
constexpr int KeyRole = Qt::UserRole + 1;
constexpr int ClosedTextRole = Qt::UserRole + 2; // what the closed box shows for the row
constexpr int PopupRows = 20;

// Entering and leaving count only for focus moves inside the window: not for the list's own
// drop-down, nor for the window losing or regaining the focus.
bool MovesWithinWindow(const QFocusEvent *event) {
    return event->reason() != Qt::PopupFocusReason &&
           event->reason() != Qt::ActiveWindowFocusReason;
}
} // namespace

DbLookupList::DbLookupList(QWidget *parent)
    : QComboBox(parent), FModel(new QStandardItemModel(this)), FView(new QTreeView(this)) {
    setEditable(false);
    setModel(FModel);
    // The drop-down shows every list field as a column; the closed box shows the first.
    FView->setHeaderHidden(true);
    FView->setRootIsDecorated(false);
    FView->setItemsExpandable(false);
    FView->setUniformRowHeights(true);
    FView->setAllColumnsShowFocus(true);
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    setView(FView);
    // A long list drops down 20 rows high and scrolls, instead of covering the screen.
    setMaxVisibleItems(PopupRows);
    setStyleSheet(QStringLiteral("DbLookupList { combobox-popup: 0; }"));
    setModelColumn(0);
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, &DbLookupList::EntryActivated);
}

void DbLookupList::SetListSource(DbQuery *query) {
    FSource = query;
}

void DbLookupList::SetKeyField(const QString &name) {
    FKeyField = name;
}

void DbLookupList::SetListFields(const QString &names) {
    FListFields = names;
}

QStringList DbLookupList::ListFields() const {
    return SqlListFieldNames(FListFields, FKeyField);
}

void DbLookupList::SetKeyTextFunction(std::function<QString(const QVariant &)> function) {
    FKeyTextOf = std::move(function);
}

void DbLookupList::SetKeyText(const QString &keyText) {
    FKeyText = keyText;
    ShowKey();
}

void DbLookupList::ShowKey() {
    int found = -1;
    FKeyValue = QVariant();
    if (!FKeyText.isEmpty()) {
        for (int row = 0; row < FModel->rowCount(); ++row) {
            const QVariant key = FModel->item(row, 0)->data(KeyRole);
            if ((FKeyTextOf ? FKeyTextOf(key) : key.toString()) == FKeyText) {
                found = row;
                FKeyValue = key;
                break;
            }
        }
    }
    FReloading = true;
    setCurrentIndex(found);
    FReloading = false;
}

void DbLookupList::ReloadEntries() {
    FReloading = true;
    FModel->clear();
    FReloading = false;
    if (FSource && FSource->IsOpen()) {
        // Look every field up first, so a missing one leaves the list empty rather than half
        // filled.
        DbField *key = FSource->FieldByName(FKeyField);
        std::vector<DbField *> shown;
        for (const QString &name : ListFields())
            shown.push_back(FSource->FieldByName(name));
        const int rows = FSource->RecordCount();
        FModel->setColumnCount(static_cast<int>(shown.size()));
        for (int row = 0; row < rows; ++row) {
            QList<QStandardItem *> items;
            for (DbField *field : shown) {
                auto *item = new QStandardItem(field->DisplayTextAt(row));
                item->setEditable(false);
                items << item;
            }
            items.first()->setData(key->ValueAt(row), KeyRole);
            FModel->appendRow(items);
        }
    }
    MarkRepeatedTexts();
    ShowKey();
}

void DbLookupList::MarkRepeatedTexts() {
    // Rows that show the same first text are told apart by their other list fields, by the rule
    // every shown list text follows.
    std::vector<QStringList> rows(static_cast<std::size_t>(FModel->rowCount()));
    for (int row = 0; row < FModel->rowCount(); ++row)
        for (int column = 0; column < FModel->columnCount(); ++column)
            rows[static_cast<std::size_t>(row)] << FModel->item(row, column)->text();
    const QStringList shown = SqlListShownTexts(rows);
    for (int row = 0; row < FModel->rowCount(); ++row)
        FModel->item(row, 0)->setData(shown.at(row), ClosedTextRole);
}

QString DbLookupList::ClosedText() const {
    const int row = currentIndex();
    return row >= 0 && row < FModel->rowCount()
               ? FModel->item(row, 0)->data(ClosedTextRole).toString()
               : QString();
}

void DbLookupList::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = ClosedText();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void DbLookupList::showPopup() {
    for (int column = 0; column < FModel->columnCount(); ++column)
        FView->resizeColumnToContents(column);
    int wanted = 0;
    for (int column = 0; column < FModel->columnCount(); ++column)
        wanted += FView->columnWidth(column);
    FView->setMinimumWidth(qMin(wanted + 24, 1000));
    QComboBox::showPopup();
}

void DbLookupList::EntryActivated(int index) {
    if (FReloading)
        return;
    QStandardItem *item = index >= 0 ? FModel->item(index, 0) : nullptr;
    FKeyValue = item ? item->data(KeyRole) : QVariant();
    FKeyText = item ? (FKeyTextOf ? FKeyTextOf(FKeyValue) : FKeyValue.toString()) : QString();
    emit entryChosen();
}

void DbLookupList::focusInEvent(QFocusEvent *event) {
    QComboBox::focusInEvent(event);
    if (MovesWithinWindow(event))
        emit entered();
}

void DbLookupList::focusOutEvent(QFocusEvent *event) {
    QComboBox::focusOutEvent(event);
    if (MovesWithinWindow(event))
        emit left();
}

void DbLookupList::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        FKeyText.clear();
        ShowKey();
        emit deletePressed();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}
