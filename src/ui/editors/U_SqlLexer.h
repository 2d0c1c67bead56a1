#pragma once
// Highlighting of T-SQL scripts: comments, conditional comments ("/*! ... */"), identifiers,
// keywords, numbers, strings, symbols and @variables, each in its own colour. Block comments and
// strings may span lines: each line's closing state is kept as the line's state, so styling can
// restart at any line.
#include <Qsci/qscilexercustom.h>

class TOrvel_SqlLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    enum Style {
        Default = 0,
        Comment = 1,
        ConditionalComment = 2,
        Identifier = 3,
        Keyword = 4,
        Number = 5,
        String = 6,
        Symbol = 7,
        Variable = 8,
    };

    explicit TOrvel_SqlLexer(QObject *parent = nullptr);

    const char *language() const override { return "T-SQL"; }
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QFont defaultFont(int style) const override;
    void styleText(int start, int end) override;
};
