#include "U_AppState.h"

#include "U_DisplayFormat.h"
#include "U_locale.h"

TOrvel_StateCommands StateCommands(TOrvel_AppState state, bool loaded, bool hasRecords) {
    TOrvel_StateCommands c;
    switch (state) {
    case asReady:
        c = {true, true, loaded && hasRecords, loaded && hasRecords, loaded, false, true,
             true, true};
        c.Sort = loaded && hasRecords;
        break;
    case asNotConnected:
        c = {false, true, false, false, false, false, false, false, false};
        break;
    case asRunning:
    case asLoading:
        c = {false, false, false, false, false, true, false, true, false};
        c.Cancel = state == asRunning;
        break;
    case asNotLoaded:
    case asNoDatabase:
        c = {true, true, false, false, false, false, true, true, false};
        break;
    case asChangingDatabase:
        c = {false, false, false, false, false, false, false, true, false};
        break;
    case asExporting:
        // The work area stays usable, so the grid can be scrolled and read while the file is
        // written; the editors are read-only outside the ready state.
        c = {false, false, false, false, false, false, false, true, true};
        break;
    }
    return c;
}

QString StateStatusText(TOrvel_AppState state) {
    switch (state) {
    case asReady:
        return QStringLiteral("OK");
    case asNotConnected:
        return QStringLiteral("Nie połączone !");
    case asRunning:
        return QStringLiteral("Wykonywanie...");
    case asLoading:
        return QStringLiteral("Ładowanie raportu...");
    case asNotLoaded:
        return QStringLiteral("Raport nie został załadowany !");
    case asChangingDatabase:
        return QStringLiteral("Zmiana bazy...");
    case asNoDatabase:
        return QStringLiteral("Baza nie została ustawiona !");
    case asExporting:
        return QStringLiteral("Zapisywanie wyniku...");
    }
    return QString();
}

int StateStatusPanel(TOrvel_AppState state) {
    return state == asNotConnected ? 0 : 1;
}

bool StateAllowsClose(TOrvel_AppState state) {
    return state == asReady || state == asNotConnected || state == asNotLoaded ||
           state == asNoDatabase;
}

QString FormatElapsedTime(std::int32_t elapsedMs) {
    const std::int32_t s = elapsedMs / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

QString ResultCountCaption(int count) {
    // One; a last digit 2-4 except in the teens; every other count.
    const int lastDigit = count % 10;
    const int lastTwo = count % 100;
    const char *noun = "pozycji";
    if (count == 1)
        noun = "pozycja";
    else if (lastDigit >= 2 && lastDigit <= 4 && (lastTwo < 12 || lastTwo > 14))
        noun = "pozycje";
    return QStringLiteral("Wynik (%1 %2)").arg(count).arg(QLatin1String(noun));
}

QString RowsText(qint64 rows) {
    return FormatRowCount(rows, UserFormatSettings());
}
