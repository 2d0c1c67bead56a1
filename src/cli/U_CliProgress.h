#pragma once
// The runner's progress line: while a report runs and while its result is written, one line on
// standard error keeps being rewritten (about every 200 ms) with the rows fetched, then the rows
// written of all rows; it is cleared at the end. Only on a terminal: scripts, cron jobs and pipes
// never see it, and --quiet turns it off.
#include <QElapsedTimer>
#include <QString>

class TOrvel_CliProgress {
public:
    // enabled: standard error is a terminal and the user did not ask for quiet.
    explicit TOrvel_CliProgress(bool enabled) : FEnabled(enabled) {}
    ~TOrvel_CliProgress() { Clear(); }
    TOrvel_CliProgress(const TOrvel_CliProgress &) = delete;
    TOrvel_CliProgress &operator=(const TOrvel_CliProgress &) = delete;

    static bool StandardErrorIsTerminal();
    static constexpr int IntervalMs = 200;

    void Fetched(qint64 rows);
    void Written(qint64 written, qint64 total);
    // Removes the line, so that the messages that follow start on a clean one.
    void Clear();

private:
    // Shows the text unless the last one is younger than the interval (the last row always).
    void Show(const QString &text, bool force);
    bool FEnabled;
    bool FShown = false;
    QElapsedTimer FLast;
};
