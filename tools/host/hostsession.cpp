#include "hostsession.h"

#include "commandtext.h"
#include "framecodec.h"
#include "portbase.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTextStream>

#include <mutex>

namespace {

// A record handed from a worker thread to the session's thread. A posted event
// belongs to the receiving thread once posted, so the worker never touches it
// again; a queued functor would be released by whichever thread drops the last
// reference, possibly the worker while the session still reads the record.
class RecordEvent : public QEvent
{
public:
    RecordEvent(QEvent::Type type, const ProtocolData &record)
        : QEvent(type)
        , record(record)
    {
    }

    ProtocolData record;
};

const QEvent::Type kReleasedEvent = QEvent::Type(QEvent::registerEventType());
const QEvent::Type kReplyEvent = QEvent::Type(QEvent::registerEventType());

} // namespace

HostSession::HostSession(PortBase *port, QTextStream *out)
    : m_port(port)
    , m_out(out)
{
    // The dispatcher's signals carry a pointer to its command in flight or last
    // reply, which the worker overwrites at its next step. So copy the record in
    // the worker thread, at once, and hand the copy to this (the transport's) thread.
    connect(&m_dispatcher, &CmdDealModule::signalSendMessage, this, [this](void *p) {
        QCoreApplication::postEvent(this, new RecordEvent(kReleasedEvent, *static_cast<ProtocolData *>(p)));
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendReceiveMessage, this, [this](void *p) {
        QCoreApplication::postEvent(this, new RecordEvent(kReplyEvent, *static_cast<ProtocolData *>(p)));
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalInitCore, this, &HostSession::onResend, Qt::QueuedConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendTimeOut, this, &HostSession::onGiveUp,
            Qt::QueuedConnection);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &HostSession::onDeadline);
    m_listen.setSingleShot(true);
    connect(&m_listen, &QTimer::timeout, this, &HostSession::finish);
}

HostSession::~HostSession()
{
    stop();
}

void HostSession::addCommand(const ProtocolData &command, const QString &label, Outcome expected)
{
    ProtocolData queued = command;
    // strLabel travels unchanged through the queue: it tells a release which command it is.
    queued.strLabel = QString::number(m_entries.size());
    m_commands.append(queued);
    m_entries.append({label, expected});
}

void HostSession::setListenAfterMs(int ms)
{
    m_listenAfterMs = ms;
}

QStringList HostSession::sources() const
{
    return m_sources;
}

void HostSession::start(int deadlineMs)
{
    for (int i = 0; i < m_commands.size(); ++i) {
        const ProtocolData &c = m_commands.at(i);
        *m_out << QStringLiteral("queued   %1  %2  timeout %3 ms  %4")
                      .arg(i + 1, 2)
                      .arg(CommandText::fields(c))
                      .arg(c.iTimeoutMs)
                      .arg(m_entries.at(i).label)
               << Qt::endl;
    }
    {
        std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
        for (const ProtocolData &c : m_commands)
            CmdDealModule::queueHexCmd.push_back(c);
    }
    m_deadline.start(deadlineMs);
    m_dispatcher.bSendWorkRun = true;
    m_dispatcher.bReceiveWorkRun = true;
    m_sendThread = std::thread(&CmdDealModule::GetQueueWork, &m_dispatcher);
    m_receiveThread = std::thread(&CmdDealModule::ReceiveGetQueueWork, &m_dispatcher);
    finishIfDone();
}

void HostSession::stop()
{
    m_dispatcher.bSendWorkRun = false;
    m_dispatcher.bReceiveWorkRun = false;
    if (m_sendThread.joinable())
        m_sendThread.join();
    if (m_receiveThread.joinable())
        m_receiveThread.join();
    m_deadline.stop();
    m_listen.stop();
}

void HostSession::customEvent(QEvent *event)
{
    if (event->type() == kReleasedEvent) {
        RecordEvent *released = static_cast<RecordEvent *>(event);
        onReleased(released->record);
        m_port->sendDatatoDevice(&released->record);
    } else if (event->type() == kReplyEvent) {
        onReply(static_cast<RecordEvent *>(event)->record);
    }
}

HostSession::Entry *HostSession::entryForSn(int sn)
{
    for (Entry &e : m_entries) {
        if (e.sn == sn)
            return &e;
    }
    return nullptr;
}

void HostSession::onReleased(const ProtocolData &command)
{
    bool ok = false;
    const int index = command.strLabel.toInt(&ok);
    if (!ok || index < 0 || index >= m_entries.size())
        return;
    Entry &e = m_entries[index];
    const bool resend = e.sends > 0;
    e.sn = command.bySN;
    ++e.sends;
    m_inFlight = index;

    const QByteArray bytes = FrameCodec::produceCmds(command);
    QString line = QStringLiteral("-> SN %1  %2")
                       .arg(command.bySN, -3)
                       .arg(QString::fromLatin1(bytes.left(FrameCodec::kTextFrameSize)));
    if (!command.baData.isEmpty())
        line += QStringLiteral(" + block %1 bytes").arg(command.baData.size());
    line += QStringLiteral("   %1%2").arg(e.label, resend ? QStringLiteral(" (sent again)") : QString());
    *m_out << line << Qt::endl;
}

void HostSession::onReply(const ProtocolData &reply)
{
    Entry *e = entryForSn(reply.bySN);
    QString line = QStringLiteral("<- SN %1  %2  block %3 bytes")
                       .arg(reply.bySN, -3)
                       .arg(CommandText::fields(reply))
                       .arg(reply.baData.size());
    if (!reply.strSource.isEmpty()) {
        line += QStringLiteral("  from ") + reply.strSource;
        if (!m_sources.contains(reply.strSource))
            m_sources.append(reply.strSource);
    }
    if (!e) {
        *m_out << line << "   (no command of ours has this serial number)" << Qt::endl;
        return;
    }
    *m_out << line << "   " << e->label << Qt::endl;
    if (e->outcome == Outcome::Pending)
        e->outcome = Outcome::Answered;
    finishIfDone();
}

void HostSession::onResend()
{
    *m_out << "!! resend (signalInitCore)" << Qt::endl;
}

void HostSession::onGiveUp()
{
    QString line = QStringLiteral("!! gave up (signalSendTimeOut)");
    if (m_inFlight >= 0) {
        Entry &e = m_entries[m_inFlight];
        line += QStringLiteral("  SN %1 after %2 sends   %3").arg(e.sn).arg(e.sends).arg(e.label);
        if (e.outcome == Outcome::Pending)
            e.outcome = Outcome::GivenUp;
    }
    *m_out << line << Qt::endl;
    finishIfDone();
}

void HostSession::onDeadline()
{
    if (m_finished)
        return;
    m_finished = true;
    int open = 0;
    for (const Entry &e : m_entries)
        open += e.outcome == Outcome::Pending ? 1 : 0;
    *m_out << "!! deadline passed with " << open << " of " << m_entries.size()
           << " commands neither answered nor given up" << Qt::endl;
    stop();
    emit finished(1);
}

void HostSession::finishIfDone()
{
    if (m_finished || m_listen.isActive())
        return;
    for (const Entry &e : m_entries) {
        if (e.outcome == Outcome::Pending)
            return;
    }
    if (m_listenAfterMs > 0) {
        m_listen.start(m_listenAfterMs);
        return;
    }
    finish();
}

void HostSession::finish()
{
    if (m_finished)
        return;
    int answered = 0;
    int givenUp = 0;
    int unexpected = 0;
    for (const Entry &e : m_entries) {
        answered += e.outcome == Outcome::Answered ? 1 : 0;
        givenUp += e.outcome == Outcome::GivenUp ? 1 : 0;
        unexpected += e.outcome != e.expected ? 1 : 0;
    }
    m_finished = true;
    stop();
    *m_out << "== all " << m_entries.size() << " commands accounted for: " << answered << " answered, "
           << givenUp << " given up";
    if (unexpected > 0)
        *m_out << ", " << unexpected << " not as expected";
    *m_out << Qt::endl;
    emit finished(unexpected > 0 ? 1 : 0);
}
