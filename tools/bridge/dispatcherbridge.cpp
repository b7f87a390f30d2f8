#include "dispatcherbridge.h"

#include "threadstart.h"

#include <QMetaObject>
#include <QMetaType>

DispatcherBridge::DispatcherBridge(QObject *parent)
    : QObject(parent)
{
    // For receivers on other threads, whose connections queue the arguments.
    qRegisterMetaType<ProtocolData>("ProtocolData");
    qRegisterMetaType<DispatcherBridge::TimePoint>("DispatcherBridge::TimePoint");

    // Direct: on the worker's thread, while the record the pointer designates is
    // still the one the signal is about. The send worker alone writes curCmd, and
    // emits signalInitCore and signalSendTimeOut, so reading it there is safe.
    connect(&m_dispatcher, &CmdDealModule::signalSendMessage, this, [this](void *p) {
        post(Kind::Released, *static_cast<const ProtocolData *>(p), m_resendNext.exchange(false));
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalInitCore, this, [this] {
        m_resendNext = true;
        post(Kind::Resent, m_dispatcher.curCmd);
    }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendTimeOut, this,
            [this] { post(Kind::GaveUp, m_dispatcher.curCmd); }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalSendReceiveMessage, this,
            [this](void *p) { post(Kind::Replied, *static_cast<const ProtocolData *>(p)); }, Qt::DirectConnection);
    connect(&m_dispatcher, &CmdDealModule::signalReplyDropped, this,
            [this](void *p) { post(Kind::Dropped, *static_cast<const ProtocolData *>(p)); }, Qt::DirectConnection);
}

DispatcherBridge::~DispatcherBridge()
{
    stop();
}

CmdDealModule &DispatcherBridge::dispatcher()
{
    return m_dispatcher;
}

void DispatcherBridge::queue(const ProtocolData &command)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.push_back(command);
}

void DispatcherBridge::clearQueues()
{
    std::lock_guard<std::mutex> receiveLock(CmdDealModule::receiveHexCmdlock);
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::queueHexCmd.clear();
    CmdDealModule::receivequeueHexCmd.clear();
    CmdDealModule::bRetFlag = true;
    CmdDealModule::iTimeoutCount = 0;
}

bool DispatcherBridge::isRunning() const
{
    return m_sendThread.joinable() && m_receiveThread.joinable();
}

bool DispatcherBridge::start()
{
    if (isRunning())
        return true;
    m_resendNext = false;
    m_dispatcher.bSendWorkRun = true;
    m_dispatcher.bReceiveWorkRun = true;
    CmdDealModule *dispatcher = &m_dispatcher;
    if (ThreadStart::start(m_sendThread, [dispatcher]() { dispatcher->GetQueueWork(); })
        && ThreadStart::start(m_receiveThread, [dispatcher]() { dispatcher->ReceiveGetQueueWork(); }))
        return true;
    // Half a dispatcher would release commands whose replies nobody takes.
    stop();
    return false;
}

void DispatcherBridge::stop()
{
    m_dispatcher.bSendWorkRun = false;
    m_dispatcher.bReceiveWorkRun = false;
    if (m_sendThread.joinable())
        m_sendThread.join();
    if (m_receiveThread.joinable())
        m_receiveThread.join();
    std::lock_guard<std::mutex> lock(m_inboxLock);
    m_inbox.clear();
    ++m_generation;
}

void DispatcherBridge::post(Kind kind, const ProtocolData &record, bool resend)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_inboxLock);
        m_inbox.push_back({kind, record, resend, Clock::now()});
        wake = !m_drainPosted;
        m_drainPosted = true;
    }
    // One call by name wakes this thread for whatever has come in by then.
    if (wake)
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void DispatcherBridge::drain()
{
    std::deque<Note> notes;
    quint64 generation;
    {
        std::lock_guard<std::mutex> lock(m_inboxLock);
        notes.swap(m_inbox);
        m_drainPosted = false;
        generation = m_generation;
    }
    for (const Note &n : notes) {
        // A receiver may have stopped the bridge.
        if (generation != m_generation)
            return;
        switch (n.kind) {
        case Kind::Released:
            emit released(n.record, n.resend, n.at);
            break;
        case Kind::Resent:
            emit resent(n.record, n.at);
            break;
        case Kind::Replied:
            emit replied(n.record, n.at);
            break;
        case Kind::Dropped:
            emit dropped(n.record, n.at);
            break;
        case Kind::GaveUp:
            emit gaveUp(n.record, n.at);
            break;
        }
    }
}
