#pragma once
// The command line of the runner, checked for the command's own options. Anything the runner
// cannot act on is wrong usage, told before any file is read or any connection is made.
#include "U_DataExport.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

enum class TOrvel_CliCommand { ccList, ccInfo, ccParams, ccRun, ccHelp };
enum class TOrvel_CliOutput { coNone, coCsv, coXml, coXhtml, coXlsx, coPdf, coPrint };

struct TOrvel_CliOptions {
    TOrvel_CliCommand Command = TOrvel_CliCommand::ccHelp;
    QString AppFolder; // empty: the executable's folder
    QString Report;
    bool Defaults = false;
    bool Declare = false;
    std::vector<std::pair<QString, QString>> Sets; // NAME=VALUE, in the order given

    QString Server;
    QString User; // set: SQL Server authentication
    bool WindowsAuth = false;
    QString ServerSpn; // with Windows authentication: the server's Kerberos service name
    QString Database;

    TOrvel_CliOutput Output = TOrvel_CliOutput::coNone;
    QString OutputFile;
    std::optional<QChar> Separator;
    // --pdf: the page size ("A4", "A3", "Letter") and orientation ("auto", "portrait",
    // "landscape").
    QString PageSize = QStringLiteral("A4");
    QString Orientation = QStringLiteral("auto");
    std::optional<TOrvel_CsvEncoding> Encoding; // none: the preference, else Windows-1250
    int TimeoutSeconds = 600;                   // a run longer than this is cancelled
    bool Quiet = false;                         // no progress line on the terminal
};

struct TOrvel_CliParse {
    TOrvel_CliOptions Options;
    QString Error; // empty when the command line is usable
};

// `arguments` without the program's name.
TOrvel_CliParse ParseCliArguments(const QStringList &arguments);
QString CliUsageText();
