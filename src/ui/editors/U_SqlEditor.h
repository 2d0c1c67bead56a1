#pragma once
// The script editor: T-SQL highlighting, tab width 2, the tab key types blanks (to the start of
// the next word of the line above, else to the next tab stop). It writes the script back in the
// encoding the script file had when the text was put in.
#include "U_ReportEditor.h"
#include "U_TextCodec.h"

class TOrvel_SqlEditor : public TOrvel_ReportEditor {
    Q_OBJECT
public:
    explicit TOrvel_SqlEditor(QWidget *parent = nullptr);

    // Puts a script in; the encoding of `sourceFile` (when it exists) is the one written back.
    void SetScript(const QString &text, const QString &sourceFile = QString());
    QByteArray FileBytes() override;

    TOrvel_TextEncoding Encoding() const { return FEncoding; }
    bool HasBom() const { return FBom; }

    // Inserts the marker line above the caret's line as one undoable edit.
    void InsertMarkerLine(const QString &marker);

protected:
    bool HandleTabKey() override;

private:
    TOrvel_TextEncoding FEncoding = TOrvel_TextEncoding::teWindows1250;
    bool FBom = false;
};
