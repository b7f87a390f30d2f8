// simdevice: the simulated device as a program. Opens a pseudo-terminal (or, with
// --udp, a UDP socket), prints where a host finds it on stdout (the serial port
// name, or ADDRESS:PORT) and answers commands until SIGINT or SIGTERM.

#include "hexnumber.h"
#include "ptydevice.h"
#include "simfaultnames.h"
#include "toolcommandline.h"
#include "udpdevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

// "127.0.0.2:5000"; port 0 lets the system choose.
bool parseEndpoint(const QString &text, QHostAddress *address, quint16 *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 0xFFFF || address->setAddress(text.left(colon)) == false
        || address->protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *port = quint16(value);
    return true;
}

// "1000" or "200,150": sizes of the datagrams a reply's block is cut into.
bool parseSizes(const QString &text, QList<int> *sizes)
{
    for (const QString &item : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int size = item.trimmed().toInt(&ok);
        if (!ok || size < 1 || size > SimProfile::kMaxDatagram)
            return false;
        sizes->append(size);
    }
    return !sizes->isEmpty();
}

QString describe(const SimFrame &f)
{
    using HexNumber::byteText;
    return QStringLiteral("sn %1  %2/%3 p1=%4 p2=%5 p3=%6  block %7 bytes")
        .arg(f.sn)
        .arg(byteText(f.cmd), byteText(f.sub), byteText(f.p1), byteText(f.p2), byteText(f.p3))
        .arg(f.block.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simdevice"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto usage = [&err](const QString &why) {
        err << ToolCommandLine::usageError(QStringLiteral("simdevice"), why) << "\n";
        return ToolCommandLine::kUsageError;
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated device on a pseudo-terminal, or with --udp on a UDP socket. Prints where a "
        "host finds it (the serial port name, or ADDRESS:PORT), then answers command frames "
        "until interrupted. CMD is a command code in hexadecimal, with or without 0x (42 or "
        "0x42), optionally with :N to misbehave only on the next N such commands. Exit status: "
        "0 when stopped by SIGINT or SIGTERM, 1 when the medium cannot be opened, 2 on bad usage."));
    for (int i = 0; i < SimFaultNames::kCount; ++i) {
        const SimFaultNames::Entry &f = SimFaultNames::kEntries[i];
        if (f.perCommand)
            parser.addOption({QString::fromLatin1(f.name), QString::fromLatin1(f.description), QStringLiteral("CMD")});
        else
            parser.addOption({QString::fromLatin1(f.name), QString::fromLatin1(f.description)});
    }
    const QCommandLineOption blockOption(
        QStringLiteral("block-commands"),
        QStringLiteral("Comma-separated command codes in hexadecimal whose frame is followed by a "
                       "block of p2 + 256 * p3 bytes (default e0; empty for none)."),
        QStringLiteral("LIST"));
    const QCommandLineOption hangUpOption(QStringLiteral("hang-up-after"),
                                          QStringLiteral("Answer N commands, then hang up the line."),
                                          QStringLiteral("N"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Report every command on stderr."));
    const QCommandLineOption udpOption(
        QStringLiteral("udp"),
        QStringLiteral("Answer over UDP on ADDRESS:PORT (a loopback address such as 127.0.0.2; port 0 "
                       "lets the system choose) instead of a pseudo-terminal. The device also hears "
                       "broadcasts at that port and answers only senders on this machine."),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption datagramOption(
        QStringLiteral("block-datagrams"),
        QStringLiteral("With --udp: sizes of the datagrams a reply's block is cut into, e.g. 1000 "
                       "or 200,150 (the last size repeats; default %1).")
            .arg(SimProfile::kDefaultBlockDatagram),
        QStringLiteral("LIST"));
    parser.addOptions({blockOption, hangUpOption, verboseOption, udpOption, datagramOption});
    QString message;
    const ToolCommandLine::Result read =
        ToolCommandLine::parse(&parser, QStringLiteral("simdevice"), app.arguments().mid(1), &message);
    if (read != ToolCommandLine::Result::Run)
        return ToolCommandLine::finish(read, message);

    std::unique_ptr<SimLink> link;
    if (parser.isSet(udpOption)) {
        QHostAddress address;
        quint16 port = 0;
        if (!parseEndpoint(parser.value(udpOption), &address, &port)) {
            return usage(QStringLiteral("--udp: \"%1\" is not an IPv4 ADDRESS:PORT").arg(parser.value(udpOption)));
        }
        QList<int> sizes;
        if (parser.isSet(datagramOption) && !parseSizes(parser.value(datagramOption), &sizes)) {
            return usage(QStringLiteral("--block-datagrams: \"%1\" is not a list of sizes from 1 to %2")
                             .arg(parser.value(datagramOption))
                             .arg(SimProfile::kMaxDatagram));
        }
        if (sizes.isEmpty())
            sizes.append(SimProfile::kDefaultBlockDatagram);
        link = std::make_unique<UdpDevice>(address, port, sizes);
    } else if (parser.isSet(datagramOption)) {
        return usage(QStringLiteral("--block-datagrams needs --udp"));
    } else {
        link = std::make_unique<PtyDevice>();
    }
    SimDevice &device = link->device();

    int everyCommandFaults = 0;
    for (int i = 0; i < SimFaultNames::kCount; ++i) {
        const SimFaultNames::Entry &f = SimFaultNames::kEntries[i];
        if (!f.perCommand) {
            if (parser.isSet(QString::fromLatin1(f.name))) {
                device.setFaultForAll(f.fault);
                ++everyCommandFaults;
            }
            continue;
        }
        for (const QString &value : parser.values(QString::fromLatin1(f.name))) {
            quint8 cmd;
            int times;
            if (!SimFaultNames::parseTarget(value, &cmd, &times)) {
                return usage(QStringLiteral("--%1: \"%2\" is not a command code").arg(QLatin1String(f.name), value));
            }
            device.setFault(cmd, f.fault, times);
        }
    }
    if (everyCommandFaults > 1) {
        return usage(QStringLiteral("choose at most one of --garbage, --byte-by-byte, --pieces, --echo, "
                                    "--upper-case, --odd-size"));
    }
    if (parser.isSet(blockOption)) {
        QSet<quint8> codes;
        for (const QString &item : parser.value(blockOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            quint8 code = 0;
            if (!HexNumber::parseByte(item.trimmed(), &code)) {
                return usage(QStringLiteral("--block-commands: \"%1\" is not a command code").arg(item));
            }
            codes.insert(code);
        }
        device.setBlockCommands(codes);
    }
    int hangUpAfter = -1;
    if (parser.isSet(hangUpOption)) {
        bool ok = false;
        hangUpAfter = parser.value(hangUpOption).toInt(&ok);
        if (!ok || hangUpAfter < 1) {
            return usage(QStringLiteral("--hang-up-after: \"%1\" is not a count").arg(parser.value(hangUpOption)));
        }
        // Decided on the device's own thread as each command comes in: this thread
        // looks only every 100 ms, by when the host may have sent another.
        device.setAnswerLimit(hangUpAfter);
    }
    const bool verbose = parser.isSet(verboseOption);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    QString error;
    if (!link->start(&error)) {
        err << "simdevice: cannot start: " << error << "\n";
        return 1;
    }
    out << link->endpoint() << "\n";
    out.flush();
    err << "simdevice: answering on " << link->endpoint() << " until interrupted\n";
    err.flush();

    // The device answers on its own thread; this one only reports and watches for
    // the stop signal, so a coarse poll is enough.
    long long commands = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const QList<SimFrame> taken = device.takeReceived();
        for (const SimFrame &f : taken) {
            ++commands;
            if (verbose)
                err << "<- " << describe(f) << "\n";
            if (hangUpAfter >= 0 && commands >= hangUpAfter && !link->isHungUp()) {
                link->hangUp();
                err << "simdevice: hung up after answering " << hangUpAfter
                    << (hangUpAfter == 1 ? " command\n" : " commands\n");
            }
        }
        err.flush();
    }
    link->stop();
    err << "simdevice: stopped after " << commands << " commands\n";
    return 0;
}
