#pragma once
// The definition editor: XML highlighting, tab width 4, the tab key types a tab character, and
// with a selection indents the selected lines. It writes the text in the encoding its XML
// declaration names.
#include "U_ReportEditor.h"

class TOrvel_XmlEditor : public TOrvel_ReportEditor {
    Q_OBJECT
public:
    explicit TOrvel_XmlEditor(QWidget *parent = nullptr);

    QByteArray FileBytes() override;

protected:
    bool HandleTabKey() override;
};
