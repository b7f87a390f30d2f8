#ifndef HOSTSESSION_H
#define HOSTSESSION_H

#include "cmddealmodule.h"
#include "hostevent.h"
#include "plannedcommand.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class PortBase;
class Reporter;

// What a host does with one transport: take commands from a source a few at a
// time, queue them, run the dispatcher's two workers on threads of their own, hand
// released commands to the transport, and report every send, resend, reply, drop
// and give-up as it happens. Only the commands between the source and their end
// are held, so a script of any length runs in the same memory. Lives in the
// transport's thread, whose event loop must run.
//
// The dispatcher's queues and flags are process-wide: one session runs at a time.
class HostSession : public QObject
{
    Q_OBJECT

public:
    // How the medium cuts the bytes of one command: the sizes of the pieces, and
    // what a piece is called ("write", "datagram", "report").
    struct Cutting
    {
        QString unit = QStringLiteral("write");
        std::function<QList<int>(const QByteArray &bytes)> sizes;
    };

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

    HostSession(PortBase *port, CommandSource *source, Reporter *reporter);
    ~HostSession() override;

    void setCutting(const Cutting &cutting);
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

    // Clears what an earlier run left in the dispatcher's queues, queues the first
    // commands and starts the workers. finished() follows.
    void start();
    // Stops and joins the workers; safe to call more than once.
    void stop();
    // Ends the run now, failed, for reason (the user pressed Ctrl+C, a Stop button);
    // finished() follows. Does nothing once the run has finished.
    void abort(const QString &reason);

    const RunSummary &summary() const;
    // Where the replies came from (a port name, a device's address), each once, in
    // order of arrival.
    QStringList sources() const;
    // Reports something that happened to the medium, on the run's clock.
    void reportMedium(bool present, const QString &text);
    void reportNote(const QString &text);

signals:
    // 0 when every command ended as planned, 1 otherwise.
    void finished(int exitCode);

private slots:
    // On this thread: handles what the workers have posted, in their order.
    void drain();

private:
    using Clock = std::chrono::steady_clock;

    // What a worker hands over: a copy of a record, and when it saw it.
    struct Note
    {
        enum Kind { Released, Reply, Dropped, Resend, GiveUp };
        Kind kind;
        ProtocolData record;
        Clock::time_point at;
    };

    struct Entry
    {
        quint64 index = 0;
        QString label;
        int line = 0;
        Outcome expected = Outcome::Answered;
        bool released = false;
        int sn = -1;
        int sends = 0;
        Clock::time_point lastSend;
        ProtocolData sent;
    };

    // On a worker's thread.
    void post(Note::Kind kind, const ProtocolData &record);
    void onReleased(const ProtocolData &command, Clock::time_point at);
    void onReply(const ProtocolData &reply, Clock::time_point at, bool accepted);
    void onResend(Clock::time_point at);
    void onGiveUp(Clock::time_point at);
    void onSendFailed(const QString &reason);
    void onIdleCheck();
    void topUp();
    void resolve(std::deque<Entry>::iterator entry, Outcome outcome);
    void closeOldest();
    void finishIfDone();
    void stopEarly(const QString &reason);
    void finish();
    std::deque<Entry>::iterator findIndex(quint64 index);
    std::deque<Entry>::iterator findOpenSn(int sn);
    HostEvent eventFor(HostEvent::Kind kind, const Entry &entry, Clock::time_point at) const;
    qint64 msSinceStart(Clock::time_point at) const;

    PortBase *m_port;
    CommandSource *m_source;
    Reporter *m_reporter;
    Cutting m_cutting;
    CmdDealModule m_dispatcher;
    std::thread m_sendThread;
    std::thread m_receiveThread;
    // From the workers to this thread. A lock of the standard library, so that the
    // thread sanitizer sees the hand-over; Qt's own event queue is hidden from it.
    std::mutex m_inboxLock;
    std::deque<Note> m_inbox;
    bool m_drainPosted = false;

    // Commands taken from the source and not ended yet, oldest first.
    std::deque<Entry> m_open;
    quint64 m_nextIndex = 0;
    // The command released last; -1 before the first release.
    qint64 m_inFlight = -1;
    // The command inside sendDatatoDevice; -1 outside it.
    qint64 m_sending = -1;
    bool m_sourceDone = false;

    RunSummary m_summary;
    QStringList m_sources;
    Clock::time_point m_startedAt;
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
