#include "hexnumber.h"
#include "hostoptions.h"
#include "mediumtraits.h"

#include <QtTest>

// hostcli's command-line surface, read without running anything: the options and
// the commands they give.
class TestHostOptions : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void command_data();
    void command();
};

namespace {

QString endpointOf(const HostOptions &o)
{
    switch (o.medium) {
    case HostOptions::Medium::Serial:
        return o.portName + QLatin1Char(' ') + o.serial.describe();
    case HostOptions::Medium::Udp:
        return QStringLiteral("%1:%2").arg(o.udpHost).arg(o.udpPort);
    case HostOptions::Medium::Broadcast:
        return QString::number(o.udpPort);
    case HostOptions::Medium::Usb:
        return HexNumber::idText(o.vendorId) + QLatin1Char(':') + HexNumber::idText(o.productId);
    }
    return QString();
}

} // namespace

void TestHostOptions::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("result");    // HostCommandLine::Result
    QTest::addColumn<QString>("medium"); // Run: the medium's name; otherwise unused
    QTest::addColumn<QString>("what");   // Run: endpointOf; Error: what the message must contain

    const int run = int(HostCommandLine::Result::Run);
    const int error = int(HostCommandLine::Result::Error);
    const QStringList one{"--cmd", "71:00"};

    QTest::newRow("serial, defaults") << QStringList{"--port", "/dev/ttyS0"} + one << run << "serial"
                                      << "/dev/ttyS0 115200 8N1";
    QTest::newRow("serial, every setting")
        << QStringList{"--port", "COM3", "--baud", "9600", "--data-bits", "7", "--parity", "even", "--stop-bits",
                       "2", "--flow", "hardware"} + one
        << run << "serial" << "COM3 9600 7E2 with hardware flow control";
    QTest::newRow("serial, 1.5 stop bits, mark parity")
        << QStringList{"--port", "p", "--stop-bits", "1.5", "--parity", "mark", "--data-bits", "5"} + one << run
        << "serial" << "p 115200 5M1.5";
    QTest::newRow("UDP by address") << QStringList{"--udp", "127.0.0.2:5000"} + one << run << "UDP"
                                    << "127.0.0.2:5000";
    QTest::newRow("UDP by name") << QStringList{"--udp", "device.example:65535"} + one << run << "UDP"
                                 << "device.example:65535";
    QTest::newRow("broadcast, default command") << QStringList{"--broadcast", "5000"} << run << "broadcast" << "5000";
    QTest::newRow("USB, ids padded") << QStringList{"--usb", "4C56:105"} + one << run << "USB" << "4c56:0105";
    QTest::newRow("USB, ids with 0x") << QStringList{"--usb", "0x4c56:0X0105"} + one << run << "USB" << "4c56:0105";
    QTest::newRow("script") << QStringList{"--port", "p", "--script", "s.txt"} << run << "serial" << "p 115200 8N1";
    QTest::newRow("script on standard input") << QStringList{"--port", "p", "--script", "-"} << run << "serial"
                                              << "p 115200 8N1";
    QTest::newRow("baud beyond the named rates") << QStringList{"--port", "p", "--baud", "921600"} + one << run
                                                 << "serial" << "p 921600 8N1";
    QTest::newRow("baud of no standard") << QStringList{"--port", "p", "--baud", "12345"} + one << run << "serial"
                                         << "p 12345 8N1";
    QTest::newRow("help") << QStringList{"--help"} << int(HostCommandLine::Result::Help) << "" << "";
    QTest::newRow("help with Qt's options") << QStringList{"--help-all"} << int(HostCommandLine::Result::Help) << "" << "";
    QTest::newRow("version") << QStringList{"--version"} << int(HostCommandLine::Result::Version) << "" << "";

    QTest::newRow("no medium") << one << error << "" << "give one of";
    QTest::newRow("USB and serial") << QStringList{"--port", "p", "--usb", "1:2"} + one << error << "" << "give one of";
    QTest::newRow("unknown option") << QStringList{"--port", "p", "--frobnicate"} + one << error << ""
                                    << "Unknown option \"frobnicate\"";
    QTest::newRow("value missing") << QStringList{"--cmd", "71:00", "--port"} << error << ""
                                   << "Missing value after \"--port\"";
    QTest::newRow("stray argument") << QStringList{"--port", "p", "71:00"} << error << "" << "unexpected argument \"71:00\"";
    QTest::newRow("port twice") << QStringList{"--port", "a", "--port", "b"} + one << error << "" << "--port given more";
    QTest::newRow("empty port name") << QStringList{"--port", ""} + one << error << "" << "--port";
    QTest::newRow("baud 0") << QStringList{"--port", "p", "--baud", "0"} + one << error << "" << "--baud: \"0\"";
    QTest::newRow("baud negative") << QStringList{"--port", "p", "--baud", "-9600"} + one << error << ""
                                   << "--baud: \"-9600\"";
    QTest::newRow("baud not a number") << QStringList{"--port", "p", "--baud", "fast"} + one << error << ""
                                       << "--baud: \"fast\"";
    QTest::newRow("baud beyond int") << QStringList{"--port", "p", "--baud", "99999999999"} + one << error << ""
                                     << "--baud: \"99999999999\"";
    QTest::newRow("data bits 9") << QStringList{"--port", "p", "--data-bits", "9"} + one << error << "" << "--data-bits";
    QTest::newRow("parity unknown") << QStringList{"--port", "p", "--parity", "maybe"} + one << error << ""
                                    << "--parity: \"maybe\" is not one of none, even, odd, space or mark";
    QTest::newRow("stop bits 3") << QStringList{"--port", "p", "--stop-bits", "3"} + one << error << "" << "--stop-bits";
    QTest::newRow("flow unknown") << QStringList{"--port", "p", "--flow", "rts"} + one << error << "" << "--flow";
    QTest::newRow("baud over UDP") << QStringList{"--udp", "h:1", "--baud", "9600"} + one << error << ""
                                   << "--baud applies to --port only";
    QTest::newRow("UDP without port") << QStringList{"--udp", "127.0.0.2"} + one << error << "" << "--udp";
    QTest::newRow("UDP port 0") << QStringList{"--udp", "127.0.0.2:0"} + one << error << "" << "--udp";
    QTest::newRow("UDP without host") << QStringList{"--udp", ":5000"} + one << error << "" << "--udp";
    QTest::newRow("UDP over IPv6") << QStringList{"--udp", "::1:5000"} + one << error << "" << "IPv4 only";
    QTest::newRow("broadcast port 0") << QStringList{"--broadcast", "0"} << error << "" << "--broadcast";
    QTest::newRow("broadcast of two commands") << QStringList{"--broadcast", "5000", "--cmd", "71:00", "--cmd", "72:00"}
                                               << error << "" << "--broadcast sends one command";
    QTest::newRow("broadcast of a script") << QStringList{"--broadcast", "5000", "--script", "s"} << error << ""
                                           << "--script";
    QTest::newRow("USB without product") << QStringList{"--usb", "4c56"} + one << error << "" << "--usb";
    QTest::newRow("USB id not hexadecimal") << QStringList{"--usb", "4c56:xyz"} + one << error << "" << "--usb";
    QTest::newRow("USB id too long") << QStringList{"--usb", "14c56:1"} + one << error << "" << "--usb";
    QTest::newRow("USB id with a sign") << QStringList{"--usb", "+4c56:1"} + one << error << "" << "--usb";
    QTest::newRow("bad command") << QStringList{"--port", "p", "--cmd", "zz:00"} << error << "" << "--cmd: \"zz\"";
    QTest::newRow("no command") << QStringList{"--port", "p"} << error << "" << "--cmd";
    QTest::newRow("command and script") << QStringList{"--port", "p", "--script", "s"} + one << error << ""
                                        << "not both";
    QTest::newRow("negative timeout") << QStringList{"--port", "p", "--timeout", "-1"} + one << error << "" << "--timeout";
    QTest::newRow("head too large") << QStringList{"--port", "p", "--head", "100"} + one << error << "" << "--head";
    QTest::newRow("deadline 0") << QStringList{"--port", "p", "--deadline", "0"} + one << error << "" << "--deadline";
    QTest::newRow("give-up limit negative") << QStringList{"--port", "p", "--give-up-limit", "-2"} + one << error
                                            << "" << "--give-up-limit";
    QTest::newRow("error log without directory") << QStringList{"--port", "p", "--errorlog", ""} + one << error
                                                 << "" << "--errorlog";
}

void TestHostOptions::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, result);
    QFETCH(QString, medium);
    QFETCH(QString, what);

    HostOptions o;
    QString message;
    QCOMPARE(int(HostCommandLine::parse(arguments, &o, &message)), result);
    switch (HostCommandLine::Result(result)) {
    case HostCommandLine::Result::Run:
        QCOMPARE(QString::fromLatin1(mediumTraits(o.medium).name), medium);
        QCOMPARE(endpointOf(o), what);
        break;
    case HostCommandLine::Result::Error:
        // One wording for every usage error: the program, what is wrong, where to look.
        QVERIFY2(message.startsWith(QStringLiteral("hostcli: ")), qPrintable(message));
        QVERIFY2(message.endsWith(QStringLiteral(" (see --help)")), qPrintable(message));
        QVERIFY2(message.count(QStringLiteral("(see --help)")) == 1, qPrintable(message));
        QVERIFY2(!message.contains(QLatin1Char('\'')), qPrintable(message));
        QVERIFY2(message.contains(what), qPrintable(message));
        break;
    default:
        QVERIFY(message.contains(QLatin1String(result == int(HostCommandLine::Result::Help) ? "--script" : "hostcli")));
        break;
    }
}

void TestHostOptions::command_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("head");
    QTest::addColumn<int>("sendMode");
    QTest::addColumn<int>("deadlineS");
    QTest::addColumn<int>("giveUpLimit");

    QTest::newRow("defaults") << QStringList{"--port", "p", "--cmd", "71:00"} << QStringList{"71:00"} << 1000 << 1
                              << 0 << 0 << 3;
    QTest::newRow("everything set")
        << QStringList{"--port", "p", "--cmd", "71:00", "--cmd", "e1:00", "--timeout", "0", "--head", "0xff",
                       "--deadline", "5", "--give-up-limit", "0"}
        << QStringList{"71:00", "e1:00"} << 0 << 255 << 0 << 5 << 0;
    QTest::newRow("broadcast") << QStringList{"--broadcast", "5000", "--timeout", "500"} << QStringList{"71:00"} << 500
                               << 1 << 1 << 0 << 3;
    QTest::newRow("a command read as a script line") << QStringList{"--port", "p", "--cmd", "71:00 # status"}
                                                     << QStringList{"status"} << 1000 << 1 << 0 << 0 << 3;
}

void TestHostOptions::command()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, commands);
    QFETCH(int, timeoutMs);
    QFETCH(int, head);
    QFETCH(int, sendMode);
    QFETCH(int, deadlineS);
    QFETCH(int, giveUpLimit);

    HostOptions o;
    QString message;
    QCOMPARE(HostCommandLine::parse(arguments, &o, &message), HostCommandLine::Result::Run);
    QStringList labels;
    for (const PlannedCommand &c : o.commands) {
        labels << c.label;
        // The defaults are the commands' own.
        QCOMPARE(c.command.iTimeoutMs, timeoutMs);
        QCOMPARE(int(c.command.byHead), head);
        QCOMPARE(int(c.command.bySendMode), sendMode);
    }
    QCOMPARE(labels, commands);
    QCOMPARE(o.defaults.timeoutMs, timeoutMs);
    QCOMPARE(int(o.defaults.head), head);
    QCOMPARE(int(o.defaults.sendMode), sendMode);
    QCOMPARE(o.deadlineS, deadlineS);
    QCOMPARE(o.giveUpLimit, giveUpLimit);
}

QTEST_GUILESS_MAIN(TestHostOptions)
#include "tst_hostoptions.moc"
