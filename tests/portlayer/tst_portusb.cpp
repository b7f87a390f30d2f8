#include "dispatcherstate.h"
#include "framebuilder.h"
#include "logcapture.h"
#include "platformconventions.h"
#include "portusb.h"
#include "replyhandoff.h"
#include "simhidbus.h"
#include "streamparser.h"
#include "usbbus.h"
#include "wirerecorder.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr unsigned short kVendor = 0x4c56;
constexpr unsigned short kProduct = 0xa001;
constexpr unsigned short kOtherProduct = 0xc001;

// Bytes that are never 0, so fill stands out.
QByteArray sequenceOf(int n)
{
    QByteArray s;
    for (int i = 0; i < n; ++i)
        s.append(char('a' + i % 26));
    return s;
}

using UsbBus::Notices;

} // namespace

class TestPortUsb : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reports_data();
    void reports();
    void commandReport_data();
    void commandReport();
    void replies_data();
    void replies();
    void checkBlockKeepsSource();
    void reopenKeepsBufferCloseEmptiesIt();
    void open_data();
    void open();
    void hotPlug_data();
    void hotPlug();
    void secondPortGetsNoNotices();
    void destroyWhileWatcherReports();
    void sendsStayWholeUnderOpenAndClose();
    void timingConstants_data();
    void timingConstants();
    void replyAfterQuietIsParsedAtOnce();
    void deviceGoneRightAfterOpenIsReported();
    void closedFromTheWireOnTheReadThread_data();
    void closedFromTheWireOnTheReadThread();

private:
    // A port open on a freshly attached device.
    std::unique_ptr<PortUSB> openPort(int *device);
};

void TestPortUsb::init()
{
    QVERIFY(UsbBus::reset());
    resetDispatcherState();
}

void TestPortUsb::cleanup()
{
    // Replies still being queued by detached threads must not reach the next test.
    QTRY_COMPARE_WITH_TIMEOUT(ReplyHandOff::pending(), 0, 10000);
}

std::unique_ptr<PortUSB> TestPortUsb::openPort(int *device)
{
    *device = SimHidBus::instance().attach(kVendor, kProduct);
    auto port = std::make_unique<PortUSB>();
    if (!port->openUSB(kVendor, kProduct))
        return nullptr;
    return port;
}

void TestPortUsb::reports_data()
{
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("failAt"); // the write that fails, -1 for none
    QTest::addColumn<QList<int>>("written"); // payload bytes of each report recorded
    QTest::addColumn<int>("failedLines");

    const QList<int> none;
    QTest::newRow("empty") << false << 0 << -1 << none << 0;
    QTest::newRow("one frame") << false << 19 << -1 << QList<int>{19} << 0;
    QTest::newRow("64: no empty second report") << false << 64 << -1 << QList<int>{64} << 0;
    QTest::newRow("65") << false << 65 << -1 << QList<int>{64, 1} << 0;
    QTest::newRow("19 + 100") << false << 119 << -1 << QList<int>{64, 55} << 0;
    QTest::newRow("first fails: rest dropped") << false << 200 << 0 << none << 1;
    QTest::newRow("second fails: rest dropped") << false << 200 << 1 << QList<int>{64} << 1;

    QTest::newRow("update 63: as plain") << true << 63 << -1 << QList<int>{63} << 0;
    QTest::newRow("update 64") << true << 64 << -1 << QList<int>{19, 45} << 0;
    QTest::newRow("update 83") << true << 83 << -1 << QList<int>{19, 64} << 0;
    QTest::newRow("update 19 + 100") << true << 119 << -1 << QList<int>{19, 64, 36} << 0;
    QList<int> frameAnd1024{19};
    for (int i = 0; i < 16; ++i)
        frameAnd1024.append(64);
    QTest::newRow("update 19 + 1024") << true << 1043 << -1 << frameAnd1024 << 0;
    QTest::newRow("update, first fails silently") << true << 1043 << 0 << none << 0;
    QTest::newRow("update, full report fails silently") << true << 1043 << 3 << QList<int>{19, 64, 64} << 0;
    QTest::newRow("update, last partial fails") << true << 119 << 2 << QList<int>{19, 64} << 1;
    QTest::newRow("update 63 fails as plain") << true << 63 << 0 << none << 1;
}

void TestPortUsb::reports()
{
    QFETCH(bool, update);
    QFETCH(int, length);
    QFETCH(int, failAt);
    QFETCH(QList<int>, written);
    QFETCH(int, failedLines);

    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    if (failAt >= 0)
        SimHidBus::instance().failWrites(device, failAt, 1);
    LogCapture log;
    QSignalSpy failed(port->notices(), &PortNotices::signalSendFailed);
    WireRecorder wire(port->notices());
    const QByteArray sequence = sequenceOf(length);
    if (update)
        port->sendUSBData_Update_Zorl(sequence);
    else
        port->sendUSBData(sequence);

    const QList<QByteArray> reports = SimHidBus::instance().outputReports(device);
    QCOMPARE(reports.size(), written.size());
    int at = 0;
    for (int i = 0; i < reports.size(); ++i) {
        const int n = written.at(i);
        QCOMPARE(reports.at(i).size(), 65);
        QCOMPARE(reports.at(i).at(0), '\0');
        QCOMPARE(reports.at(i).mid(1, n), sequence.mid(at, n));
        QCOMPARE(reports.at(i).mid(1 + n), QByteArray(64 - n, '\0'));
        at += n;
    }
    // The wire shows each payload that went, fill included, and none that failed.
    QList<QByteArray> payloads;
    for (const QByteArray &report : reports)
        payloads.append(report.mid(1));
    QCOMPARE(wire.pieces(false), payloads);
    QCOMPARE(log.count(QStringLiteral("Send failed")), failedLines);
    // Logged or not, a failure is reported, with hidapi's reason.
    QCOMPARE(failed.size(), failAt >= 0 ? 1 : 0);
    if (!failed.isEmpty())
        QCOMPARE(failed.first().first().toString(), QStringLiteral("output report refused by the device"));
}

void TestPortUsb::commandReport_data()
{
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("blockLength");
    QTest::addColumn<int>("reports");

    QTest::newRow("frame alone") << true << 0 << 1;
    QTest::newRow("frame and a 100-byte block") << true << 100 << 2;
    QTest::newRow("no device open") << false << 0 << 0;
}

void TestPortUsb::commandReport()
{
    QFETCH(bool, open);
    QFETCH(int, blockLength);
    QFETCH(int, reports);

    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    if (!open)
        port->closeUSB();

    ProtocolData command;
    command.byHead = 0x01;
    command.bySN = 0x02;
    command.byCmd = 0x03;
    command.bySubCmd = 0x04;
    command.byParam1 = 0x05;
    command.byParam2 = 0x06;
    command.byParam3 = 0x07;
    command.byCheckSum = 0x99;
    command.baData = sequenceOf(blockLength);
    LogCapture log;
    QSignalSpy failed(port->notices(), &PortNotices::signalSendFailed);
    port->sendDatatoDevice(&command);

    QCOMPARE(command.byCheckSum, quint8(0x99));
    QCOMPARE(failed.size(), open ? 0 : 1);
    QCOMPARE(log.count(QStringLiteral("Send usb data:[A010203040506071c]")), 1);
    const QList<QByteArray> written = SimHidBus::instance().outputReports(device);
    QCOMPARE(written.size(), reports);
    if (reports > 0) {
        QByteArray first = (QByteArray(1, '\0') + "[A010203040506071c]" + command.baData).left(65);
        first.append(QByteArray(65 - first.size(), '\0'));
        QCOMPARE(written.first(), first);
    }
}

void TestPortUsb::replies_data()
{
    QTest::addColumn<QList<QByteArray>>("inputReports");
    QTest::addColumn<QList<int>>("serials"); // of the replies queued
    QTest::addColumn<int>("checksumLines");

    const QByteArray a = FrameBuilder::reply(0x01, 0x0a, 0x42, 0x00, 0x00, 0x00, 0x00);
    const QByteArray b = FrameBuilder::reply(0x01, 0x0b, 0x71, 0x05, 0x03, 0x00, 0x00, true);
    const QByteArray withBlock = FrameBuilder::reply(0x01, 0x0c, 0x79, 0x00, 0x00, 0x05, 0x00);
    QByteArray badChecksum = a;
    badChecksum[17] = badChecksum.at(17) == '0' ? '1' : '0';
    const QByteArray fill(45, '\0');

    QTest::newRow("frame and fill") << QList<QByteArray>{a + fill} << QList<int>{0x0a} << 0;
    QTest::newRow("two frames in one report") << QList<QByteArray>{a + b + QByteArray(26, '\0')}
                                              << QList<int>{0x0a, 0x0b} << 0;
    QTest::newRow("a frame over reports of odd sizes")
        << QList<QByteArray>{a.left(1), a.mid(1, 7), a.mid(8) + QByteArray(100, '\0')} << QList<int>{0x0a} << 0;
    QTest::newRow("block bytes after a 0x79 reply skipped")
        << QList<QByteArray>{withBlock + FrameBuilder::block("[R0x!") + fill, b + fill} << QList<int>{0x0c, 0x0b}
        << 0;
    QTest::newRow("wrong checksum, then a good frame") << QList<QByteArray>{badChecksum + fill, b + fill}
                                                       << QList<int>{0x0b} << 1;
    QTest::newRow("noise without a frame start, then a frame")
        << QList<QByteArray>{QByteArray(300, '\x7f'), QByteArray("R]]\xff", 4), a} << QList<int>{0x0a} << 0;
    QTest::newRow("a report longer than the read: its first 1024 bytes count")
        << QList<QByteArray>{QByteArray(1024 - 19, '\0') + a + b} << QList<int>{0x0a} << 0;
}

void TestPortUsb::replies()
{
    QFETCH(QList<QByteArray>, inputReports);
    QFETCH(QList<int>, serials);
    QFETCH(int, checksumLines);

    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    port->setDeviceType(ModulelEnum::DeviceDisplay);
    LogCapture log;
    WireRecorder wire(port->notices());
    QByteArray arrived;
    for (const QByteArray &report : inputReports) {
        SimHidBus::instance().sendInput(device, report);
        arrived += report.left(PortUSB::kReadBufferSize);
    }
    // Every byte read, noise and bad checksums included, as it came.
    QTRY_COMPARE_WITH_TIMEOUT(wire.joined(true), arrived, 10000);

    QList<ProtocolData> replies;
    QTRY_VERIFY_WITH_TIMEOUT((replies += takeQueuedReplies()).size() >= serials.size(), 10000);
    // Each reply is queued by a thread of its own, so in either order.
    std::sort(replies.begin(), replies.end(),
              [](const ProtocolData &x, const ProtocolData &y) { return x.bySN < y.bySN; });
    QList<int> got;
    for (const ProtocolData &r : replies) {
        got.append(r.bySN);
        QCOMPARE(r.strSource, QStringLiteral("USB"));
        QCOMPARE(r.byReplySource, quint8(2));
        QCOMPARE(r.iDeviceType, qint32(ModulelEnum::DeviceDisplay));
        QVERIFY(r.baData.isEmpty());
    }
    std::sort(serials.begin(), serials.end());
    QCOMPARE(got, serials);
    QTRY_COMPARE_WITH_TIMEOUT(port->buffSize() < 19, true, 10000);
    QVERIFY(takeQueuedReplies().isEmpty());
    QCOMPARE(log.lines().filter(QStringLiteral("PortUSB::getArrayData   dataStr==")).size(), checksumLines);
}

void TestPortUsb::checkBlockKeepsSource()
{
    PortUSB port;
    port.setDeviceType(ModulelEnum::DeviceSender);
    port.appendBuffData(FrameBuilder::block("abcd"));
    ProtocolData reply;
    reply.byCmd = 0x79;
    reply.strSource = QStringLiteral("kept");
    QVERIFY(port.checkBlock(reply, 5));

    const QList<ProtocolData> queued = takeQueuedReplies();
    QCOMPARE(queued.size(), 1);
    QCOMPARE(queued.first().strSource, QStringLiteral("kept"));
    QCOMPARE(queued.first().byReplySource, quint8(2));
    QCOMPARE(queued.first().iDeviceType, qint32(ModulelEnum::DeviceSender));
    QCOMPARE(queued.first().baData, FrameBuilder::block("abcd"));
}

void TestPortUsb::reopenKeepsBufferCloseEmptiesIt()
{
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    const QByteArray frame = FrameBuilder::reply(0x01, 0x21, 0x42, 0x00, 0x00, 0x00, 0x00);
    SimHidBus::instance().sendInput(device, frame.left(10));
    QTRY_COMPARE_WITH_TIMEOUT(port->buffSize(), 10, 10000);

    QVERIFY(port->openUSB(kVendor, kProduct));
    QCOMPARE(port->buffSize(), 10);
    QCOMPARE(SimHidBus::instance().openHandles(device), 1);
    SimHidBus::instance().sendInput(device, frame.mid(10));
    QList<ProtocolData> replies;
    QTRY_COMPARE_WITH_TIMEOUT((replies += takeQueuedReplies()).size(), 1, 10000);

    SimHidBus::instance().sendInput(device, frame.left(10));
    QTRY_COMPARE_WITH_TIMEOUT(port->buffSize(), 10, 10000);
    port->closeUSB();
    QCOMPARE(port->buffSize(), 0);
    QCOMPARE(SimHidBus::instance().openHandles(device), 0);
    QVERIFY(!port->m_bUSBOpen && !port->m_bReadFlag);
}

void TestPortUsb::open_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("opens");

    QTest::newRow("attached") << int(kVendor) << int(kProduct) << true;
    QTest::newRow("other product") << int(kVendor) << 0x0bad << false;
    QTest::newRow("ids 0/0 open no device") << 0 << 0 << false;
}

void TestPortUsb::open()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, opens);

    const int device = SimHidBus::instance().attach(kVendor, kProduct);
    SimHidBus::instance().attach(kVendor, kOtherProduct);
    PortUSB port;
    QCOMPARE(port.openUSB(ushort(vendor), ushort(product)), opens);
    QCOMPARE(port.m_bUSBOpen.load(), opens);
    QCOMPARE(port.m_bReadFlag.load(), opens);
    QCOMPARE(SimHidBus::instance().openHandles(device), opens ? 1 : 0);
    QCOMPARE(StreamParser::runningParserThreads(), opens ? 1 : 0);
    unsigned short watchedVendor = 0;
    unsigned short watchedProduct = 0;
    PortUSB::watchedIds(&watchedVendor, &watchedProduct);
    QCOMPARE(int(watchedVendor), vendor);
    QCOMPARE(int(watchedProduct), product);

    port.closeUSB();
    port.closeUSB();
    QCOMPARE(SimHidBus::instance().openHandles(device), 0);
    QCOMPARE(StreamParser::runningParserThreads(), 0);
}

void TestPortUsb::hotPlug_data()
{
    // Steps: "attach X", "detach X" (X: a or b, two devices with the same ids; c,
    // another product), "open X", "open 0/0".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<bool>>("notices");
    QTest::addColumn<bool>("openAtEnd");

    QTest::newRow("no ids yet: nothing looked at") << QStringList{"attach a", "detach a", "attach a"}
                                                   << QList<bool>{} << false;
    QTest::newRow("present at the first look, unplugged, plugged in again")
        << QStringList{"attach a", "open a", "detach a", "attach a"} << QList<bool>{false, true} << false;
    QTest::newRow("opened before it is plugged in") << QStringList{"open a", "attach a"} << QList<bool>{true}
                                                    << false;
    // The open one's handle is dead: the port closes and says so, and the twin is news.
    QTest::newRow("two devices with the same ids: the open one goes")
        << QStringList{"attach a", "attach b", "open a", "detach a"} << QList<bool>{false, true} << false;
    QTest::newRow("the unplugged twin of the open device") << QStringList{"attach a", "attach b", "open a", "detach b"}
                                                           << QList<bool>{} << true;
    QTest::newRow("ids 0/0 stand for no device") << QStringList{"open c", "attach a", "open 0/0", "attach c"}
                                                 << QList<bool>{} << false;
}

void TestPortUsb::hotPlug()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<bool>, notices);
    QFETCH(bool, openAtEnd);

    SimHidBus &bus = SimHidBus::instance();
    PortUSB port;
    Notices seen(&port);
    QHash<QString, int> devices;
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(' '), 0, 0);
        const QString which = step.section(QLatin1Char(' '), 1);
        const unsigned short product = which == QLatin1String("c") ? kOtherProduct : kProduct;
        if (what == QLatin1String("attach"))
            devices[which] = bus.attach(kVendor, product);
        else if (what == QLatin1String("detach"))
            bus.detach(devices.value(which));
        else if (which == QLatin1String("0/0"))
            QVERIFY(!port.openUSB(0, 0));
        else
            QCOMPARE(port.openUSB(kVendor, product), devices.contains(which));

        unsigned short vendor = 0;
        unsigned short watchedProduct = 0;
        PortUSB::watchedIds(&vendor, &watchedProduct);
        if (vendor != 0 || watchedProduct != 0)
            QVERIFY2(UsbBus::waitForWatcherLooks(2), qPrintable(step));
        else {
            // A look that read the ids just before they went may still finish; no
            // later one may start.
            UsbBus::waitForWatcherLooks(1, 300);
            QVERIFY(!UsbBus::waitForWatcherLooks(1, 300));
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(seen.seen, notices, 10000);
    QCOMPARE(port.m_bUSBOpen.load(), openAtEnd);
}

void TestPortUsb::secondPortGetsNoNotices()
{
    const int device = SimHidBus::instance().attach(kVendor, kProduct);
    auto first = std::make_unique<PortUSB>();
    PortUSB second;
    Notices firstNotices(first.get());
    Notices secondNotices(&second);

    // The second port's open sets the ids the first one's watcher looks for.
    QVERIFY(second.openUSB(kVendor, kProduct));
    QVERIFY(UsbBus::waitForWatcherLooks(2));
    SimHidBus::instance().detach(device);
    QTRY_COMPARE_WITH_TIMEOUT(firstNotices.seen, QList<bool>{false}, 10000);
    QVERIFY(secondNotices.seen.isEmpty());
    QVERIFY(second.m_bUSBOpen);

    // The watcher ends with the port it serves; the next port starts its own.
    first.reset();
    QVERIFY(!PortUSB::isWatchStarted());
    PortUSB third;
    QVERIFY(PortUSB::isWatchStarted());
}

void TestPortUsb::destroyWhileWatcherReports()
{
    SimHidBus &bus = SimHidBus::instance();
    // Deleted from a slot the watcher calls, on the watcher's own thread.
    std::atomic<PortUSB *> doomed{new PortUSB};
    QObject::connect(doomed.load(), &PortUSB::signalUSBChanged, [&doomed](bool present) {
        if (!present)
            delete doomed.exchange(nullptr);
    });
    int device = bus.attach(kVendor, kProduct);
    QVERIFY(doomed.load()->openUSB(kVendor, kProduct));
    QVERIFY(UsbBus::waitForWatcherLooks(2));
    bus.detach(device);
    QTRY_VERIFY_WITH_TIMEOUT(!doomed.load(), 10000);
    QVERIFY(!PortUSB::isWatchStarted());

    // Deleted by the host while devices come and go as fast as they can.
    for (int round = 0; round < 3; ++round) {
        auto port = std::make_unique<PortUSB>();
        Notices notices(port.get());
        port->openUSB(kVendor, kProduct);
        std::atomic<bool> cycling{true};
        std::thread plugger([&] {
            while (cycling) {
                const int id = bus.attach(kVendor, kProduct);
                std::this_thread::yield();
                bus.detach(id);
            }
        });
        QVERIFY(UsbBus::waitForWatcherLooks(1 + round));
        port.reset();
        cycling = false;
        plugger.join();
    }
    QVERIFY(!PortUSB::isWatchStarted());
}

void TestPortUsb::sendsStayWholeUnderOpenAndClose()
{
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    std::atomic<bool> running{true};
    auto sender = [&](bool update, char fill, int length) {
        return std::thread([&, update, fill, length] {
            while (running) {
                if (update)
                    port->sendUSBData_Update_Zorl(QByteArray(length, fill));
                else
                    port->sendUSBData(QByteArray(length, fill));
            }
        });
    };
    std::thread updates = sender(true, 'u', 1043);
    std::thread commands = sender(false, 'c', 200);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(SimHidBus::instance().waitForOutputReports(device, 40 * (i + 1), 10000));
        port->closeUSB();
        QVERIFY(port->openUSB(kVendor, kProduct));
    }
    running = false;
    updates.join();
    commands.join();

    // Every sequence arrived whole: 17 update reports or 4 command reports in a row.
    const QList<QByteArray> written = SimHidBus::instance().outputReports(device);
    for (int i = 0; i < written.size();) {
        const char fill = written.at(i).at(1);
        const int run = fill == 'u' ? 17 : 4;
        QVERIFY2(i + run <= written.size(), "a sequence cut short");
        for (int j = i; j < i + run; ++j)
            QCOMPARE(written.at(j).at(1), fill);
        i += run;
    }
}

void TestPortUsb::timingConstants_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs");

    // At least what the constant fixes, less a little for the clock; below what it
    // would take doubled, with room for a loaded machine.
    QTest::newRow("ten looks of the watcher, 100 ms apart") << "watch" << 950 << 1900;
    QTest::newRow("openUSB leaves the device 100 ms first") << "open" << 95 << 190;
    QTest::newRow("closeUSB leaves it 100 ms after, open or not") << "close" << 95 << 190;
    QTest::newRow("checkBlock waits 4 s for a block") << "block" << 3990 << 7000;
}

void TestPortUsb::timingConstants()
{
    QFETCH(QString, what);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);

    // Opened once, so that the watcher has ids to look for, and closed again: a
    // close of an open port also waits for the read in progress.
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    port->closeUSB();
    QVERIFY(UsbBus::waitForWatcherLooks(1));
    QElapsedTimer timer;
    timer.start();
    if (what == QLatin1String("watch")) {
        QVERIFY(UsbBus::waitForWatcherLooks(10));
    } else if (what == QLatin1String("open")) {
        QVERIFY(port->openUSB(kVendor, kProduct));
    } else if (what == QLatin1String("close")) {
        port->closeUSB();
    } else {
        port->appendBuffData(FrameBuilder::block("abc"));
        QVERIFY(!port->checkBlock(ProtocolData(), 5));
    }
    const qint64 took = timer.elapsed();
    QVERIFY2(took >= atLeastMs && took < belowMs, qPrintable(QString::number(took)));
}

void TestPortUsb::replyAfterQuietIsParsedAtOnce()
{
    // The read thread and the parser wake on what comes in: a reply after a quiet
    // time, and one right behind it, are on the queue within milliseconds, not at
    // the next pass of a poll. The quiet times differ by 7 ms, so that replies meet
    // a polling reader at every point of its pass; the median stands for a loaded
    // machine's worst moments.
    if (!PlatformConventions::subMillisecondSleeps())
        QSKIP("this test looks between sleeps of 0.1 ms, which last a scheduler tick here");
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    const auto deliver = [device](int sn) {
        const QByteArray frame = FrameBuilder::reply(0x01, quint8(sn), 0x42, 0x00, 0x00, 0x00, 0x00);
        QElapsedTimer timer;
        timer.start();
        SimHidBus::instance().sendInput(device, frame + QByteArray(45, '\0'));
        // Short sleeps, not a spin: the looking must not take the machine's time.
        while (CmdDealModule::replyQueueSize() <= sn && timer.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        return timer.nsecsElapsed() / 1000;
    };
    std::vector<qint64> afterQuiet;
    std::vector<qint64> behind;
    for (int i = 0; i < 7; ++i) {
        QTest::qWait(200 + 7 * i);
        afterQuiet.push_back(deliver(2 * i));
        behind.push_back(deliver(2 * i + 1));
    }
    QCOMPARE(CmdDealModule::replyQueueSize(), 14);
    std::sort(afterQuiet.begin(), afterQuiet.end());
    std::sort(behind.begin(), behind.end());
    qInfo("reply on the queue, median: %lld us after a quiet time, %lld us right behind another",
          afterQuiet[3], behind[3]);
    QVERIFY2(afterQuiet[3] < 10000, qPrintable(QString::number(afterQuiet[3])));
    QVERIFY2(behind[3] < 10000, qPrintable(QString::number(behind[3])));
}

void TestPortUsb::deviceGoneRightAfterOpenIsReported()
{
    // Gone before the watcher's first look, which may come an interval after the
    // open: the open port stands for a device that was there, so its leaving is news.
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    // Emitted on the watcher's thread: counted there, without a spy's list.
    std::atomic<int> gone{0};
    std::atomic<int> back{0};
    connect(port.get(), &PortUSB::signalUSBChanged, [&](bool present) { ++(present ? back : gone); });
    SimHidBus::instance().detach(device);
    QTRY_COMPARE_WITH_TIMEOUT(gone.load(), 1, 10000);
    QCOMPARE(back.load(), 0);
    QVERIFY(!port->m_bUSBOpen);
}

void TestPortUsb::closedFromTheWireOnTheReadThread_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("then destroyed") << false;
    QTest::newRow("then opened again") << true;
}

void TestPortUsb::closedFromTheWireOnTheReadThread()
{
    // A host that closes the port from a slot connected directly to the wire runs on
    // the read thread, which cannot wait for itself to end.
    QFETCH(bool, reopen);
    int device = 0;
    auto port = openPort(&device);
    QVERIFY(port);
    PortUSB *raw = port.get();
    std::atomic<int> closes{0};
    QObject::connect(raw->notices(), &PortNotices::signalWire, raw->notices(),
                     [raw, &closes](bool received, const QByteArray &, const QString &, qint64) {
                         if (received && closes.fetch_add(1) == 0)
                             raw->closeUSB();
                     },
                     Qt::DirectConnection);
    SimHidBus::instance().sendInput(device, FrameBuilder::reply(0x01, 0x0a, 0x42, 0x00, 0x00, 0x00, 0x00));
    QTRY_VERIFY_WITH_TIMEOUT(!raw->m_bUSBOpen && closes.load() == 1, 10000);
    if (reopen) {
        QVERIFY(raw->openUSB(kVendor, kProduct));
        QVERIFY(raw->m_bUSBOpen);
    }
    port.reset();
    QCOMPARE(closes.load(), 1);
}

QTEST_GUILESS_MAIN(TestPortUsb)
#include "tst_portusb.moc"
