#include "commandtext.h"
#include "ptydevice.h"
#include "udpdevice.h"

#include <QProcess>
#include <QtTest>

#include <memory>

// hostcli is what a person runs first (./run.sh demo): its command parsing, and the
// program itself against the built-in device and against a device of the test's own.
class TestHostCli : public QObject
{
    Q_OBJECT

private slots:
    void parseCommand_data();
    void parseCommand();
    void demoAccountsForEveryCommand();
    void portMode_data();
    void portMode();
    void usbMode_data();
    void usbMode();
    void usageErrors_data();
    void usageErrors();
};

void TestHostCli::parseCommand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("bytes"); // cmd, sub, p1, p2, p3
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("cmd and sub") << "e1:00" << true << QByteArray("\xe1\x00\x00\x00\x00", 5) << QByteArray();
    QTest::newRow("all parameters") << "71:03:1f:0A:ff" << true << QByteArray("\x71\x03\x1f\x0a\xff", 5)
                                    << QByteArray();
    QTest::newRow("with block") << "e0:01:00:04:00/0a0B0c0d" << true << QByteArray("\xe0\x01\x00\x04\x00", 5)
                                << QByteArray("\x0a\x0b\x0c\x0d", 4);
    QTest::newRow("cmd only") << "e1" << false << QByteArray() << QByteArray();
    QTest::newRow("six bytes") << "1:2:3:4:5:6" << false << QByteArray() << QByteArray();
    QTest::newRow("byte too large") << "100:00" << false << QByteArray() << QByteArray();
    QTest::newRow("not hexadecimal") << "zz:00" << false << QByteArray() << QByteArray();
    QTest::newRow("empty field") << "e1::00" << false << QByteArray() << QByteArray();
    QTest::newRow("odd block digits") << "e0:01/abc" << false << QByteArray() << QByteArray();
    QTest::newRow("block not hexadecimal") << "e0:01/zz" << false << QByteArray() << QByteArray();
    QTest::newRow("two blocks") << "e0:01/00/00" << false << QByteArray() << QByteArray();
}

void TestHostCli::parseCommand()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, block);

    ProtocolData command;
    QString error;
    QCOMPARE(CommandText::parse(text, &command, &error), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    const char fields[] = {char(command.byCmd), char(command.bySubCmd), char(command.byParam1),
                           char(command.byParam2), char(command.byParam3)};
    const QByteArray got(fields, sizeof fields);
    QCOMPARE(got, bytes);
    QCOMPARE(command.baData, block);
}

void TestHostCli::demoAccountsForEveryCommand()
{
    QProcess cli;
    cli.start(QStringLiteral(HOSTCLI_PATH), {QStringLiteral("--demo")});
    QVERIFY(cli.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    QVERIFY2(cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0, qPrintable(out));

    QVERIFY2(out.contains(QStringLiteral("== all 7 commands accounted for: 6 answered, 1 given up\n")), qPrintable(out));
    QCOMPARE(out.count(QStringLiteral("!! resend (signalInitCore)")), 2);
    QCOMPARE(out.count(QStringLiteral("!! gave up (signalSendTimeOut)")), 1);
    QVERIFY(out.contains(QStringLiteral("e1/00 p1=00 p2=16 p3=00  block 22 bytes")));
    QVERIFY(out.contains(QStringLiteral("+ block 8 bytes")));
    QVERIFY(out.contains(QStringLiteral("== the device received 9 command frames")));
}

void TestHostCli::portMode_data()
{
    QTest::addColumn<QString>("medium"); // the option that names the device
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");

    const QString answered = "== all 2 commands accounted for: 2 answered, 0 given up\n";
    const QString givenUp = "== all 2 commands accounted for: 1 answered, 1 given up, 1 not as expected\n";
    QTest::newRow("serial, answered") << "--port" << false << 0 << answered;
    QTest::newRow("serial, one given up") << "--port" << true << 1 << givenUp;
    QTest::newRow("UDP, answered") << "--udp" << false << 0 << answered;
    QTest::newRow("UDP, one given up") << "--udp" << true << 1 << givenUp;
}

void TestHostCli::portMode()
{
    QFETCH(QString, medium);
    QFETCH(bool, silent);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);

    std::unique_ptr<SimLink> device;
    if (medium == QLatin1String("--udp"))
        device = std::make_unique<UdpDevice>(QHostAddress(QStringLiteral("127.0.0.2")));
    else
        device = std::make_unique<PtyDevice>();
    QVERIFY(device->start());
    if (silent)
        device->device().setFault(0x71, SimFault::Silent);

    QProcess cli;
    cli.start(QStringLiteral(HOSTCLI_PATH),
              {medium, device->endpoint(), QStringLiteral("--timeout"), QStringLiteral("1000"),
               QStringLiteral("--cmd"), QStringLiteral("71:00"), QStringLiteral("--cmd"),
               QStringLiteral("e0:01:00:02:00/abcd")});
    QVERIFY(cli.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    QVERIFY2(out.contains(summary), qPrintable(out));
    QCOMPARE(cli.exitCode(), exitCode);
    // Every reply line says where the reply came from: the port, or the device's address.
    const QString source = medium == QLatin1String("--udp") ? QStringLiteral("127.0.0.2")
                                                            : device->endpoint().section(QLatin1Char('/'), 2);
    QCOMPARE(out.count(QStringLiteral("  from ") + source), silent ? 1 : 2);

    const QList<SimFrame> seen = device->device().receivedCommands();
    QCOMPARE(seen.size(), silent ? 3 : 2);
    QCOMPARE(seen.last().cmd, quint8(0xE0));
    QCOMPARE(seen.last().block, QByteArray("\xab\xcd", 2));
}

void TestHostCli::usbMode_data()
{
    QTest::addColumn<QString>("devices"); // VELMORA_SIMHID
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected");

    const QStringList commands{"--usb", "4c56:0105", "--timeout", "1000", "--cmd", "71:00", "--cmd", "e0:01:00:02:00/abcd"};
    QTest::newRow("answered") << "4c56:0105" << commands << 0
                              << "== all 2 commands accounted for: 2 answered, 0 given up\n";
    QTest::newRow("one given up") << "4c56:0105/silent=0x71" << commands << 1
                                  << "== all 2 commands accounted for: 1 answered, 1 given up, 1 not as expected\n";
    QTest::newRow("no such device") << "4c56:0106" << commands << 1 << "";
    QTest::newRow("demo") << "4c56:0105/silent=0x42:1/silent=0x43/pieces=0x77"
                          << QStringList{"--demo", "--usb", "4c56:0105"} << 0
                          << "== all 7 commands accounted for: 6 answered, 1 given up\n";
}

// hostcli links the system's hidapi; the simulated bus, preloaded, takes its place.
void TestHostCli::usbMode()
{
    QFETCH(QString, devices);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SIMHID_PATH));
    env.insert(QStringLiteral("VELMORA_SIMHID"), devices);
    // AddressSanitizer insists on coming first; the bus defines nothing it intercepts.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(HOSTCLI_PATH), arguments);
    QVERIFY(cli.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    QVERIFY2(out.contains(expected), qPrintable(out + QString::fromLocal8Bit(cli.readAllStandardError())));
    QCOMPARE(cli.exitCode(), exitCode);
}

void TestHostCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("nothing") << QStringList();
    QTest::newRow("port without commands") << QStringList{"--port", "/dev/null"};
    QTest::newRow("demo and port") << QStringList{"--demo", "--port", "/dev/null"};
    QTest::newRow("port and USB") << QStringList{"--port", "/dev/null", "--usb", "4c56:0105", "--cmd", "71:00"};
    QTest::newRow("USB ids not hexadecimal") << QStringList{"--usb", "4c56:xyz", "--cmd", "71:00"};
    QTest::newRow("bad command") << QStringList{"--port", "/dev/null", "--cmd", "xyz"};
    QTest::newRow("port that does not exist") << QStringList{"--port", "/dev/no-such-port", "--cmd", "71:00"};
    QTest::newRow("udp without a port") << QStringList{"--udp", "127.0.0.2", "--cmd", "71:00"};
    QTest::newRow("udp with a host name") << QStringList{"--udp", "device.local:5000", "--cmd", "71:00"};
    QTest::newRow("udp port 0") << QStringList{"--udp", "127.0.0.2:0", "--cmd", "71:00"};
    QTest::newRow("udp without commands") << QStringList{"--udp", "127.0.0.2:5000"};
    QTest::newRow("udp and port") << QStringList{"--udp", "127.0.0.2:5000", "--port", "/dev/null", "--cmd", "71:00"};
    QTest::newRow("broadcast port too large") << QStringList{"--broadcast", "70000"};
    QTest::newRow("broadcast of two commands") << QStringList{"--broadcast", "5000", "--cmd", "71:00", "--cmd", "72:00"};
    QTest::newRow("broadcast and udp") << QStringList{"--broadcast", "5000", "--udp", "127.0.0.2:5000"};
}

void TestHostCli::usageErrors()
{
    QFETCH(QStringList, arguments);

    QProcess cli;
    cli.start(QStringLiteral(HOSTCLI_PATH), arguments);
    QVERIFY(cli.waitForFinished(60000));
    QVERIFY(cli.exitCode() != 0);
    QVERIFY(!cli.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestHostCli)
#include "tst_hostcli.moc"
