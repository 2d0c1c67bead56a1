#pragma once
// A temporary application folder with copies of the sample reports, and a connection to the
// embedded engine's demo databases.
#include "U_Db.h"
#include "U_SQL_report.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Records what the report tells a user interface.
class TRecordingView : public TOrvel_ParamView {
public:
    QStringList Events;
    QStringList Refusals;
    void BeginLoad() override { Events << QStringLiteral("begin"); }
    void Add(int index) override { Events << QStringLiteral("add %1").arg(index); }
    void EndLoad() override { Events << QStringLiteral("end"); }
    void Clear() override { Events << QStringLiteral("clear"); }
    void ShowValue(int index) override { Events << QStringLiteral("show %1").arg(index); }
    void ListRefreshed(int index) override { Events << QStringLiteral("list %1").arg(index); }
    void RunRefused(const QString &text) override { Refusals << text; }
};

class TReportFixture {
public:
    TReportFixture();
    ~TReportFixture();

    bool Ready() const { return FReady; }
    QString Folder() const { return FDir.path(); }
    // A copy of a sample report in the temporary folder.
    QString Sample(const QString &name) const;
    // Writes a definition (and a script when given) into the temporary folder.
    QString WriteReport(const QString &name, const QByteArray &definition,
                        const QByteArray *script = nullptr) const;
    // A definition with the given parameter items (the XML of the items) and a version.
    static QByteArray Definition(const QByteArray &items, const QByteArray &version = "1.0",
                                 bool withParams = true);
    static QByteArray Item(const QString &name, const QString &type, const QString &extra = {});

    DbConnection &Connection() { return FConnection; }
    bool Use(const QString &database);
    // The first column of the first row of a query on the connection.
    QVariant Scalar(const QString &sql);

    // Starts the run and waits for its end; false when the run was refused.
    static bool RunAndWait(TOrvel_Report &report);

private:
    QTemporaryDir FDir;
    DbConnection FConnection;
    bool FReady = false;
};
