#include "U_XmlEditor.h"

#include "U_EditorFiles.h"

#include <Qsci/qscilexerxml.h>

TOrvel_XmlEditor::TOrvel_XmlEditor(QWidget *parent) : TOrvel_ReportEditor(parent) {
    setObjectName(QStringLiteral("edReportDefinition"));
    setTabWidth(4);
    setIndentationsUseTabs(true);
    setTabIndents(false);

    auto *lexer = new QsciLexerXML(this);
    const QFont font = EditorFont(); // upright everywhere: plain text and elements included
    lexer->setDefaultFont(font);
    lexer->setFont(font, -1);
    lexer->setDefaultPaper(Qt::white);
    lexer->setPaper(Qt::white, -1);
    lexer->setColor(Qt::black, -1);
    lexer->setColor(QColor(0xFF, 0x6C, 0x6C), QsciLexerHTML::Tag);
    lexer->setColor(QColor(0xFF, 0x6C, 0x6C), QsciLexerHTML::UnknownTag);
    lexer->setColor(QColor(0x8F, 0x8B, 0xDA), QsciLexerHTML::Entity);
    lexer->setColor(QColor(Qt::darkGreen), QsciLexerHTML::XMLStart);
    lexer->setColor(QColor(Qt::darkGreen), QsciLexerHTML::XMLEnd);
    for (int style : {int(QsciLexerHTML::SGMLDefault), int(QsciLexerHTML::SGMLCommand),
                      int(QsciLexerHTML::SGMLParameter), int(QsciLexerHTML::SGMLDoubleQuotedString),
                      int(QsciLexerHTML::SGMLSingleQuotedString), int(QsciLexerHTML::SGMLError),
                      int(QsciLexerHTML::SGMLSpecial), int(QsciLexerHTML::SGMLEntity),
                      int(QsciLexerHTML::SGMLComment), int(QsciLexerHTML::SGMLBlockDefault)})
        lexer->setColor(QColor(0x00, 0x40, 0x80), style);
    lexer->setColor(QColor(Qt::red), QsciLexerHTML::XMLTagEnd);
    lexer->setColor(QColor(Qt::red), QsciLexerHTML::OtherInTag);
    setLexer(lexer);
    setMarginsFont(EditorFont());
    setMarginsBackgroundColor(QColor(0xF1, 0xF1, 0xF8));
    setMarginsForegroundColor(QColor(0x00, 0xBD, 0xE6));
}

QByteArray TOrvel_XmlEditor::FileBytes() {
    return DefinitionFileBytes(text());
}

bool TOrvel_XmlEditor::HandleTabKey() {
    if (!hasSelectedText())
        return false; // the editor's own tab: one tab character
    int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
    getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (indexTo == 0 && lineTo > lineFrom)
        --lineTo; // a selection ending at a line's start leaves that line alone
    beginUndoAction();
    for (int line = lineFrom; line <= lineTo; ++line)
        indent(line);
    endUndoAction();
    return true;
}
