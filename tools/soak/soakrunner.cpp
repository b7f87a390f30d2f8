#include "soakrunner.h"

#include "portbase.h"
#include "replyhandoff.h"
#include "residentmemory.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {

using Clock = SoakLedger::Clock;

// The run going on in this process: the dispatcher's queues are process-wide.
SoakRunner *s_active = nullptr;

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

    connect(&m_bridge, &DispatcherBridge::released, this,
            [this](const ProtocolData &command, bool resend, SoakLedger::Clock::time_point at) {
                if (resend)
                    m_ledger->resent(at);
                else
                    m_ledger->released(command, at);
                deliver(command);
            });
    connect(&m_bridge, &DispatcherBridge::gaveUp, this,
            [this](const ProtocolData &, SoakLedger::Clock::time_point at) { m_ledger->gaveUp(at); });
    connect(&m_bridge, &DispatcherBridge::replied, this,
            [this](const ProtocolData &reply, SoakLedger::Clock::time_point at) { m_ledger->accepted(reply, at); });
    connect(&m_bridge, &DispatcherBridge::dropped, this,
            [this](const ProtocolData &reply, SoakLedger::Clock::time_point at) { m_ledger->dropped(reply, at); });
}

SoakRunner::~SoakRunner()
{
    m_bridge.stop();
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
        DispatcherBridge::queue(makeCommand(m_queued++));
}

void SoakRunner::deliver(const ProtocolData &command)
{
    // A release still queued when the run ended finds the medium closed.
    if (!m_loop)
        return;
    ProtocolData copy = command;
    m_medium->port()->sendDatatoDevice(&copy);
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
    DispatcherBridge::clearQueues();
    m_ledger = std::make_unique<SoakLedger>(
        m_config.commands, m_medium->profile(), m_medium->blocksReachHost(),
        [medium = m_medium.get()](const SimDevice::Exchange &e) { return medium->effect(e); });

    QList<SimDevice::FaultRate> rates = m_plan.rates;
    for (SimDevice::FaultRate &r : rates)
        r.rate *= m_config.faultScale;
    const auto configure = [this, rates](SimDevice &device) {
        device.setFaultRates(rates, m_config.seed + quint32(m_deviceSeed++));
        device.setDelayMs(m_plan.delayMs);
    };
    QEventLoop loop;
    m_loop = &loop;
    ReplyHandOff::resetLongestDelay();
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
        if (m_bridge.start()) {
            topUp();
            loop.exec();
        } else {
            m_report.error = QStringLiteral("the system refused a thread for the dispatcher's workers");
        }
        m_loop = nullptr;
        m_bridge.stop();
    } else {
        m_report.error = error;
    }
    m_ledger->deviceTook(m_medium->takeExchanges());
    m_report.rssLastKb = ResidentMemory::currentKb();
    m_medium->close();
    m_report.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    m_report.longestHandOffUs = ReplyHandOff::longestDelayUs();
    m_report.counts = m_ledger->finish(&m_report.detail);
    if (m_report.disturbed)
        m_report.detail.prepend(QStringLiteral("disturbance: ") + m_medium->disturbanceNote());
    // Only commands the run had: a range beyond them would grow the report unbounded.
    for (int i = qMax(0, m_config.traceFrom); i <= qMin(m_config.traceTo, m_config.commands - 1); ++i)
        m_report.detail.append(QStringLiteral("trace: ") + m_ledger->trace(i));

    s_active = nullptr;
    m_loop = nullptr;
    DispatcherBridge::clearQueues();
    return m_report;
}
