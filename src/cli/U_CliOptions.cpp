#include "U_CliOptions.h"

#include "U_DataExport.h"

#include <QHash>
#include <QSet>

#include <tuple>

namespace {

// Options that take a value; every other option is a flag.
const QSet<QString> kValueOptions = {
    QStringLiteral("app-folder"), QStringLiteral("set"),      QStringLiteral("server"),
    QStringLiteral("user"),       QStringLiteral("database"), QStringLiteral("csv"),
    QStringLiteral("separator"),  QStringLiteral("xml"),      QStringLiteral("xhtml"),
    QStringLiteral("xlsx"),       QStringLiteral("timeout"),  QStringLiteral("spn"),
    QStringLiteral("encoding"),   QStringLiteral("pdf"),      QStringLiteral("page"),
    QStringLiteral("orientation")};
const QSet<QString> kFlagOptions = {QStringLiteral("defaults"),     QStringLiteral("declare"),
                                    QStringLiteral("windows-auth"), QStringLiteral("print"),
                                    QStringLiteral("help"),         QStringLiteral("quiet")};

// The options each command accepts besides --app-folder.
QSet<QString> AllowedOptions(TOrvel_CliCommand command) {
    switch (command) {
    case TOrvel_CliCommand::ccList:
    case TOrvel_CliCommand::ccHelp:
        return {};
    case TOrvel_CliCommand::ccInfo:
        return {QStringLiteral("defaults"), QStringLiteral("set")};
    case TOrvel_CliCommand::ccParams:
        return {QStringLiteral("declare"), QStringLiteral("defaults"), QStringLiteral("set")};
    case TOrvel_CliCommand::ccRun:
        return {
            QStringLiteral("server"),   QStringLiteral("user"),      QStringLiteral("windows-auth"),
            QStringLiteral("database"), QStringLiteral("defaults"),  QStringLiteral("set"),
            QStringLiteral("csv"),      QStringLiteral("separator"), QStringLiteral("xml"),
            QStringLiteral("xhtml"),    QStringLiteral("xlsx"),      QStringLiteral("print"),
            QStringLiteral("timeout"),  QStringLiteral("spn"),       QStringLiteral("quiet"),
            QStringLiteral("encoding"), QStringLiteral("pdf"),       QStringLiteral("page"),
            QStringLiteral("orientation")};
    }
    return {};
}

struct Given {
    QString Name;
    QString Value;
};

QString CheckRun(TOrvel_CliOptions &o, const QHash<QString, QString> &single) {
    if (o.Server.isEmpty())
        return QStringLiteral("run needs --server");
    if (single.contains(QStringLiteral("user")) && o.WindowsAuth)
        return QStringLiteral("--user and --windows-auth exclude each other");
    if (single.contains(QStringLiteral("user")) && o.User.isEmpty())
        return QStringLiteral("--user needs a user name");
    if (single.contains(QStringLiteral("spn")) && o.ServerSpn.trimmed().isEmpty())
        return QStringLiteral("--spn needs a service principal name");
    if (single.contains(QStringLiteral("spn")) && !o.WindowsAuth)
        return QStringLiteral("--spn needs --windows-auth");
    int outputs = 0;
    const std::pair<const char *, TOrvel_CliOutput> kinds[] = {{"csv", TOrvel_CliOutput::coCsv},
                                                               {"xml", TOrvel_CliOutput::coXml},
                                                               {"xhtml", TOrvel_CliOutput::coXhtml},
                                                               {"xlsx", TOrvel_CliOutput::coXlsx},
                                                               {"pdf", TOrvel_CliOutput::coPdf}};
    for (const auto &[name, kind] : kinds) {
        const auto it = single.find(QLatin1String(name));
        if (it == single.end())
            continue;
        ++outputs;
        o.Output = kind;
        o.OutputFile = it.value();
        if (o.OutputFile.isEmpty())
            return QStringLiteral("--%1 needs a file name").arg(QLatin1String(name));
    }
    if (single.contains(QStringLiteral("print"))) {
        ++outputs;
        o.Output = TOrvel_CliOutput::coPrint;
    }
    if (outputs != 1)
        return QStringLiteral(
            "run needs exactly one of --csv, --xml, --xhtml, --xlsx, --pdf and --print");
    for (const auto &[name, choices, field] :
         {std::tuple{
              "page",
              QStringList{QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("Letter")},
              &o.PageSize},
          std::tuple{"orientation",
                     QStringList{QStringLiteral("auto"), QStringLiteral("portrait"),
                                 QStringLiteral("landscape")},
                     &o.Orientation}}) {
        const auto it = single.find(QLatin1String(name));
        if (it == single.end())
            continue;
        if (o.Output != TOrvel_CliOutput::coPdf)
            return QStringLiteral("--%1 belongs to --pdf").arg(QLatin1String(name));
        if (!choices.contains(it.value()))
            return QStringLiteral("--%1 needs one of %2")
                .arg(QLatin1String(name), choices.join(QStringLiteral(", ")));
        *field = it.value();
    }
    if (single.contains(QStringLiteral("separator"))) {
        if (o.Output != TOrvel_CliOutput::coCsv)
            return QStringLiteral("--separator belongs to --csv");
        const QString sep = single.value(QStringLiteral("separator"));
        if (sep.size() != 1)
            return QStringLiteral("--separator needs exactly one character");
        if (!IsValidCsvSeparator(sep.at(0)))
            return QStringLiteral("--separator cannot be a double quote, CR or LF");
        o.Separator = sep.at(0);
    }
    if (single.contains(QStringLiteral("encoding"))) {
        if (o.Output != TOrvel_CliOutput::coCsv)
            return QStringLiteral("--encoding belongs to --csv");
        o.Encoding = CsvEncodingFromName(single.value(QStringLiteral("encoding")));
        if (!o.Encoding)
            return QStringLiteral("--encoding needs windows-1250, utf-8 or utf-8-bom");
    }
    if (single.contains(QStringLiteral("timeout"))) {
        bool ok = false;
        const QString text = single.value(QStringLiteral("timeout"));
        const int seconds = text.toInt(&ok);
        // Whole seconds only; the upper bound keeps the milliseconds within a timer's range.
        if (!ok || seconds < 1 || seconds > 2000000 || text != QString::number(seconds))
            return QStringLiteral("--timeout needs a whole number of seconds from 1 to 2000000");
        o.TimeoutSeconds = seconds;
    }
    return {};
}

} // namespace

TOrvel_CliParse ParseCliArguments(const QStringList &arguments) {
    TOrvel_CliParse parse;
    TOrvel_CliOptions &o = parse.Options;
    QStringList positional;
    QList<Given> given;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(u'-') || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            parse.Error = QStringLiteral("unknown option '%1'").arg(arg);
            return parse;
        }
        QString name = arg.mid(2);
        QString value;
        const qsizetype eq = name.indexOf(u'=');
        const bool inlineValue = eq >= 0;
        if (inlineValue) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (kFlagOptions.contains(name)) {
            if (inlineValue) {
                parse.Error = QStringLiteral("--%1 takes no value").arg(name);
                return parse;
            }
        } else if (kValueOptions.contains(name)) {
            if (!inlineValue) {
                // A following option is not taken for a value: "--csv --print" is a mistake.
                if (i + 1 >= arguments.size() ||
                    arguments.at(i + 1).startsWith(QLatin1String("--"))) {
                    parse.Error = QStringLiteral("--%1 needs a value").arg(name);
                    return parse;
                }
                value = arguments.at(++i);
            }
        } else {
            parse.Error = QStringLiteral("unknown option '--%1'").arg(name);
            return parse;
        }
        given.append({name, value});
    }

    if (positional.isEmpty()) {
        bool help = false;
        for (const Given &g : given)
            help = help || g.Name == QLatin1String("help");
        if (!help)
            parse.Error = QStringLiteral("no command given");
        o.Command = TOrvel_CliCommand::ccHelp;
        return parse;
    }
    const QString command = positional.takeFirst();
    if (command == QLatin1String("list"))
        o.Command = TOrvel_CliCommand::ccList;
    else if (command == QLatin1String("info"))
        o.Command = TOrvel_CliCommand::ccInfo;
    else if (command == QLatin1String("params"))
        o.Command = TOrvel_CliCommand::ccParams;
    else if (command == QLatin1String("run"))
        o.Command = TOrvel_CliCommand::ccRun;
    else {
        parse.Error = QStringLiteral("unknown command '%1'").arg(command);
        return parse;
    }

    // Every option but --set at most once, and only where the command uses it.
    const QSet<QString> allowed = AllowedOptions(o.Command);
    QHash<QString, QString> single;
    for (const Given &g : given) {
        if (g.Name == QLatin1String("help")) {
            o.Command = TOrvel_CliCommand::ccHelp;
            return parse;
        }
        if (g.Name != QLatin1String("app-folder") && !allowed.contains(g.Name)) {
            parse.Error = QStringLiteral("%1 takes no option --%2").arg(command, g.Name);
            return parse;
        }
        if (g.Name == QLatin1String("set")) {
            const qsizetype eq = g.Value.indexOf(u'=');
            if (eq <= 0) {
                parse.Error = QStringLiteral("--set needs NAME=VALUE, got '%1'").arg(g.Value);
                return parse;
            }
            o.Sets.emplace_back(g.Value.left(eq), g.Value.mid(eq + 1));
            continue;
        }
        if (single.contains(g.Name)) {
            parse.Error = QStringLiteral("--%1 given more than once").arg(g.Name);
            return parse;
        }
        single.insert(g.Name, g.Value);
    }
    o.AppFolder = single.value(QStringLiteral("app-folder"));
    if (single.contains(QStringLiteral("app-folder")) && o.AppFolder.isEmpty()) {
        parse.Error = QStringLiteral("--app-folder needs a folder");
        return parse;
    }
    o.Defaults = single.contains(QStringLiteral("defaults"));
    o.Declare = single.contains(QStringLiteral("declare"));
    o.Server = single.value(QStringLiteral("server"));
    o.User = single.value(QStringLiteral("user"));
    o.WindowsAuth = single.contains(QStringLiteral("windows-auth"));
    o.ServerSpn = single.value(QStringLiteral("spn"));
    o.Quiet = single.contains(QStringLiteral("quiet"));
    o.Database = single.value(QStringLiteral("database"));

    const qsizetype wanted = o.Command == TOrvel_CliCommand::ccList ? 0 : 1;
    if (positional.size() != wanted) {
        parse.Error = positional.size() < wanted
                          ? QStringLiteral("%1 needs a report").arg(command)
                          : QStringLiteral("unexpected argument '%1'").arg(positional.at(wanted));
        return parse;
    }
    if (wanted == 1) {
        o.Report = positional.first();
        if (o.Report.isEmpty()) {
            parse.Error = QStringLiteral("%1 needs a report").arg(command);
            return parse;
        }
    }
    if (o.Command == TOrvel_CliCommand::ccRun)
        parse.Error = CheckRun(o, single);
    return parse;
}

// Laid out as GNU tools lay out their help, so that help2man makes the manual page from it: the
// usage lines, then sections whose entries each stand on a line of their own, two blanks between
// an entry and its text, continuations under the text.
QString CliUsageText() {
    return QStringLiteral(
        "Usage: orvel-zestawnik-cli [--app-folder DIR] list\n"
        "  or:  orvel-zestawnik-cli [--app-folder DIR] info REPORT [OPTION]...\n"
        "  or:  orvel-zestawnik-cli [--app-folder DIR] params REPORT [OPTION]...\n"
        "  or:  orvel-zestawnik-cli [--app-folder DIR] run REPORT --server SERVER [OPTION]...\n"
        "  or:  orvel-zestawnik-cli --help\n"
        "Runs the prepared SQL reports of Orvel-Zestawnik without the window.\n"
        "\n"
        "Commands:\n"
        "  list                the report tree, one line per node, two blanks of indent per\n"
        "                      level; a group's line ends with \"/\"\n"
        "  info REPORT         the report information tree, one node per line\n"
        "  params REPORT       the parameter block: with --declare the form with declarations,\n"
        "                      otherwise the assignments a run puts at the marker line\n"
        "  run REPORT          connect, run the report and save or print its result; exactly\n"
        "                      one of --csv, --xml, --xhtml, --xlsx, --pdf and --print is\n"
        "                      needed\n"
        "\n"
        "REPORT is a definition path relative to the \"data reports\" folder, with or without\n"
        "\".xml\", or a full path.\n"
        "\n"
        "Exit status:\n"
        "  0                   success\n"
        "  1                   failure\n"
        "  2                   wrong usage\n"
        "  130, 143            cancelled by SIGINT or SIGTERM: nothing is written; a second\n"
        "                      SIGINT within 10 s ends the runner at once\n"
        "\n"
        "Options:\n"
        "  --app-folder DIR    the folder that holds \"data\" and \"data reports\" (default: the\n"
        "                      executable's folder; for the installed program\n"
        "                      $XDG_DATA_HOME/orvel-zestawnik, by default\n"
        "                      ~/.local/share/orvel-zestawnik, filled on the first start)\n"
        "  --defaults          info, params, run: apply the report's stored parameter values\n"
        "                      first\n"
        "  --set NAME=VALUE    info, params, run: set a parameter from a value written as in\n"
        "                      \"NAME defaults.xml\"; may be given more than once\n"
        "  --declare           params: the form with declarations\n"
        "  --server SERVER     run: the server, as host, host\\INSTANCE, host,port or\n"
        "                      sqlite:FOLDER\n"
        "  --user USER         run: log in with SQL Server authentication as USER\n"
        "  --windows-auth      run: log in with the Kerberos ticket of the user (kinit)\n"
        "  --spn SPN           run, with --windows-auth: the server's Kerberos service name,\n"
        "                      where it is not MSSQLSvc/HOST:PORT of the name given (default:\n"
        "                      the preference Connection/ServerSPN)\n"
        "  --database DB       run: the database to use\n"
        "  --csv FILE          run: save the result as CSV\n"
        "  --separator C       with --csv: the field separator (default: the preference, else\n"
        "                      \",\")\n"
        "  --encoding ENC      with --csv: windows-1250, utf-8 (without a byte-order mark) or\n"
        "                      utf-8-bom (default: the preference, else windows-1250)\n"
        "  --xml FILE          run: save the result as XML\n"
        "  --xhtml FILE        run: save the result as an XHTML page\n"
        "  --xlsx FILE         run: save an Excel workbook with typed cells and the row styles;\n"
        "                      rows past the sheet limit continue on further sheets (told on\n"
        "                      stderr)\n"
        "  --pdf FILE          run: save a printable PDF document: the title, the parameters,\n"
        "                      the table with the row styles and its header on every page,\n"
        "                      page numbers\n"
        "  --page SIZE         with --pdf: the page size, A4 (default), A3 or Letter\n"
        "  --orientation O     with --pdf: auto (default: landscape when the columns are too\n"
        "                      wide for portrait), portrait or landscape\n"
        "  --print             run: print the result as text on stdout\n"
        "  --timeout SECONDS   run: cancel a run that takes longer (default: 600)\n"
        "  --quiet             run: no progress line; without it, when stderr is a terminal,\n"
        "                      one line shows the rows fetched, then the rows written, and is\n"
        "                      cleared at the end\n"
        "  --help              show this help and exit\n"
        "\n"
        "Environment:\n"
        "  ORVEL_PASSWORD      the password for --user; without it the runner asks on the\n"
        "                      terminal\n"
        "  XDG_DATA_HOME       where the installed program keeps each user's folder\n");
}
