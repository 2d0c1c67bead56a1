#include "U_CliSignals.h"

#include <chrono>
#include <cstring>

#include <pthread.h>
#include <unistd.h>

const char *const TOrvel_CliSignals::CancelledText = "orvel-zestawnik-cli: cancelled\n";

namespace {
constexpr auto kSecondSignalWindow = std::chrono::seconds(10);
}

TOrvel_CliSignals::TOrvel_CliSignals(std::function<void()> cancel) : FCancel(std::move(cancel)) {
    sigemptyset(&FSignals);
    sigaddset(&FSignals, SIGINT);
    sigaddset(&FSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &FSignals, &FPreviousMask);
    FWatcher = std::thread([this] { Watch(); });
}

TOrvel_CliSignals::~TOrvel_CliSignals() {
    FStop = true;
    FWatcher.join();
    // A signal that came after the watcher's last look is taken here rather than let through:
    // the run it was meant for is over.
    timespec none{0, 0};
    while (sigtimedwait(&FSignals, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &FPreviousMask, nullptr);
}

void TOrvel_CliSignals::Watch() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastInterrupt{};
    bool interrupted = false;
    while (!FStop) {
        // Short waits, so that the end of the object is noticed.
        timespec wait{0, 100 * 1000 * 1000};
        const int signal = sigtimedwait(&FSignals, nullptr, &wait);
        if (signal <= 0)
            continue;
        const Clock::time_point now = Clock::now();
        int expected = 0;
        FStatus.compare_exchange_strong(expected, signal == SIGINT ? 130 : 143);
        if (signal == SIGINT && interrupted && now - lastInterrupt <= kSecondSignalWindow &&
            !FWriting) {
            // No file is open for writing: ending here leaves nothing half-written.
            const ssize_t written =
                ::write(STDERR_FILENO, CancelledText, std::strlen(CancelledText));
            (void)written;
            ::_exit(FStatus.load());
        }
        if (signal == SIGINT) {
            interrupted = true;
            lastInterrupt = now;
        }
        if (FCancel)
            FCancel();
    }
}
