#include "FU_MainState.h"

#include "U_WidgetUtils.h"

#include <QWidget>
#include <Qsci/qsciscintilla.h>

TOrvel_MainStateMachine::TOrvel_MainStateMachine(const TOrvel_StateControls &controls)
    : FControls(controls) {}

void TOrvel_MainStateMachine::SetAppState(TOrvel_AppState state) {
    FPrevious = FState;
    FState = state;
    const TOrvel_StateCommands c = StateCommands(state, Ask(IsLoaded), Ask(HasRecords));
    const auto set = [](QWidget *w, bool enabled) {
        if (w)
            w->setEnabled(enabled);
    };
    set(FControls.Pages, c.PagesAndDatabases);
    set(FControls.DatabaseList, c.PagesAndDatabases);
    set(FControls.Login, c.Login);
    set(FControls.Save, c.Save);
    set(FControls.Print, c.Save);
    set(FControls.Format, c.Format);
    set(FControls.Run, c.Run || c.Cancel);
    if (ShowCancel)
        ShowCancel(c.Cancel);
    set(FControls.Stop, c.Stop);
    set(FControls.New, c.New);
    set(FControls.Settings, c.Settings);
    EnableWorkArea(c.WorkArea);
    if (SetStatusText)
        SetStatusText(StateStatusPanel(state), StateStatusText(state));
    // The status text must be on the screen before a long synchronous step begins.
    if (RepaintNow)
        RepaintNow();
}

void TOrvel_MainStateMachine::EnableWorkArea(bool enable) {
    for (QWidget *button : FControls.ParamButtons)
        button->setEnabled(false);
    // An export neither changes the result nor its columns: the grid stays as the user left it
    // (scrolled, sorted) while it runs and when it ends.
    const bool exportState =
        FState == asExporting || (FState == asReady && FPrevious == asExporting);
    if (ShowResult && !exportState)
        ShowResult(FState == asReady && Ask(HasRecords));
    SetControlsEnabled(FControls.WorkArea, enable);
    const bool loaded = Ask(IsLoaded);
    // The parameter buttons serve a loaded report only, also when the work area is enabled.
    for (QWidget *button : FControls.ParamButtons)
        button->setEnabled(enable && loaded);
    if (enable && loaded && SetGridVisible)
        SetGridVisible(Ask(ResultOpen));
    const bool writable = enable && FState == asReady;
    for (QsciScintilla *editor : FControls.Editors)
        editor->setReadOnly(!writable);
}
