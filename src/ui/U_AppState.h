#pragma once
// The application state and what each state allows: the enabling table of the main window's
// commands, the status text with its status bar panel, and whether the window may close.
#include <QString>

#include <cstdint>

enum TOrvel_AppState : std::uint8_t {
    asReady = 0,
    asNotConnected = 1,
    asRunning = 2,
    asLoading = 3,
    asNotLoaded = 4,
    asChangingDatabase = 5,
    asNoDatabase = 6,
    // The shown result is being saved to a file: the grid can be read and scrolled, nothing
    // that would change the result or the report can be done.
    asExporting = 7,
};

inline constexpr TOrvel_AppState AllAppStates[] = {asReady,      asNotConnected, asRunning,
                                                   asLoading,    asNotLoaded,    asChangingDatabase,
                                                   asNoDatabase, asExporting};

// Enabled flags of the commands in one state, in the order they are set.
struct TOrvel_StateCommands {
    bool PagesAndDatabases = false; // the left tabs and the database list
    bool Login = false;
    bool Save = false;
    bool Format = false;
    bool Run = false;
    bool Stop = false;
    bool New = false;
    bool Settings = false;
    bool WorkArea = false;
    // The run command turns into "Przerwij" (with Esc), which stops the running report.
    bool Cancel = false;
    // Sorting by a title click.
    bool Sort = false;
    bool operator==(const TOrvel_StateCommands &) const = default;
};

// loaded: a report is loaded; hasRecords: its result is open and has at least one row.
TOrvel_StateCommands StateCommands(TOrvel_AppState state, bool loaded, bool hasRecords);
QString StateStatusText(TOrvel_AppState state);
int StateStatusPanel(TOrvel_AppState state); // 0 for asNotConnected, 1 for the others
bool StateAllowsClose(TOrvel_AppState state);

// The elapsed time of a run as minutes without leading zeros, a colon and two-digit seconds.
QString FormatElapsedTime(std::int32_t elapsedMs);

// A number of rows, grouped as the user's numbers are, with the noun in its Polish plural form:
// "1 wiersz", "3 wiersze", "350 000 wierszy".
QString RowsText(qint64 rows);

// The result caption for a row count, the noun in its Polish plural form: "Wynik (1 pozycja)",
// "Wynik (2 pozycje)", "Wynik (5 pozycji)", "Wynik (12 pozycji)", "Wynik (22 pozycje)".
QString ResultCountCaption(int count);
