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
    QStringLiteral("pdf"),        QStringLiteral("page"),     QStringLiteral("orientation")};
const QSet<QString> kFlagOptions = {QStringLiteral("defaults"), QStringLiteral("declare"),
                                    QStringLiteral("windows-auth"), QStringLiteral("print"),
                                    QStringLiteral("help")};

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
        return {QStringLiteral("server"),       QStringLiteral("user"),
                QStringLiteral("windows-auth"), QStringLiteral("database"),
                QStringLiteral("defaults"),     QStringLiteral("set"),
                QStringLiteral("csv"),          QStringLiteral("separator"),
                QStringLiteral("xml"),          QStringLiteral("xhtml"),
                QStringLiteral("xlsx"),         QStringLiteral("print"),
                QStringLiteral("timeout"),      QStringLiteral("spn"),
                QStringLiteral("pdf"),          QStringLiteral("page"),
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

QString CliUsageText() {
    return QStringLiteral(
        "Usage: orvel-zestawnik-cli [--app-folder DIR] COMMAND [options]\n"
        "\n"
        "  list\n"
        "      The report tree, one line per node, two blanks of indent per level;\n"
        "      a group's line ends with \"/\".\n"
        "  info REPORT [--defaults] [--set NAME=VALUE]...\n"
        "      The report information tree, one node per line.\n"
        "  params REPORT [--declare] [--defaults] [--set NAME=VALUE]...\n"
        "      The parameter block: with --declare the form with declarations, otherwise the\n"
        "      assignments a run puts at the marker line.\n"
        "  run REPORT --server SERVER [--user USER | --windows-auth [--spn SPN]]\n"
        "             [--database DB]\n"
        "             [--defaults] [--set NAME=VALUE]...\n"
        "             (--csv FILE [--separator C] | --xml FILE | --xhtml FILE | --xlsx FILE |\n"
        "              --pdf FILE [--page A4|A3|Letter] [--orientation auto|portrait|landscape] |\n"
        "              --print) [--timeout SECONDS]\n"
        "      Connects, runs the report and saves or prints its result. The password comes\n"
        "      from the environment variable ORVEL_PASSWORD or is asked for on the terminal.\n"
        "      SIGINT or SIGTERM cancels the run and writes nothing (exit status 130 or 143);\n"
        "      a second SIGINT within 10 s ends the runner at once.\n"
        "\n"
        "  --windows-auth   log in with the Kerberos ticket of the user (kinit)\n"
        "  --spn SPN        the server's Kerberos service name, where it is not\n"
        "                   MSSQLSvc/HOST:PORT of the name given (default: the\n"
        "                   preference Connection/ServerSPN)\n"
        "  --defaults       apply the report's stored parameter values first\n"
        "  --set NAME=VALUE set a parameter from a value written as in \"NAME defaults.xml\"\n"
        "  --separator C    CSV separator (default: the preference, else \",\")\n"
        "  --xlsx FILE      an Excel workbook with typed cells and the row styles; rows past\n"
        "                   the sheet limit continue on further sheets (told on stderr)\n"
        "  --pdf FILE       a printable PDF document: the title, the parameters, the table with\n"
        "                   the row styles and its header on every page, page numbers\n"
        "  --page SIZE      the PDF's page size: A4 (default), A3 or Letter\n"
        "  --orientation O  auto (default: landscape when the columns are too wide for\n"
        "                   portrait), portrait or landscape\n"
        "  --timeout SECONDS cancel a run that takes longer (default: 600)\n"
        "\n"
        "REPORT is a definition path relative to the \"data reports\" folder, with or without\n"
        "\".xml\", or a full path. --app-folder holds \"data\" and \"data reports\" (default: the\n"
        "executable's folder; for the installed program $XDG_DATA_HOME/orvel-zestawnik, by\n"
        "default ~/.local/share/orvel-zestawnik, filled on the first start). Exit status:\n"
        "0 success, 1 failure, 2 wrong usage, 130 or 143 cancelled by SIGINT or SIGTERM.\n");
}
