#pragma once
// What both report editors share: a QScintilla editor with the fixed-pitch font, a line-number
// gutter, no right margin line, automatic indent, virtual space after the line end, grouped undo
// and smart deletion of indentation, matching brackets marked, Ctrl+Shift+Z redoing as Ctrl+Y
// does. Read-only at creation. Each language is a subclass that sets
// its lexer and tab behaviour and says how its text is written to a file.
#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QFont>

class QMenu;

class TOrvel_ReportEditor : public QsciScintilla {
    Q_OBJECT
public:
    explicit TOrvel_ReportEditor(QWidget *parent = nullptr);

    // The bytes a save writes for the current text.
    virtual QByteArray FileBytes() = 0;

    // The editor's text; line breaks stay as they are held.
    QString EditorText() const { return text(); }
    // Replaces the whole text (also while read-only), with an empty undo history.
    void SetEditorText(const QString &text);

    // Inserts text at the caret as one undoable edit, in insert mode whatever the mode is.
    void InsertAsOneEdit(const QString &text);
    // Puts the caret on a 1-based line and column (0: the line's start), shows it and takes the
    // focus.
    void ShowPosition(int line, int column);

    static QFont EditorFont();

    // The right-click menu: undo, redo, cut, copy, paste, delete, select all, with Polish
    // captions (the editor component ships no Polish texts of its own). The caller owns it.
    QMenu *CreateEditMenu(QWidget *parent);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // The tab key without modifiers; true when the subclass has handled it.
    virtual bool HandleTabKey() { return false; }

private:
    void BindKeys();
    void UpdateGutterWidth();
};
