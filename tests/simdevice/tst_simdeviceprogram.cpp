#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QUdpSocket>
#include <QtTest>

#include <signal.h>

// The simdevice program as a person runs it: it prints where it answers (a port
// name, or ADDRESS:PORT with --udp), answers there with the faults its options ask
// for, and ends cleanly on SIGTERM; its options follow the tools' conventions.
class TestSimDeviceProgram : public QObject
{
    Q_OBJECT

private slots:
    void answersWithTheFaultsAsked_data();
    void answersWithTheFaultsAsked();
    void options_data();
    void options();
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
    QTest::newRow("upper case, code without 0x is hexadecimal") << QStringList{"--upper-case", "--silent", "42:1"}
                                                                << second;
    QTest::newRow("hang up after one: the second is not answered") << QStringList{"--hang-up-after", "1"} << first;
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

void TestSimDeviceProgram::options_data()
{
    QTest::addColumn<QStringList>("options"); // {busy}: where another simdevice answers already
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // stdout must contain; for exit code 2, stdout must be empty
    QTest::addColumn<QString>("err"); // stderr must contain

    QTest::newRow("version") << QStringList{"--version"} << 0 << "simdevice 1.0.5\n" << "";
    QTest::newRow("help names hexadecimal codes") << QStringList{"--help"} << 0 << "in hexadecimal" << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "" << "simdevice: Unknown option";
    QTest::newRow("unknown fault") << QStringList{"--lost", "42"} << 2 << ""
                                   << "simdevice: Unknown option \"lost\" (see --help)\n";
    QTest::newRow("extra argument") << QStringList{"--silent", "42", "43"} << 2 << ""
                                    << "unexpected argument \"43\"";
    QTest::newRow("code too large") << QStringList{"--silent", "0x142"} << 2 << "" << "--silent";
    QTest::newRow("code in decimal digits too many") << QStringList{"--silent", "066"} << 2 << "" << "--silent";
    QTest::newRow("not a code") << QStringList{"--bad-block", "e1g"} << 2 << ""
                                << "simdevice: --bad-block: \"e1g\" is not a command code (see --help)\n";
    QTest::newRow("zero times") << QStringList{"--silent", "0x42:0"} << 2 << "" << "--silent";
    QTest::newRow("two faults for every command") << QStringList{"--garbage", "--echo"} << 2 << "" << "at most one";
    QTest::newRow("bad block command list") << QStringList{"--block-commands", "e0,x"} << 2 << ""
                                            << "--block-commands";
    QTest::newRow("hang up after nothing") << QStringList{"--hang-up-after", "0"} << 2 << "" << "--hang-up-after";
    QTest::newRow("udp without a port") << QStringList{"--udp", "127.0.0.2"} << 2 << ""
                                        << "simdevice: --udp: \"127.0.0.2\" is not an IPv4 ADDRESS:PORT (see --help)\n";
    QTest::newRow("udp with a host name") << QStringList{"--udp", "localhost:5000"} << 2 << "" << "--udp";
    QTest::newRow("block datagrams without udp") << QStringList{"--block-datagrams", "100"} << 2 << ""
                                                 << "--block-datagrams";
    QTest::newRow("block datagram of 0 bytes") << QStringList{"--udp", "127.0.0.2:0", "--block-datagrams", "100,0"}
                                               << 2 << "" << "--block-datagrams";
    QTest::newRow("address and port in use") << QStringList{"--udp", "{busy}"} << 1 << ""
                                             << "simdevice: cannot start: cannot listen on";
}

void TestSimDeviceProgram::options()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcess first;
    if (options.contains(QStringLiteral("{busy}"))) {
        first.start(QStringLiteral(SIMDEVICE_PATH), {QStringLiteral("--udp"), QStringLiteral("127.0.0.2:0")});
        QTRY_VERIFY_WITH_TIMEOUT(first.canReadLine(), 10000);
        options.replaceInStrings(QStringLiteral("{busy}"), QString::fromLocal8Bit(first.readLine()).trimmed());
    }

    QProcess program;
    program.start(QStringLiteral(SIMDEVICE_PATH), options);
    QVERIFY(program.waitForFinished(10000));
    const QString stdOut = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitCode(), exitCode);
    QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
    QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
    if (exitCode == 2)
        QVERIFY2(stdOut.isEmpty(), qPrintable(stdOut));
    if (first.state() != QProcess::NotRunning) {
        ::kill(pid_t(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(10000));
    }
}

QTEST_GUILESS_MAIN(TestSimDeviceProgram)
#include "tst_simdeviceprogram.moc"
