#pragma once
// The grid command of the main window that keeps the user's column layout: after a mouse button
// is released over the grid, when the user resized or moved a column since the last time, the
// report's column settings take the grid's columns and are written to the settings file at once.
// Any other click stores nothing.
class QWidget;
class TOrvel_GridColumns;
class TOrvel_ReportSettings;

// Does nothing unless the columns show an open result with rows and the user changed them. Then
// captures the columns into
// the settings, writes the settings file (its error passes on to the caller) and repaints the
// grid (when given). Returns whether the layout was stored.
bool StoreColumnLayout(TOrvel_ReportSettings &settings, TOrvel_GridColumns &columns,
                       QWidget *grid = nullptr);
