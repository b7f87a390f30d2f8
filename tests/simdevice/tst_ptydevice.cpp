#include "ptydevice.h"
#include "simframes.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SimFault)

namespace {

// Opens the slave as a host would; closes it on the errors a vanished line causes,
// which the port would otherwise report in a tight loop.
bool openHostPort(QSerialPort *port, const QString &name)
{
    port->setPortName(name);
    QObject::connect(port, &QSerialPort::errorOccurred, port, [port](QSerialPort::SerialPortError e) {
        if ((e == QSerialPort::ReadError || e == QSerialPort::ResourceError) && port->isOpen())
            port->close();
    });
    if (!port->open(QIODevice::ReadWrite))
        return false;
    return port->setBaudRate(QSerialPort::Baud115200) && port->setDataBits(QSerialPort::Data8)
        && port->setParity(QSerialPort::NoParity) && port->setStopBits(QSerialPort::OneStop)
        && port->setFlowControl(QSerialPort::NoFlowControl);
}

} // namespace

class TestPtyDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serialPortExchangesFrames_data();
    void serialPortExchangesFrames();
    void commandBlockOverTheLine();
    void injectedBytesReachTheHost();
    void rawSlaveRoundTrip();
    void hangUpClosesTheLine();
    void startTwiceFails();
    void stopIsPromptWithWritesPending();
};

void TestPtyDevice::initTestCase()
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void TestPtyDevice::serialPortExchangesFrames_data()
{
    QTest::addColumn<SimFault>("fault");
    QTest::addColumn<bool>("exact");

    QTest::newRow("plain") << SimFault::None << true;
    QTest::newRow("byte by byte") << SimFault::ByteByByte << true;
    QTest::newRow("pieces") << SimFault::Pieces << true;
    QTest::newRow("garbage before") << SimFault::GarbageBefore << false;
    QTest::newRow("echo") << SimFault::EchoCommand << false;
}

void TestPtyDevice::serialPortExchangesFrames()
{
    QFETCH(SimFault, fault);
    QFETCH(bool, exact);

    PtyDevice pty;
    QString error;
    QVERIFY2(pty.start(&error), qPrintable(error));
    pty.device().setFaultForAll(fault);

    QSerialPort port;
    QVERIFY2(openHostPort(&port, pty.portName()), qPrintable(port.errorString()));

    const SimFrame cmd = frame(7, 0xE1, 0x00);
    const QByteArray want = replyBytes(cmd);
    port.write(SimDevice::commandFrame(cmd));

    QByteArray got;
    connect(&port, &QSerialPort::readyRead, this, [&] { got += port.readAll(); });
    QTRY_VERIFY_WITH_TIMEOUT(got.endsWith(want), 5000);
    // The line discipline must neither echo nor translate: the host reads exactly
    // what the device wrote.
    if (exact)
        QCOMPARE(got, want);
    else
        QVERIFY(got.size() > want.size());

    const QList<SimFrame> seen = pty.device().receivedCommands();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().sn, quint8(7));
}

void TestPtyDevice::commandBlockOverTheLine()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    QSerialPort port;
    QVERIFY(openHostPort(&port, pty.portName()));

    SimFrame cmd = frame(3, 0xE0, 0x01, 0, 4, 0);
    // Bytes a line discipline would translate or act on if the pty were not raw.
    cmd.block = QByteArray("\r\n\x03\x7f", 4);
    port.write(SimDevice::commandFrame(cmd));
    QByteArray got;
    connect(&port, &QSerialPort::readyRead, this, [&] { got += port.readAll(); });
    QTRY_COMPARE_WITH_TIMEOUT(got, replyBytes(cmd), 5000);

    const QList<SimFrame> seen = pty.device().receivedCommands();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().block, cmd.block);
}

void TestPtyDevice::injectedBytesReachTheHost()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    QSerialPort port;
    QVERIFY(openHostPort(&port, pty.portName()));

    const QByteArray raw("[R\r\n\x00\xff", 6);
    pty.write(raw);
    QByteArray got;
    connect(&port, &QSerialPort::readyRead, this, [&] { got += port.readAll(); });
    QTRY_COMPARE_WITH_TIMEOUT(got, raw, 5000);
}

void TestPtyDevice::rawSlaveRoundTrip()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    const int fd = ::open(pty.portName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);

    const SimFrame cmd = frame(0x42, 0x71, 0x00);
    const QByteArray frame = SimDevice::commandFrame(cmd);
    QCOMPARE(::write(fd, frame.constData(), size_t(frame.size())), ssize_t(frame.size()));

    const QByteArray want = replyBytes(cmd);
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < want.size() && clock.elapsed() < 5000) {
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
        }
    }
    ::close(fd);
    QCOMPARE(got, want);
}

void TestPtyDevice::hangUpClosesTheLine()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    QSerialPort port;
    QVERIFY(openHostPort(&port, pty.portName()));
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);

    pty.hangUp();
    QVERIFY(pty.isHungUp());
    QTRY_VERIFY_WITH_TIMEOUT(!port.isOpen(), 5000);
    QVERIFY(!errors.isEmpty());

    pty.write("dropped");
    pty.hangUp();
    pty.stop();
}

void TestPtyDevice::startTwiceFails()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    QString error;
    QVERIFY(!pty.start(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!pty.portName().isEmpty());
}

void TestPtyDevice::stopIsPromptWithWritesPending()
{
    PtyDevice pty;
    QVERIFY(pty.start());
    pty.device().setFaultForAll(SimFault::ByteByByte);
    const int fd = ::open(pty.portName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    // A 1362-byte block written a byte a millisecond: over a second of writes queued.
    const QByteArray bytes = SimDevice::commandFrame(frame(1, 0xE1, 0x08));
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    QTRY_COMPARE_WITH_TIMEOUT(pty.device().receivedCommands().size(), 1, 5000);

    QElapsedTimer clock;
    clock.start();
    pty.stop();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestPtyDevice)
#include "tst_ptydevice.moc"
