#include "commandtext.h"
#include "hostoptions.h"
#include "latencystats.h"
#include "mediumtraits.h"
#include "scriptreader.h"

#include <QBuffer>
#include <QtTest>

// hostcli's command-line surface, read without running anything: the options, a
// script's lines, a script as a whole, and the round-trip percentiles of the summary.
class TestHostOptions : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void command_data();
    void command();
    void scriptLine_data();
    void scriptLine();
    void script_data();
    void script();
    void percentiles_data();
    void percentiles();
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
        return QStringLiteral("%1:%2").arg(o.vendorId, 4, 16, QLatin1Char('0')).arg(o.productId, 4, 16, QLatin1Char('0'));
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

void TestHostOptions::scriptLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind"); // ScriptReader::LineKind
    QTest::addColumn<QString>("header"); // Command: cmd sub p1 p2 p3; Bad: what the error must contain
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("expected"); // Outcome
    QTest::addColumn<QString>("label");

    const int blank = int(ScriptReader::LineKind::Blank);
    const int command = int(ScriptReader::LineKind::Command);
    const int bad = int(ScriptReader::LineKind::Bad);
    const int answer = int(Outcome::Answered);

    QTest::newRow("empty") << "" << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("spaces and a tab") << "  \t " << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("comment") << "# 71:00 would be a command" << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("plain") << "e1:00" << command << "e1 00 00 00 00" << 0 << 700 << answer << "e1:00";
    QTest::newRow("comment names it") << "  71:03:1f:0a:ff   # read the clock " << command << "71 03 1f 0a ff" << 0
                                      << 700 << answer << "read the clock";
    QTest::newRow("empty comment") << "71:00 #" << command << "71 00 00 00 00" << 0 << 700 << answer << "71:00";
    QTest::newRow("timeout") << "71:00 timeout=250" << command << "71 00 00 00 00" << 0 << 250 << answer << "71:00";
    QTest::newRow("timeout 0") << "71:00\ttimeout=0" << command << "71 00 00 00 00" << 0 << 0 << answer << "71:00";
    QTest::newRow("give-up planned") << "43:00 timeout=300 expect=give-up # silent" << command << "43 00 00 00 00" << 0
                                     << 300 << int(Outcome::GivenUp) << "silent";
    QTest::newRow("drop planned") << "76:00:21 expect=drop" << command << "76 00 21 00 00" << 0 << 700
                                  << int(Outcome::Dropped) << "76:00:21";
    QTest::newRow("block") << "e0:01:00:04:00/0a0B0c0d" << command << "e0 01 00 04 00" << 4 << 700 << answer
                           << "e0:01:00:04:00/0a0B0c0d";
    QTest::newRow("repeated block") << "e0:01:00:58:02/5a*600" << command << "e0 01 00 58 02" << 600 << 700 << answer
                                    << "e0:01:00:58:02/5a*600";
    QTest::newRow("largest block") << "e0:01:00:ff:ff/00*65535" << command << "e0 01 00 ff ff" << 65535 << 700
                                   << answer << "e0:01:00:ff:ff/00*65535";
    QTest::newRow("bytes with 0x") << "0xe0:0X01:0x0:02:0x00/abcd" << command << "e0 01 00 02 00" << 2 << 700
                                   << answer << "0xe0:0X01:0x0:02:0x00/abcd";

    QTest::newRow("not a command") << "hello" << bad << "expected cmd:sub" << 0 << 0 << 0 << "";
    QTest::newRow("byte not hexadecimal") << "zz:00" << bad << "\"zz\"" << 0 << 0 << 0 << "";
    QTest::newRow("byte of three digits") << "071:00" << bad << "\"071\"" << 0 << 0 << 0 << "";
    QTest::newRow("block longer than p2:p3 announce") << "e0:01:00:04:00/0a0b0c0d0e" << bad
                                                      << "the block has 5 bytes but p2:p3 announce 4" << 0 << 0 << 0
                                                      << "";
    QTest::newRow("block without p2:p3") << "e0:01/abcd" << bad << "give p2:p3 as 02:00" << 0 << 0 << 0 << "";
    QTest::newRow("long bad line is named by its start")
        << QStringLiteral("7").repeated(1000) + QStringLiteral(":00 timeout=5") << bad
        << "\"" + QStringLiteral("7").repeated(77) + "...\" in" << 0 << 0 << 0 << "";
    QTest::newRow("long bad word is named by its start")
        << QStringLiteral("71:00 retry=") + QStringLiteral("9").repeated(1000) << bad
        << "\"retry=" + QStringLiteral("9").repeated(71) + "...\"" << 0 << 0 << 0 << "";
    QTest::newRow("odd block") << "e0:01:00:02:00/abc" << bad << "block \"abc\"" << 0 << 0 << 0 << "";
    QTest::newRow("empty block") << "e0:01/" << bad << "block" << 0 << 0 << 0 << "";
    QTest::newRow("block too large") << "e0:01:00:00:00/00*65536" << bad << "repeat count" << 0 << 0 << 0 << "";
    QTest::newRow("repeat of 0") << "e0:01:00:00:00/00*0" << bad << "repeat count" << 0 << 0 << 0 << "";
    QTest::newRow("timeout not a number") << "71:00 timeout=soon" << bad << "timeout=soon" << 0 << 0 << 0 << "";
    QTest::newRow("timeout negative") << "71:00 timeout=-5" << bad << "timeout=-5" << 0 << 0 << 0 << "";
    QTest::newRow("timeout without value") << "71:00 timeout" << bad << "\"timeout\"" << 0 << 0 << 0 << "";
    QTest::newRow("expect unknown") << "71:00 expect=maybe" << bad << "expect=maybe" << 0 << 0 << 0 << "";
    QTest::newRow("unknown word") << "71:00 retry=2" << bad << "\"retry=2\"" << 0 << 0 << 0 << "";
}

void TestHostOptions::scriptLine()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, header);
    QFETCH(int, block);
    QFETCH(int, timeoutMs);
    QFETCH(int, expected);
    QFETCH(QString, label);

    CommandDefaults defaults;
    defaults.timeoutMs = 700;
    defaults.head = 0x02;
    PlannedCommand planned;
    QString error;
    QCOMPARE(int(ScriptReader::parseLine(text, defaults, &planned, &error)), kind);
    if (kind == int(ScriptReader::LineKind::Bad)) {
        QVERIFY2(error.contains(header), qPrintable(error));
        // Whatever the line's length, the message quotes at most two pieces of it.
        QVERIFY2(error.size() <= 2 * CommandText::kMaxEcho + 80, qPrintable(error));
        return;
    }
    if (kind == int(ScriptReader::LineKind::Blank))
        return;
    const ProtocolData &c = planned.command;
    const QString got = QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(c.byCmd, 2, 16, QLatin1Char('0'))
                            .arg(c.bySubCmd, 2, 16, QLatin1Char('0'))
                            .arg(c.byParam1, 2, 16, QLatin1Char('0'))
                            .arg(c.byParam2, 2, 16, QLatin1Char('0'))
                            .arg(c.byParam3, 2, 16, QLatin1Char('0'));
    QCOMPARE(got, header);
    QCOMPARE(c.baData.size(), block);
    QCOMPARE(c.iTimeoutMs, timeoutMs);
    QCOMPARE(int(c.byHead), 0x02);
    QCOMPARE(int(planned.expected), expected);
    QCOMPARE(planned.label, label);
}

void TestHostOptions::script_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("commands"); // -1: the script is refused
    QTest::addColumn<QString>("error");
    QTest::addColumn<QList<int>>("lines"); // of the commands, in order

    QTest::newRow("empty") << QByteArray() << 0 << "" << QList<int>();
    QTest::newRow("comments and blank lines")
        << QByteArray("# header\n\n71:00 # one\n   \ne1:00\n# end\n") << 2 << "" << QList<int>{3, 5};
    QTest::newRow("Windows line ends") << QByteArray("71:00 timeout=5\r\n\r\ne1:00\r\n") << 2 << ""
                                       << QList<int>{1, 3};
    QTest::newRow("no line end at the end") << QByteArray("71:00\ne1:00") << 2 << "" << QList<int>{1, 2};
    QTest::newRow("bad third line") << QByteArray("71:00\n\nzz:00\n76:00\n") << -1 << "s.txt:3: " << QList<int>{1};
    QTest::newRow("bad option on line 2") << QByteArray("71:00\n71:00 expect=never\n") << -1
                                          << "s.txt:2: expect=never" << QList<int>{1};
    QTest::newRow("NUL byte in a command")
        << QByteArray("71:00\n71:\0" "00 # x\n", 17) << -1 << "s.txt:2:4: a NUL byte" << QList<int>{1};
    QTest::newRow("NUL byte in a comment, after text")
        << QByteArray("71:00 # \xc3\xa9t\xc3\xa9\0 ignored?\n", 24) << -1 << "s.txt:1:12: a NUL byte" << QList<int>();
    QTest::newRow("overlong line")
        << QByteArray("71:00\ne0:01/") + QByteArray(ScriptReader::kMaxLineLength, 'a') + QByteArray("\n71:00\n") << -1
        << "s.txt:2: line longer than" << QList<int>{1};
}

void TestHostOptions::script()
{
    QFETCH(QByteArray, content);
    QFETCH(int, commands);
    QFETCH(QString, error);
    QFETCH(QList<int>, lines);

    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QString why;
    QCOMPARE(ScriptReader::check(&buffer, QStringLiteral("s.txt"), CommandDefaults(), &why), qint64(commands));
    QVERIFY2(error.isEmpty() ? why.isEmpty() : why.startsWith(error), qPrintable(why));

    // Read as a run reads it: the same commands, up to the same error.
    QVERIFY(buffer.seek(0));
    ScriptReader reader(&buffer, QStringLiteral("s.txt"), CommandDefaults());
    QList<int> seen;
    PlannedCommand planned;
    while (reader.next(&planned))
        seen << planned.line;
    QCOMPARE(seen, lines);
    QCOMPARE(reader.error(), why);
}

void TestHostOptions::percentiles_data()
{
    QTest::addColumn<QList<qint64>>("samples"); // µs
    QTest::addColumn<int>("exactSamples");     // 0: the default, a million
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p99");

    QList<qint64> spread;
    for (int ms = 1; ms <= 100; ++ms)
        spread << ms * 1000;
    QList<qint64> oneSlow = QVector<qint64>(99, 2000).toList();
    oneSlow << 900000;
    QList<qint64> twoSlow = QVector<qint64>(98, 2000).toList();
    twoSlow << 900000 << 900000;

    QTest::newRow("none") << QList<qint64>() << 0 << -1.0 << -1.0;
    QTest::newRow("one") << QList<qint64>{5000} << 0 << 5000.0 << 5000.0;
    QTest::newRow("small values") << QList<qint64>{3, 1, 2, 40, 41} << 0 << 3.0 << 41.0;
    QTest::newRow("1 to 100 ms") << spread << 0 << 50000.0 << 99000.0;
    QTest::newRow("one slow in a hundred stays out of p99") << oneSlow << 0 << 2000.0 << 2000.0;
    QTest::newRow("two slow in a hundred make p99") << twoSlow << 0 << 2000.0 << 900000.0;
    QTest::newRow("negative counts as 0") << QList<qint64>{-5} << 0 << 0.0 << 0.0;
    // A histogram bucket 1/64 wide would put these below the smallest sample.
    QTest::newRow("close samples: the median is a sample") << QList<qint64>{7981, 7980, 7993} << 0 << 7981.0
                                                           << 7993.0;
    QTest::newRow("beyond the exact samples: within 1/64") << spread << 10 << 50000.0 << 99000.0;
}

void TestHostOptions::percentiles()
{
    QFETCH(QList<qint64>, samples);
    QFETCH(int, exactSamples);
    QFETCH(double, median);
    QFETCH(double, p99);

    const size_t exact = exactSamples > 0 ? size_t(exactSamples) : LatencyStats::kExactSamples;
    LatencyStats whole(exact);
    LatencyStats first(exact);
    LatencyStats second(exact);
    for (int i = 0; i < samples.size(); ++i) {
        whole.add(samples.at(i));
        (i % 2 ? first : second).add(samples.at(i));
    }
    first.merge(second);
    // Within the histogram's resolution past the exact samples, exact before.
    const double tolerance = size_t(samples.size()) > exact ? 1.0 / 64 : 0;
    for (const LatencyStats *stats : {&whole, &first}) {
        QCOMPARE(stats->count(), quint64(samples.size()));
        QVERIFY2(qAbs(stats->percentile(0.5) - median) <= qAbs(median) * tolerance,
                 qPrintable(QString::number(stats->percentile(0.5))));
        QVERIFY2(qAbs(stats->percentile(0.99) - p99) <= qAbs(p99) * tolerance,
                 qPrintable(QString::number(stats->percentile(0.99))));
    }
}

QTEST_GUILESS_MAIN(TestHostOptions)
#include "tst_hostoptions.moc"
