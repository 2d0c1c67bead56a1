#include "U_FindBar.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>
#include <algorithm>

namespace {

QWidget *NewRow(QWidget *parent, const QString &caption, QLineEdit *edit, QLabel **label) {
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->setSpacing(4);
    auto *text = new QLabel(caption, row);
    text->setMinimumWidth(text->fontMetrics().horizontalAdvance(QStringLiteral("Zamień na:")) + 4);
    text->setBuddy(edit);
    layout->addWidget(text);
    edit->setParent(row);
    layout->addWidget(edit, 1);
    if (label)
        *label = text;
    return row;
}

QPushButton *AddButton(QWidget *row, const char *name, const QString &caption) {
    auto *button = new QPushButton(caption, row);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    static_cast<QHBoxLayout *>(row->layout())->addWidget(button);
    return button;
}

} // namespace

TOrvel_FindBar::TOrvel_FindBar(QsciScintilla *editor, QWidget *parent)
    : QWidget(parent), FEditor(editor) {
    setObjectName(QStringLiteral("barFind"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->setSpacing(0);

    edFind = new QLineEdit;
    edFind->setObjectName(QStringLiteral("edFind"));
    edFind->setClearButtonEnabled(true);
    FFindRow = NewRow(this, QStringLiteral("Znajdź:"), edFind, nullptr);
    btnFindNext = AddButton(FFindRow, "btnFindNext", QStringLiteral("Znajdź następny"));
    labResult = new QLabel(FFindRow);
    labResult->setObjectName(QStringLiteral("labFindResult"));
    labResult->setMinimumWidth(
        labResult->fontMetrics().horizontalAdvance(QStringLiteral("Nie znaleziono")));
    static_cast<QHBoxLayout *>(FFindRow->layout())->addWidget(labResult);
    btnClose = new QToolButton(FFindRow);
    btnClose->setObjectName(QStringLiteral("btnFindClose"));
    btnClose->setText(QStringLiteral("✕"));
    btnClose->setToolTip(QStringLiteral("Zamknij (Esc)"));
    btnClose->setAccessibleName(QStringLiteral("Zamknij wyszukiwanie"));
    btnClose->setAutoRaise(true);
    static_cast<QHBoxLayout *>(FFindRow->layout())->addWidget(btnClose);
    layout->addWidget(FFindRow);

    edReplace = new QLineEdit;
    edReplace->setObjectName(QStringLiteral("edReplace"));
    FReplaceRow = NewRow(this, QStringLiteral("Zamień na:"), edReplace, nullptr);
    btnReplace = AddButton(FReplaceRow, "btnReplace", QStringLiteral("Zamień"));
    btnReplaceAll = AddButton(FReplaceRow, "btnReplaceAll", QStringLiteral("Zamień wszystko"));
    layout->addWidget(FReplaceRow);

    edLine = new QLineEdit;
    edLine->setObjectName(QStringLiteral("edLine"));
    edLine->setValidator(new QIntValidator(1, 99999999, edLine));
    FLineRow = NewRow(this, QStringLiteral("Wiersz:"), edLine, nullptr);
    layout->addWidget(FLineRow);

    connect(btnFindNext, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(btnReplace, &QPushButton::clicked, this, &TOrvel_FindBar::ReplaceOne);
    connect(btnReplaceAll, &QPushButton::clicked, this, [this] { ReplaceAll(); });
    connect(btnClose, &QToolButton::clicked, this, &TOrvel_FindBar::Close);
    connect(edFind, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(edFind, &QLineEdit::textChanged, this, [this] { ShowNotFound(false); });
    connect(edReplace, &QLineEdit::returnPressed, this, &TOrvel_FindBar::ReplaceOne);
    connect(edLine, &QLineEdit::returnPressed, this, [this] {
        if (edLine->hasAcceptableInput())
            GoToLine(edLine->text().toInt());
    });
    // Esc closes the bar from whichever of its controls has the focus.
    for (QWidget *input : std::initializer_list<QWidget *>{edFind, edReplace, edLine, btnFindNext,
                                                           btnReplace, btnReplaceAll, btnClose})
        input->installEventFilter(this);
    hide();
}

void TOrvel_FindBar::ShowRows(bool find, bool replace, bool line) {
    FFindRow->setVisible(find);
    FReplaceRow->setVisible(replace);
    FLineRow->setVisible(line);
    show();
}

void TOrvel_FindBar::ShowFind() {
    if (FEditor->hasSelectedText() && !FEditor->selectedText().contains(u'\n') &&
        !FEditor->selectedText().contains(u'\r'))
        edFind->setText(FEditor->selectedText());
    ShowRows(true, false, false);
    edFind->setFocus();
    edFind->selectAll();
}

void TOrvel_FindBar::ShowReplace() {
    ShowFind();
    ShowRows(true, !FEditor->isReadOnly(), false);
}

void TOrvel_FindBar::ShowGoToLine() {
    int line = 0, index = 0;
    FEditor->getCursorPosition(&line, &index);
    edLine->setText(QString::number(line + 1));
    ShowRows(false, false, true);
    edLine->setFocus();
    edLine->selectAll();
}

void TOrvel_FindBar::Close() {
    hide();
    FEditor->setFocus();
}

void TOrvel_FindBar::ShowNotFound(bool notFound) {
    labResult->setText(notFound ? QStringLiteral("Nie znaleziono") : QString());
    edFind->setStyleSheet(notFound ? QStringLiteral("QLineEdit { background: #FFD0D0; }")
                                   : QString());
}

bool TOrvel_FindBar::SelectionIsMatch() const {
    return FEditor->hasSelectedText() &&
           FEditor->selectedText().compare(edFind->text(), Qt::CaseInsensitive) == 0;
}

bool TOrvel_FindBar::FindNext() {
    const QString text = edFind->text();
    if (text.isEmpty()) {
        ShowFind();
        return false;
    }
    bool found = false;
    if (text == FSearched && SelectionIsMatch()) {
        found = FEditor->findNext();
    } else {
        // From the caret, or from the end of the selection, going round past the end.
        int line = -1, index = -1;
        if (FEditor->hasSelectedText()) {
            int lineFrom = 0, indexFrom = 0;
            FEditor->getSelection(&lineFrom, &indexFrom, &line, &index);
        }
        FSearched = text;
        found = FEditor->findFirst(text, false, false, false, true, true, line, index, true);
    }
    ShowNotFound(!found);
    return found;
}

void TOrvel_FindBar::ReplaceOne() {
    if (FEditor->isReadOnly())
        return;
    if (SelectionIsMatch() && edFind->text() == FSearched)
        FEditor->replace(edReplace->text());
    FindNext();
}

int TOrvel_FindBar::ReplaceAll() {
    const QString text = edFind->text();
    if (FEditor->isReadOnly() || text.isEmpty())
        return 0;
    int count = 0;
    FEditor->beginUndoAction();
    // From the start to the end without going round, so a replacement that holds the searched
    // text is not found again.
    bool found = FEditor->findFirst(text, false, false, false, false, true, 0, 0, false);
    while (found) {
        FEditor->replace(edReplace->text());
        ++count;
        found = FEditor->findNext();
    }
    FEditor->endUndoAction();
    FSearched.clear();
    labResult->setText(count > 0 ? QStringLiteral("Zamieniono: %1").arg(count)
                                 : QStringLiteral("Nie znaleziono"));
    return count;
}

void TOrvel_FindBar::GoToLine(int line) {
    const int target = std::clamp(line, 1, std::max(1, FEditor->lines())) - 1;
    FEditor->setCursorPosition(target, 0);
    FEditor->ensureLineVisible(target);
    Close();
}

bool TOrvel_FindBar::eventFilter(QObject *watched, QEvent *event) {
    const bool escape =
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier;
    if (escape && event->type() == QEvent::ShortcutOverride) {
        // Esc in the bar is the bar's own: the window's Esc shortcut (stopping a run) would take
        // the key first, and the bar would stay open with the focus in its field.
        event->accept();
        return true;
    }
    if (escape) {
        Close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
