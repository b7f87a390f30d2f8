#include "hostoptions.h"

#include "scriptreader.h"
#include "hexnumber.h"
#include "toolcommandline.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include <climits>

namespace {

QString choices(const QVector<SerialChoice> &table)
{
    QStringList names;
    for (const SerialChoice &c : table)
        names << QString::fromLatin1(c.text);
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// Empty when the option is not given or names one of the table's choices, which
// goes to *value; otherwise what is wrong.
template <typename T>
QString choose(const QCommandLineParser &parser, const QCommandLineOption &option, const QVector<SerialChoice> &table,
               T *value)
{
    if (!parser.isSet(option))
        return QString();
    for (const SerialChoice &c : table) {
        if (parser.value(option) == QLatin1String(c.text)) {
            *value = T(c.value);
            return QString();
        }
    }
    return QStringLiteral("--%1: \"%2\" is not one of %3").arg(option.names().first(), parser.value(option), choices(table));
}

bool parseInt(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= low && *value <= high;
}

// "4c56:0105", "0x4c56:0x105"
bool parseUsbIds(const QString &text, unsigned short *vendorId, unsigned short *productId)
{
    const QStringList ids = text.split(QLatin1Char(':'));
    return ids.size() == 2 && HexNumber::parseId(ids.at(0), vendorId) && HexNumber::parseId(ids.at(1), productId);
}

struct Options
{
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Serial port to open (/dev/ttyUSB0, COM3)."),
                            QStringLiteral("NAME")};
    QCommandLineOption baud{QStringLiteral("baud"),
                            QStringLiteral("Serial: baud rate, any the port takes, such as 9600, 19200, 38400, "
                                           "57600, 115200, 230400, 460800 or 921600 (default 115200)."),
                            QStringLiteral("RATE")};
    QCommandLineOption dataBits{QStringLiteral("data-bits"), QStringLiteral("Serial: data bits, one of 5, 6, 7 or 8 (default 8)."),
                                QStringLiteral("N")};
    QCommandLineOption parity{QStringLiteral("parity"),
                              QStringLiteral("Serial: parity, one of %1 (default none).").arg(choices(SerialSettings::parityChoices())),
                              QStringLiteral("KIND")};
    QCommandLineOption stopBits{QStringLiteral("stop-bits"), QStringLiteral("Serial: stop bits, one of %1 (default 1).").arg(choices(SerialSettings::stopBitsChoices())),
                                QStringLiteral("N")};
    QCommandLineOption flow{QStringLiteral("flow"),
                            QStringLiteral("Serial: flow control, one of %1 (default none).").arg(choices(SerialSettings::flowControlChoices())),
                            QStringLiteral("KIND")};
    QCommandLineOption udp{QStringLiteral("udp"),
                           QStringLiteral("Send to the device at this IPv4 address or host name and UDP port."),
                           QStringLiteral("HOST:PORT")};
    QCommandLineOption broadcast{
        QStringLiteral("broadcast"),
        QStringLiteral("Find devices: broadcast one command (the --cmd given, default 71:00) to this UDP port and "
                       "list every device that answers within the timeout."),
        QStringLiteral("PORT")};
    QCommandLineOption usb{QStringLiteral("usb"),
                           QStringLiteral("USB HID device to open, by vendor and product id in hexadecimal, "
                                          "with or without 0x: 4c56:0105."),
                           QStringLiteral("VID:PID")};
    QCommandLineOption cmd{QStringLiteral("cmd"),
                           QStringLiteral("Command to send, cmd:sub[:p1[:p2[:p3]]][/block], each byte in hexadecimal "
                                          "with or without 0x, e.g. e1:00 or e0:01:00:04:00/0a0b0c0d; a block HEX*N "
                                          "is HEX N times, and p2 + 256 * p3 must be its length. As a script line, "
                                          "it may go on with timeout=MS, expect=... and a # comment. Repeatable."),
                           QStringLiteral("TEXT")};
    QCommandLineOption script{QStringLiteral("script"),
                              QStringLiteral("Read the commands from FILE (- for standard input): one a line as for --cmd, optionally "
                                             "followed by timeout=MS and expect=answer|drop|give-up; # starts a "
                                             "comment, which names the command in the reports."),
                              QStringLiteral("FILE")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Reply timeout per command in ms as the dispatcher counts them: each 10 ms "
                                              "poll counts 15 ms, so 1500 resends after about 1 s (default 1000)."),
                               QStringLiteral("MS")};
    QCommandLineOption head{QStringLiteral("head"), QStringLiteral("Frame head byte, in hexadecimal (default 01)."),
                            QStringLiteral("HH")};
    QCommandLineOption deadline{QStringLiteral("deadline"),
                                QStringLiteral("Stop the whole run, failed, after S seconds (default: no limit)."),
                                QStringLiteral("S")};
    QCommandLineOption giveUpLimit{
        QStringLiteral("give-up-limit"),
        QStringLiteral("Stop the run, failed, once N commands in a row were given up (default 3; 0: never)."),
        QStringLiteral("N")};
    QCommandLineOption errorLog{QStringLiteral("errorlog"),
                                QStringLiteral("Write given-up commands to the daily error log under DIR/Errorlog/."),
                                QStringLiteral("DIR")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Print one JSON object a line for every event and the summary.")};
    QCommandLineOption wire{QStringLiteral("wire"),
                            QStringLiteral("Report every byte the medium reads and writes, as it was, before any "
                                           "decoding (JSON: \"wire\" lines).")};
    QCommandLineOption log{QStringLiteral("log"), QStringLiteral("Show the libraries' debug log on stderr.")};

    QList<QCommandLineOption> medium() const { return {port, baud, dataBits, parity, stopBits, flow, udp, broadcast, usb}; }

    QList<QCommandLineOption> all() const
    {
        return medium()
            + QList<QCommandLineOption>{cmd, script, timeout, head, deadline, giveUpLimit, errorLog, json, wire, log};
    }
};


// Each of the following reads a part of the options into *result and returns what
// is wrong, or nothing.

QString parseSerial(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    result->portName = parser.value(o.port);
    if (result->portName.isEmpty())
        return QStringLiteral("--port: give the name of a serial port");
    SerialSettings &s = result->serial;
    // Any positive rate: adapters take far more than the standard ones, and the
    // port says at open whether it takes this one.
    if (parser.isSet(o.baud) && !parseInt(parser.value(o.baud), 1, INT_MAX, &s.baudRate))
        return QStringLiteral("--baud: \"%1\" is not a positive number of bits per second").arg(parser.value(o.baud));
    for (const QString &why : {choose(parser, o.dataBits, SerialSettings::dataBitsChoices(), &s.dataBits),
                               choose(parser, o.parity, SerialSettings::parityChoices(), &s.parity),
                               choose(parser, o.stopBits, SerialSettings::stopBitsChoices(), &s.stopBits),
                               choose(parser, o.flow, SerialSettings::flowControlChoices(), &s.flowControl)}) {
        if (!why.isEmpty())
            return why;
    }
    return QString();
}

QString parseUdp(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    const QString text = parser.value(o.udp);
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    result->udpHost = text.left(colon);
    if (colon <= 0 || !parseInt(text.mid(colon + 1), 1, 0xFFFF, &result->udpPort))
        return QStringLiteral("--udp: \"%1\" is not HOST:PORT with a port from 1 to 65535").arg(text);
    if (result->udpHost.contains(QLatin1Char(':')))
        return QStringLiteral("--udp: \"%1\": the transport speaks IPv4 only").arg(text);
    return QString();
}

QString parseBroadcast(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    if (!parseInt(parser.value(o.broadcast), 1, 0xFFFF, &result->udpPort))
        return QStringLiteral("--broadcast: \"%1\" is not a port from 1 to 65535").arg(parser.value(o.broadcast));
    result->defaults.sendMode = 1;
    return QString();
}

QString parseUsb(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    if (!parseUsbIds(parser.value(o.usb), &result->vendorId, &result->productId))
        return QStringLiteral("--usb: \"%1\" is not VID:PID in hexadecimal, e.g. 4c56:0105").arg(parser.value(o.usb));
    return QString();
}

// Exactly one medium, with the options that belong to it.
QString parseMedium(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    const struct
    {
        const QCommandLineOption &option;
        HostOptions::Medium medium;
        QString (*parse)(const QCommandLineParser &, const Options &, HostOptions *);
    } media[] = {
        {o.port, HostOptions::Medium::Serial, parseSerial},
        {o.udp, HostOptions::Medium::Udp, parseUdp},
        {o.broadcast, HostOptions::Medium::Broadcast, parseBroadcast},
        {o.usb, HostOptions::Medium::Usb, parseUsb},
    };
    int given = 0;
    for (const auto &m : media)
        given += parser.isSet(m.option) ? 1 : 0;
    if (given != 1)
        return QStringLiteral("give one of --port NAME, --udp HOST:PORT, --broadcast PORT or --usb VID:PID");
    for (const QCommandLineOption *serialOnly : {&o.baud, &o.dataBits, &o.parity, &o.stopBits, &o.flow}) {
        if (parser.isSet(*serialOnly) && !parser.isSet(o.port))
            return QStringLiteral("--%1 applies to --port only").arg(serialOnly->names().first());
    }
    for (const auto &m : media) {
        if (parser.isSet(m.option)) {
            result->medium = m.medium;
            return m.parse(parser, o, result);
        }
    }
    return QString();
}

// What applies to every medium.
QString parseRun(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    if (parser.isSet(o.timeout) && !parseInt(parser.value(o.timeout), 0, 3600000, &result->defaults.timeoutMs))
        return QStringLiteral("--timeout: \"%1\" is not a number of milliseconds from 0 to 3600000")
            .arg(parser.value(o.timeout));
    if (parser.isSet(o.head) && !HexNumber::parseByte(parser.value(o.head), &result->defaults.head))
        return QStringLiteral("--head: \"%1\" is not a hexadecimal byte").arg(parser.value(o.head));
    if (parser.isSet(o.deadline) && !parseInt(parser.value(o.deadline), 1, 2000000, &result->deadlineS))
        return QStringLiteral("--deadline: \"%1\" is not a number of seconds from 1 to 2000000")
            .arg(parser.value(o.deadline));
    if (parser.isSet(o.giveUpLimit) && !parseInt(parser.value(o.giveUpLimit), 0, INT_MAX, &result->giveUpLimit))
        return QStringLiteral("--give-up-limit: \"%1\" is not a number of commands").arg(parser.value(o.giveUpLimit));
    result->errorLogDir = parser.value(o.errorLog);
    if (parser.isSet(o.errorLog) && result->errorLogDir.isEmpty())
        return QStringLiteral("--errorlog: give a directory");
    result->json = parser.isSet(o.json);
    result->wire = parser.isSet(o.wire);
    result->showLog = parser.isSet(o.log);
    return QString();
}

// The script, or the --cmd commands read as script lines are, with the defaults.
QString parseCommands(const QCommandLineParser &parser, const Options &o, HostOptions *result)
{
    const bool broadcast = result->medium == HostOptions::Medium::Broadcast;
    if (parser.isSet(o.script)) {
        if (parser.isSet(o.cmd))
            return QStringLiteral("give --cmd or --script, not both");
        if (broadcast)
            return QStringLiteral("--script: --broadcast sends one command; give it with --cmd");
        result->scriptPath = parser.value(o.script);
        return result->scriptPath.isEmpty() ? QStringLiteral("--script: give a file") : QString();
    }
    QStringList texts = parser.values(o.cmd);
    if (broadcast && texts.size() > 1)
        return QStringLiteral("--broadcast sends one command; give at most one --cmd");
    if (broadcast && texts.isEmpty())
        texts << QStringLiteral("71:00");
    if (texts.isEmpty())
        return QStringLiteral("give at least one --cmd, or --script FILE");
    for (const QString &text : texts) {
        PlannedCommand planned;
        QString why;
        if (ScriptReader::parseLine(text, result->defaults, &planned, &why) != ScriptReader::LineKind::Command)
            return QStringLiteral("--cmd: ") + (why.isEmpty() ? QStringLiteral("give a command") : why);
        result->commands << planned;
    }
    return QString();
}

} // namespace

namespace HostCommandLine {

Result parse(const QStringList &arguments, HostOptions *options, QString *message)
{
    const Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Example host: sends commands through the serial, UDP or USB transport and reports each send, reply, "
        "resend, drop and give-up, then a summary. Exit status: 0 when every command ended as planned, 1 when "
        "the run failed, 2 on bad usage."));
    parser.addOptions(o.all());
    const Result read = ToolCommandLine::parse(&parser, QStringLiteral("hostcli"), arguments, message);
    if (read != Result::Run)
        return read;
    QString why;
    for (const QCommandLineOption &option : o.all()) {
        if (why.isEmpty() && option.names().first() != QLatin1String("cmd") && parser.values(option).size() > 1)
            why = QStringLiteral("--%1 given more than once").arg(option.names().first());
    }
    HostOptions result;
    for (auto part : {parseMedium, parseRun, parseCommands}) {
        if (why.isEmpty())
            why = part(parser, o, &result);
    }
    if (!why.isEmpty()) {
        *message = ToolCommandLine::usageError(QStringLiteral("hostcli"), why);
        return Result::Error;
    }
    *options = result;
    return Result::Run;
}

void addMediumOptions(QCommandLineParser *parser)
{
    parser->addOptions(Options().medium());
}

bool readMedium(const QCommandLineParser &parser, HostOptions *options, bool *given, QString *message)
{
    const Options o;
    *given = false;
    for (const QCommandLineOption &option : o.medium()) {
        if (parser.values(option).size() > 1) {
            *message = QStringLiteral("--%1 given more than once").arg(option.names().first());
            return false;
        }
        *given = *given || parser.isSet(option);
    }
    if (!*given)
        return true;
    *message = parseMedium(parser, o, options);
    return message->isEmpty();
}

} // namespace HostCommandLine
