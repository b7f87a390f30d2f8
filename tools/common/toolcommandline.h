#ifndef TOOLCOMMANDLINE_H
#define TOOLCOMMANDLINE_H

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The conventions every program of the tools follows: --help and --version print on
// stdout and exit 0; bad usage (an unknown option, a bad value, an argument the
// program does not take) prints the reason on stderr and exits 2.
namespace ToolCommandLine {

enum class Result { Run, Help, Version, Error };

// Exit status for bad usage.
constexpr int kUsageError = 2;

// The project's version, "1.0.5".
QString version();

// Adds --help and --version to parser and reads arguments (without the program's
// name). Help and Version: *message is the text to print. Error: *message is
// "PROGRAM: what is wrong". Positional arguments are refused unless
// acceptsPositional.
Result parse(QCommandLineParser *parser, const QString &program, const QStringList &arguments, QString *message,
             bool acceptsPositional = false);

// The one wording of bad usage: "PROGRAM: what is wrong (see --help)"; values are
// quoted with double quotes.
QString usageError(const QString &program, const QString &why);

// Prints message where result says and returns the exit status: 0 for Help and
// Version, kUsageError for Error; -1 for Run, which prints nothing.
int finish(Result result, const QString &message);


} // namespace ToolCommandLine

#endif // TOOLCOMMANDLINE_H
