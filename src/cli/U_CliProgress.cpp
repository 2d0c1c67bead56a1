#include "U_CliProgress.h"

#include "U_DisplayFormat.h"
#include "U_locale.h"

#include <cstdio>

#include <unistd.h>

namespace {
QString Grouped(qint64 n) {
    return FormatFloat(QStringLiteral("#,##0"), static_cast<double>(n), UserFormatSettings());
}

void WriteRaw(const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// "\r" back to the line's start, then the terminal's erase to the end of the line.
const QByteArray kEraseLine("\r\x1b[K");
} // namespace

bool TOrvel_CliProgress::StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void TOrvel_CliProgress::Fetched(qint64 rows) {
    Show(QStringLiteral("pobrano ") + FormatRowCount(rows, UserFormatSettings()), false);
}

void TOrvel_CliProgress::Written(qint64 written, qint64 total) {
    Show(QStringLiteral("zapisano %1 z %2 %3")
             .arg(Grouped(written), Grouped(total),
                  total == 1 ? QStringLiteral("wiersza") : QStringLiteral("wierszy")),
         written >= total);
}

void TOrvel_CliProgress::Show(const QString &text, bool force) {
    if (!FEnabled)
        return;
    if (!force && FLast.isValid() && FLast.elapsed() < IntervalMs)
        return;
    FLast.start();
    WriteRaw(kEraseLine + text.toLocal8Bit());
    FShown = true;
}

void TOrvel_CliProgress::Clear() {
    if (!FShown)
        return;
    WriteRaw(kEraseLine);
    FShown = false;
}
