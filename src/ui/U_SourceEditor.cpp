#include "U_SourceEditor.h"

#include <Qsci/qscilexersql.h>
#include <Qsci/qscilexerxml.h>

namespace {
QFont EditorFont() {
    QFont font(QStringLiteral("Courier New"), 9);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
} // namespace

TOrvel_SourceEditor::TOrvel_SourceEditor(Language language, QWidget *parent)
    : QsciScintilla(parent), FLanguage(language) {
    setUtf8(true);
    setFont(EditorFont());
    setMarginsFont(EditorFont());
    setMarginType(0, QsciScintilla::NumberMargin);
    setMarginLineNumbers(0, true);
    setMarginsBackgroundColor(QColor(0xF1, 0xF1, 0xF8));
    setMarginsForegroundColor(QColor(0x00, 0xBD, 0xE6));
    setMarginWidth(1, 0);
    setEdgeMode(QsciScintilla::EdgeNone);
    setAutoIndent(true);
    setBackspaceUnindents(true);
    setTabIndents(true);
    setEolMode(QsciScintilla::EolWindows);
    setReadOnly(true);
    if (language == Language::Sql)
        SetupSql();
    else
        SetupXml();
    connect(this, &QsciScintilla::linesChanged, this, &TOrvel_SourceEditor::UpdateGutterWidth);
    UpdateGutterWidth();
}

void TOrvel_SourceEditor::SetupSql() {
    setTabWidth(2);
    setIndentationsUseTabs(false);
    auto *lexer = new QsciLexerSQL(this);
    lexer->setDefaultFont(EditorFont());
    lexer->setFont(EditorFont());
    const QColor comment(0xB1, 0xB1, 0xB1);
    lexer->setColor(comment, QsciLexerSQL::Comment);
    lexer->setColor(comment, QsciLexerSQL::CommentLine);
    lexer->setColor(QColor(0x00, 0x7C, 0xB9), QsciLexerSQL::CommentDoc);
    lexer->setColor(QColor(0x00, 0x5E, 0x8A), QsciLexerSQL::Identifier);
    lexer->setColor(QColor(0x00, 0x5E, 0x8A), QsciLexerSQL::QuotedIdentifier);
    lexer->setColor(QColor(0x30, 0x30, 0x30), QsciLexerSQL::Keyword);
    lexer->setColor(QColor(0xE8, 0x74, 0x00), QsciLexerSQL::Number);
    lexer->setColor(QColor(0x00, 0xA3, 0xD9), QsciLexerSQL::SingleQuotedString);
    lexer->setColor(QColor(0x00, 0xA3, 0xD9), QsciLexerSQL::DoubleQuotedString);
    lexer->setColor(Qt::red, QsciLexerSQL::Operator);
    setLexer(lexer);
}

void TOrvel_SourceEditor::SetupXml() {
    setTabWidth(4);
    setIndentationsUseTabs(true);
    auto *lexer = new QsciLexerXML(this);
    lexer->setDefaultFont(EditorFont());
    lexer->setFont(EditorFont());
    lexer->setColor(QColor(0xFF, 0x6C, 0x6C), QsciLexerHTML::Tag);
    lexer->setColor(QColor(0xFF, 0x6C, 0x6C), QsciLexerHTML::UnknownTag);
    lexer->setColor(QColor(0x8F, 0x8B, 0xDA), QsciLexerHTML::Entity);
    lexer->setColor(Qt::darkGreen, QsciLexerHTML::XMLStart);
    lexer->setColor(Qt::darkGreen, QsciLexerHTML::XMLEnd);
    lexer->setColor(QColor(0x00, 0x40, 0x80), QsciLexerHTML::SGMLDefault);
    lexer->setColor(QColor(0x00, 0x40, 0x80), QsciLexerHTML::SGMLCommand);
    lexer->setColor(Qt::red, QsciLexerHTML::XMLTagEnd);
    setLexer(lexer);
}

void TOrvel_SourceEditor::UpdateGutterWidth() {
    setMarginWidth(0, QStringLiteral("0%1").arg(lines()));
}
