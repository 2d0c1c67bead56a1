#pragma once
// What both report editors share: a QScintilla editor with a line-number gutter, the fixed-pitch
// font and the highlighting colours of its language. Read-only at creation.
#include <Qsci/qsciscintilla.h>

class TOrvel_SourceEditor : public QsciScintilla {
    Q_OBJECT
public:
    enum class Language { Sql, Xml };
    TOrvel_SourceEditor(Language language, QWidget *parent = nullptr);
    Language EditorLanguage() const { return FLanguage; }

private:
    void SetupSql();
    void SetupXml();
    void UpdateGutterWidth();
    Language FLanguage;
};
