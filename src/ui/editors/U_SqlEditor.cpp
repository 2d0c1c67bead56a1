#include "U_SqlEditor.h"

#include "U_EditorFiles.h"
#include "U_SqlLexer.h"

#include <QFile>

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
    if (FEncoding == TOrvel_TextEncoding::teUtf8 && !bytes.startsWith("\xEF\xBB\xBF"))
        FBom = false;
    return bytes;
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
