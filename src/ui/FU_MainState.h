#pragma once
// The main window's state machine: keeps the application state and brings the window's controls
// in line with it (the enabling table, the work area, the editors, the status text).
#include "U_AppState.h"

#include <QList>

#include <functional>

class QWidget;
class QsciScintilla;

struct TOrvel_StateControls {
    QWidget *Pages = nullptr;
    QWidget *DatabaseList = nullptr;
    QWidget *Login = nullptr;
    QWidget *Save = nullptr;
    QWidget *Print = nullptr; // enabled as Save: a shown result with rows
    QWidget *Format = nullptr;
    QWidget *Run = nullptr;
    QWidget *Stop = nullptr;
    QWidget *New = nullptr;
    QWidget *Settings = nullptr;
    QWidget *WorkArea = nullptr;
    QList<QWidget *> ParamButtons;
    QList<QsciScintilla *> Editors;
};

class TOrvel_MainStateMachine {
public:
    explicit TOrvel_MainStateMachine(const TOrvel_StateControls &controls);

    // Questions asked of the report object and of the window while applying a state.
    std::function<bool()> IsLoaded;       // a report is loaded
    std::function<bool()> HasRecords;     // its result is open and has rows
    std::function<bool()> ResultOpen;     // the result data source has an open data set
    std::function<void(bool)> ShowResult; // shows the grid with the column settings, or hides it
    std::function<void(bool)> SetGridVisible; // only the visibility of the grid
    std::function<void(int, const QString &)> SetStatusText;
    std::function<void()> RepaintNow;     // repaint the window and process pending events
    std::function<void(bool)> ShowCancel; // the run command shows itself as "Przerwij", or not

    TOrvel_AppState State() const { return FState; }
    void SetAppState(TOrvel_AppState state);
    void EnableWorkArea(bool enable);

private:
    bool Ask(const std::function<bool()> &question) const { return question && question(); }
    TOrvel_StateControls FControls;
    TOrvel_AppState FState = asNotConnected;
    TOrvel_AppState FPrevious = asNotConnected; // the state before the current one
};
