#include "ReportFixture.h"

#include "TestSupport.h"
#include "U_Login.h"
#include "U_locale.h"
#include "U_utils.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

TReportFixture::TReportFixture() {
    SetUserLocale(QLocale(QLocale::Polish, QLocale::Poland));
    SetAppFolder(FDir.path());
    const QString samples = SourceDir() + QStringLiteral("/data/data reports/Przykłady");
    for (const QString &file : QDir(samples).entryList(QDir::Files))
        QFile::copy(samples + u'/' + file, FDir.path() + u'/' + file);
    TOrvel_ConnectionSettings settings;
    settings.Server = QStringLiteral("sqlite:") + BuiltAppDir() + QStringLiteral("/data/demo");
    QString failure;
    FReady = OpenConnection(FConnection, settings, &failure) && Use(QStringLiteral("Hurtownia"));
}

TReportFixture::~TReportFixture() {
    FConnection.Close();
    SetAppFolder(QString());
}

QString TReportFixture::Sample(const QString &name) const {
    return FDir.path() + u'/' + name + QStringLiteral(".xml");
}

QString TReportFixture::WriteReport(const QString &name, const QByteArray &definition,
                                    const QByteArray *script) const {
    const QString path = FDir.path() + u'/' + name + QStringLiteral(".xml");
    WriteBytes(path, definition);
    if (script)
        WriteBytes(FDir.path() + u'/' + name + QStringLiteral(".sql"), *script);
    return path;
}

QByteArray TReportFixture::Definition(const QByteArray &items, const QByteArray &version,
                                      bool withParams) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
                     "<Zestawnik><version>" +
                     version + "</version>";
    if (withParams)
        xml += "<params>" + items + "</params>";
    return xml + "</Zestawnik>\r\n";
}

QByteArray TReportFixture::Item(const QString &name, const QString &type, const QString &extra) {
    return (QStringLiteral("<item><name>%1</name><type>%2</type><desc>%1 opis</desc>%3</item>")
                .arg(name, type, extra))
        .toUtf8();
}

bool TReportFixture::Use(const QString &database) {
    return UseDatabase(FConnection, database);
}

QVariant TReportFixture::Scalar(const QString &sql) {
    DbQuery query(&FConnection);
    query.SQL = sql;
    query.Open();
    return query.Field(0)->Value();
}

bool TReportFixture::RunAndWait(TOrvel_Report &report) {
    QEventLoop loop;
    auto previous = report.OnRunDone;
    report.OnRunDone = [&](TOrvel_Report &r) {
        if (previous)
            previous(r);
        loop.quit();
    };
    const bool started = report.Run();
    if (started && report.IsRunning())
        loop.exec();
    report.OnRunDone = previous;
    return started;
}
