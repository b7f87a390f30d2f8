// What a host naturally does when a transport tells it something: close the
// medium, or send again, from a slot connected directly to the notice. No
// transport may hold a lock of its own while it tells, or such a slot hangs the
// thread for good.
#include "dispatcherstate.h"
#include "portnotices.h"
#include "portserial.h"
#include "portudp.h"
#include "portusb.h"
#include "replyhandoff.h"
#include "simhidbus.h"
#include "usbbus.h"

#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr unsigned short kVendor = 0x4c56;
constexpr unsigned short kProduct = 0xa002;

ProtocolData command(unsigned char cmd)
{
    ProtocolData c;
    c.byHead = 0x01;
    c.bySN = 0x01;
    c.byCmd = cmd;
    c.iTimeoutMs = 1000;
    return c;
}

// Ends the process with the test's name when the step it watches has not come
// back within the deadline: a thread that deadlocked cannot be joined, and a
// hung suite would only be seen at CTest's time limit.
class HangWatch
{
public:
    explicit HangWatch(const char *what)
        : m_thread([this, what]() {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_cond.wait_for(lock, std::chrono::seconds(20), [this] { return m_done; }))
                qFatal("hung: %s", what);
        })
    {
    }
    ~HangWatch()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cond.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_done = false;
    std::thread m_thread;
};

} // namespace

class TestHostReactions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void onSendFailed_data();
    void onSendFailed();
    void onUsbChanged_data();
    void onUsbChanged();
};

void TestHostReactions::init()
{
    QVERIFY(UsbBus::reset());
    resetDispatcherState();
}

void TestHostReactions::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(ReplyHandOff::pending(), 0, 10000);
    resetDispatcherState();
}

void TestHostReactions::onSendFailed_data()
{
    QTest::addColumn<QString>("medium");
    QTest::addColumn<QString>("reaction");
    for (const char *medium : {"serial", "udp", "usb"}) {
        for (const char *reaction : {"close", "send again"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(medium, reaction))) << medium << reaction;
    }
}

void TestHostReactions::onSendFailed()
{
    QFETCH(QString, medium);
    QFETCH(QString, reaction);

    // The device: a UDP peer on 127.0.0.2, a HID device on the simulated bus.
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    int device = 0;
    std::unique_ptr<PortBase> port;
    // What closing means on each medium, and what makes the next send fail.
    std::function<void()> close;
    std::function<bool()> reachedDevice;
    if (medium == QLatin1String("serial")) {
        // Never opened: every send fails.
        auto serial = std::make_unique<PortSerial>();
        PortSerial *p = serial.get();
        close = [p]() { p->closeSerialPort(); };
        reachedDevice = [] { return false; };
        port = std::move(serial);
    } else if (medium == QLatin1String("udp")) {
        auto udp = std::make_unique<PortUDP>();
        PortUDP *p = udp.get();
        p->setPort(peer.localPort());
        p->setDeviceIP(QString()); // no address: the first send fails
        close = [p]() { p->reInitUdp(); };
        reachedDevice = [&peer] { return QTest::qWaitFor([&peer] { return peer.hasPendingDatagrams(); }, 10000); };
        port = std::move(udp);
    } else {
        device = SimHidBus::instance().attach(kVendor, kProduct);
        auto usb = std::make_unique<PortUSB>();
        QVERIFY(usb->openUSB(kVendor, kProduct));
        SimHidBus::instance().failWrites(device, 0, 1);
        PortUSB *p = usb.get();
        close = [p]() { p->closeUSB(); };
        reachedDevice = [device] { return SimHidBus::instance().outputReports(device).size() == 1; };
        port = std::move(usb);
    }

    int failures = 0;
    PortBase *p = port.get();
    connect(p->notices(), &PortNotices::signalSendFailed, this, [&](const QString &) {
        if (++failures > 1)
            return;
        if (reaction == QLatin1String("close")) {
            close();
        } else {
            if (medium == QLatin1String("udp"))
                static_cast<PortUDP *>(p)->setDeviceIP(QStringLiteral("127.0.0.2"));
            ProtocolData again = command(0x43);
            p->sendDatatoDevice(&again);
        }
    }, Qt::DirectConnection);

    {
        HangWatch watch("a slot closed or sent again from signalSendFailed");
        ProtocolData first = command(0x42);
        p->sendDatatoDevice(&first);
    }
    if (reaction == QLatin1String("close")) {
        QCOMPARE(failures, 1);
        return;
    }
    // Sent again: it went where it could (a serial port never opened fails again).
    QCOMPARE(failures, medium == QLatin1String("serial") ? 2 : 1);
    if (medium != QLatin1String("serial"))
        QVERIFY(reachedDevice());
}

void TestHostReactions::onUsbChanged_data()
{
    QTest::addColumn<QString>("reaction");
    QTest::newRow("close") << "close";
    QTest::newRow("open again and send") << "open again and send";
}

void TestHostReactions::onUsbChanged()
{
    QFETCH(QString, reaction);

    int device = SimHidBus::instance().attach(kVendor, kProduct);
    auto port = std::make_unique<PortUSB>();
    QVERIFY(port->openUSB(kVendor, kProduct));
    QVERIFY(UsbBus::waitForWatcherLooks(2));

    // On the watcher's own thread, as a host that connects directly gets it.
    std::atomic<int> gone{0};
    std::atomic<int> back{0};
    std::atomic<bool> sentAgain{false};
    PortUSB *p = port.get();
    connect(p, &PortUSB::signalUSBChanged, this, [&](bool present) {
        if (!present) {
            ++gone;
            p->closeUSB();
            return;
        }
        ++back;
        if (reaction == QLatin1String("close")) {
            p->closeUSB();
        } else if (p->openUSB(kVendor, kProduct)) {
            ProtocolData again = command(0x43);
            p->sendDatatoDevice(&again);
            sentAgain = true;
        }
    }, Qt::DirectConnection);

    HangWatch watch("a slot closed or opened again from signalUSBChanged");
    SimHidBus::instance().detach(device);
    QTRY_COMPARE_WITH_TIMEOUT(gone.load(), 1, 10000);
    device = SimHidBus::instance().attach(kVendor, kProduct);
    QTRY_COMPARE_WITH_TIMEOUT(back.load(), 1, 10000);
    if (reaction == QLatin1String("close")) {
        QVERIFY(UsbBus::waitForWatcherLooks(2));
        QVERIFY(SimHidBus::instance().outputReports(device).isEmpty());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(sentAgain.load(), 10000);
        QCOMPARE(SimHidBus::instance().outputReports(device).size(), 1);
    }
    port.reset();
}

QTEST_GUILESS_MAIN(TestHostReactions)
#include "tst_hostreactions.moc"
