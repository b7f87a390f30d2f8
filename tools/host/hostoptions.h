#ifndef HOSTOPTIONS_H
#define HOSTOPTIONS_H

#include "mediumoptions.h"
#include "plannedcommand.h"
#include "toolcommandline.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;

// Everything hostcli is told on its command line: the medium, and the run.
struct HostOptions : MediumOptions
{
    // The --cmd commands, read as script lines are, with the defaults; or the
    // script to read.
    QList<PlannedCommand> commands;
    QString scriptPath;
    CommandDefaults defaults;

    int deadlineS = 0; // 0: none
    int giveUpLimit = 3;
    QString errorLogDir;
    bool json = false;
    // Every byte on the medium is reported too.
    bool wire = false;
    bool showLog = false;
};

namespace HostCommandLine {

using Result = ToolCommandLine::Result;

// Reads hostcli's arguments (without the program name). Help and Version: *message
// is the text to print. Error: *message names the option and what is wrong with it.
Result parse(const QStringList &arguments, HostOptions *options, QString *message);

// The options that name a medium as hostcli reads them (--port with its line
// settings, --udp, --broadcast, --usb), for another program that opens one.
void addMediumOptions(QCommandLineParser *parser);
// Reads what addMediumOptions added into *options; *given says whether any was.
// False, with *message naming the option and what is wrong with it.
bool readMedium(const QCommandLineParser &parser, HostOptions *options, bool *given, QString *message);

} // namespace HostCommandLine

#endif // HOSTOPTIONS_H
