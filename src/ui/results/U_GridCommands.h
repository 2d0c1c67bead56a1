#pragma once
// The grid command of the main window that keeps the user's column layout: after a mouse button
// is released over the grid (a column resized or moved, or any click), the report's column
// settings take the grid's columns and are written to the settings file at once.
class QWidget;
class TOrvel_GridColumns;
class TOrvel_ReportSettings;

// Does nothing unless the columns show an open result with rows. Then captures the columns into
// the settings, writes the settings file (its error passes on to the caller) and repaints the
// grid (when given). Returns whether the layout was stored.
bool StoreColumnLayout(TOrvel_ReportSettings &settings, TOrvel_GridColumns &columns,
                       QWidget *grid = nullptr);
