#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#include <signal.h>

// The simdevice program as a person runs it: it prints where it answers (a port
// name, or ADDRESS:PORT with --udp), answers there with the faults its options ask
// for, and ends cleanly on SIGTERM.
class TestSimDeviceProgram : public QObject
{
    Q_OBJECT

private slots:
    void answersWithTheFaultsAsked_data();
    void answersWithTheFaultsAsked();
    void usageErrors_data();
    void usageErrors();
};

void TestSimDeviceProgram::answersWithTheFaultsAsked_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("expected"); // after two 0x42 commands, sn 1 and 2

    const QByteArray first("[R0101420000000044]");
    const QByteArray second("[R0102420000000045]");
    const QStringList udp{"--udp", "127.0.0.2:0"};
    QTest::newRow("no faults") << QStringList() << first + second;
    QTest::newRow("silent once") << QStringList{"--silent", "0x42:1"} << second;
    QTest::newRow("upper case, decimal code") << QStringList{"--upper-case", "--silent", "66:1"} << second;
    QTest::newRow("echo") << QStringList{"--echo"}
                          << QByteArray("[A0101420000000044]") + first + "[A0102420000000045]" + second;
    QTest::newRow("UDP, no faults") << udp << first + second;
    QTest::newRow("UDP, silent once") << udp + QStringList{"--silent", "0x42:1"} << second;
    QTest::newRow("UDP, 20-byte replies") << udp + QStringList{"--odd-size"} << first + '\0' + second + '\0';
}

void TestSimDeviceProgram::answersWithTheFaultsAsked()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, expected);

    QProcess program;
    program.start(QStringLiteral(SIMDEVICE_PATH), options);
    QVERIFY(program.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 10000);
    const QString where = QString::fromLocal8Bit(program.readLine()).trimmed();

    QByteArray got;
    if (options.contains(QStringLiteral("--udp"))) {
        QVERIFY(where.startsWith(QLatin1String("127.0.0.2:")));
        const quint16 devicePort = quint16(where.section(QLatin1Char(':'), 1).toUInt());
        QVERIFY(devicePort != 0);
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
        connect(&socket, &QUdpSocket::readyRead, this, [&] {
            while (socket.hasPendingDatagrams())
                got += socket.receiveDatagram().data();
        });
        const QHostAddress device(QStringLiteral("127.0.0.2"));
        socket.writeDatagram("[A0101420000000044]", device, devicePort);
        socket.writeDatagram("[A0102420000000045]", device, devicePort);
        QTRY_COMPARE_WITH_TIMEOUT(got, expected, 10000);
    } else {
        QVERIFY(where.startsWith(QLatin1Char('/')));
        QSerialPort port(where);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        connect(&port, &QSerialPort::readyRead, this, [&] { got += port.readAll(); });
        port.write("[A0101420000000044][A0102420000000045]");
        QTRY_COMPARE_WITH_TIMEOUT(got, expected, 10000);
        port.close();
    }

    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardError().contains("stopped after 2 commands"));
}

void TestSimDeviceProgram::usageErrors_data()
{
    QTest::addColumn<QStringList>("options");

    QTest::newRow("code too large") << QStringList{"--silent", "0x142"};
    QTest::newRow("not a code") << QStringList{"--bad-block", "e1"};
    QTest::newRow("zero times") << QStringList{"--silent", "0x42:0"};
    QTest::newRow("two faults for every command") << QStringList{"--garbage", "--echo"};
    QTest::newRow("bad block command list") << QStringList{"--block-commands", "0xe0,x"};
    QTest::newRow("hang up after nothing") << QStringList{"--hang-up-after", "0"};
    QTest::newRow("udp without a port") << QStringList{"--udp", "127.0.0.2"};
    QTest::newRow("udp with a host name") << QStringList{"--udp", "localhost:5000"};
    QTest::newRow("block datagrams without udp") << QStringList{"--block-datagrams", "100"};
    QTest::newRow("block datagram of 0 bytes") << QStringList{"--udp", "127.0.0.2:0", "--block-datagrams", "100,0"};
}

void TestSimDeviceProgram::usageErrors()
{
    QFETCH(QStringList, options);

    QProcess program;
    program.start(QStringLiteral(SIMDEVICE_PATH), options);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimDeviceProgram)
#include "tst_simdeviceprogram.moc"
