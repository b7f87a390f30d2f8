#include "roundtrip.h"

#include "cmddealmodule.h"
#include "conntype.h"
#include "dispatcherstate.h"
#include "percentile.h"
#include "portbase.h"
#include "portinterface.h"
#include "ptydevice.h"
#include "udpdevice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace RoundTrip {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDeadlineMs = 120000;

// One command in flight at a time: a release stamps the slot of its serial
// number, the accepted reply with that serial number closes it.
class Timeline
{
public:
    explicit Timeline(int commands)
        : m_released(size_t(commands))
        , m_answered(size_t(commands))
    {
    }

    void released(const ProtocolData &command)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int index = command.wExt1;
        m_released[size_t(index)] = Clock::now();
        m_indexOfSn[command.bySN] = index;
    }

    // Returns the number of commands answered so far.
    int answered(const ProtocolData &reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int index = m_indexOfSn[reply.bySN];
        if (index >= 0) {
            m_answered[size_t(index)] = Clock::now();
            m_indexOfSn[reply.bySN] = -1;
            ++m_count;
        }
        return m_count;
    }

    Result result(Clock::time_point start, Clock::time_point end) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Result r;
        r.commands = int(m_released.size());
        r.answered = m_count;
        r.seconds = std::chrono::duration<double>(end - start).count();
        std::vector<double> ms;
        for (size_t i = 0; i < m_released.size(); ++i) {
            if (m_answered[i] != Clock::time_point())
                ms.push_back(std::chrono::duration<double, std::milli>(m_answered[i] - m_released[i]).count());
        }
        if (!ms.empty()) {
            r.medianMs = Percentile::of(ms, 0.5);
            r.p99Ms = Percentile::of(ms, 0.99);
        }
        return r;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_released;
    std::vector<Clock::time_point> m_answered;
    std::array<int, 256> m_indexOfSn = [] {
        std::array<int, 256> a;
        a.fill(-1);
        return a;
    }();
    int m_count = 0;
};

void queueCommands(const Command &c, int commands)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    for (int i = 0; i < commands; ++i) {
        ProtocolData p;
        p.byHead = 0x01;
        p.byCmd = c.cmd;
        p.bySubCmd = c.sub;
        p.byParam2 = static_cast<unsigned char>(c.length & 0xFF);
        p.byParam3 = static_cast<unsigned char>(c.length >> 8);
        p.wExt1 = static_cast<unsigned short>(i);
        p.iTimeoutMs = 6000;
        CmdDealModule::queueHexCmd.push_back(p);
    }
}

// Runs the dispatcher's workers until every command is answered (or the deadline
// passes), with this thread's event loop serving the transport.
Result drive(CmdDealModule &dispatcher, Timeline &timeline, int commands)
{
    QEventLoop loop;
    QObject::connect(&dispatcher, &CmdDealModule::signalSendReceiveMessage, &loop, [&](void *p) {
        if (timeline.answered(*static_cast<ProtocolData *>(p)) == commands)
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    }, Qt::DirectConnection);
    QTimer::singleShot(kDeadlineMs, &loop, &QEventLoop::quit);

    const auto start = Clock::now();
    dispatcher.bSendWorkRun = true;
    dispatcher.bReceiveWorkRun = true;
    std::thread send(&CmdDealModule::GetQueueWork, &dispatcher);
    std::thread receive(&CmdDealModule::ReceiveGetQueueWork, &dispatcher);
    loop.exec();
    const auto end = Clock::now();
    dispatcher.bSendWorkRun = false;
    dispatcher.bReceiveWorkRun = false;
    send.join();
    receive.join();
    resetDispatcherState();
    return timeline.result(start, end);
}

} // namespace

Result inProcess(int commands)
{
    CmdDealModule dispatcher;
    Timeline timeline(commands);
    QObject::connect(&dispatcher, &CmdDealModule::signalSendMessage, [&](void *p) {
        const ProtocolData &sent = *static_cast<ProtocolData *>(p);
        timeline.released(sent);
        queueReply(replyTo(sent));
    });
    queueCommands({0x42, 0x00}, commands);
    return drive(dispatcher, timeline, commands);
}

Result overTransport(PortBase *port, const Command &command, int commands)
{
    CmdDealModule dispatcher;
    Timeline timeline(commands);
    QObject::connect(&dispatcher, &CmdDealModule::signalSendMessage, [&timeline, port](void *p) {
        ProtocolData sent = *static_cast<ProtocolData *>(p);
        timeline.released(sent);
        QMetaObject::invokeMethod(
            port, [port, sent]() mutable { port->sendDatatoDevice(&sent); }, Qt::QueuedConnection);
    });
    queueCommands(command, commands);
    return drive(dispatcher, timeline, commands);
}

Result overPty(const Command &command, int commands, QString *error)
{
    PtyDevice device;
    if (!device.start(error))
        return {};
    std::unique_ptr<PortBase> port(PortInterface::creatCoreObjInstance(ConnSerial));
    if (!port->openSerialPort(device.portName(), QSerialPort::Baud115200, QSerialPort::OneStop,
                              QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8)) {
        *error = QStringLiteral("cannot open ") + device.portName();
        return {};
    }
    const Result r = overTransport(port.get(), command, commands);
    port->closeSerialPort();
    return r;
}

Result overUdp(const Command &command, int commands, QString *error, const QList<int> &blockDatagramSizes)
{
    UdpDevice device(UdpDevice::ownLoopbackAddress(), 0, blockDatagramSizes);
    if (!device.start(error))
        return {};
    std::unique_ptr<PortBase> port(PortInterface::creatCoreObjInstance(ConnUDP));
    port->setDeviceIP(device.address().toString());
    port->setPort(device.port());
    return overTransport(port.get(), command, commands);
}

bool printBaseline(int commands, Result *local)
{
    printLimit();
    const Result inProcessResult = inProcess(commands);
    print("in-process device (reply queued at release)", inProcessResult);
    if (local)
        *local = inProcessResult;
    if (!PtyDevice::supported()) {
        std::printf("%-58s  none on this system\n", "serial over a pseudo-terminal");
        return true;
    }
    QString error;
    const Result serial = overPty({0x42, 0x00}, commands, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return false;
    }
    print("serial over a pseudo-terminal, 19-byte reply (0x42)", serial);
    return true;
}

void printLimit()
{
    std::printf("%-58s  %32s%6.1f commands/s\n", "design limit (one release per 10 ms poll)", "", 100.0);
}

void print(const char *what, const Result &r)
{
    if (r.answered == 0) {
        std::printf("%-58s  no replies\n", what);
        return;
    }
    std::printf("%-58s  %4d/%-4d answered in %6.2f s  %6.1f commands/s  latency median %6.2f ms  p99 %6.2f ms\n",
                what, r.answered, r.commands, r.seconds, r.answered / r.seconds, r.medianMs, r.p99Ms);
}

void quiet()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

} // namespace RoundTrip
