#include "U_ReportEditor.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <algorithm>

TOrvel_ReportEditor::TOrvel_ReportEditor(QWidget *parent) : QsciScintilla(parent) {
    setUtf8(true);
    setFont(EditorFont());
    setMarginsFont(EditorFont());
    setMarginType(0, QsciScintilla::NumberMargin);
    setMarginLineNumbers(0, true);
    setMarginsBackgroundColor(QColor(0xF1, 0xF1, 0xF8));
    setMarginsForegroundColor(QColor(0x00, 0xBD, 0xE6));
    setMarginWidth(1, 0);
    setMarginWidth(2, 0);
    setFolding(QsciScintilla::NoFoldStyle);
    setEdgeMode(QsciScintilla::EdgeNone);
    setEolMode(QsciScintilla::EolWindows);
    setAutoIndent(true);
    setBackspaceUnindents(true);
    setCaretLineVisible(false);
    // The caret may go past the end of a line.
    SendScintilla(SCI_SETVIRTUALSPACEOPTIONS,
                  static_cast<unsigned long>(SCVS_RECTANGULARSELECTION | SCVS_USERACCESSIBLE));
    setBraceMatching(QsciScintilla::SloppyBraceMatch);
    BindKeys();
    setReadOnly(true);
    connect(this, &QsciScintilla::linesChanged, this, &TOrvel_ReportEditor::UpdateGutterWidth);
    UpdateGutterWidth();
}

QFont TOrvel_ReportEditor::EditorFont() {
    QFont font(QStringLiteral("Courier New"), 9);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

void TOrvel_ReportEditor::BindKeys() {
    QsciCommandSet *commands = standardCommands();
    const auto unbind = [commands](int key) {
        if (QsciCommand *command = commands->boundTo(key)) {
            if (command->key() == key)
                command->setKey(0);
            else
                command->setAlternateKey(0);
        }
    };
    // Ctrl+/ comments lines out in the script editor; the editor's own use of it (one word part
    // to the left) gives way. Ctrl+Shift+Z redoes, as Ctrl+Y does.
    unbind((Qt::CTRL | Qt::Key_Slash).toCombined());
    const int redoKey = (Qt::CTRL | Qt::SHIFT | Qt::Key_Z).toCombined();
    unbind(redoKey);
    if (QsciCommand *redo = commands->find(QsciCommand::Redo))
        redo->setAlternateKey(redoKey);
}

void TOrvel_ReportEditor::SetEditorText(const QString &text) {
    const bool wasReadOnly = isReadOnly();
    setReadOnly(false);
    setText(text);
    setReadOnly(wasReadOnly);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    // The text now is the file's: the tab's mark of unsaved changes goes.
    setModified(false);
    setCursorPosition(0, 0);
}

void TOrvel_ReportEditor::ShowPosition(int line, int column) {
    const int target = std::clamp(line, 1, std::max(1, lines())) - 1;
    setCursorPosition(target, std::max(0, column - 1));
    ensureLineVisible(target);
    ensureCursorVisible();
    // Called right after a message box: the window takes the keyboard back, so the editor's
    // keys (Ctrl+G, Ctrl+S ...) work at once.
    window()->activateWindow();
    setFocus();
}

void TOrvel_ReportEditor::InsertAsOneEdit(const QString &text) {
    const bool overwrite = overwriteMode();
    setOverwriteMode(false);
    beginUndoAction();
    insert(text);
    endUndoAction();
    setOverwriteMode(overwrite);
}

void TOrvel_ReportEditor::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier && !isReadOnly() &&
        HandleTabKey()) {
        event->accept();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

void TOrvel_ReportEditor::UpdateGutterWidth() {
    setMarginWidth(0, QStringLiteral("00%1").arg(lines()));
}

QMenu *TOrvel_ReportEditor::CreateEditMenu(QWidget *parent) {
    auto *menu = new QMenu(parent);
    const bool writable = !isReadOnly();
    const bool selected = hasSelectedText();
    const auto add = [menu](const QString &caption, QKeySequence::StandardKey key, bool enabled,
                            auto slot) {
        QAction *action = menu->addAction(caption);
        action->setShortcut(QKeySequence(key));
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, menu, slot);
        return action;
    };
    add(QStringLiteral("&Cofnij"), QKeySequence::Undo, writable && isUndoAvailable(),
        [this] { undo(); });
    add(QStringLiteral("&Ponów"), QKeySequence::Redo, writable && isRedoAvailable(),
        [this] { redo(); });
    menu->addSeparator();
    add(QStringLiteral("Wy&tnij"), QKeySequence::Cut, writable && selected, [this] { cut(); });
    add(QStringLiteral("&Kopiuj"), QKeySequence::Copy, selected, [this] { copy(); });
    add(QStringLiteral("&Wklej"), QKeySequence::Paste, writable && SendScintilla(SCI_CANPASTE) != 0,
        [this] { paste(); });
    add(QStringLiteral("&Usuń"), QKeySequence::Delete, writable && selected,
        [this] { removeSelectedText(); });
    menu->addSeparator();
    add(QStringLiteral("&Zaznacz wszystko"), QKeySequence::SelectAll, length() > 0,
        [this] { selectAll(); });
    return menu;
}

void TOrvel_ReportEditor::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = CreateEditMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}
