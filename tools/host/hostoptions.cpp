#include "hostoptions.h"

#include "commandtext.h"
#include "hexnumber.h"
#include "toolcommandline.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include <climits>
#include <iterator>

namespace {

template <typename T>
struct Choice
{
    const char *text;
    T value;
};

const Choice<QSerialPort::BaudRate> kBaudRates[] = {
    {"1200", QSerialPort::Baud1200},   {"2400", QSerialPort::Baud2400},   {"4800", QSerialPort::Baud4800},
    {"9600", QSerialPort::Baud9600},   {"19200", QSerialPort::Baud19200}, {"38400", QSerialPort::Baud38400},
    {"57600", QSerialPort::Baud57600}, {"115200", QSerialPort::Baud115200},
};
const Choice<QSerialPort::DataBits> kDataBits[] = {
    {"5", QSerialPort::Data5}, {"6", QSerialPort::Data6}, {"7", QSerialPort::Data7}, {"8", QSerialPort::Data8},
};
const Choice<QSerialPort::Parity> kParities[] = {
    {"none", QSerialPort::NoParity},   {"even", QSerialPort::EvenParity}, {"odd", QSerialPort::OddParity},
    {"space", QSerialPort::SpaceParity}, {"mark", QSerialPort::MarkParity},
};
const Choice<QSerialPort::StopBits> kStopBits[] = {
    {"1", QSerialPort::OneStop}, {"1.5", QSerialPort::OneAndHalfStop}, {"2", QSerialPort::TwoStop},
};
const Choice<QSerialPort::FlowControl> kFlowControls[] = {
    {"none", QSerialPort::NoFlowControl},
    {"hardware", QSerialPort::HardwareControl},
    {"software", QSerialPort::SoftwareControl},
};

template <typename T, size_t N>
QString choices(const Choice<T> (&table)[N])
{
    QStringList names;
    for (const Choice<T> &c : table)
        names << QString::fromLatin1(c.text);
    return names.join(QStringLiteral(", "));
}

template <typename T, size_t N>
bool pick(const Choice<T> (&table)[N], const QString &text, T *value)
{
    for (const Choice<T> &c : table) {
        if (text == QLatin1String(c.text)) {
            *value = c.value;
            return true;
        }
    }
    return false;
}

template <typename T>
QString nameOf(const Choice<T> *begin, const Choice<T> *end, T value)
{
    for (const Choice<T> *c = begin; c != end; ++c) {
        if (c->value == value)
            return QString::fromLatin1(c->text);
    }
    return QStringLiteral("?");
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
                            QStringLiteral("Serial: baud rate, one of %1 (default 115200).").arg(choices(kBaudRates)),
                            QStringLiteral("RATE")};
    QCommandLineOption dataBits{QStringLiteral("data-bits"), QStringLiteral("Serial: 5, 6, 7 or 8 (default 8)."),
                                QStringLiteral("N")};
    QCommandLineOption parity{QStringLiteral("parity"),
                              QStringLiteral("Serial: %1 (default none).").arg(choices(kParities)),
                              QStringLiteral("KIND")};
    QCommandLineOption stopBits{QStringLiteral("stop-bits"), QStringLiteral("Serial: 1, 1.5 or 2 (default 1)."),
                                QStringLiteral("N")};
    QCommandLineOption flow{QStringLiteral("flow"),
                            QStringLiteral("Serial: flow control, %1 (default none).").arg(choices(kFlowControls)),
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
                                          "is HEX N times, and p2 + 256 * p3 must be its length. Repeatable."),
                           QStringLiteral("TEXT")};
    QCommandLineOption script{QStringLiteral("script"),
                              QStringLiteral("Read the commands from FILE: one a line as for --cmd, optionally "
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
    QCommandLineOption log{QStringLiteral("log"), QStringLiteral("Show the libraries' debug log on stderr.")};

    QList<QCommandLineOption> all() const
    {
        return {port,    baud,   dataBits, parity,   stopBits,    flow,     udp,  broadcast, usb, cmd,
                script, timeout, head,     deadline, giveUpLimit, errorLog, json, log};
    }
};

} // namespace

QString SerialSettings::describe() const
{
    const QString parityLetter = QStringLiteral("NEOSM").at(
        parity == QSerialPort::NoParity      ? 0
        : parity == QSerialPort::EvenParity  ? 1
        : parity == QSerialPort::OddParity   ? 2
        : parity == QSerialPort::SpaceParity ? 3
                                             : 4);
    const QString stop = nameOf(std::begin(kStopBits), std::end(kStopBits), stopBits);
    QString text = QStringLiteral("%1 %2%3%4").arg(int(baudRate)).arg(int(dataBits)).arg(parityLetter, stop);
    if (flowControl != QSerialPort::NoFlowControl)
        text += QStringLiteral(" with %1 flow control")
                    .arg(nameOf(std::begin(kFlowControls), std::end(kFlowControls), flowControl));
    return text;
}

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

    auto fail = [message](const QString &text) {
        *message = QStringLiteral("hostcli: ") + text;
        return Result::Error;
    };
    const Result read = ToolCommandLine::parse(&parser, QStringLiteral("hostcli"), arguments, message);
    if (read != Result::Run)
        return read;
    for (const QCommandLineOption &option : o.all()) {
        if (option.names().first() != QLatin1String("cmd") && parser.values(option).size() > 1)
            return fail(QStringLiteral("--%1 given more than once").arg(option.names().first()));
    }

    HostOptions result;
    const int media = int(parser.isSet(o.port)) + int(parser.isSet(o.udp)) + int(parser.isSet(o.broadcast))
                      + int(parser.isSet(o.usb));
    if (media != 1)
        return fail(QStringLiteral("give one of --port NAME, --udp HOST:PORT, --broadcast PORT or --usb VID:PID "
                                   "(see --help)"));

    if (parser.isSet(o.port)) {
        result.medium = HostOptions::Medium::Serial;
        result.portName = parser.value(o.port);
        if (result.portName.isEmpty())
            return fail(QStringLiteral("--port: give the name of a serial port"));
        SerialSettings &s = result.serial;
        if (parser.isSet(o.baud) && !pick(kBaudRates, parser.value(o.baud), &s.baudRate))
            return fail(QStringLiteral("--baud: \"%1\" is not one of %2").arg(parser.value(o.baud), choices(kBaudRates)));
        if (parser.isSet(o.dataBits) && !pick(kDataBits, parser.value(o.dataBits), &s.dataBits))
            return fail(QStringLiteral("--data-bits: \"%1\" is not one of %2")
                            .arg(parser.value(o.dataBits), choices(kDataBits)));
        if (parser.isSet(o.parity) && !pick(kParities, parser.value(o.parity), &s.parity))
            return fail(QStringLiteral("--parity: \"%1\" is not one of %2")
                            .arg(parser.value(o.parity), choices(kParities)));
        if (parser.isSet(o.stopBits) && !pick(kStopBits, parser.value(o.stopBits), &s.stopBits))
            return fail(QStringLiteral("--stop-bits: \"%1\" is not one of %2")
                            .arg(parser.value(o.stopBits), choices(kStopBits)));
        if (parser.isSet(o.flow) && !pick(kFlowControls, parser.value(o.flow), &s.flowControl))
            return fail(QStringLiteral("--flow: \"%1\" is not one of %2")
                            .arg(parser.value(o.flow), choices(kFlowControls)));
    } else {
        for (const QCommandLineOption *serialOnly : {&o.baud, &o.dataBits, &o.parity, &o.stopBits, &o.flow}) {
            if (parser.isSet(*serialOnly))
                return fail(QStringLiteral("--%1 applies to --port only").arg(serialOnly->names().first()));
        }
    }
    if (parser.isSet(o.udp)) {
        result.medium = HostOptions::Medium::Udp;
        const QString text = parser.value(o.udp);
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        result.udpHost = text.left(colon);
        if (colon <= 0 || !parseInt(text.mid(colon + 1), 1, 0xFFFF, &result.udpPort))
            return fail(QStringLiteral("--udp: \"%1\" is not HOST:PORT with a port from 1 to 65535").arg(text));
        if (result.udpHost.contains(QLatin1Char(':')))
            return fail(QStringLiteral("--udp: \"%1\": the transport speaks IPv4 only").arg(text));
    }
    if (parser.isSet(o.broadcast)) {
        result.medium = HostOptions::Medium::Broadcast;
        if (!parseInt(parser.value(o.broadcast), 1, 0xFFFF, &result.udpPort))
            return fail(QStringLiteral("--broadcast: \"%1\" is not a port from 1 to 65535").arg(parser.value(o.broadcast)));
        result.defaults.sendMode = 1;
    }
    if (parser.isSet(o.usb)) {
        result.medium = HostOptions::Medium::Usb;
        if (!parseUsbIds(parser.value(o.usb), &result.vendorId, &result.productId))
            return fail(QStringLiteral("--usb: \"%1\" is not VID:PID in hexadecimal, e.g. 4c56:0105")
                            .arg(parser.value(o.usb)));
    }

    if (parser.isSet(o.timeout) && !parseInt(parser.value(o.timeout), 0, 3600000, &result.defaults.timeoutMs))
        return fail(QStringLiteral("--timeout: \"%1\" is not a number of milliseconds from 0 to 3600000")
                        .arg(parser.value(o.timeout)));
    if (parser.isSet(o.head) && !HexNumber::parseByte(parser.value(o.head), &result.defaults.head))
        return fail(QStringLiteral("--head: \"%1\" is not a hexadecimal byte").arg(parser.value(o.head)));
    if (parser.isSet(o.deadline) && !parseInt(parser.value(o.deadline), 1, 2000000, &result.deadlineS))
        return fail(QStringLiteral("--deadline: \"%1\" is not a number of seconds from 1 to 2000000")
                        .arg(parser.value(o.deadline)));
    if (parser.isSet(o.giveUpLimit) && !parseInt(parser.value(o.giveUpLimit), 0, INT_MAX, &result.giveUpLimit))
        return fail(QStringLiteral("--give-up-limit: \"%1\" is not a number of commands").arg(parser.value(o.giveUpLimit)));
    if (parser.isSet(o.errorLog)) {
        result.errorLogDir = parser.value(o.errorLog);
        if (result.errorLogDir.isEmpty())
            return fail(QStringLiteral("--errorlog: give a directory"));
    }
    result.json = parser.isSet(o.json);
    result.showLog = parser.isSet(o.log);

    if (parser.isSet(o.script)) {
        if (parser.isSet(o.cmd))
            return fail(QStringLiteral("give --cmd or --script, not both"));
        if (result.medium == HostOptions::Medium::Broadcast)
            return fail(QStringLiteral("--script: --broadcast sends one command; give it with --cmd"));
        result.scriptPath = parser.value(o.script);
        if (result.scriptPath.isEmpty())
            return fail(QStringLiteral("--script: give a file"));
    } else {
        result.commands = parser.values(o.cmd);
        if (result.medium == HostOptions::Medium::Broadcast) {
            if (result.commands.size() > 1)
                return fail(QStringLiteral("--broadcast sends one command; give at most one --cmd"));
            if (result.commands.isEmpty())
                result.commands << QStringLiteral("71:00");
        }
        if (result.commands.isEmpty())
            return fail(QStringLiteral("give at least one --cmd, or --script FILE"));
        for (const QString &text : result.commands) {
            ProtocolData unused;
            QString why;
            if (!CommandText::parse(text, &unused, &why))
                return fail(QStringLiteral("--cmd: ") + why);
        }
    }
    *options = result;
    return Result::Run;
}

} // namespace HostCommandLine
