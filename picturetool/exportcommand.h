#ifndef EXPORTCOMMAND_H
#define EXPORTCOMMAND_H

#include <QString>
#include <QStringList>

#include <cstdio>

// The program's command line: no options for the window; "--export DIR [--picture
// FILE]... [--logo FILE]..." for the headless export; --help and --version.

// What the arguments (program name first) ask for. Read before any application object
// exists, so that nothing but the window needs a display.
struct CommandLine
{
    enum Action { Window, Help, Version, BadUsage, Export };

    Action action = Window;
    QString error;          // for BadUsage, the reason
    QString directory;      // for Export
    QStringList pictures;   // absolute, each once, in the order given
    QStringList logos;
};

CommandLine parseCommandLine(const QStringList &arguments);

// Exit codes of everything but the window.
enum ExportExit { ExportAllWritten = 0, ExportIncomplete = 1, ExportBadUsage = 2 };

// Carries out every action but Window: help and version on out, the reason of bad
// usage on err, and the export with one line per file written on out and what went
// wrong on err. Needs an application object (for the help text) but no display.
int runCommandLine(const CommandLine &command, std::FILE *out, std::FILE *err);

// The message for the first argument (after the program name) whose bytes do not
// decode in the system's encoding, such as a file name that is not valid UTF-8: its
// text could not name the file again. Empty when every argument decodes.
QString undecodableArgument(int argc, char *argv[]);

// Whether the window could be shown: false only where the windowing system is known
// to be out of reach (no X or Wayland display and no platform chosen).
bool displayAvailable();
// Says so, and that the export needs none; for standard error before exit code 2.
QString noDisplayMessage();

#endif // EXPORTCOMMAND_H
