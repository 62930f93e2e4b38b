#pragma once
// What every command shares: output to the console, one-line failures, and option
// parsing with help texts written for users.

#include <QString>
#include <QStringList>
#include <cstdio>

class QCommandLineParser;

namespace cli {

// `text` with every control character but line feed and tab shown as "?": names and
// messages from pages, templates and servers may hold a terminal's escape sequences
// (retitle it, clear it, move the cursor over a finding) or a carriage return.
QString Printable(const QString &text);
// Printable text in the locale's encoding, flushed at once (progress and results
// interleave).
void write(FILE *stream, const QString &text);
// "quillmark" or "quillmark COMMAND": the start of every message.
QString prefix(const QString &command);
// Prints "quillmark COMMAND: message" as one line on standard error; returns `status`.
int fail(const QString &command, const QString &message, int status);

struct CommandHelp {
    QString usage;       // after "Usage: "
    QString description; // what the command does
    QString notes;       // after the options: details and an example
};

// Adds -h/--help and parses `arguments` (without the program and command). Returns
// -1 to go on, otherwise the exit status: help shown, or a usage error reported.
int parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
          const CommandHelp &help);

QString absolute(const QString &path);

} // namespace cli
