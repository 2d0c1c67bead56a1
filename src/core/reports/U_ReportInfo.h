#pragma once
// The report information tree as plain lines: the report object fills it, the window mirrors it
// into its tree view and the command-line runner prints it.
#include <QString>

#include <vector>

struct TOrvel_InfoLine {
    int Level = 0; // 0 for a root node
    QString Text;
    int Param = -1; // index of the parameter whose value the line shows, -1 for none
};

struct TOrvel_ReportInfo {
    bool ShowLines = false; // whether the tree draws its connecting lines
    std::vector<TOrvel_InfoLine> Lines;

    void Clear() {
        ShowLines = false;
        Lines.clear();
    }
    // One node a line, indented by two blanks per level, each line ended by CR LF.
    QString ToText() const;
};
