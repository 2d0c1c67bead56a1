// A whole report script on the embedded engine, in an empty folder (its "master" is an in-memory
// database): any batch runs or fails with an error in the server's form, never anything else.
// Statements that reach outside the database or run unbounded by design (ATTACH, VACUUM INTO,
// recursive common table expressions, huge blobs) are left out: the engine's own resource
// limits are not what this target probes.
#include "FuzzSupport.h"
#include "U_Db.h"
#include "U_error.h"
#include "U_locale.h"

#include <QDir>

#include <exception>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString sql = Utf8Text(data, size);
    for (const char *word : {"ATTACH", "VACUUM", "WITH", "RECURSIVE", "ZEROBLOB", "RANDOMBLOB",
                             "PRAGMA", "LOAD_EXTENSION", "PRINTF", "FORMAT"}) {
        if (sql.contains(QLatin1String(word), Qt::CaseInsensitive))
            return 0;
    }
    static const QString folder = [] {
        const QString path = ScratchFolder().filePath(QStringLiteral("engine"));
        QDir().mkpath(path);
        return path;
    }();
    try {
        DbConnection connection;
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + folder;
        connection.Open(settings);
        DbQuery query(&connection);
        query.SQL = sql;
        query.Open();
        for (int row = 0; row < 1000 && !query.Eof(); ++row)
            query.Next();
    } catch (const std::exception &) {
        // A failed batch reports its error: what the user sees.
    }
    return 0;
}
