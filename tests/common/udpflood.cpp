#include "udpflood.h"

#include "dispatcherstate.h"
#include "portudp.h"
#include "transporthost.h"
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
#include <memory>
#include <thread>

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

// A plain socket on 127.0.0.3 that sends to 127.0.0.1:port until told to stop
// or floodMs have passed, whichever comes first. It ends by its own clock: a
// host thread that never gets back to its event loop cannot be the one to stop it.
class Flooder
{
public:
    bool start(quint16 port, const QList<QByteArray> &datagrams, int floodMs, QString *error)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7f000003);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0) {
            *error = QStringLiteral("flood sender: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        m_thread = std::thread([this, to, datagrams, floodMs]() {
            const auto end = Clock::now() + std::chrono::milliseconds(floodMs);
            for (qint64 i = 0; !m_stop && Clock::now() < end; ++i) {
                const QByteArray &d = datagrams.at(int(i % datagrams.size()));
                if (::sendto(m_fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<const sockaddr *>(&to),
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
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool running() const { return m_running; }
    qint64 sent() const { return m_sent; }
    // Valid once running() is false.
    Clock::time_point endedAt() const { return m_endedAt; }

private:
    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::atomic<qint64> m_sent{0};
    Clock::time_point m_endedAt;
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

bool answered(const TransportHost &host)
{
    for (const ProtocolData &r : host.replies) {
        if (r.byCmd == kNormalCommand)
            return true;
    }
    return false;
}

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
    }
    return QByteArray();
}

bool run(const QList<Kind> &kinds, int floodMs, int recoveryLimitMs, Figures *figures, QString *error)
{
    resetDispatcherState();
    *figures = Figures();
    UdpDevice device(QHostAddress(QStringLiteral("127.0.0.2")), 0);
    if (!device.start(error))
        return false;
    auto port = std::make_unique<PortUDP>();
    port->setDeviceIP(QStringLiteral("127.0.0.2"));
    port->setPort(device.port());
    auto host = std::make_unique<TransportHost>(port.get());

    QList<QByteArray> datagrams;
    for (Kind kind : kinds)
        datagrams.append(datagramOf(kind));
    figures->rssBeforeKb = residentKb();
    Sampler sampler;
    Flooder flooder;
    const Clock::time_point floodStart = Clock::now();
    if (!flooder.start(port->m_udpSocket->localPort(), datagrams, floodMs, error))
        return false;

    QEventLoop loop;
    QTimer tick;
    bool recovering = false;
    bool commandSent = false;
    Clock::time_point floodEnd;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
        if (flooder.running()) {
            ++figures->timerFirings;
            return;
        }
        if (!recovering) {
            recovering = true;
            floodEnd = flooder.endedAt();
            figures->timerDue = int(
                std::chrono::duration_cast<std::chrono::milliseconds>(floodEnd - floodStart).count() / kTimerMs);
        }
        // The command goes once the host has read what the flood left in the socket:
        // sent earlier, its answer may find the socket's buffer full and be dropped by
        // the system, while the flood's replies still coming make the dispatcher
        // take it as answered.
        if (!commandSent && !port->m_udpSocket->hasPendingDatagrams()) {
            commandSent = true;
            ProtocolData c;
            c.byHead = 0x01;
            c.byCmd = kNormalCommand;
            c.iTimeoutMs = 6000;
            queueCommand(c);
        }
        if (answered(*host) && CmdDealModule::replyQueueSize() == 0) {
            figures->recoveryMs = msSince(floodEnd);
            loop.quit();
        } else if (msSince(floodEnd) > recoveryLimitMs) {
            loop.quit();
        }
    });
    tick.start(kTimerMs);
    loop.exec();

    sampler.stop();
    figures->datagramsSent = flooder.sent();
    figures->rssPeakKb = qMax(sampler.rssPeakKb(), figures->rssBeforeKb);
    figures->peakQueuedReplies = sampler.queuePeak();
    figures->queuedAtEnd = CmdDealModule::replyQueueSize();
    host.reset();
    port.reset();
    device.stop();
    resetDispatcherState();
    return true;
}

} // namespace UdpFlood
