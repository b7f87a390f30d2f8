#ifndef EXPORTCOMMAND_H
#define EXPORTCOMMAND_H

#include <QStringList>

#include <cstdio>

// The headless export: "jpgtool --export DIR [--picture FILE]... [--logo FILE]...".

// True when the arguments (program name first) ask for the command line rather than
// the window: any of --export, --picture, --logo, --help or -h.
bool wantsExportCommand(const QStringList &arguments);

// Exit codes of the export command.
enum ExportExit { ExportAllWritten = 0, ExportIncomplete = 1, ExportBadUsage = 2 };

// Writes the files the window would write for those lists in that order, one line per
// file written or picture skipped on out, and problems on err. Needs an application
// object for the program name but no display.
int runExportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err);

#endif // EXPORTCOMMAND_H
