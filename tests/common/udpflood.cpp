#include "udpflood.h"

#include "dispatcherbridge.h"
#include "dispatcherstate.h"
#include "portudp.h"
#include "udpdevice.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

namespace UdpFlood {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimerMs = 10;
constexpr unsigned char kNormalCommand = 0x42;

qint64 residentKb()
{
    // "size resident shared ..." in pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() < 2 ? 0 : fields.at(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

qint64 msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Plain sockets on 127.0.0.3 onwards, one per sender, that send to
// 127.0.0.1:port in turn until told to stop or floodMs have passed, whichever comes
// first. They end by their own clock: a host thread that never gets back to its
// event loop cannot be the one to stop them.
class Flooder
{
public:
    bool start(quint16 port, const QList<QByteArray> &datagrams, int floodMs, int senders, QString *error)
    {
        for (int i = 0; i < senders; ++i) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd >= 0)
                m_fds.push_back(fd);
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = htonl(0x7f000003 + quint32(i));
            if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0) {
                *error = QStringLiteral("flood sender %1: %2").arg(i).arg(QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        m_thread = std::thread([this, to, datagrams, floodMs]() {
            const auto end = Clock::now() + std::chrono::milliseconds(floodMs);
            for (qint64 i = 0; !m_stop && Clock::now() < end; ++i) {
                const QByteArray &d = datagrams.at(int(i % datagrams.size()));
                const int fd = m_fds.at(size_t(i % qint64(m_fds.size())));
                if (::sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&to),
                             sizeof to) == d.size())
                    ++m_sent;
            }
            m_endedAt = Clock::now();
            m_running = false;
        });
        return true;
    }

    ~Flooder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : m_fds)
            ::close(fd);
    }

    bool running() const { return m_running; }
    qint64 sent() const { return m_sent; }
    // Valid once running() is false.
    Clock::time_point endedAt() const { return m_endedAt; }

private:
    std::vector<int> m_fds;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::atomic<qint64> m_sent{0};
    Clock::time_point m_endedAt;
};

// The host's commands and how each ended. A command still open when 64 more have
// left was let go by something other than its reply or its give-up. (On a loaded
// machine the receive worker may hand on a reply after the next commands have
// left, each released by a reply still waiting in its queue; 64 is far beyond
// that, and far below the 256 serial numbers before one comes again.)
class CommandLedger
{
public:
    void released(unsigned char sn)
    {
        ++m_figures->commands;
        m_open.push_back({sn, false});
        while (m_open.size() > kSettled) {
            if (!m_open.front().ended)
                ++m_figures->releasedByOthers;
            m_open.pop_front();
        }
    }
    // True when it answered an open command.
    bool answered(unsigned char sn)
    {
        for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
            if (it->sn == sn && !it->ended) {
                it->ended = true;
                ++m_figures->answeredByDevice;
                return true;
            }
        }
        return false;
    }
    void gaveUp()
    {
        if (!m_open.empty() && !m_open.back().ended) {
            m_open.back().ended = true;
            ++m_figures->givenUp;
        }
    }
    bool allEnded() const
    {
        for (const Open &o : m_open) {
            if (!o.ended)
                return false;
        }
        return true;
    }
    // At the end, once the last command has ended: what is still open was let go.
    void settle()
    {
        for (const Open &o : m_open)
            m_figures->releasedByOthers += o.ended ? 0 : 1;
        m_open.clear();
    }
    explicit CommandLedger(Figures *figures)
        : m_figures(figures)
    {
    }

private:
    static constexpr size_t kSettled = 64;
    struct Open
    {
        unsigned char sn;
        bool ended;
    };
    Figures *m_figures;
    std::deque<Open> m_open;
};

// Resident memory and the reply queue, looked at every 10 ms from a thread of
// its own: the host thread may be too busy to look.
class Sampler
{
public:
    Sampler()
        : m_thread([this]() {
            while (!m_stop) {
                m_rssPeakKb = qMax(m_rssPeakKb.load(), residentKb());
                m_queuePeak = qMax(m_queuePeak.load(), CmdDealModule::replyQueueSize());
                std::this_thread::sleep_for(std::chrono::milliseconds(kTimerMs));
            }
        })
    {
    }
    ~Sampler() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 rssPeakKb() const { return m_rssPeakKb; }
    int queuePeak() const { return m_queuePeak; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_rssPeakKb{0};
    std::atomic<int> m_queuePeak{0};
    std::thread m_thread;
};

} // namespace

QString nameOf(Kind kind)
{
    switch (kind) {
    case Kind::GeneralReplies:
        return QStringLiteral("valid replies, each queued from a thread");
    case Kind::QueuedAtOnce:
        return QStringLiteral("valid replies queued at once (0x79/0x0C)");
    case Kind::Garbage:
        return QStringLiteral("5-byte garbage datagrams");
    case Kind::Largest:
        return QStringLiteral("65,507-byte datagrams");
    }
    return QString();
}

QByteArray datagramOf(Kind kind)
{
    switch (kind) {
    case Kind::GeneralReplies:
        return "[R010178000000007a]";
    case Kind::QueuedAtOnce:
        return "[R0101790c00000087]";
    case Kind::Garbage:
        return "xxxxx";
    case Kind::Largest:
        return QByteArray(65507, 'x');
    }
    return QByteArray();
}

bool run(const QList<Kind> &kinds, int floodMs, int recoveryLimitMs, Figures *figures, QString *error, int senders)
{
    resetDispatcherState();
    *figures = Figures();
    const QString deviceAddress = QStringLiteral("127.0.0.2");
    UdpDevice device(QHostAddress(deviceAddress), 0);
    if (!device.start(error))
        return false;
    auto port = std::make_unique<PortUDP>();
    port->setDeviceIP(deviceAddress);
    port->setPort(device.port());

    CommandLedger ledger(figures);
    bool flooding = true;
    bool recovered = false;
    Clock::time_point floodEnd;
    auto bridge = std::make_unique<DispatcherBridge>();
    QObject::connect(bridge.get(), &DispatcherBridge::released, [&](const ProtocolData &command, bool resend) {
        if (!resend)
            ledger.released(command.bySN);
        ProtocolData copy = command;
        port->sendDatatoDevice(&copy);
    });
    QObject::connect(bridge.get(), &DispatcherBridge::replied, [&](const ProtocolData &reply) {
        if (reply.strSource != deviceAddress || reply.byCmd != kNormalCommand || !ledger.answered(reply.bySN))
            return;
        if (!flooding && !recovered) {
            recovered = true;
            figures->recoveryMs = msSince(floodEnd);
        }
    });
    QObject::connect(bridge.get(), &DispatcherBridge::gaveUp, [&]() { ledger.gaveUp(); });
    // One command always waits behind the one in flight: whatever lets the dispatcher
    // go on, the device's reply or another's datagram, releases it at once.
    auto topUp = [&]() {
        if (CmdDealModule::commandQueueSize() > 0)
            return;
        ProtocolData c;
        c.byHead = 0x01;
        c.byCmd = kNormalCommand;
        c.iTimeoutMs = 1000;
        queueCommand(c);
    };

    QList<QByteArray> datagrams;
    for (Kind kind : kinds)
        datagrams.append(datagramOf(kind));
    figures->rssBeforeKb = residentKb();
    Sampler sampler;
    Flooder flooder;
    const Clock::time_point floodStart = Clock::now();
    if (!flooder.start(port->m_udpSocket->localPort(), datagrams, floodMs, senders, error))
        return false;
    topUp();
    if (!bridge->start()) {
        *error = QStringLiteral("no threads for the dispatcher's workers");
        return false;
    }

    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        if (flooder.running()) {
            ++figures->timerFirings;
            topUp();
            return;
        }
        if (flooding) {
            flooding = false;
            floodEnd = flooder.endedAt();
            figures->timerDue = int(
                std::chrono::duration_cast<std::chrono::milliseconds>(floodEnd - floodStart).count() / kTimerMs);
        }
        if (!recovered && msSince(floodEnd) <= recoveryLimitMs) {
            topUp();
            return;
        }
        // Recovered, or given up on: the last commands end, then the run does.
        if ((ledger.allEnded() && CmdDealModule::commandQueueSize() == 0) || msSince(floodEnd) > 2 * recoveryLimitMs)
            loop.quit();
    });
    tick.start(kTimerMs);
    loop.exec();

    bridge.reset();
    ledger.settle();
    sampler.stop();
    figures->datagramsSent = flooder.sent();
    figures->refusedByTransport = port->refusedDatagrams();
    figures->droppedBySystem = port->droppedBySystem();
    figures->rssPeakKb = qMax(sampler.rssPeakKb(), figures->rssBeforeKb);
    figures->peakQueuedReplies = sampler.queuePeak();
    figures->queuedAtEnd = CmdDealModule::replyQueueSize();
    port.reset();
    device.stop();
    resetDispatcherState();
    return true;
}

} // namespace UdpFlood
