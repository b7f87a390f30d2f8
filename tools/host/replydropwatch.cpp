#include "replydropwatch.h"

#include "cmddealmodule.h"

#include <QString>

#include <atomic>

namespace ReplyDropWatch {

namespace {

// The line checkRecvData writes when a reply fails its rule.
const QLatin1String kDroppedLine("==============checkRecvData:");

thread_local Scope *t_scope = nullptr;
std::atomic<QtMessageHandler> g_previous{nullptr};

} // namespace

void Scope::handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // On the receive worker's thread, between taking the reply and its next poll:
    // curReply is the dropped reply and nothing else writes it.
    Scope *scope = t_scope;
    if (scope && type == QtDebugMsg && message.startsWith(kDroppedLine))
        scope->m_dropped(scope->m_dispatcher->curReply);
    if (const QtMessageHandler previous = g_previous)
        previous(type, context, message);
}

Scope::Scope(CmdDealModule *dispatcher, std::function<void(const ProtocolData &)> dropped)
    : m_outer(t_scope)
    , m_dispatcher(dispatcher)
    , m_dropped(std::move(dropped))
{
    // Installed again for every worker, in front of whatever handler the host has
    // installed since.
    const QtMessageHandler previous = qInstallMessageHandler(&Scope::handleMessage);
    if (previous != &Scope::handleMessage)
        g_previous = previous;
    t_scope = this;
}

Scope::~Scope()
{
    t_scope = m_outer;
}

} // namespace ReplyDropWatch
