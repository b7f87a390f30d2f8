#ifndef REPLYDROPWATCH_H
#define REPLYDROPWATCH_H

#include <QtGlobal>

#include <functional>

class CmdDealModule;
class ProtocolData;
class QMessageLogContext;
class QString;

// Tells a host which replies the reply rules drop. The receive worker drops them
// without a signal; all it leaves is its debug line, written on its own thread
// while the dropped reply is still its last reply. So a receive worker run inside
// a Scope has that line turned into a call with a copy of the reply.
//
// Each Scope puts the handler this needs in front of the one installed at the
// time, and passes every message on to it; a handler a host installs while a
// receive worker runs takes the place of this one until the next Scope.
namespace ReplyDropWatch {

class Scope
{
public:
    // For the receive worker of dispatcher, run on this thread while the Scope
    // lives. dropped runs on this thread, at once.
    Scope(CmdDealModule *dispatcher, std::function<void(const ProtocolData &reply)> dropped);
    ~Scope();

    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

    // The message handler; public only so that it can be installed.
    static void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

private:
    Scope *m_outer;
    CmdDealModule *m_dispatcher;
    std::function<void(const ProtocolData &)> m_dropped;
};

} // namespace ReplyDropWatch

#endif // REPLYDROPWATCH_H
