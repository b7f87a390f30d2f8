#include "dispatcherhost.h"

#include <QtGlobal>

namespace {
std::mutex debugMutex;
QStringList debugLog;
QtMessageHandler previousHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        std::lock_guard<std::mutex> lock(debugMutex);
        debugLog.append(message);
    }
    if (type != QtDebugMsg && previousHandler)
        previousHandler(type, context, message);
}
} // namespace

DispatcherHost::DispatcherHost()
{
    resetDispatcherState();
    {
        std::lock_guard<std::mutex> lock(debugMutex);
        debugLog.clear();
    }
    previousHandler = qInstallMessageHandler(captureDebug);

    QObject::connect(&m_module, &CmdDealModule::signalSendMessage, [this](void *p) {
        record(Send, static_cast<ProtocolData *>(p));
        std::function<void(const ProtocolData &)> device;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            device = m_device;
        }
        if (device)
            device(*static_cast<ProtocolData *>(p));
    });
    QObject::connect(&m_module, &CmdDealModule::signalSendMessageUipro,
                     [this](void *p) { record(Uipro, static_cast<ProtocolData *>(p)); });
    QObject::connect(&m_module, &CmdDealModule::signalQueueSize,
                     [this](int n) { record(QueueSize, nullptr, n); });
    QObject::connect(&m_module, &CmdDealModule::signalInitCore,
                     [this] { record(InitCore, nullptr); });
    QObject::connect(&m_module, &CmdDealModule::signalSendTimeOut,
                     [this] { record(TimeOut, nullptr); });
    QObject::connect(&m_module, &CmdDealModule::signalSendReceiveMessage,
                     [this](void *p) { record(Reply, static_cast<ProtocolData *>(p)); });
    QObject::connect(&m_module, &CmdDealModule::signalReplyDropped,
                     [this](void *p) { record(Dropped, static_cast<ProtocolData *>(p)); });
}

DispatcherHost::~DispatcherHost()
{
    stopWorkers();
    qInstallMessageHandler(previousHandler);
    resetDispatcherState();
}

void DispatcherHost::startWorkers(bool send, bool receive)
{
    if (send) {
        m_module.bSendWorkRun = true;
        m_sendThread = std::thread(&CmdDealModule::GetQueueWork, &m_module);
    }
    if (receive) {
        m_module.bReceiveWorkRun = true;
        m_receiveThread = std::thread(&CmdDealModule::ReceiveGetQueueWork, &m_module);
    }
}

void DispatcherHost::stopWorkers()
{
    m_module.bSendWorkRun = false;
    m_module.bReceiveWorkRun = false;
    if (m_sendThread.joinable())
        m_sendThread.join();
    if (m_receiveThread.joinable())
        m_receiveThread.join();
}

void DispatcherHost::setDevice(std::function<void(const ProtocolData &)> device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device = std::move(device);
}

ProtocolData DispatcherHost::command(unsigned char cmd, unsigned char sub, int timeoutMs)
{
    ProtocolData p;
    p.byHead = 0x01;
    p.byCmd = cmd;
    p.bySubCmd = sub;
    p.iTimeoutMs = timeoutMs;
    return p;
}

void DispatcherHost::record(Kind kind, const ProtocolData *data, int value)
{
    Event e;
    e.kind = kind;
    if (data)
        e.record = *data;
    e.value = value;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.append(e);
}

QList<DispatcherHost::Event> DispatcherHost::events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

QList<DispatcherHost::Event> DispatcherHost::events(Kind kind) const
{
    QList<Event> out;
    for (const Event &e : events()) {
        if (e.kind == kind)
            out.append(e);
    }
    return out;
}

int DispatcherHost::count(Kind kind) const
{
    return events(kind).size();
}

QStringList DispatcherHost::debugLines() const
{
    std::lock_guard<std::mutex> lock(debugMutex);
    return debugLog;
}

int DispatcherHost::debugCount(const QString &line) const
{
    return debugLines().count(line);
}
