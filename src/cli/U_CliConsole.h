#pragma once
// The runner's console: text to standard output and standard error in the system's encoding with
// the platform's line ends, and the password, asked for on the controlling terminal.
#include <QString>

#include <optional>

// Writes the text; CR LF and lone CR become LF (the core's texts carry CR LF).
void WriteOut(const QString &text);
void WriteErr(const QString &text);

// Asks for the password on the controlling terminal without echoing it; nothing when there is no
// terminal to ask on.
std::optional<QString> AskPasswordOnTerminal(const QString &prompt);
