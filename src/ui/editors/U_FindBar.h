#pragma once
// The small bar under a report editor for finding (Ctrl+F, F3 for the next match), replacing
// (Ctrl+H) and going to a line (Ctrl+G), built on QScintilla's own find functions. Esc closes it
// and gives the focus back to the editor.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QsciScintilla;

class TOrvel_FindBar : public QWidget {
    Q_OBJECT
public:
    explicit TOrvel_FindBar(QsciScintilla *editor, QWidget *parent = nullptr);

    // Opens the bar with the find row (and the replace row); the selected text, when it is on one
    // line, becomes the text to find.
    void ShowFind();
    void ShowReplace();
    void ShowGoToLine();
    void Close();

    // Selects the next match after the caret, going round past the end; false when there is none
    // (the find field then says so).
    bool FindNext();
    // Replaces the selected match (when the selection is one) and selects the next match.
    void ReplaceOne();
    // Replaces every match in the text as one undoable edit; returns how many.
    int ReplaceAll();
    // Puts the caret at the start of a 1-based line (clamped to the text) and shows it.
    void GoToLine(int line);

    QLineEdit *edFind;
    QLineEdit *edReplace;
    QLineEdit *edLine;
    QLabel *labResult;
    QPushButton *btnFindNext;
    QPushButton *btnReplace;
    QPushButton *btnReplaceAll;
    QToolButton *btnClose;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ShowRows(bool find, bool replace, bool line);
    void ShowNotFound(bool notFound);
    bool SelectionIsMatch() const;

    QsciScintilla *FEditor;
    QWidget *FFindRow;
    QWidget *FReplaceRow;
    QWidget *FLineRow;
    QString FSearched; // the text of the search QScintilla continues with findNext
};
