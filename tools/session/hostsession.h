#ifndef HOSTSESSION_H
#define HOSTSESSION_H

#include "dispatcherbridge.h"
#include "hostevent.h"
#include "plannedcommand.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>

class PortBase;
class Reporter;
struct MediumTraits;

// What a host does with one transport: take commands a few at a time (from a
// source, or added while the run goes on), queue them, run the dispatcher's two
// workers (through a DispatcherBridge), hand released commands to the transport,
// and report every send, resend, reply, drop, give-up and failed send as it
// happens: as the signal reported(), and to a Reporter when it has one. Only the
// commands between the source and their end are held, so a script of any length
// runs in the same memory. Lives in the transport's thread, whose event loop must
// run: a program's main thread, or a window's.
//
// The dispatcher's queues and flags are process-wide: one session runs at a time.
class HostSession : public QObject
{
    Q_OBJECT

public:
    // Commands waiting in the dispatcher's queue beyond the one in flight: enough
    // that the send worker never finds the queue empty when it may release.
    static constexpr int kQueueAhead = 2;
    // Released commands still waiting for a late reply after the queue moved on;
    // the oldest beyond these end without a reply of their own.
    static constexpr int kKeepUnresolved = 16;
    // How often the session looks whether the dispatcher went idle with commands
    // still open, and how many looks in a row settle it.
    static constexpr int kIdleCheckMs = 100;
    static constexpr int kIdleChecks = 3;

    // source and reporter may be null: no commands but those added, events only as
    // signals.
    HostSession(PortBase *port, CommandSource *source, Reporter *reporter = nullptr);
    ~HostSession() override;

    // How the medium cuts what is sent, for the reports; one write by default.
    void setMedium(const MediumTraits &medium);
    // The whole run ends, failed, this long after start(); 0 (the default): never.
    void setDeadlineMs(int ms);
    // The run stops, failed, once this many commands in a row that were meant to
    // be answered were given up; 0: never. Default 3.
    void setGiveUpLimit(int commands);
    // Given-up commands are written through writeErrorLog.
    void setErrorLog(bool on);
    // Keep listening this long after the last command ended, for the late answers
    // to a broadcast; 0 (the default) finishes at once.
    void setListenAfterMs(int ms);
    // The run goes on when its commands have ended, waiting for add(), until
    // abort(); off by default.
    void setKeepRunning(bool on);
    // Every byte the medium reads and writes is reported too, as Wire events; off
    // by default.
    void setWire(bool on);

    // Clears what an earlier run left in the dispatcher's queues, queues the first
    // commands and starts the workers. finished() follows.
    void start();
    // Stops and joins the workers; safe to call more than once.
    void stop();
    // Ends the run now, failed, for reason (the user pressed Ctrl+C, a Stop button);
    // finished() follows. Does nothing once the run has finished.
    void abort(const QString &reason);
    // One more command, taken before the source's next; before start() or while the
    // run goes on. False once the run has finished.
    bool add(const PlannedCommand &command);

    // Commands added or taken that have not left yet, and the one in flight: how
    // many a command added now waits behind.
    int commandsAhead() const;

    const RunSummary &summary() const;
    // Where the replies came from (a port name, a device's address), each once, in
    // order of arrival.
    QStringList sources() const;
    // Reports something that happened to the medium, on the run's clock.
    void reportMedium(bool present, const QString &text);

signals:
    // Every event of the run, as it happens.
    void reported(const HostEvent &event);
    // 0 when every command ended as planned, 1 otherwise.
    void finished(int exitCode);

private:
    using Clock = DispatcherBridge::Clock;

    struct Entry
    {
        quint64 index = 0;
        QString label;
        int line = 0;
        Outcome expected = Outcome::Answered;
        int sn = -1;
        int sends = 0;
        Clock::time_point lastSend;
        ProtocolData sent;

        bool released() const { return sends > 0; }
    };

    void onReleased(const ProtocolData &command, bool resend, Clock::time_point at);
    void onReply(const ProtocolData &reply, Clock::time_point at, bool accepted);
    void onResend(Clock::time_point at);
    void onGiveUp(Clock::time_point at);
    void onSendFailed(const QString &reason);
    void onWire(bool received, const QByteArray &bytes, const QString &peer);
    void onIdleCheck();
    void report(const HostEvent &event);
    void topUp();
    // Every command taken that will be: the source is done and nothing was added.
    bool allTaken() const;
    void resolve(std::deque<Entry>::iterator entry, Outcome outcome);
    void closeOldest();
    void finishIfDone();
    void stopEarly(const QString &reason);
    // Every command that left and has no end yet ends, for reason.
    void endReleased(const QString &reason);
    // Whether the reply answers the latest broadcast, which its first answer ended.
    bool answersBroadcast(const ProtocolData &reply) const;
    void finish();
    std::deque<Entry>::iterator findIndex(quint64 index);
    std::deque<Entry>::iterator findOpenSn(int sn);
    HostEvent eventFor(HostEvent::Kind kind, const Entry &entry, Clock::time_point at) const;
    qint64 msSinceStart(Clock::time_point at) const;

    PortBase *m_port;
    CommandSource *m_source;
    Reporter *m_reporter;
    const MediumTraits *m_medium;
    DispatcherBridge m_bridge;

    // Commands taken and not ended yet, oldest first.
    std::deque<Entry> m_open;
    std::deque<PlannedCommand> m_added;
    quint64 m_nextIndex = 0;
    // The command released last; -1 before the first release.
    qint64 m_inFlight = -1;
    // The command inside sendDatatoDevice; -1 outside it.
    qint64 m_sending = -1;
    bool m_sourceDone = false;
    bool m_started = false;
    bool m_keepRunning = false;
    // The latest broadcast of the run: every device may answer it, so answers that
    // come after its first one are still its own, until its serial number comes
    // round again or another broadcast leaves.
    Entry m_broadcast;
    bool m_broadcastAwaited = false;
    QMetaObject::Connection m_wireConnection;

    RunSummary m_summary;
    QStringList m_sources;
    Clock::time_point m_startedAt;
    // The wall clock at m_startedAt, in ms since the epoch.
    qint64 m_startedWallMs = 0;
    QTimer m_deadline;
    QTimer m_listen;
    QTimer m_idleTimer;
    int m_idleSeen = 0;
    int m_listenAfterMs = 0;
    int m_giveUpLimit = 3;
    int m_givenUpInARow = 0;
    bool m_errorLog = false;
    bool m_finished = false;
};

#endif // HOSTSESSION_H
