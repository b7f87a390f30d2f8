#include "hostsession.h"

#include "framecodec.h"
#include "mediumtraits.h"
#include "portbase.h"
#include "reporter.h"

#include <QDateTime>

#include <algorithm>

HostSession::HostSession(PortBase *port, CommandSource *source, Reporter *reporter)
    : m_port(port)
    , m_source(source)
    , m_reporter(reporter)
    , m_medium(&mediumTraits(MediumOptions::Medium::Serial))
{
    // For receivers on other threads, whose connections queue the event.
    qRegisterMetaType<HostEvent>();
    connect(&m_bridge, &DispatcherBridge::released, this, &HostSession::onReleased);
    connect(&m_bridge, &DispatcherBridge::replied, this,
            [this](const ProtocolData &reply, Clock::time_point at) { onReply(reply, at, true); });
    connect(&m_bridge, &DispatcherBridge::dropped, this,
            [this](const ProtocolData &reply, Clock::time_point at) { onReply(reply, at, false); });
    connect(&m_bridge, &DispatcherBridge::resent, this,
            [this](const ProtocolData &, Clock::time_point at) { onResend(at); });
    connect(&m_bridge, &DispatcherBridge::gaveUp, this,
            [this](const ProtocolData &, Clock::time_point at) { onGiveUp(at); });
    // On the thread that sends, which is this one, inside sendDatatoDevice.
    connect(m_port->notices(), &PortNotices::signalSendFailed, this, &HostSession::onSendFailed);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        stopEarly(QStringLiteral("the deadline of %1 s passed").arg(m_deadline.interval() / 1000.0));
    });
    m_listen.setSingleShot(true);
    connect(&m_listen, &QTimer::timeout, this, &HostSession::finish);
    m_idleTimer.setInterval(kIdleCheckMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &HostSession::onIdleCheck);
}

HostSession::~HostSession()
{
    stop();
}

void HostSession::setMedium(const MediumTraits &medium)
{
    m_medium = &medium;
}

void HostSession::setDeadlineMs(int ms)
{
    m_deadline.setInterval(ms);
}

void HostSession::setGiveUpLimit(int commands)
{
    m_giveUpLimit = commands;
}

void HostSession::setErrorLog(bool on)
{
    m_errorLog = on;
}

void HostSession::setListenAfterMs(int ms)
{
    m_listenAfterMs = ms;
}

void HostSession::setKeepRunning(bool on)
{
    m_keepRunning = on;
}

void HostSession::setWire(bool on)
{
    // Tapped only while asked: a transport with no listener does not report its
    // bytes at all. Queued from the USB transport's read thread.
    if (on == bool(m_wireConnection))
        return;
    if (on)
        m_wireConnection = connect(m_port->notices(), &PortNotices::signalWire, this, &HostSession::onWire);
    else
        disconnect(m_wireConnection);
}

const RunSummary &HostSession::summary() const
{
    return m_summary;
}

int HostSession::commandsAhead() const
{
    int ahead = int(m_added.size());
    for (const Entry &e : m_open)
        ahead += !e.released() || qint64(e.index) == m_inFlight ? 1 : 0;
    return ahead;
}

QStringList HostSession::sources() const
{
    return m_sources;
}

void HostSession::start()
{
    DispatcherBridge::clearQueues();
    m_started = true;
    m_startedAt = Clock::now();
    m_startedWallMs = QDateTime::currentMSecsSinceEpoch();
    topUp();
    if (m_finished)
        return;
    if (m_deadline.interval() > 0)
        m_deadline.start();
    m_idleTimer.start();
    if (!m_bridge.start()) {
        stopEarly(QStringLiteral("the system refused a thread for the dispatcher's workers"));
        return;
    }
    finishIfDone();
}

void HostSession::stop()
{
    m_bridge.stop();
    m_deadline.stop();
    m_listen.stop();
    m_idleTimer.stop();
}

bool HostSession::add(const PlannedCommand &command)
{
    if (m_finished)
        return false;
    m_added.push_back(command);
    if (m_started)
        topUp();
    return true;
}

bool HostSession::allTaken() const
{
    return m_sourceDone && m_added.empty();
}

void HostSession::report(const HostEvent &happened)
{
    // The wall clock from the same steady instant as timeMs: events keep their
    // order and spacing when the system clock is set during a run.
    HostEvent event = happened;
    event.wallMs = m_startedWallMs + event.timeMs;
    if (m_reporter)
        m_reporter->event(event);
    emit reported(event);
}

qint64 HostSession::msSinceStart(Clock::time_point at) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(at - m_startedAt).count();
}

HostEvent HostSession::eventFor(HostEvent::Kind kind, const Entry &entry, Clock::time_point at) const
{
    HostEvent e;
    e.kind = kind;
    e.timeMs = msSinceStart(at);
    e.record = entry.sent;
    e.label = entry.label;
    e.line = entry.line;
    e.sends = entry.sends;
    return e;
}

std::deque<HostSession::Entry>::iterator HostSession::findIndex(quint64 index)
{
    return std::find_if(m_open.begin(), m_open.end(), [index](const Entry &e) { return e.index == index; });
}

std::deque<HostSession::Entry>::iterator HostSession::findOpenSn(int sn)
{
    // Newest first: serial numbers repeat every 256 commands.
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
        if (it->released() && it->sn == sn)
            return std::prev(it.base());
    }
    return m_open.end();
}

void HostSession::topUp()
{
    int waiting = 0;
    for (const Entry &e : m_open)
        waiting += e.released() ? 0 : 1;
    while (!m_finished && waiting < kQueueAhead) {
        PlannedCommand planned;
        if (!m_added.empty()) {
            planned = m_added.front();
            m_added.pop_front();
        } else if (m_sourceDone || !m_source || !m_source->next(&planned)) {
            const bool failed = !m_sourceDone && m_source && !m_source->error().isEmpty();
            m_sourceDone = true;
            if (failed)
                stopEarly(m_source->error());
            return;
        }
        Entry entry;
        entry.index = m_nextIndex++;
        entry.label = planned.label;
        entry.line = planned.line;
        entry.expected = planned.expected;
        // strLabel travels unchanged through the queue: it tells a release which command it is.
        planned.command.strLabel = QString::number(entry.index);
        entry.sent = planned.command;
        m_open.push_back(entry);
        ++m_summary.commands;
        ++waiting;
        DispatcherBridge::queue(planned.command);
    }
}

void HostSession::onReleased(const ProtocolData &command, bool resend, Clock::time_point at)
{
    m_idleSeen = 0;
    bool ok = false;
    const auto entry = findIndex(command.strLabel.toULongLong(&ok));
    if (!ok || entry == m_open.end())
        return;
    entry->sn = command.bySN;
    entry->sent = command;
    entry->lastSend = at;
    ++entry->sends;
    ++(resend ? m_summary.resent : m_summary.sent);
    m_inFlight = qint64(entry->index);
    if (command.bySendMode == 1) {
        m_broadcast = *entry;
        m_broadcastAwaited = true;
    } else if (m_broadcastAwaited && command.bySN == m_broadcast.sn) {
        m_broadcastAwaited = false;
    }

    HostEvent e = eventFor(HostEvent::Kind::Send, *entry, at);
    e.bytes = FrameCodec::produceCmds(command);
    e.pieces = m_medium->pieces(e.bytes);
    e.unit = QString::fromLatin1(m_medium->unit);
    e.resend = resend;
    report(e);

    ProtocolData copy = command;
    m_sending = qint64(entry->index);
    m_port->sendDatatoDevice(&copy);
    m_sending = -1;
    topUp();
    closeOldest();
}

void HostSession::onReply(const ProtocolData &reply, Clock::time_point at, bool accepted)
{
    m_idleSeen = 0;
    if (!reply.strSource.isEmpty() && !m_sources.contains(reply.strSource))
        m_sources.append(reply.strSource);
    if (!accepted)
        ++m_summary.dropped;

    const auto entry = findOpenSn(reply.bySN);
    HostEvent e;
    if (entry != m_open.end()) {
        e = eventFor(accepted ? HostEvent::Kind::Reply : HostEvent::Kind::Drop, *entry, at);
        const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(at - entry->lastSend).count();
        if (accepted) {
            m_summary.roundTrips.add(us);
            e.roundTripMs = us / 1000.0;
        }
    } else if (answersBroadcast(reply)) {
        e = eventFor(accepted ? HostEvent::Kind::Reply : HostEvent::Kind::Drop, m_broadcast, at);
        e.matched = false;
        e.answersBroadcast = true;
        if (accepted)
            e.roundTripMs =
                std::chrono::duration_cast<std::chrono::microseconds>(at - m_broadcast.lastSend).count() / 1000.0;
        ++m_summary.broadcastAnswers;
    } else {
        e.kind = accepted ? HostEvent::Kind::Reply : HostEvent::Kind::Drop;
        e.timeMs = msSinceStart(at);
        e.matched = false;
        ++m_summary.unmatchedReplies;
    }
    e.record = reply;
    report(e);
    if (entry != m_open.end())
        resolve(entry, accepted ? Outcome::Answered : Outcome::Dropped);
    finishIfDone();
}

bool HostSession::answersBroadcast(const ProtocolData &reply) const
{
    return m_broadcastAwaited && reply.bySN == m_broadcast.sn && reply.byCmd == m_broadcast.sent.byCmd
        && reply.bySubCmd == m_broadcast.sent.bySubCmd;
}

void HostSession::onSendFailed(const QString &reason)
{
    ++m_summary.sendFailures;
    const auto entry = findIndex(quint64(m_sending));
    HostEvent e = entry != m_open.end() ? eventFor(HostEvent::Kind::SendFailed, *entry, Clock::now()) : HostEvent();
    e.kind = HostEvent::Kind::SendFailed;
    e.timeMs = msSinceStart(Clock::now());
    e.text = reason;
    report(e);
}

void HostSession::onResend(Clock::time_point at)
{
    m_idleSeen = 0;
    const auto entry = findIndex(quint64(m_inFlight));
    if (m_inFlight >= 0 && entry != m_open.end())
        report(eventFor(HostEvent::Kind::Resend, *entry, at));
}

void HostSession::onGiveUp(Clock::time_point at)
{
    m_idleSeen = 0;
    const auto entry = findIndex(quint64(m_inFlight));
    if (m_inFlight < 0 || entry == m_open.end())
        return;
    report(eventFor(HostEvent::Kind::GiveUp, *entry, at));
    if (m_errorLog)
        m_bridge.dispatcher().writeErrorLog(entry->sent);
    const bool planned = entry->expected == Outcome::GivenUp;
    resolve(entry, Outcome::GivenUp);
    m_givenUpInARow = planned ? 0 : m_givenUpInARow + 1;
    if (m_giveUpLimit > 0 && m_givenUpInARow >= m_giveUpLimit) {
        stopEarly(QStringLiteral("%1 commands in a row were given up: the device does not answer")
                      .arg(m_givenUpInARow));
        return;
    }
    finishIfDone();
}

void HostSession::resolve(std::deque<Entry>::iterator entry, Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered:
        ++m_summary.answered;
        break;
    case Outcome::GivenUp:
        ++m_summary.givenUp;
        break;
    case Outcome::Unaccounted:
        ++m_summary.unaccounted;
        break;
    case Outcome::Dropped: // counted per reply, matched or not
    case Outcome::Pending:
        break;
    }
    if (outcome != Outcome::GivenUp)
        m_givenUpInARow = 0;
    if (outcome != entry->expected)
        ++m_summary.notAsPlanned;
    m_open.erase(entry);
}

void HostSession::closeOldest()
{
    // Released before the one in flight and still without a reply: the queue moved
    // on past them. Keep a few for replies that come late.
    int superseded = 0;
    for (const Entry &e : m_open)
        superseded += e.released() && qint64(e.index) != m_inFlight ? 1 : 0;
    while (superseded-- > kKeepUnresolved) {
        const auto oldest = m_open.begin();
        report(eventFor(HostEvent::Kind::Unaccounted, *oldest, Clock::now()));
        resolve(oldest, Outcome::Unaccounted);
    }
}

void HostSession::onWire(bool received, const QByteArray &bytes, const QString &peer)
{
    if (!m_started || m_finished)
        return;
    HostEvent e;
    e.kind = HostEvent::Kind::Wire;
    e.timeMs = msSinceStart(Clock::now());
    e.received = received;
    e.text = peer;
    // A long read (a flood on the line) in pieces a saved session can read back.
    for (int at = 0; at < bytes.size(); at += HostEvent::kMaxWireBytes) {
        e.bytes = bytes.mid(at, HostEvent::kMaxWireBytes);
        report(e);
    }
}

void HostSession::onIdleCheck()
{
    // Every command released and the dispatcher idle (nothing queued or in flight,
    // no reply waiting) for several looks in a row: what is still open will get no
    // reply of its own. A reply whose serial number is not the command's lets the
    // queue move on this way.
    bool allReleased = true;
    for (const Entry &e : m_open)
        allReleased = allReleased && e.released();
    const bool idle = allTaken() && allReleased && !m_open.empty() && CmdDealModule::bRetFlag
                      && CmdDealModule::commandQueueSize() == 0 && CmdDealModule::replyQueueSize() == 0;
    m_idleSeen = idle ? m_idleSeen + 1 : 0;
    if (m_idleSeen < kIdleChecks)
        return;
    while (!m_open.empty()) {
        report(eventFor(HostEvent::Kind::Unaccounted, m_open.front(), Clock::now()));
        resolve(m_open.begin(), Outcome::Unaccounted);
    }
    finishIfDone();
}

void HostSession::finishIfDone()
{
    if (m_finished || m_listen.isActive() || !allTaken() || m_keepRunning || !m_open.empty())
        return;
    if (m_listenAfterMs > 0) {
        m_listen.start(m_listenAfterMs);
        return;
    }
    finish();
}

void HostSession::abort(const QString &reason)
{
    stopEarly(reason);
}

void HostSession::stopEarly(const QString &reason)
{
    if (m_finished)
        return;
    m_summary.stoppedEarly = reason;
    endReleased(reason);
    finish();
}

void HostSession::endReleased(const QString &reason)
{
    // A command that left ends in a line of its own, saying why, rather than
    // staying sent forever.
    for (;;) {
        const auto entry = std::find_if(m_open.begin(), m_open.end(), [](const Entry &e) { return e.released(); });
        if (entry == m_open.end())
            return;
        HostEvent e = eventFor(HostEvent::Kind::Unaccounted, *entry, Clock::now());
        e.text = reason;
        report(e);
        resolve(entry, Outcome::Unaccounted);
    }
}

void HostSession::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    stop();
    // What the run did not get to send stays out of the next run.
    DispatcherBridge::clearQueues();
    const bool failed = !m_summary.stoppedEarly.isEmpty() || m_summary.notAsPlanned > 0;
    emit finished(failed ? 1 : 0);
}

void HostSession::reportMedium(bool present, const QString &text)
{
    HostEvent e;
    e.kind = HostEvent::Kind::Medium;
    e.timeMs = msSinceStart(Clock::now());
    e.present = present;
    e.text = text;
    report(e);
}
