// Commands per second and round-trip latency (release -> accepted reply) over a
// pseudo-terminal with the simulated device answering at once, beside the same
// figures for an in-process device and the design limit of one release per
// 10 ms send-worker poll. Prints figures; not a pass/fail test.
#include "cmddealmodule.h"
#include "conntype.h"
#include "dispatcherstate.h"
#include "portbase.h"
#include "portinterface.h"
#include "portserial.h"
#include "ptydevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCommands = 600;
constexpr int kDeadlineMs = 60000;

struct Result
{
    int answered = 0;
    double seconds = 0;
    double medianMs = 0;
    double p99Ms = 0;
};

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
        r.answered = m_count;
        r.seconds = std::chrono::duration<double>(end - start).count();
        std::vector<double> ms;
        for (size_t i = 0; i < m_released.size(); ++i) {
            if (m_answered[i] != Clock::time_point())
                ms.push_back(std::chrono::duration<double, std::milli>(m_answered[i] - m_released[i]).count());
        }
        std::sort(ms.begin(), ms.end());
        if (!ms.empty()) {
            r.medianMs = ms[ms.size() / 2];
            r.p99Ms = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
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

void queueCommands(unsigned char cmd, unsigned char sub)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    for (int i = 0; i < kCommands; ++i) {
        ProtocolData p;
        p.byHead = 0x01;
        p.byCmd = cmd;
        p.bySubCmd = sub;
        p.wExt1 = static_cast<unsigned short>(i);
        p.iTimeoutMs = 6000;
        CmdDealModule::queueHexCmd.push_back(p);
    }
}

// Runs the dispatcher's workers until every command is answered (or the deadline
// passes), with the main thread's event loop serving the transport.
Result drive(CmdDealModule &dispatcher, Timeline &timeline)
{
    QEventLoop loop;
    QObject::connect(&dispatcher, &CmdDealModule::signalSendReceiveMessage, &loop, [&](void *p) {
        if (timeline.answered(*static_cast<ProtocolData *>(p)) == kCommands)
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
    {
        std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
        CmdDealModule::queueHexCmd.clear();
        CmdDealModule::bRetFlag = true;
    }
    return timeline.result(start, end);
}

// The device lives in the process: the reply is queued the moment the command is
// released, as a transport's addToReceivedQueue does.
Result inProcess()
{
    CmdDealModule dispatcher;
    Timeline timeline(kCommands);
    QObject::connect(&dispatcher, &CmdDealModule::signalSendMessage, [&](void *p) {
        const ProtocolData &sent = *static_cast<ProtocolData *>(p);
        timeline.released(sent);
        queueReply(replyTo(sent));
    });
    queueCommands(0x42, 0x00);
    return drive(dispatcher, timeline);
}

// The serial transport on the slave of a pseudo-terminal, the simulated device on
// its master, connected the way a host connects them.
Result overPty(unsigned char cmd, unsigned char sub, QString *error)
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

    CmdDealModule dispatcher;
    Timeline timeline(kCommands);
    PortBase *transport = port.get();
    QObject::connect(&dispatcher, &CmdDealModule::signalSendMessage, [&timeline, transport](void *p) {
        ProtocolData command = *static_cast<ProtocolData *>(p);
        timeline.released(command);
        QMetaObject::invokeMethod(
            transport, [transport, command]() mutable { transport->sendDatatoDevice(&command); },
            Qt::QueuedConnection);
    });
    queueCommands(cmd, sub);
    const Result r = drive(dispatcher, timeline);
    port->closeSerialPort();
    return r;
}

void print(const char *what, const Result &r)
{
    if (r.answered == 0) {
        std::printf("%-44s  no replies\n", what);
        return;
    }
    std::printf("%-44s  %4d/%d answered in %5.2f s  %6.1f commands/s  latency median %5.2f ms  p99 %5.2f ms\n",
                what, r.answered, kCommands, r.seconds, r.answered / r.seconds, r.medianMs, r.p99Ms);
}

} // namespace

// Resident set size of the process in KB, from /proc (0 where there is none).
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The device streams "["-dense noise for the given time (or writes `burst` bytes of
// it at once), then one reply. Prints how much went through, the largest the
// reassembly buffer grew, the process's memory, and how long the reply behind the
// noise took to reach the receive queue.
bool flood(const char *what, int seconds, int burst, QString *error)
{
    PtyDevice device;
    if (!device.start(error))
        return false;
    std::unique_ptr<PortBase> base(PortInterface::creatCoreObjInstance(ConnSerial));
    auto *port = qobject_cast<PortSerial *>(base.get());
    if (!port->openSerialPort(device.portName(), QSerialPort::Baud115200, QSerialPort::OneStop,
                              QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8)) {
        *error = QStringLiteral("cannot open ") + device.portName();
        return false;
    }
    resetDispatcherState();
    const long rssBefore = residentKb();
    long rssPeak = rssBefore;
    int peak = 0;
    qint64 written = 0;
    const QByteArray chunks[2] = {QByteArray("[x").repeated(8192), QByteArray(16384, '[')};
    const QByteArray reply = "[R5533420000000" "0ca]";

    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 replyWrittenAt = -1;
    qint64 replyQueuedAt = -1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        peak = qMax(peak, port->buffSize());
        rssPeak = qMax(rssPeak, residentKb());
        if (replyWrittenAt < 0) {
            if (burst > 0) {
                device.write(QByteArray("[x").repeated(burst / 2));
                written = burst;
            } else if (clock.elapsed() < seconds * 1000) {
                device.write(chunks[(written / 16384) % 2]);
                written += 16384;
                return;
            }
            device.write(reply);
            replyWrittenAt = clock.elapsed();
        } else if (CmdDealModule::replyQueueSize() > 0) {
            replyQueuedAt = clock.elapsed();
            loop.quit();
        }
    });
    tick.start(10);
    QTimer::singleShot(seconds * 1000 + 60000, &loop, &QEventLoop::quit);
    loop.exec();
    port->closeSerialPort();

    std::printf("%-44s  %6.1f MB in %5.1f s, peak buffer %7d bytes (cap %d), RSS %ld -> peak %ld KB, ",
                what, written / 1e6, replyWrittenAt / 1000.0, peak, StreamParser::kMaxBuffered, rssBefore, rssPeak);
    if (replyQueuedAt < 0)
        std::printf("reply behind it never queued\n");
    else
        std::printf("reply behind it queued %lld ms after the noise ended\n", replyQueuedAt - replyWrittenAt);
    resetDispatcherState();
    return true;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The libraries log every frame; keep the figures readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    std::printf("bench_serial: %d commands per run, one in flight at a time; "
                "latency is release -> accepted reply\n", kCommands);
    std::printf("%-44s  %4s  %d commands/s\n", "design limit (one release per 10 ms poll)", "", 100);
    print("in-process device (reply queued at release)", inProcess());

    QString error;
    const Result plain = overPty(0x42, 0x00, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    print("pseudo-terminal, 19-byte reply (0x42)", plain);
    const Result block = overPty(0xE1, 0x00, &error);
    if (!error.isEmpty()) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    print("pseudo-terminal, reply + 22-byte block (0xE1)", block);

    std::printf("\ngarbage from the device, then a reply (the pty carries far more than a 115,200-baud line):\n");
    if (!flood("1 MB of [-dense noise at once", 0, 1000000, &error)
        || !flood("[-dense noise streamed for 10 s", 10, 0, &error)) {
        std::printf("pseudo-terminal: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
