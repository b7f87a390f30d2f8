#ifndef HOSTOPTIONS_H
#define HOSTOPTIONS_H

#include "plannedcommand.h"
#include "toolcommandline.h"

#include <QSerialPort>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// A serial line's settings as hostcli takes them.
struct SerialSettings
{
    // Any rate: QSerialPort takes what the driver does, beyond its named ones.
    qint32 baudRate = QSerialPort::Baud115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // "115200 8N1", "9600 7E2 with hardware flow control"
    QString describe() const;
};

// Everything hostcli is told on its command line.
struct HostOptions
{
    enum class Medium { Serial, Udp, Broadcast, Usb };

    Medium medium = Medium::Serial;
    QString portName;
    SerialSettings serial;
    // As given: an IPv4 address or a host name, resolved when the medium opens.
    QString udpHost;
    int udpPort = 0;
    unsigned short vendorId = 0;
    unsigned short productId = 0;

    // The --cmd commands, read as script lines are, with the defaults; or the
    // script to read.
    QList<PlannedCommand> commands;
    QString scriptPath;
    CommandDefaults defaults;

    int deadlineS = 0; // 0: none
    int giveUpLimit = 3;
    QString errorLogDir;
    bool json = false;
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
