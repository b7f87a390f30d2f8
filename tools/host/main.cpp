// hostcli: an example host. It drives a device through the serial, the UDP or the
// USB transport the way a control application does: factory, open (or address),
// the dispatcher's two workers on threads of their own, the signal connections,
// and a handful of queued commands. With --demo it talks to a simulated device on
// a pseudo-terminal of its own; with --broadcast it finds the devices at a UDP
// port; with --demo --usb it runs the demonstration against whatever device has
// the ids (./run.sh demo --usb preloads the simulated HID bus with one there).

#include "commandtext.h"
#include "conntype.h"
#include "hostsession.h"
#include "portbase.h"
#include "portinterface.h"
#include "ptydevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

bool g_showLog = false;

// The libraries narrate every frame on the debug log; hostcli prints its own
// one-line events instead and shows that log only when asked.
void filterLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !g_showLog)
        return;
    QTextStream(stderr) << "   log: " << message << Qt::endl;
}

struct DemoCommand
{
    const char *text;
    const char *label;
    HostSession::Outcome expected;
};

// One of each kind of exchange. The device is told below which of them to ignore.
const DemoCommand kDemo[] = {
    {"71:00", "plain command", HostSession::Outcome::Answered},
    {"e1:00", "reply announces a 22-byte block", HostSession::Outcome::Answered},
    {"e0:01:00:08:00/0102030405060715", "command carries an 8-byte block", HostSession::Outcome::Answered},
    {"8e:27", "block reply arriving in three pieces", HostSession::Outcome::Answered},
    {"42:00", "device ignores the first attempt", HostSession::Outcome::Answered},
    {"43:00", "device never answers", HostSession::Outcome::GivenUp},
    {"76:00", "after the give-up the queue moves on", HostSession::Outcome::Answered},
};

// The same story over USB, where replies carry no block: the reply frame comes
// alone, whatever the device sends after it. ./run.sh demo --usb tells the
// simulated device to ignore 0x42 once and 0x43 always, and to send 0x77 replies
// in pieces.
const DemoCommand kUsbDemo[] = {
    {"71:00", "plain command", HostSession::Outcome::Answered},
    {"79:01", "the device sends a block after the reply; it is skipped", HostSession::Outcome::Answered},
    {"e0:01:00:08:00/0102030405060715", "command carries an 8-byte block", HostSession::Outcome::Answered},
    {"77:21", "reply arriving in three input reports", HostSession::Outcome::Answered},
    {"42:00", "device ignores the first attempt", HostSession::Outcome::Answered},
    {"43:00", "device never answers", HostSession::Outcome::GivenUp},
    {"76:00", "after the give-up the queue moves on", HostSession::Outcome::Answered},
};

// "4c56:0105": vendor and product id, hexadecimal.
bool parseUsbIds(const QString &text, unsigned short *vendorId, unsigned short *productId)
{
    const QStringList ids = text.split(QLatin1Char(':'));
    bool vendorOk = false;
    bool productOk = false;
    const uint vendor = ids.value(0).toUInt(&vendorOk, 16);
    const uint product = ids.value(1).toUInt(&productOk, 16);
    if (ids.size() != 2 || !vendorOk || !productOk || vendor > 0xFFFF || product > 0xFFFF)
        return false;
    *vendorId = static_cast<unsigned short>(vendor);
    *productId = static_cast<unsigned short>(product);
    return true;
}

// "192.168.1.100:5000": an IPv4 address and a port from 1 to 65535.
bool parseEndpoint(const QString &text, QString *address, int *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const int value = text.mid(colon + 1).toInt(&ok);
    const QHostAddress host(text.left(colon));
    if (colon < 0 || !ok || value < 1 || value > 0xFFFF || host.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *address = host.toString();
    *port = value;
    return true;
}

bool parsePort(const QString &text, int *port)
{
    bool ok = false;
    *port = text.toInt(&ok);
    return ok && *port >= 1 && *port <= 0xFFFF;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hostcli"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Example host: sends commands through the serial, the UDP or the USB transport and reports each "
        "release, reply, resend and give-up."));
    parser.addHelpOption();
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Run the demonstration against a built-in simulated device."));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Serial port to open."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption udpOption(QStringLiteral("udp"),
                                       QStringLiteral("Send to the device at this IPv4 address and UDP port."),
                                       QStringLiteral("HOST:PORT"));
    const QCommandLineOption broadcastOption(
        QStringLiteral("broadcast"),
        QStringLiteral("Find devices: broadcast one command (the --cmd given, default 71:00) to this UDP "
                       "port and list every device that answers within the timeout."),
        QStringLiteral("PORT"));
    const QCommandLineOption usbOption(
        QStringLiteral("usb"),
        QStringLiteral("USB HID device to open, by vendor and product id in hexadecimal. With --demo: run the "
                       "demonstration against it (./run.sh demo --usb gives it a simulated one)."),
        QStringLiteral("VID:PID"));
    const QCommandLineOption cmdOption(
        QStringLiteral("cmd"),
        QStringLiteral("Command to send, hexadecimal cmd:sub[:p1[:p2[:p3]]][/block], e.g. e1:00 or "
                       "e0:01:00:04:00/0a0b0c0d. Repeatable."),
        QStringLiteral("TEXT"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Reply timeout per command in ms (default 1000)."),
                                           QStringLiteral("MS"));
    const QCommandLineOption headOption(QStringLiteral("head"),
                                        QStringLiteral("Frame head byte, hexadecimal (default 01)."),
                                        QStringLiteral("HH"), QStringLiteral("01"));
    const QCommandLineOption deadlineOption(QStringLiteral("deadline"),
                                            QStringLiteral("Give up on the whole run after S seconds (default 30)."),
                                            QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Show the libraries' debug log."));
    parser.addOptions({demoOption, portOption, udpOption, broadcastOption, usbOption, cmdOption, timeoutOption, headOption,
                       deadlineOption, logOption});
    parser.process(app);

    g_showLog = parser.isSet(logOption);
    qInstallMessageHandler(filterLog);

    const bool demo = parser.isSet(demoOption);
    const bool udp = parser.isSet(udpOption);
    const bool broadcast = parser.isSet(broadcastOption);
    const bool usb = parser.isSet(usbOption);
    // --usb goes alone or with --demo.
    if (int(demo || usb) + int(parser.isSet(portOption)) + int(udp) + int(broadcast) != 1) {
        err << "hostcli: give one of --demo, --port NAME, --udp HOST:PORT, --broadcast PORT or --usb VID:PID "
               "(see --help)"
            << Qt::endl;
        return 2;
    }
    QStringList commandTexts = parser.values(cmdOption);
    if (broadcast) {
        if (commandTexts.size() > 1) {
            err << "hostcli: --broadcast sends one command; give at most one --cmd" << Qt::endl;
            return 2;
        }
        if (commandTexts.isEmpty())
            commandTexts.append(QStringLiteral("71:00"));
    } else if (!demo && commandTexts.isEmpty()) {
        err << "hostcli: give at least one --cmd" << Qt::endl;
        return 2;
    }
    QString deviceIP;
    int udpPort = 0;
    if (udp && !parseEndpoint(parser.value(udpOption), &deviceIP, &udpPort)) {
        err << "hostcli: --udp: not an IPv4 HOST:PORT: " << parser.value(udpOption) << Qt::endl;
        return 2;
    }
    if (broadcast && !parsePort(parser.value(broadcastOption), &udpPort)) {
        err << "hostcli: --broadcast: not a port from 1 to 65535: " << parser.value(broadcastOption) << Qt::endl;
        return 2;
    }
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    if (usb && !parseUsbIds(parser.value(usbOption), &vendorId, &productId)) {
        err << "hostcli: --usb: not a hexadecimal VID:PID: " << parser.value(usbOption) << Qt::endl;
        return 2;
    }
    bool ok = false;
    const int timeoutMs = parser.isSet(timeoutOption) ? parser.value(timeoutOption).toInt(&ok) : 1000;
    if (parser.isSet(timeoutOption) && (!ok || timeoutMs < 0)) {
        err << "hostcli: --timeout: not a number of milliseconds" << Qt::endl;
        return 2;
    }
    const uint head = parser.value(headOption).toUInt(&ok, 16);
    if (!ok || head > 0xFF) {
        err << "hostcli: --head: not a hexadecimal byte" << Qt::endl;
        return 2;
    }
    const int deadlineS = parser.value(deadlineOption).toInt(&ok);
    if (!ok || deadlineS <= 0) {
        err << "hostcli: --deadline: not a number of seconds" << Qt::endl;
        return 2;
    }

    // The embedded device of the demo: misbehaves on purpose on three commands.
    std::unique_ptr<PtyDevice> device;
    QString portName = parser.value(portOption);
    if (demo && !usb) {
        device = std::make_unique<PtyDevice>();
        QString error;
        if (!device->start(&error)) {
            err << "hostcli: cannot start the simulated device: " << error << Qt::endl;
            return 1;
        }
        device->device().setFault(0x42, SimFault::Silent, 1);
        device->device().setFault(0x43, SimFault::Silent);
        device->device().setFault(0x8E, SimFault::Pieces);
        portName = device->portName();
        out << "hostcli demo: simulated device on " << portName
            << " (told to ignore 0x42 once and 0x43 always, and to write 0x8e replies in pieces)" << Qt::endl;
    }

    PortBase *port = PortInterface::creatCoreObj(usb ? ConnUSB : udp || broadcast ? ConnUDP : ConnSerial);
    if (!port) {
        err << "hostcli: the factory has no such transport" << Qt::endl;
        return 1;
    }
    if (udp) {
        port->setDeviceIP(deviceIP);
        port->setPort(udpPort);
        out << "sending to " << deviceIP << ":" << udpPort << " through PortInterface::creatCoreObj(ConnUDP)"
            << Qt::endl;
    } else if (broadcast) {
        port->setPort(udpPort);
        out << "broadcasting to port " << udpPort << " through PortInterface::creatCoreObj(ConnUDP)" << Qt::endl;
    } else if (usb) {
        const QString ids = parser.value(usbOption);
        if (!port->openUSB(vendorId, productId)) {
            err << "hostcli: cannot open USB device " << ids << Qt::endl;
            delete PortInterface::iCORE;
            PortInterface::iCORE = nullptr;
            return 1;
        }
        out << "opened USB device " << ids << " through PortInterface::creatCoreObj(ConnUSB)" << Qt::endl;
        // A host hears of the device going and coming back; it opens it again itself.
        QObject::connect(port, &PortBase::signalUSBChanged, &app, [&out, port, vendorId, productId](bool present) {
            out << (present ? "!! device attached again (signalUSBChanged(true))"
                            : "!! device removed, port closed (signalUSBChanged(false))")
                << Qt::endl;
            if (present && port->openUSB(vendorId, productId))
                out << "!! reopened" << Qt::endl;
        }, Qt::QueuedConnection);
    } else if (!port->openSerialPort(portName, QSerialPort::Baud115200, QSerialPort::OneStop,
                                     QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8)) {
        err << "hostcli: cannot open " << portName << Qt::endl;
        delete PortInterface::iCORE;
        PortInterface::iCORE = nullptr;
        return 1;
    } else {
        out << "opened " << portName << " at 115200 8N1 through PortInterface::creatCoreObj(ConnSerial)"
            << Qt::endl;
    }

    int exitCode = 1;
    {
        HostSession session(port, &out);
        auto add = [&](const QString &text, const QString &label, HostSession::Outcome expected) {
            ProtocolData command;
            QString error;
            if (!CommandText::parse(text, &command, &error)) {
                err << "hostcli: --cmd: " << error << Qt::endl;
                return false;
            }
            command.byHead = static_cast<unsigned char>(head);
            command.iTimeoutMs = timeoutMs;
            command.bySendMode = broadcast ? 1 : 0;
            session.addCommand(command, label, expected);
            return true;
        };
        bool commandsOk = true;
        if (demo) {
            const DemoCommand *first = usb ? std::begin(kUsbDemo) : std::begin(kDemo);
            const DemoCommand *last = usb ? std::end(kUsbDemo) : std::end(kDemo);
            for (const DemoCommand *c = first; c != last; ++c)
                commandsOk = add(QString::fromLatin1(c->text), QString::fromLatin1(c->label), c->expected) && commandsOk;
        } else {
            for (const QString &text : commandTexts)
                commandsOk = add(text, text, HostSession::Outcome::Answered) && commandsOk;
        }
        // Every device at the port answers the broadcast; the first answer ends the
        // command, so listen a timeout longer for the others.
        if (broadcast)
            session.setListenAfterMs(timeoutMs);
        if (commandsOk) {
            QObject::connect(&session, &HostSession::finished, &app, [&exitCode](int code) {
                exitCode = code;
                QCoreApplication::quit();
            });
            session.start(deadlineS * 1000);
            app.exec();
        } else {
            exitCode = 2;
        }
        session.stop();
        if (broadcast && commandsOk) {
            // By address, so the list reads the same however the answers raced.
            QStringList found = session.sources();
            std::sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
                const quint32 ia = QHostAddress(a).toIPv4Address();
                const quint32 ib = QHostAddress(b).toIPv4Address();
                return ia != ib ? ia < ib : a < b;
            });
            out << "== " << found.size() << (found.size() == 1 ? " device" : " devices") << " answered";
            if (!found.isEmpty())
                out << ": " << found.join(QStringLiteral(", "));
            out << Qt::endl;
        }
    }
    port->closeSerialPort();
    port->closeUSB();
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;

    if (device) {
        const QList<SimFrame> seen = device->device().receivedCommands();
        out << "== the device received " << seen.size() << " command frames" << Qt::endl;
        device->stop();
    }
    return exitCode;
}
