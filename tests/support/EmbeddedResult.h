#pragma once
// A result of the embedded engine, for the tests of what is made from a shown result (the
// exports, the printed document): a temporary folder that is both the application folder and the
// embedded server, the query opened with the given SQL there, and grid columns showing it.
// Header-only, so that only the test programs that link the database and the results use it.
#include "U_Db.h"
#include "U_GridColumns.h"
#include "U_utils.h"

#include <QString>
#include <QTemporaryDir>

class EmbeddedResult {
public:
    explicit EmbeddedResult(const QString &sql) {
        SetAppFolder(Dir.path());
        TOrvel_ConnectionSettings settings;
        settings.Server = QStringLiteral("sqlite:") + Dir.path();
        Connection.Open(settings);
        Query.SQL = sql;
        Query.Open();
        Columns.SetQuery(&Query);
    }
    ~EmbeddedResult() { SetAppFolder(QString()); }
    EmbeddedResult(const EmbeddedResult &) = delete;
    EmbeddedResult &operator=(const EmbeddedResult &) = delete;

    QString Path(const QString &name) const { return Dir.filePath(name); }

    QTemporaryDir Dir;
    DbConnection Connection;
    DbQuery Query{&Connection};
    TOrvel_GridColumns Columns;
};
