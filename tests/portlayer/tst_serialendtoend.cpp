// End to end: the factory's serial transport on the slave side of a pseudo-terminal,
// the simulated device on the master side, and the dispatcher's two workers between
// them, wired as a host wires them.

#include "dispatcherstate.h"
#include "portinterface.h"
#include "portserial.h"
#include "ptydevice.h"
#include "streamparser.h"
#include "transporthost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <thread>

Q_DECLARE_METATYPE(SimFault)

namespace {

const auto kDeviceType = ModulelEnum::DeviceReceiver;

// The default timeout is the system's own: long enough that a loaded machine, which
// may stall a thread for seconds, does not turn an answered command into a resend.
ProtocolData command(unsigned char cmd, unsigned char sub, int timeoutMs = 6000)
{
    ProtocolData c;
    c.byHead = 0x55;
    c.byCmd = cmd;
    c.bySubCmd = sub;
    c.iTimeoutMs = timeoutMs;
    c.strLabel = QStringLiteral("host label");
    return c;
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// Process CPU time in milliseconds, all threads.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

bool openPort(PortBase *port, const QString &name)
{
    return port->openSerialPort(name, QSerialPort::Baud115200, QSerialPort::OneStop,
                                QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8);
}

} // namespace

class TestSerialEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void replyReachesHost_data();
    void replyReachesHost();
    void badReplyEndsInTimeout_data();
    void badReplyEndsInTimeout();
    void silentCommandIsResentOnceThenGivenUp();
    void answeredResendIsNotGivenUp();
    void garbageFromDeviceIsSurvived();
    void garbageFloodStaysBounded();
    void reopenKeepsOneParser();
    void closeStopsEverything();
    void disabledTransportDropsReplies();
    void handleErrorClosesAndStopsParser_data();
    void handleErrorClosesAndStopsParser();
    void hangUpClosesWithoutBusyLoop();
    void busyPortIsRefused();
    void factoryOwnershipWithOpenPort();
    void stopWhileParserAwaitsBlock_data();
    void stopWhileParserAwaitsBlock();
    void commandsNotWaitingLeaveABlockWaiting();

private:
    void startHost();
    // Queues one command and waits until the host has a reply or a time-out for it.
    void roundTrip(const ProtocolData &c);

    std::unique_ptr<PtyDevice> m_device;
    PortSerial *m_port = nullptr;
    std::unique_ptr<TransportHost> m_host;
    // Threads before the device started, and with the device and the open port.
    int m_processThreads = 0;
    int m_baseThreads = 0;
};

void TestSerialEndToEnd::init()
{
    resetDispatcherState();
    m_processThreads = threadCount();
    m_device = std::make_unique<PtyDevice>();
    QString error;
    QVERIFY2(m_device->start(&error), qPrintable(error));
    m_baseThreads = threadCount();
    m_port = qobject_cast<PortSerial *>(PortInterface::creatCoreObjInstance(ConnSerial));
    QVERIFY(m_port);
    m_port->setDeviceType(kDeviceType);
    QVERIFY(openPort(m_port, m_device->portName()));
    QVERIFY(m_port->m_bDealFlag);
}

void TestSerialEndToEnd::cleanup()
{
    m_host.reset();
    delete m_port;
    m_port = nullptr;
    m_device.reset();
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;
    QCOMPARE(StreamParser::runningParserThreads(), 0);
    // Every thread of the test has ended, reply-queueing threads included, before the
    // next test counts its own.
    QTRY_VERIFY_WITH_TIMEOUT(threadCount() <= m_processThreads, 10000);
}

void TestSerialEndToEnd::startHost()
{
    m_host = std::make_unique<TransportHost>(m_port);
}

void TestSerialEndToEnd::roundTrip(const ProtocolData &c)
{
    const int before = m_host->replies.size() + m_host->timeouts;
    queueCommand(c);
    QTRY_VERIFY_WITH_TIMEOUT(m_host->replies.size() + m_host->timeouts > before, 30000);
}

void TestSerialEndToEnd::replyReachesHost_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("sub");
    QTest::addColumn<SimFault>("fault");

    QTest::newRow("plain reply") << 0x42 << 0x00 << SimFault::None;
    QTest::newRow("garbage before the reply") << 0x42 << 0x00 << SimFault::GarbageBefore;
    QTest::newRow("one byte at a time") << 0x42 << 0x00 << SimFault::ByteByByte;
    QTest::newRow("in pieces") << 0x42 << 0x00 << SimFault::Pieces;
    QTest::newRow("command echoed first") << 0x42 << 0x00 << SimFault::EchoCommand;
    QTest::newRow("upper-case digits") << 0x42 << 0x00 << SimFault::UpperCaseDigits;
    QTest::newRow("0xE1 block reply") << 0xE1 << 0x00 << SimFault::None;
    QTest::newRow("0xE1 block one byte at a time") << 0xE1 << 0x03 << SimFault::ByteByByte;
    QTest::newRow("0x8E/0x27 block reply") << 0x8E << 0x27 << SimFault::Pieces;
    QTest::newRow("0x79 reply") << 0x79 << 0x00 << SimFault::None;
}

void TestSerialEndToEnd::replyReachesHost()
{
    QFETCH(int, cmd);
    QFETCH(int, sub);
    QFETCH(SimFault, fault);

    m_device->device().setFault(quint8(cmd), fault);
    startHost();
    ProtocolData c = command(quint8(cmd), quint8(sub));
    c.baData = QByteArray("\x01\x02", 2);
    roundTrip(c);
    QCOMPARE(m_host->timeouts.load(), 0);
    QCOMPARE(m_host->replies.size(), 1);

    const ProtocolData r = m_host->replies.first();
    QCOMPARE(r.byReplySource, static_cast<unsigned char>(1));
    QCOMPARE(r.strSource, m_port->m_com->portName());
    QVERIFY(m_device->portName().endsWith(r.strSource));
    QCOMPARE(r.iDeviceType, kDeviceType);
    QCOMPARE(r.byCmd, static_cast<unsigned char>(cmd));
    QCOMPARE(r.bySubCmd, static_cast<unsigned char>(sub));
    QVERIFY(r.strLabel.isEmpty());

    const SimFrame expected = SimDevice::replyFor(m_device->device().receivedCommands().first());
    QCOMPARE(r.bySN, expected.sn);
    QCOMPARE(r.baData, expected.block);
    QCOMPARE(r.bySN, static_cast<unsigned char>(1));

    const QList<SimFrame> sent = m_device->device().receivedCommands();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().sn, static_cast<quint8>(1));
}

void TestSerialEndToEnd::badReplyEndsInTimeout_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("sub");
    QTest::addColumn<SimFault>("fault");

    QTest::newRow("silent") << 0x42 << 0x00 << SimFault::Silent;
    QTest::newRow("wrong header checksum") << 0x42 << 0x00 << SimFault::WrongHeaderChecksum;
    QTest::newRow("wrong block checksum") << 0xE1 << 0x00 << SimFault::WrongBlockChecksum;
    QTest::newRow("block one byte short") << 0xE1 << 0x00 << SimFault::ShortBlock;
}

void TestSerialEndToEnd::badReplyEndsInTimeout()
{
    QFETCH(int, cmd);
    QFETCH(int, sub);
    QFETCH(SimFault, fault);

    m_device->device().setFault(quint8(cmd), fault);
    startHost();
    roundTrip(command(quint8(cmd), quint8(sub), 300));
    QCOMPARE(m_host->timeouts.load(), 1);
    QCOMPARE(m_host->replies.size(), 0);

    // The line is usable again once the next command is due. The faults go only once
    // the device has answered both sends: on a loaded machine it may read the resend
    // after the give-up, and must still answer it badly.
    QTRY_COMPARE_WITH_TIMEOUT(m_device->device().receivedCommands().size(), 2, 10000);
    m_device->device().clearFaults();
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
}

void TestSerialEndToEnd::silentCommandIsResentOnceThenGivenUp()
{
    m_device->device().setFault(0x42, SimFault::Silent);
    startHost();
    roundTrip(command(0x42, 0x01, 300));
    QCOMPARE(m_host->timeouts.load(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_host->resends.load(), 1, 10000);

    // On a loaded machine the give-up may come before the device has read the resend.
    QTRY_COMPARE_WITH_TIMEOUT(m_device->device().receivedCommands().size(), 2, 10000);
    const QList<SimFrame> sent = m_device->device().receivedCommands();
    QCOMPARE(sent.at(0).sn, sent.at(1).sn);
    QCOMPARE(sent.at(0).cmd, static_cast<quint8>(0x42));
    QCOMPARE(sent.at(1).sub, static_cast<quint8>(0x01));
}

void TestSerialEndToEnd::answeredResendIsNotGivenUp()
{
    m_device->device().setFault(0x42, SimFault::Silent, 1);
    startHost();
    // Long enough that a loaded machine answers the resend before its time is up.
    roundTrip(command(0x42, 0x00, 1500));
    QCOMPARE(m_host->timeouts.load(), 0);
    QCOMPARE(m_host->replies.size(), 1);
    QCOMPARE(m_device->device().receivedCommands().size(), 2);
}

void TestSerialEndToEnd::garbageFromDeviceIsSurvived()
{
    startHost();
    // Unsolicited bytes: noise, a truncated frame, a 64 KB block announced and never
    // sent, a command frame, a reply with a wrong checksum.
    const SimFrame big{0x55, 0x77, 0x79, 0x00, 0x00, 0xFF, 0xFF, QByteArray()};
    SimFrame bad{0x55, 0x78, 0x42, 0x00, 0x00, 0x00, 0x00, QByteArray()};
    QByteArray badFrame = SimDevice::replyFrame(bad);
    badFrame[17] = badFrame[17] == '0' ? '1' : '0';
    m_device->write(QByteArray(3000, '\x5a') + "[R0102" + SimDevice::replyFrame(big)
                    + SimDevice::commandFrame(bad) + badFrame + QByteArray(100, '['));
    // Give the parser the bytes, then check the line still works.
    QTRY_VERIFY_WITH_TIMEOUT(m_port->buffSize() < 19, 10000);
    QCOMPARE(m_host->replies.size(), 0);
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
}

void TestSerialEndToEnd::garbageFloodStaysBounded()
{
    // For two seconds the device streams "["-dense noise at 1.6 MB/s, 140 times what a
    // 115,200-baud line carries, and then a reply. The buffer stays within its cap
    // and the reply behind the noise still reaches the host. (bench_serial runs the
    // same for ten seconds and prints the figures.)
    constexpr int kFloodMs = 2000;
    startHost();
    int written = 0;
    int peak = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer feed;
    connect(&feed, &QTimer::timeout, this, [&]() {
        peak = qMax(peak, m_port->buffSize());
        // A fresh array each time: the device's thread then holds the last reference.
        m_device->write(written++ % 2 ? QByteArray(16384, '[') : QByteArray("[x").repeated(8192));
    });
    feed.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= kFloodMs, kFloodMs + 10000);
    feed.stop();
    const SimFrame unsolicited{0x55, 0x33, 0x42, 0x00, 0x00, 0x00, 0x00, QByteArray()};
    m_device->write(SimDevice::replyFrame(unsolicited));
    clock.restart();
    QTimer sample;
    connect(&sample, &QTimer::timeout, this, [&]() { peak = qMax(peak, m_port->buffSize()); });
    sample.start(10);
    QTRY_COMPARE_WITH_TIMEOUT(m_host->replies.size(), 1, 20000);
    sample.stop();
    qInfo("%d KB of noise, peak buffer %d bytes, reply behind it after %lld ms", written * 16, peak,
          clock.elapsed());
    QVERIFY(peak <= StreamParser::kMaxBuffered);
    QCOMPARE(m_host->replies.first().bySN, static_cast<unsigned char>(0x33));
    QTRY_VERIFY_WITH_TIMEOUT(m_port->buffSize() < 19, 10000);
}

void TestSerialEndToEnd::reopenKeepsOneParser()
{
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads + 1, 10000);
    for (int i = 0; i < 3; ++i)
        QVERIFY(openPort(m_port, m_device->portName()));
    QVERIFY(m_port->m_com->isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads + 1, 10000);

    startHost();
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);

    // A failed reopen leaves the transport closed, without parser and buffer.
    m_port->appendBuffData("stale");
    QVERIFY(!openPort(m_port, QStringLiteral("/dev/velmora-no-such-port")));
    QVERIFY(!m_port->m_com->isOpen());
    QVERIFY(!m_port->m_bDealFlag);
    QVERIFY(m_port->m_bDealThreadExit);
    QCOMPARE(m_port->buffSize(), 0);
}

void TestSerialEndToEnd::closeStopsEverything()
{
    m_port->appendBuffData("partial [R01");
    m_port->closeSerialPort();
    QVERIFY(!m_port->m_com->isOpen());
    QVERIFY(!m_port->m_bDealFlag);
    QVERIFY(m_port->m_bDealThreadExit);
    QCOMPARE(m_port->buffSize(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads, 10000);

    // Sending while closed writes nothing; each send says so, and the command times out.
    QSignalSpy failed(m_port->notices(), &PortNotices::signalSendFailed);
    startHost();
    roundTrip(command(0x42, 0x00, 300));
    QCOMPARE(m_host->timeouts.load(), 1);
    QCOMPARE(m_device->device().receivedCommands().size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 10000);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("the serial port is not open"));

    m_port->closeSerialPort();
    QVERIFY(openPort(m_port, m_device->portName()));
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
}

void TestSerialEndToEnd::disabledTransportDropsReplies()
{
    m_port->bEnabled = false;
    startHost();
    roundTrip(command(0x42, 0x00, 300));
    QCOMPARE(m_host->timeouts.load(), 1);
    QCOMPARE(m_host->replies.size(), 0);
    QCOMPARE(m_device->device().receivedCommands().size(), 2);
    QCOMPARE(m_port->buffSize(), 0);
}

void TestSerialEndToEnd::handleErrorClosesAndStopsParser_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("closes");
    // QSerialPort writes from its buffer after the send has returned: a write error
    // is where a send fails, and the host is told.
    QTest::addColumn<int>("failedSends");
    QTest::newRow("resource error") << QSerialPort::ResourceError << 1 << true << 0;
    QTest::newRow("one read error passes") << QSerialPort::ReadError << 1 << false << 0;
    QTest::newRow("read error again, nothing read between") << QSerialPort::ReadError << 2 << true << 0;
    QTest::newRow("write error") << QSerialPort::WriteError << 2 << false << 2;
    QTest::newRow("timeout error") << QSerialPort::TimeoutError << 1 << false << 0;
    QTest::newRow("unknown error") << QSerialPort::UnknownError << 1 << false << 0;
}

void TestSerialEndToEnd::handleErrorClosesAndStopsParser()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(int, times);
    QFETCH(bool, closes);
    QFETCH(int, failedSends);

    QCOMPARE(StreamParser::runningParserThreads(), 1);
    QSignalSpy failed(m_port->notices(), &PortNotices::signalSendFailed);
    for (int i = 0; i < times; ++i)
        m_port->handleError(error);
    QCOMPARE(failed.size(), failedSends);
    QCOMPARE(m_port->m_com->isOpen(), !closes);
    QCOMPARE(bool(m_port->m_bDealFlag), !closes);
    QCOMPARE(bool(m_port->m_bDealThreadExit), closes);
    QCOMPARE(StreamParser::runningParserThreads(), closes ? 0 : 1);

    // The port that stayed open works; one that closed opens with exactly one parser
    // and works.
    if (closes)
        QVERIFY(openPort(m_port, m_device->portName()));
    QCOMPARE(StreamParser::runningParserThreads(), 1);
    startHost();
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
    // A read error after bytes have come in counts as the first one again.
    m_port->handleError(QSerialPort::ReadError);
    QVERIFY(m_port->m_com->isOpen());
}

void TestSerialEndToEnd::hangUpClosesWithoutBusyLoop()
{
    QSignalSpy errors(m_port->m_com, &QSerialPort::errorOccurred);
    QElapsedTimer clock;
    qint64 closedAfterMs = -1;
    connect(m_port->m_com, &QIODevice::aboutToClose, this, [&]() { closedAfterMs = clock.elapsed(); });
    startHost();
    clock.start();
    m_device->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!m_port->m_com->isOpen(), 10000);
    QVERIFY(!m_port->m_bDealFlag);
    QVERIFY(m_port->m_bDealThreadExit);
    // Closed on the error's first repetition.
    qInfo("closed %lld ms after the hang-up, after %d error signals", closedAfterMs, int(errors.count()));
    QVERIFY2(errors.count() <= 2, qPrintable(QString::number(errors.count())));
    QVERIFY2(closedAfterMs < 100, qPrintable(QString::number(closedAfterMs)));

    // Once closed, the port must fall quiet: no repeated errors, no spinning core.
    const int errorsAtClose = errors.count();
    const double cpuBefore = cpuMs();
    QTest::qWait(500);
    QCOMPARE(errors.count(), errorsAtClose);
    QVERIFY2(cpuMs() - cpuBefore < 250, qPrintable(QString::number(cpuMs() - cpuBefore)));
}

void TestSerialEndToEnd::busyPortIsRefused()
{
    PortSerial second;
    QVERIFY(!openPort(&second, m_device->portName()));
    QVERIFY(!second.m_com->isOpen());
    QVERIFY(!second.m_bDealFlag);
    QVERIFY(m_port->m_com->isOpen());
}

void TestSerialEndToEnd::factoryOwnershipWithOpenPort()
{
    delete m_port;
    m_port = nullptr;
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads, 10000);

    QPointer<PortBase> first = PortInterface::creatCoreObj(ConnSerial);
    QVERIFY(openPort(first, m_device->portName()));
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads + 1, 10000);

    // The second call deletes the open first transport, which stops its parser.
    PortBase *second = PortInterface::creatCoreObj(ConnSerial);
    QVERIFY(first.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), m_baseThreads, 10000);
    QVERIFY(openPort(second, m_device->portName()));

    m_port = qobject_cast<PortSerial *>(second);
    PortInterface::iCORE = nullptr;
    startHost();
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
}

void TestSerialEndToEnd::stopWhileParserAwaitsBlock_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("flagClearedFirst");
    for (const char *action : {"close", "reopen", "delete"}) {
        QTest::addRow("%s", action) << QString::fromLatin1(action) << false;
        QTest::addRow("%s after setDealFlag(false)", action) << QString::fromLatin1(action) << true;
    }
}

void TestSerialEndToEnd::stopWhileParserAwaitsBlock()
{
    QFETCH(QString, action);
    QFETCH(bool, flagClearedFirst);

    // A reply announcing 100 bytes of block, of which five come: the frame consumed
    // and five block bytes waiting means the parser sits in its block wait.
    const SimFrame announcing{0x55, 0x01, 0x79, 0x00, 0x00, 100, 0x00, QByteArray()};
    m_device->write(SimDevice::replyFrame(announcing) + "12345");
    QTRY_COMPARE_WITH_TIMEOUT(m_port->getBuffData(100), QByteArray("12345"), 10000);
    // A host that clears the run flag by hand leaves the thread in its wait all the same.
    if (flagClearedFirst)
        m_port->setDealFlag(false);

    // Each returns only once the waiting parser has ended.
    if (action == QLatin1String("delete")) {
        // The sanitizer runs catch a parser that touches the freed transport.
        delete m_port;
        m_port = nullptr;
        QCOMPARE(StreamParser::runningParserThreads(), 0);
        return;
    }
    if (action == QLatin1String("close")) {
        m_port->closeSerialPort();
        QCOMPARE(StreamParser::runningParserThreads(), 0);
        QVERIFY(m_port->m_bDealThreadExit);
        QVERIFY(!m_port->m_bDealFlag);
        QCOMPARE(m_port->buffSize(), 0);
    }
    // Opening starts exactly one parser, on an empty buffer, and the line works.
    QVERIFY(openPort(m_port, m_device->portName()));
    QVERIFY(m_port->m_bDealFlag);
    QCOMPARE(StreamParser::runningParserThreads(), 1);
    startHost();
    roundTrip(command(0x42, 0x00));
    QCOMPARE(m_host->replies.size(), 1);
}

void TestSerialEndToEnd::commandsNotWaitingLeaveABlockWaiting()
{
    // Released without waiting for replies (nSysPlan), a command leaves every poll
    // while a reply's 22-byte block is on its way. With one command in flight a
    // command leaving ends a block's wait; here the next commands say nothing about
    // it, and the block is awaited as long as ever.
    CmdDealModule::nSysPlan = 1;
    m_device->device().setFault(0x42, SimFault::Silent);
    const SimFrame reply{0x55, 0x77, 0xE1, 0x00, 0x00, 22, 0x00, SimDevice::checkedBlock(22, 1)};
    m_device->write(SimDevice::replyFrame(reply) + reply.block.left(11));
    QTRY_COMPARE_WITH_TIMEOUT(m_port->getBuffData(100), reply.block.left(11), 10000);
    startHost();
    for (int i = 0; i < 30; ++i)
        queueCommand(command(0x42, 0x00));
    // The rest of the block once commands have left meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(m_device->device().receivedCommands().size() >= 2, 10000);
    m_device->write(reply.block.mid(11));
    QTRY_COMPARE_WITH_TIMEOUT(m_host->replies.size(), 1, 10000);
    QCOMPARE(m_host->replies.first().bySN, quint8(0x77));
    QCOMPARE(m_host->replies.first().baData, reply.block);
}

QTEST_GUILESS_MAIN(TestSerialEndToEnd)
#include "tst_serialendtoend.moc"
