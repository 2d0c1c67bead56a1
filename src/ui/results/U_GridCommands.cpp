#include "U_GridCommands.h"

#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"

#include <QWidget>

bool StoreColumnLayout(TOrvel_ReportSettings &settings, TOrvel_GridColumns &columns,
                       QWidget *grid) {
    if (!columns.HasOpenResult() || columns.Query()->RecordCount() <= 0)
        return false;
    // A click that resized or moved nothing changes nothing: the file stays as it is.
    if (!columns.TakeUserChange())
        return false;
    settings.CaptureColumns(columns);
    settings.SaveSettings();
    if (grid)
        grid->update();
    return true;
}
