// hostcli --broadcast finds the devices at a port. A broadcast reaches whatever
// network is there, so the whole suite runs in a private network of its own (see
// PrivateNetwork) and is skipped, saying why, where none can be made.

#include "privatenetwork.h"
#include "udpdevice.h"

#include <QProcess>
#include <QtTest>

#include <memory>
#include <vector>

class TestHostDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hostcliListsWhoAnswered_data();
    void hostcliListsWhoAnswered();
};

void TestHostDiscovery::initTestCase()
{
    const QString reason = PrivateNetwork::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(QStringLiteral("broadcasts need a private network namespace, and there is none: ")
                         + reason));
}

void TestHostDiscovery::hostcliListsWhoAnswered_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");

    QTest::newRow("two") << 2 << 0 << "== 2 devices answered: 127.0.0.2, 127.0.0.3\n";
    QTest::newRow("one") << 1 << 0 << "== 1 device answered: 127.0.0.2\n";
    QTest::newRow("none") << 0 << 1 << "== 0 devices answered\n";
}

void TestHostDiscovery::hostcliListsWhoAnswered()
{
    QFETCH(int, devices);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);

    // Devices on 127.0.0.2, 127.0.0.3, ... sharing one port; without any, a port
    // where nobody is.
    std::vector<std::unique_ptr<UdpDevice>> started;
    quint16 port = 0;
    for (int i = 0; i < devices; ++i) {
        started.push_back(std::make_unique<UdpDevice>(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i)), port));
        QString error;
        QVERIFY2(started.back()->start(&error), qPrintable(error));
        QVERIFY(started.back()->listensForBroadcast());
        port = started.back()->port();
    }
    if (port == 0)
        port = 47000;

    QProcess cli;
    cli.start(QStringLiteral(HOSTCLI_PATH),
              {QStringLiteral("--broadcast"), QString::number(port), QStringLiteral("--timeout"),
               QStringLiteral("500")});
    QVERIFY(cli.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    QVERIFY2(out.contains(summary), qPrintable(out));
    QCOMPARE(cli.exitCode(), exitCode);
    QCOMPARE(out.count(QStringLiteral("<- SN 1 ")), devices);
    // The first answer ends the broadcast; each further device's is an answer to it
    // all the same, with its round trip.
    QCOMPARE(out.count(QStringLiteral(" ms  answered the broadcast   71:00")), qMax(0, devices - 1));
    for (const auto &d : started)
        QCOMPARE(d->device().receivedCommands().size(), 1);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int exitCode = 0;
    if (PrivateNetwork::runInside(argc, argv, &exitCode))
        return exitCode;
    TestHostDiscovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostdiscovery.moc"
