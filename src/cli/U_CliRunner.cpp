#include "U_CliRunner.h"

#include "U_AppLayout.h"
#include "U_CliConsole.h"
#include "U_CliOptions.h"
#include "U_CliProgress.h"
#include "U_CliSignals.h"
#include "U_CliStream.h"
#include "U_ColumnFit.h"
#include "U_DataExport.h"
#include "U_DataExport_XLSX.h"
#include "U_Db.h"
#include "U_DbResult.h"
#include "U_GridColumns.h"
#include "U_LoadReports.h"
#include "U_Login.h"
#include "U_ParamInput.h"
#include "U_ParamType.h"
#include "U_PrintDocument.h"
#include "U_PrintInfo.h"
#include "U_ReportFiles.h"
#include "U_SQL_report.h"
#include "U_error.h"
#include "U_locale.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <set>

namespace {

const QString kNull = QStringLiteral("NULL");
const QString kNotLoaded = QStringLiteral("Raport nie został załadowany !");
const QString kNoDatabase = QStringLiteral("Baza nie została ustawiona !");

// Ends a command with an exit status and, unless empty, a message for standard error.
struct CliStop {
    TOrvel_CliStatus Status;
    QString Message;
};

[[noreturn]] void Fail(const QString &message) {
    throw CliStop{csFailure, message};
}
[[noreturn]] void Misuse(const QString &message) {
    throw CliStop{csUsage, message};
}

// Tells the runner why the report refused to start a run; the rest of a parameter panel's work
// has nothing to show here.
class RefusalCatcher : public TOrvel_ParamView {
public:
    void BeginLoad() override {}
    void Add(int) override {}
    void EndLoad() override {}
    void Clear() override {}
    void ShowValue(int) override {}
    void ListRefreshed(int) override {}
    void RunRefused(const QString &text) override { Refusal = text; }
    QString Refusal;
};

struct ReportFile {
    QString DefinitionFile;
    QString Title; // as the catalogue names it: the file name without its last extension
};

// REPORT relative to the reports folder or absolute, with or without ".xml".
ReportFile ResolveReport(const QString &report) {
    QString path = QDir::isAbsolutePath(report) ? report : GetReportsFolder() + report;
    path = QDir::cleanPath(path);
    if (!QFileInfo(path).isFile() && !path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        path += QStringLiteral(".xml");
    const QFileInfo info(path);
    // The companions of a report (stored values, column settings) are not reports.
    if (!info.isFile() || !TOrvel_LoadReports::IsDefinitionFile(path))
        Fail(kNotLoaded + QStringLiteral(" (%1)").arg(report));
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return {info.absoluteFilePath(), dot >= 0 ? name.left(dot) : name};
}

void LoadReport(TOrvel_Report &report, const ReportFile &file) {
    bool loaded = false;
    try {
        loaded = report.LoadReport(file.DefinitionFile, file.Title);
    } catch (const EOrvelError &e) {
        Fail(e.message());
    }
    if (!loaded)
        Fail(kNotLoaded + QStringLiteral(" (%1)").arg(file.DefinitionFile));
}

// A value typed with --set must be what its parameter's type takes, written as in the stored
// values: a date as eight digits YYYYMMDD, a whole number, a number with "." (empty or NULL
// mean no value). Unlike a stored value, a wrong one is never replaced by today's date, 0 or NULL.
void CheckSetValue(const TOrvel_ParamInput &param, const QString &typed) {
    const QString value = TrimText(UnquoteSQLString(typed));
    if (value.isEmpty() || value == kNull || param.Kind() == TOrvel_InputKind::ikFixedList)
        return;
    QString expected;
    switch (param.Type()) {
    case TOrvel_ParamType::ptDate: {
        bool digits = value.size() == 8;
        for (QChar c : value)
            digits = digits && c >= u'0' && c <= u'9';
        const QDate date =
            digits ? QDate(value.left(4).toInt(), value.mid(4, 2).toInt(), value.mid(6, 2).toInt())
                   : QDate();
        if (!date.isValid() || date.year() < 1)
            expected = QStringLiteral("YYYYMMDD");
        break;
    }
    case TOrvel_ParamType::ptInt: {
        std::int32_t whole = 0;
        if (!TryTextToInt32(value, whole))
            expected = QStringLiteral("a whole number");
        break;
    }
    case TOrvel_ParamType::ptNumeric: {
        TOrvel_FormatSettings plain = UserFormatSettings();
        plain.DecimalSeparator = u'.';
        if (!IsLocaleNumberText(value, plain))
            expected = QStringLiteral("a number");
        break;
    }
    default:
        break;
    }
    if (!expected.isEmpty())
        Misuse(QStringLiteral("invalid value for parameter %1: '%2' (expected %3)")
                   .arg(param.Name(), typed, expected));
}

// --defaults as button "U" does, then every --set in the order given, each value read as a
// stored value. Without a connection the SQL pick lists cannot be refreshed; their values are
// set all the same, from the same stored values.
void ApplyValues(TOrvel_Report &report, const TOrvel_CliOptions &o, bool connected) {
    std::vector<std::vector<int>> targets;
    for (const auto &[name, value] : o.Sets) {
        std::vector<int> indexes;
        for (int i = 0; i < report.ParamCount(); ++i)
            if (report.Param(i).Name() == name)
                indexes.push_back(i);
        if (indexes.empty())
            Misuse(QStringLiteral("the report has no parameter '%1'").arg(name));
        for (int i : indexes)
            CheckSetValue(report.Param(i), value);
        targets.push_back(indexes);
    }
    if (o.Defaults) {
        if (connected) {
            report.LoadDefaultValues();
        } else {
            TOrvel_XML_util defaults;
            LoadDefaults(defaults, report.GetDefaultsFileName());
            for (int i = 0; i < report.ParamCount(); ++i) {
                const QString value =
                    UnquoteSQLString(ReadStoredValue(defaults, report.Param(i).Name()));
                report.SetParamValue(i, value.isEmpty() ? kNull : value);
            }
        }
    }
    for (std::size_t s = 0; s < o.Sets.size(); ++s) {
        QString value = UnquoteSQLString(o.Sets[s].second);
        if (value.isEmpty())
            value = kNull;
        for (int index : targets[s])
            report.SetParamValue(index, value);
    }
}

void PrintNodes(const TOrvel_LoadReports &catalogue, const std::vector<TOrvel_ReportNode> &nodes,
                int level, QString &out) {
    for (const TOrvel_ReportNode &node : nodes) {
        const TOrvel_ReportItem item = catalogue.GetItem(node.Index);
        out += QString(level * 2, u' ') + item.DisplayName +
               (item.IsGroup ? QStringLiteral("/\n") : QStringLiteral("\n"));
        PrintNodes(catalogue, node.Children, level + 1, out);
    }
}

void CommandList() {
    TOrvel_LoadReports catalogue;
    catalogue.Reload();
    QString out;
    PrintNodes(catalogue, catalogue.Nodes(), 0, out);
    WriteOut(out);
}

void CommandInfo(const TOrvel_CliOptions &o) {
    DbConnection connection;
    TOrvel_Report report(&connection);
    LoadReport(report, ResolveReport(o.Report));
    ApplyValues(report, o, false);
    TOrvel_ReportInfo info;
    report.ShowInfo(info);
    WriteOut(info.ToText());
}

void CommandParams(const TOrvel_CliOptions &o) {
    DbConnection connection;
    TOrvel_Report report(&connection);
    LoadReport(report, ResolveReport(o.Report));
    ApplyValues(report, o, false);
    WriteOut(report.GetParamsBlock(o.Declare));
}

bool IsEmbeddedServer(const QString &server) {
    return TrimText(server).startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive);
}

// The login's choices: --user or --windows-auth, else what the login window remembered.
void Connect(DbConnection &connection, const TOrvel_CliOptions &o) {
    bool sqlServerAuth = true;
    QString user = o.User;
    if (o.WindowsAuth) {
        sqlServerAuth = false;
    } else if (user.isEmpty()) {
        sqlServerAuth = AppPrefs->ReadBool(QStringLiteral("Connection/SQLServerAuth"), true);
        user = AppPrefs->ReadString(QStringLiteral("Connection/login"));
    }
    QString password;
    // The embedded engine ignores the authentication; nobody is asked for a password it
    // would not use.
    if (sqlServerAuth && !IsEmbeddedServer(o.Server)) {
        if (TrimText(user).isEmpty())
            Misuse(QStringLiteral("no user name: give --user or --windows-auth"));
        if (qEnvironmentVariableIsSet("ORVEL_PASSWORD")) {
            password = qEnvironmentVariable("ORVEL_PASSWORD");
        } else {
            const std::optional<QString> typed =
                AskPasswordOnTerminal(QStringLiteral("Hasło dla %1: ").arg(TrimText(user)));
            if (!typed)
                Fail(QStringLiteral("Brak hasła: ustaw zmienną ORVEL_PASSWORD lub uruchom "
                                    "program w terminalu"));
            password = *typed;
        }
    }
    QString failure;
    bool opened = false;
    try {
        const QString spn = o.ServerSpn.isEmpty()
                                ? AppPrefs->ReadString(QStringLiteral("Connection/ServerSPN"))
                                : o.ServerSpn;
        opened = OpenConnection(
            connection, LoginConnectionSettings(o.Server, sqlServerAuth, user, password, spn),
            &failure);
    } catch (const EOrvelError &e) {
        Fail(e.message());
    }
    password.fill(u'\0');
    if (!opened)
        Fail(failure);
}

// The report's default database, as the main window picks it: the first listed database equal
// to it with its ASCII letters lower-cased, made current under its listed name; otherwise a
// warning.
bool SelectDefaultDatabase(DbConnection &connection, const QString &name) {
    QStringList databases;
    LoadDatabaseList(connection, databases);
    for (const QString &listed : databases)
        if (AsciiLower(listed) == AsciiLower(name))
            return UseDatabase(connection, listed);
    WriteErr(QStringLiteral("Domyślna baza \"%1\" dla raportu, nie jest dostępna\n")
                 .arg(AsciiLower(name)));
    return false;
}

QChar CsvSeparator(const TOrvel_CliOptions &o) {
    if (o.Separator)
        return *o.Separator;
    const QString preference = AppPrefs->ReadString(QStringLiteral("Export/CSV/Separator"));
    // A hand-edited preference that would break the file is not used.
    if (!preference.isEmpty() && IsValidCsvSeparator(preference.at(0)))
        return preference.at(0);
    return u',';
}

TOrvel_CsvEncoding CsvEncodingOf(const TOrvel_CliOptions &o) {
    return o.Encoding ? *o.Encoding
                      : CsvEncodingFromPreference(
                            AppPrefs->ReadString(QStringLiteral("Export/CSV/Encoding")));
}

QString OutputPath(const TOrvel_CliOptions &o) {
    return o.OutputFile.isEmpty() ? QString() : QFileInfo(o.OutputFile).absoluteFilePath();
}

// The shown columns as --print writes them: a tab between values, a line per row; a tab or line
// break inside a text would split it, so it is shown as a blank.
class PrintWriter : public TOrvel_BlockWriter {
public:
    PrintWriter(TOrvel_GridColumns &columns, std::function<bool()> stop)
        : FColumns(columns), FStop(std::move(stop)) {}
    void Begin() override {
        for (int p = 0; p < FColumns.Count(); ++p)
            if (FColumns.Visible(p))
                FShown.push_back(p);
        QStringList cells;
        for (int p : FShown)
            cells << Cell(FColumns.Caption(p));
        WriteOut(cells.join(u'\t') + u'\n');
    }
    void Rows() override {
        const int rows = FColumns.Query()->RecordCount();
        QString out;
        QStringList cells;
        for (int row = 0; row < rows; ++row) {
            if (FStop && FStop())
                throw EOrvelError(QStringLiteral("Zapis przerwany"));
            cells.clear();
            for (int p : FShown)
                cells << Cell(FColumns.Field(p)->DisplayTextAt(row));
            out += cells.join(u'\t') + u'\n';
        }
        WriteOut(out);
    }
    void End() override {}

private:
    static QString Cell(QString text) {
        for (QChar &c : text)
            if (c == u'\t' || c == u'\r' || c == u'\n')
                c = u' ';
        return text;
    }
    TOrvel_GridColumns &FColumns;
    std::function<bool()> FStop;
    std::vector<int> FShown;
};

// The output that is written while the run fetches its rows; none for the printed document,
// which is laid out from the whole result once it is in. A workbook tells its sheets and cut
// cells in `notice` once it is written.
std::unique_ptr<TOrvel_StreamedExport>
MakeStream(TOrvel_Report &report, const TOrvel_CliOptions &o,
           const std::shared_ptr<TOrvel_XlsxBlockWriter::Notice> &notice) {
    using Stop = std::function<bool()>;
    TOrvel_StreamedExport::WriterFactory make;
    const QString title = report.GetTitle();
    const QString file = OutputPath(o);
    const auto exporting = [file](std::unique_ptr<TOrvel_DataExport> writer, const Stop &stop) {
        writer->Stop = stop;
        return std::make_unique<TOrvel_ExportBlockWriter>(std::move(writer), file);
    };
    switch (o.Output) {
    case TOrvel_CliOutput::coCsv: {
        const QChar separator = CsvSeparator(o);
        const TOrvel_CsvEncoding encoding = CsvEncodingOf(o);
        make = [=](TOrvel_GridColumns &columns, const Stop &stop) {
            return exporting(
                std::make_unique<TOrvel_DataExport_CSV>(columns, separator, title, encoding), stop);
        };
        break;
    }
    case TOrvel_CliOutput::coXml:
        make = [=](TOrvel_GridColumns &columns, const Stop &stop) {
            return exporting(std::make_unique<TOrvel_DataExport_XML>(columns, title), stop);
        };
        break;
    case TOrvel_CliOutput::coXhtml:
        make = [=](TOrvel_GridColumns &columns, const Stop &stop) {
            return exporting(std::make_unique<TOrvel_DataExport_XHTML>(columns, title), stop);
        };
        break;
    case TOrvel_CliOutput::coXlsx: {
        const int sheetRows = StreamSheetRows();
        make = [=](TOrvel_GridColumns &columns, const Stop &stop) {
            return std::make_unique<TOrvel_XlsxBlockWriter>(columns, title, file, stop, sheetRows,
                                                            notice);
        };
        break;
    }
    case TOrvel_CliOutput::coPrint:
        make = [](TOrvel_GridColumns &columns, const Stop &stop) {
            return std::make_unique<PrintWriter>(columns, stop);
        };
        break;
    default:
        return nullptr;
    }
    return std::make_unique<TOrvel_StreamedExport>(report.Settings, std::move(make),
                                                   StreamBlockRows());
}

// The page size and orientation of --pdf.
QPageSize PdfPageSize(const QString &name) {
    if (name == QLatin1String("A3"))
        return QPageSize(QPageSize::A3);
    if (name == QLatin1String("Letter"))
        return QPageSize(QPageSize::Letter);
    return QPageSize(QPageSize::A4);
}

TOrvel_PageOrientation PdfOrientation(const QString &name) {
    if (name == QLatin1String("portrait"))
        return TOrvel_PageOrientation::poPortrait;
    if (name == QLatin1String("landscape"))
        return TOrvel_PageOrientation::poLandscape;
    return TOrvel_PageOrientation::poAuto;
}

// `run` tells the printed document's first page which database and user ran it, and when.
void WriteResult(TOrvel_Report &report, const TOrvel_CliOptions &o,
                 const std::function<bool()> &stop, TOrvel_CliProgress &progress,
                 const TOrvel_PrintInfo &run) {
    DbQuery *result = report.ResultQuery();
    // The result as the grid would show it: the report's column settings shape the columns.
    TOrvel_GridColumns columns;
    columns.SetQuery(result);
    // Widths the user did not choose fit the content, as in the window (a spreadsheet's columns).
    columns.SetFitMeasure(EstimatedFitMeasure(columns));
    report.Settings.ApplyColumns(columns);

    const auto written = [&progress](int rows, int total) { progress.Written(rows, total); };
    const QString title = report.GetTitle();
    const QString file = OutputPath(o);
    try {
        switch (o.Output) {
        case TOrvel_CliOutput::coCsv: {
            TOrvel_DataExport_CSV writer(columns, CsvSeparator(o), title, CsvEncodingOf(o));
            writer.Stop = stop;
            writer.Progress = written;
            writer.ExportToFile(file);
            break;
        }
        case TOrvel_CliOutput::coXml: {
            TOrvel_DataExport_XML writer(columns, title);
            writer.Stop = stop;
            writer.Progress = written;
            writer.ExportToFile(file);
            break;
        }
        case TOrvel_CliOutput::coXhtml: {
            TOrvel_DataExport_XHTML writer(columns, title);
            writer.Stop = stop;
            writer.Progress = written;
            writer.ExportToFile(file);
            break;
        }
        case TOrvel_CliOutput::coPdf: {
            TOrvel_PrintInfo info = run;
            info.Title = title;
            // The block says what the panel would show: a chosen entry of an SQL pick list by
            // its caption, which only the list's query knows.
            for (int i = 0; i < report.ParamCount(); ++i)
                if (report.ListQuery(i) && !report.ListQuery(i)->IsOpen() &&
                    report.Param(i).HasKey())
                    report.RefreshList(i);
            info.Parameters = ShownParameters(report);
            TOrvel_PrintDocument document(columns, info);
            document.PageSize = PdfPageSize(o.PageSize);
            document.Orientation = PdfOrientation(o.Orientation);
            document.Stop = stop;
            document.Layout();
            document.WritePdf(file);
            break;
        }
        case TOrvel_CliOutput::coXlsx:  // streamed (TOrvel_XlsxBlockWriter)
        case TOrvel_CliOutput::coPrint: // streamed (PrintWriter)
        case TOrvel_CliOutput::coNone:
            break;
        }
    } catch (const EOrvelError &e) {
        Fail(e.message());
    }
}

void RunConnected(DbConnection &connection, const ReportFile &file, const TOrvel_CliOptions &o,
                  TOrvel_CliSignals &interrupts);

void CommandRun(const TOrvel_CliOptions &o) {
    const ReportFile file = ResolveReport(o.Report); // before anyone is asked for a password
    DbConnection connection;
    Connect(connection, o);
    // From here on SIGINT and SIGTERM cancel what runs on the connection (a pick list's query
    // or the report's batch); whatever failure that brings is reported as the cancel.
    TOrvel_CliSignals interrupts([&connection] { connection.Cancel(); });
    try {
        RunConnected(connection, file, o, interrupts);
    } catch (...) {
        if (interrupts.Received())
            throw CliStop{static_cast<TOrvel_CliStatus>(interrupts.Status()),
                          QString::fromLatin1(TOrvel_CliSignals::CancelledText)};
        throw;
    }
    if (interrupts.Received())
        throw CliStop{static_cast<TOrvel_CliStatus>(interrupts.Status()),
                      QString::fromLatin1(TOrvel_CliSignals::CancelledText)};
}

void RunConnected(DbConnection &connection, const ReportFile &file, const TOrvel_CliOptions &o,
                  TOrvel_CliSignals &interrupts) {
    TOrvel_Report report(&connection);
    RefusalCatcher view;
    report.SetParamView(&view);
    // Typed values are checked as they are set; stored ones keep their lenient reading.
    report.SetRefuseRejectedInput(false);
    bool databaseSet = false;
    if (o.Database.isEmpty())
        report.OnDefaultDatabase = [&](const QString &name, const QString &) {
            databaseSet = SelectDefaultDatabase(connection, name);
            return databaseSet;
        };
    LoadReport(report, file);
    if (!o.Database.isEmpty()) {
        databaseSet = UseDatabase(connection, o.Database);
        if (!databaseSet)
            Fail(kNoDatabase + QStringLiteral(" (%1)").arg(o.Database));
    }
    if (!databaseSet)
        Fail(kNoDatabase);
    try {
        ApplyValues(report, o, true);
    } catch (const EOrvelError &e) {
        Fail(e.message());
    }

    if (interrupts.Received())
        return;

    QEventLoop loop;
    report.OnRunDone = [&loop](TOrvel_Report &) { loop.quit(); };
    // The runner's own limit stops the run with a cancel; the driver's time-out stays behind it
    // as a last resort for a server that does not answer the cancel.
    report.ResultQuery()->CommandTimeout = o.TimeoutSeconds + 10;
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::CoarseTimer);
    QObject::connect(&limit, &QTimer::timeout, [&] {
        timedOut = true;
        report.CancelRun();
    });
    TOrvel_CliProgress progress(!o.Quiet && TOrvel_CliProgress::StandardErrorIsTerminal());
    QTimer fetched;
    fetched.setInterval(TOrvel_CliProgress::IntervalMs);
    QObject::connect(&fetched, &QTimer::timeout,
                     [&] { progress.Fetched(connection.RowsFetched()); });
    // A streamed export writes each block of rows while the next one is fetched; the file is
    // replaced only once the run has ended well. Destroyed before the report it reads.
    const auto notice = std::make_shared<TOrvel_XlsxBlockWriter::Notice>();
    std::unique_ptr<TOrvel_StreamedExport> stream = MakeStream(report, o, notice);
    const auto detach = qScopeGuard([&report] { report.ResultQuery()->RowSink = nullptr; });
    if (stream) {
        stream->Stop = [&interrupts] { return interrupts.Received(); };
        // A writer that fails (a full disk) stops the fetch: nothing more could be written.
        stream->OnFailure = [&connection] { connection.Cancel(); };
        report.ResultQuery()->RowSink = stream->Sink();
        stream->Start();
    }
    TOrvel_PrintInfo run;
    run.Database = o.Database.isEmpty() ? report.GetDefaultDatabase() : o.Database;
    run.User = o.User.isEmpty() ? GetSystemUserName() : o.User;
    run.RunTime = QDateTime::currentDateTime();
    if (!report.Run())
        Fail(view.Refusal);
    limit.start(std::chrono::seconds(o.TimeoutSeconds));
    fetched.start();
    loop.exec(); // the run's end arrives queued, as in the desktop program
    fetched.stop();
    limit.stop();
    // The line goes before any message, and before the result is printed to the terminal.
    progress.Clear();
    if (stream && !stream->Error().isEmpty() && !interrupts.Received())
        Fail(stream->Error());
    if (interrupts.Received())
        return;
    if (timedOut && report.WasCancelled())
        Fail(QStringLiteral("orvel-zestawnik-cli: the run took longer than %1 s and was cancelled")
                 .arg(o.TimeoutSeconds));
    if (!report.ErrorText().isEmpty())
        Fail(report.ErrorText());
    // The desktop program shows nothing for a batch without a result; here there is nothing to
    // save or print, which must not pass for success.
    if (!report.ResultQuery()->IsOpen())
        Fail(QStringLiteral("Obiekt CommandText nie zwraca zestawu wyniku"));
    interrupts.SetWriting(true);
    if (stream) {
        progress.Clear();
        try {
            // What is left to write once every row is in: the rows written of all, as the
            // exports of a whole result show them; not beside a result printed to the terminal.
            std::function<void(qint64, qint64)> waiting;
            if (o.Output != TOrvel_CliOutput::coPrint)
                waiting = [&progress](qint64 written, qint64 total) {
                    progress.Written(written, total);
                };
            stream->Finish(report.ResultQuery()->TakeRows(), waiting,
                           TOrvel_CliProgress::IntervalMs);
            progress.Clear();
        } catch (const EOrvelError &e) {
            Fail(e.message());
        }
        // The workbook's notes, read once its writer has ended.
        if (notice->Sheets > 1)
            WriteErr(QStringLiteral("orvel-zestawnik-cli: %1\n")
                         .arg(TOrvel_DataExport_XLSX::SplitMessage(notice->Sheets)));
        if (notice->CutCells > 0)
            WriteErr(QStringLiteral("orvel-zestawnik-cli: %1\n")
                         .arg(TOrvel_DataExport_XLSX::CutMessage(notice->CutCells)));
    } else {
        WriteResult(
            report, o, [&interrupts] { return interrupts.Received(); }, progress, run);
        progress.Clear();
    }
    interrupts.SetWriting(false);
}

} // namespace

int RunCli(const QStringList &arguments) {
    const TOrvel_CliParse parse = ParseCliArguments(arguments);
    if (!parse.Error.isEmpty()) {
        WriteErr(QStringLiteral("orvel-zestawnik-cli: %1\n\n").arg(parse.Error) + CliUsageText());
        return csUsage;
    }
    const TOrvel_CliOptions &o = parse.Options;
    if (o.Command == TOrvel_CliCommand::ccHelp) {
        WriteOut(CliUsageText());
        return csSuccess;
    }
    try {
        if (!o.AppFolder.isEmpty()) {
            const QFileInfo folder(o.AppFolder);
            if (!folder.isDir())
                Misuse(QStringLiteral("--app-folder '%1' is not a folder").arg(o.AppFolder));
            SetAppFolder(folder.absoluteFilePath());
        }
        PrepareAppFolder();
        CreateAppPrefs();
        switch (o.Command) {
        case TOrvel_CliCommand::ccList:
            CommandList();
            break;
        case TOrvel_CliCommand::ccInfo:
            CommandInfo(o);
            break;
        case TOrvel_CliCommand::ccParams:
            CommandParams(o);
            break;
        case TOrvel_CliCommand::ccRun:
            CommandRun(o);
            break;
        case TOrvel_CliCommand::ccHelp:
            break;
        }
    } catch (const CliStop &stop) {
        FreeAppPrefs();
        if (stop.Status == csUsage)
            WriteErr(QStringLiteral("orvel-zestawnik-cli: %1\n\n").arg(stop.Message) +
                     CliUsageText());
        else if (!stop.Message.isEmpty())
            WriteErr(stop.Message.endsWith(u'\n') ? stop.Message : stop.Message + u'\n');
        return stop.Status;
    } catch (const EOrvelError &e) {
        FreeAppPrefs();
        WriteErr(e.message() + u'\n');
        return csFailure;
    }
    FreeAppPrefs();
    return csSuccess;
}
