#include "U_SqlEditor.h"

#include "U_EditorFiles.h"
#include "U_ScriptDeclarations.h"
#include "U_SqlLexer.h"

#include <QFile>
#include <QKeyEvent>

#include <algorithm>
#include <climits>

TOrvel_SqlEditor::TOrvel_SqlEditor(QWidget *parent) : TOrvel_ReportEditor(parent) {
    setObjectName(QStringLiteral("edReportSQL"));
    setTabWidth(2);
    setIndentationsUseTabs(false);
    setTabIndents(false);
    setLexer(new TOrvel_SqlLexer(this));
    setMarginsFont(EditorFont());
    setMarginsBackgroundColor(QColor(0xF1, 0xF1, 0xF8));
    setMarginsForegroundColor(QColor(0x00, 0xBD, 0xE6));
}

void TOrvel_SqlEditor::SetScript(const QString &text, const QString &sourceFile) {
    FEncoding = TOrvel_TextEncoding::teWindows1250;
    FBom = false;
    FSourceFile = sourceFile;
    QFile file(sourceFile);
    if (!sourceFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const TOrvel_DecodedText decoded = DecodeScriptText(file.readAll());
        FEncoding = decoded.Encoding;
        FBom = decoded.Bom;
    }
    SetEditorText(text);
}

QByteArray TOrvel_SqlEditor::FileBytes() {
    QByteArray bytes = ScriptFileBytes(text(), FEncoding, FBom);
    FBom = bytes.startsWith("\xEF\xBB\xBF");
    return bytes;
}

namespace {
bool IsRunKey(const QKeyEvent *key) {
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_F5)
        return modifiers == Qt::NoModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           modifiers == Qt::ControlModifier;
}

int Indentation(const QString &line) {
    int i = 0;
    while (i < line.size() && (line.at(i) == u' ' || line.at(i) == u'\t'))
        ++i;
    return i;
}

QString WithoutLineEnd(QString line) {
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}
} // namespace

bool TOrvel_SqlEditor::event(QEvent *event) {
    // The run keys belong to the script editor while it has the focus, before any shortcut of
    // the window: the run then first asks about unsaved changes.
    if (event->type() == QEvent::ShortcutOverride && IsRunKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return TOrvel_ReportEditor::event(event);
}

void TOrvel_SqlEditor::keyPressEvent(QKeyEvent *event) {
    if (IsRunKey(event)) {
        event->accept();
        emit runRequested();
        return;
    }
    TOrvel_ReportEditor::keyPressEvent(event);
}

void TOrvel_SqlEditor::ToggleLineComments() {
    if (isReadOnly())
        return;
    int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
    const bool selection = hasSelectedText();
    if (selection) {
        getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
        if (indexTo == 0 && lineTo > lineFrom)
            --lineTo; // a selection ending at a line's start leaves that line alone
    } else {
        getCursorPosition(&lineFrom, &indexFrom);
        lineTo = lineFrom;
    }
    bool allCommented = true;
    int indent = INT_MAX;
    for (int line = lineFrom; line <= lineTo; ++line) {
        const QString t = WithoutLineEnd(text(line));
        if (t.trimmed().isEmpty())
            continue;
        const int at = Indentation(t);
        indent = std::min(indent, at);
        allCommented = allCommented && t.mid(at).startsWith(QStringLiteral("--"));
    }
    if (indent == INT_MAX)
        return; // blank lines only
    beginUndoAction();
    for (int line = lineFrom; line <= lineTo; ++line) {
        const QString t = WithoutLineEnd(text(line));
        if (t.trimmed().isEmpty())
            continue;
        if (allCommented) {
            const int at = Indentation(t);
            const int length = t.mid(at + 2).startsWith(u' ') ? 3 : 2;
            setSelection(line, at, line, at + length);
            removeSelectedText();
        } else {
            insertAt(QStringLiteral("-- "), line, indent);
        }
    }
    endUndoAction();
    if (selection)
        setSelection(lineFrom, 0, lineTo, int(WithoutLineEnd(text(lineTo)).size()));
}

bool TOrvel_SqlEditor::AddDeclaration(const TOrvel_ParamData &param) {
    const int line = DeclarationLine(text(), param.name);
    if (line < 0)
        return false;
    const bool wasReadOnly = isReadOnly();
    setReadOnly(false);
    beginUndoAction();
    insertAt(ParamDeclarationText(param) + QStringLiteral("\r\n"), line, 0);
    endUndoAction();
    setReadOnly(wasReadOnly);
    return true;
}

void TOrvel_SqlEditor::InsertMarkerLine(const QString &marker) {
    int line = 0;
    int index = 0;
    getCursorPosition(&line, &index);
    // The selection is dropped, not deleted; the caret goes to the first column of its line.
    setCursorPosition(line, 0);
    InsertAsOneEdit(marker + QStringLiteral("\r\n"));
}

bool TOrvel_SqlEditor::HandleTabKey() {
    if (hasSelectedText())
        return false; // the editor's own indenting of the selected lines
    const long pos = SendScintilla(SCI_GETCURRENTPOS);
    if (SendScintilla(SCI_GETSELECTIONNCARETVIRTUALSPACE, 0UL) > 0)
        return false;
    const long column = SendScintilla(SCI_GETCOLUMN, static_cast<unsigned long>(pos));
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(pos));

    long target = -1;
    if (line > 0) {
        // Smart tab: the start of the next word of the line above, counted in display columns.
        const QString above = text(int(line - 1));
        long col = 0;
        bool inWord = false;
        bool passedWord = false;
        for (const QChar c : above) {
            if (c == u'\r' || c == u'\n')
                break;
            const bool blank = c == u' ' || c == u'\t';
            if (col >= column) {
                if (!blank && (passedWord || !inWord) && col > column) {
                    target = col;
                    break;
                }
                if (blank)
                    passedWord = true;
            }
            inWord = !blank;
            col = c == u'\t' ? (col / tabWidth() + 1) * tabWidth() : col + 1;
        }
    }
    if (target <= column)
        target = (column / tabWidth() + 1) * tabWidth();
    replaceSelectedText(QString(int(target - column), u' '));
    return true;
}
