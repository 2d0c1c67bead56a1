#pragma once
// The script editor: T-SQL highlighting, tab width 2, the tab key types blanks (to the start of
// the next word of the line above, else to the next tab stop). It writes the script back in the
// encoding the script needs: Windows-1250 when the code page holds it, else UTF-8. F5 and
// Ctrl+Enter ask for a run of the report; Ctrl+/ comments lines in and out.
#include "U_ParamData.h"
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

    // The file the script was put in from ("" when none).
    QString SourceFile() const { return FSourceFile; }

    // Inserts the marker line above the caret's line as one undoable edit.
    void InsertMarkerLine(const QString &marker);
    // Comments out the selected lines (the caret's line without a selection) with "-- " at their
    // common indentation, or, when every non-blank one is commented already, takes the comment
    // marks away; one undoable edit.
    void ToggleLineComments();
    // Adds "DECLARE @Name TYPE" on its own line above the marker line, as one undoable edit, when
    // the script declares its variables above the marker and this one is not declared yet.
    bool AddDeclaration(const TOrvel_ParamData &param);

signals:
    // F5 or Ctrl+Enter in the script: run the report.
    void runRequested();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool HandleTabKey() override;

private:
    TOrvel_TextEncoding FEncoding = TOrvel_TextEncoding::teWindows1250;
    bool FBom = false;
    QString FSourceFile;
};
