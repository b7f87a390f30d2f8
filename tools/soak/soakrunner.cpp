#include "soakrunner.h"

#include "dispatcherstate.h"
#include "portbase.h"
#include "residentmemory.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {

using Clock = SoakLedger::Clock;

// The run whose dispatcher the log handler watches, and its receive worker's thread.
SoakRunner *s_active = nullptr;
QtMessageHandler s_previousHandler = nullptr;
std::atomic<std::thread::id> s_receiveThread{std::thread::id()};
std::atomic<SoakLedger *> s_ledger{nullptr};
const CmdDealModule *s_dispatcher = nullptr;

qint64 msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

} // namespace

SoakRunner::SoakRunner(const SoakConfig &config)
    : m_config(config)
    , m_medium(SoakMedium::create(config.medium))
    , m_random(config.seed)
{
    if (m_medium)
        m_plan = m_medium->plan();
    std::vector<double> weights;
    for (const SoakCommandKind &k : m_plan.mix)
        weights.push_back(k.weight);
    m_pick = std::discrete_distribution<int>(weights.begin(), weights.end());

    // The workers' signals carry pointers to records they overwrite at their next
    // step: each handler copies what it needs on the worker's thread.
    connect(&m_dispatcher, &CmdDealModule::signalInitCore, this, [this]() { m_resendNext = true; },
            Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendMessage, this, [this](void *p) {
        const ProtocolData command = *static_cast<const ProtocolData *>(p);
        if (m_resendNext.exchange(false))
            m_ledger->resent(Clock::now());
        else
            m_ledger->released(command, Clock::now());
        handOver(command);
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendTimeOut, this, [this]() { m_ledger->gaveUp(Clock::now()); },
            Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendReceiveMessage, this, [this](void *p) {
        m_ledger->accepted(*static_cast<const ProtocolData *>(p), Clock::now());
    }, Qt::DirectConnection);
}

SoakRunner::~SoakRunner()
{
    stopWorkers();
}

void SoakRunner::logHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg) {
        if (s_previousHandler)
            s_previousHandler(type, context, message);
        return;
    }
    // The receive worker names every reply it refuses, right after taking it into
    // curReply, on its own thread: the one place a refused reply can be seen.
    if (std::this_thread::get_id() == s_receiveThread.load()
        && message.startsWith(QLatin1String("==============checkRecvData:"))) {
        if (SoakLedger *ledger = s_ledger.load())
            ledger->dropped(s_dispatcher->curReply, Clock::now());
    }
}

ProtocolData SoakRunner::makeCommand(int index)
{
    const SoakCommandKind &kind = m_plan.mix.at(m_pick(m_random));
    ProtocolData c;
    c.byHead = 0x01;
    c.byCmd = kind.cmd;
    c.bySubCmd = kind.sub;
    c.byParam1 = 0;
    if (kind.blockBytes > 0) {
        c.baData.resize(kind.blockBytes);
        for (int i = 0; i < kind.blockBytes; ++i)
            c.baData[i] = char(index * 31 + i * 7);
        c.byParam2 = quint8(kind.blockBytes & 0xFF);
        c.byParam3 = quint8(kind.blockBytes >> 8);
    }
    SoakLedger::stampToken(&c, index);
    c.iTimeoutMs = m_plan.timeoutMs;
    c.bySendMode = 0;
    c.wExt1 = quint16(index);
    return c;
}

void SoakRunner::topUp()
{
    while (m_queued < m_config.commands && CmdDealModule::commandQueueSize() < kQueuedAhead)
        queueCommand(makeCommand(m_queued++));
}

void SoakRunner::handOver(const ProtocolData &command)
{
    {
        std::lock_guard<std::mutex> lock(m_handOverLock);
        m_toSend.push_back(command);
    }
    QMetaObject::invokeMethod(this, &SoakRunner::deliver, Qt::QueuedConnection);
}

void SoakRunner::deliver()
{
    // A hand-over still queued when the run ended finds the medium closed.
    if (!m_loop)
        return;
    std::deque<ProtocolData> toSend;
    {
        std::lock_guard<std::mutex> lock(m_handOverLock);
        toSend.swap(m_toSend);
    }
    for (ProtocolData &c : toSend)
        m_medium->port()->sendDatatoDevice(&c);
    topUp();

    const int released = m_ledger->releasedCount();
    if (m_report.rssFirstKb == 0 && released >= std::min(1000, m_config.commands))
        m_report.rssFirstKb = ResidentMemory::currentKb();
    if (m_config.disturb && !m_report.disturbed && released >= m_config.commands / 2) {
        m_report.disturbed = true;
        m_disturbing = true;
        m_disturbedFrom = Clock::now();
        m_medium->disturb();
    }
}

void SoakRunner::check()
{
    const auto now = Clock::now();
    if (m_lastCheck != Clock::time_point()) {
        const int sinceLast = int(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastCheck).count());
        m_report.longestStallMs = std::max(m_report.longestStallMs, sinceLast - kCheckEveryMs);
    }
    m_lastCheck = now;
    m_ledger->deviceTook(m_medium->takeExchanges());
    const qint64 quietMs = msSince(m_ledger->lastActivity());
    const bool drained = m_queued == m_config.commands && m_ledger->releasedCount() == m_config.commands
        && CmdDealModule::commandQueueSize() == 0 && CmdDealModule::replyQueueSize() == 0
        && CmdDealModule::bRetFlag;
    // Late replies (a delayed answer, the answer to a resend) may still come.
    const int settleMs = 2 * m_plan.timeoutMs + m_plan.delayMs + 500;
    if (drained && !m_disturbing && quietMs >= settleMs) {
        finishRun(true);
        return;
    }
    // Nothing has moved for much longer than a command can take: the queue is stuck.
    const int stuckMs = 4 * m_plan.timeoutMs + m_plan.delayMs + m_plan.downMs + 5000;
    if (!m_disturbing && quietMs > stuckMs)
        finishRun(false);
}

void SoakRunner::finishRun(bool completed)
{
    m_report.completed = completed;
    m_report.queuedAtEnd = CmdDealModule::commandQueueSize();
    m_report.repliesQueuedAtEnd = CmdDealModule::replyQueueSize();
    m_report.inFlightAtEnd = !CmdDealModule::bRetFlag;
    m_loop->quit();
}

void SoakRunner::startWorkers()
{
    m_dispatcher.bSendWorkRun = true;
    m_dispatcher.bReceiveWorkRun = true;
    m_send = std::thread(&CmdDealModule::GetQueueWork, &m_dispatcher);
    m_receive = std::thread([this]() {
        s_receiveThread = std::this_thread::get_id();
        m_dispatcher.ReceiveGetQueueWork();
    });
}

void SoakRunner::stopWorkers()
{
    m_dispatcher.bSendWorkRun = false;
    m_dispatcher.bReceiveWorkRun = false;
    if (m_send.joinable())
        m_send.join();
    if (m_receive.joinable())
        m_receive.join();
    s_receiveThread = std::thread::id();
}

SoakReport SoakRunner::run()
{
    m_report = SoakReport();
    m_report.medium = SoakMedium::name(m_config.medium);
    if (!m_medium) {
        m_report.error = QStringLiteral("no such medium in this build");
        return m_report;
    }
    if (s_active) {
        m_report.error = QStringLiteral("another run is going on in this process");
        return m_report;
    }
    s_active = this;
    resetDispatcherState();
    m_ledger = std::make_unique<SoakLedger>(
        m_config.commands, m_medium->profile(), m_medium->blocksReachHost(),
        [medium = m_medium.get()](const SimDevice::Exchange &e) { return medium->effect(e); });
    s_ledger = m_ledger.get();
    s_dispatcher = &m_dispatcher;
    s_previousHandler = qInstallMessageHandler(logHandler);

    QList<SimDevice::FaultRate> rates = m_plan.rates;
    for (SimDevice::FaultRate &r : rates)
        r.rate *= m_config.faultScale;
    const auto configure = [this, rates](SimDevice &device) {
        device.setFaultRates(rates, m_config.seed + quint32(m_deviceSeed++));
        device.setDelayMs(m_plan.delayMs);
    };
    QEventLoop loop;
    m_loop = &loop;
    const auto start = Clock::now();
    QString error;
    if (m_medium->open(configure, &error)) {
        connect(m_medium.get(), &SoakMedium::back, this, [this](bool ok, const QString &why) {
            m_ledger->disturbed(m_disturbedFrom, Clock::now());
            m_disturbing = false;
            if (!ok) {
                m_report.error = QStringLiteral("the medium did not come back: ") + why;
                finishRun(false);
            }
        });
        QTimer checker;
        connect(&checker, &QTimer::timeout, this, &SoakRunner::check);
        checker.start(kCheckEveryMs);
        startWorkers();
        topUp();
        loop.exec();
        m_loop = nullptr;
        stopWorkers();
    } else {
        m_report.error = error;
    }
    m_ledger->deviceTook(m_medium->takeExchanges());
    m_report.rssLastKb = ResidentMemory::currentKb();
    m_medium->close();
    m_report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    m_report.counts = m_ledger->finish(&m_report.detail);
    if (m_report.disturbed)
        m_report.detail.prepend(QStringLiteral("disturbance: ") + m_medium->disturbanceNote());
    for (int i = qMax(0, m_config.traceFrom); i <= m_config.traceTo; ++i)
        m_report.detail.append(QStringLiteral("trace: ") + m_ledger->trace(i));

    qInstallMessageHandler(s_previousHandler);
    s_ledger = nullptr;
    s_dispatcher = nullptr;
    s_active = nullptr;
    m_loop = nullptr;
    resetDispatcherState();
    return m_report;
}
