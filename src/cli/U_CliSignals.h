#pragma once
// SIGINT and SIGTERM during a run: the first one cancels the query in progress, and the runner
// ends with 130 or 143 once the run has stopped, writing nothing. A second SIGINT within 10 s ends
// the process at once with the same status (a server that does not answer the cancel cannot hold
// it), unless a file is being written: the writer then stops by itself within a row and leaves
// nothing behind.
//
// While the object lives the two signals are blocked in the calling thread and in every thread
// started afterwards, and a watcher thread takes them.
#include <atomic>
#include <functional>
#include <thread>

#include <signal.h>

class TOrvel_CliSignals {
public:
    // cancel runs on the watcher thread, at the first signal and at every later one that is not
    // a second SIGINT within 10 s; it must be safe from any thread.
    explicit TOrvel_CliSignals(std::function<void()> cancel);
    ~TOrvel_CliSignals();
    TOrvel_CliSignals(const TOrvel_CliSignals &) = delete;
    TOrvel_CliSignals &operator=(const TOrvel_CliSignals &) = delete;

    bool Received() const { return FStatus.load() != 0; }
    // 130 after SIGINT, 143 after SIGTERM (the first signal decides); 0 before any.
    int Status() const { return FStatus.load(); }
    void SetWriting(bool writing) { FWriting = writing; }

    static const char *const CancelledText; // "orvel-zestawnik-cli: cancelled\n"

private:
    void Watch();
    std::function<void()> FCancel;
    sigset_t FSignals{};
    sigset_t FPreviousMask{};
    std::atomic<int> FStatus{0};
    std::atomic<bool> FWriting{false};
    std::atomic<bool> FStop{false};
    std::thread FWatcher;
};
