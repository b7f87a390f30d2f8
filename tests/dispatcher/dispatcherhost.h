#ifndef DISPATCHERHOST_H
#define DISPATCHERHOST_H

#include "cmddealmodule.h"
#include "dispatcherstate.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <mutex>
#include <thread>

// Plays the host application for dispatcher tests: resets the process-wide state,
// runs the two workers on threads of their own, records every signal (copying the
// record in the emitting thread, as a host must) and captures the debug log.
class DispatcherHost
{
public:
    enum Kind { Send, Uipro, QueueSize, InitCore, TimeOut, Reply, Dropped };
    struct Event
    {
        Kind kind;
        ProtocolData record;
        int value = 0;
    };

    DispatcherHost();
    ~DispatcherHost();
    DispatcherHost(const DispatcherHost &) = delete;
    DispatcherHost &operator=(const DispatcherHost &) = delete;

    CmdDealModule &module() { return m_module; }

    void startWorkers(bool send = true, bool receive = true);
    void stopWorkers();

    // Runs in the send worker's thread for every command it sends (release or
    // resend), standing in for the transport and the device behind it.
    void setDevice(std::function<void(const ProtocolData &sent)> device);

    static ProtocolData command(unsigned char cmd, unsigned char sub = 0, int timeoutMs = 5000);

    QList<Event> events() const;
    QList<Event> events(Kind kind) const;
    int count(Kind kind) const;
    QStringList debugLines() const;
    int debugCount(const QString &line) const;

private:
    void record(Kind kind, const ProtocolData *data, int value = 0);

    CmdDealModule m_module;
    std::thread m_sendThread;
    std::thread m_receiveThread;
    mutable std::mutex m_mutex;
    QList<Event> m_events;
    std::function<void(const ProtocolData &)> m_device;
};

#endif // DISPATCHERHOST_H
