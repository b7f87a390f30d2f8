#ifndef SESSIONLINK_H
#define SESSIONLINK_H

#include "consoleevent.h"
#include "mediumoptions.h"
#include "plannedcommand.h"
#include "mediumstate.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// What the window asks of the session's thread.
struct SessionRequest
{
    enum class Kind { Open, Close, Send, RunScript, StopScript, ShowWire, Shutdown };

    Kind kind = Kind::Close;
    // Open: the medium; Broadcast finds the devices at a port with command.
    MediumOptions medium;
    // Send, and Open with Broadcast.
    PlannedCommand command;
    // RunScript: the script, read with defaults.
    QString path;
    CommandDefaults defaults;
    // RunScript with fromText: the script's text itself (edited in the window),
    // path only its name.
    bool fromText = false;
    QByteArray text;
    // ShowWire: whether every byte on the medium becomes a row.
    bool on = false;
};

// What the session's thread tells the window besides the events.
struct SessionNotice
{
    enum class Kind {
        State,         // state, text: the medium's state and what it is or why
        Opened,        // medium ("serial", "UDP", "USB", "broadcast"), text: what was opened
        ScriptStarted, // text: the script's name, total: its commands
        Progress,      // done of total commands of the script ended
        ScriptEnded,   // exitCode, text: the summary's lines, line: the "summary" line
        DevicesFound,  // addresses, text, line: the "devices" line
        Refused,       // text: why a request could not be done
    };

    Kind kind = Kind::State;
    MediumState state = MediumState::Closed;
    QString medium;
    QString text;
    qint64 done = 0;
    qint64 total = 0;
    int exitCode = 0;
    QStringList addresses;
    QJsonObject line;
    // The events posted before this notice: the window applies those first.
    quint64 afterEvents = 0;
};

// The two mailboxes between the window's thread and the session's, each behind a
// lock of the standard library, so that the thread sanitizer sees every hand-over
// (Qt's own event queue is hidden from it). A post says whether the other side
// must be woken: only the first post after it took its mail does.
//
// Events wait in bounded memory: a device that floods faster than the window takes
// them loses the oldest, counted, rather than the machine's memory.
class SessionLink
{
public:
    static constexpr int kMaxWaitingEvents = 100000;

    struct Mail
    {
        // Events in order; the first is number firstEvent of all ever posted.
        QVector<ConsoleEvent> events;
        quint64 firstEvent = 0;
        std::vector<SessionNotice> notices;
        // Events let go since the last take.
        qint64 lost = 0;
    };

    // The window's side.
    bool post(const SessionRequest &request);
    Mail takeMail();

    // The session thread's side.
    bool post(const ConsoleEvent &event);
    bool post(SessionNotice notice);
    std::vector<SessionRequest> takeRequests();
    // The session thread's last act: after it, it touches nothing the window's
    // thread may then delete.
    void markFinished();

    // The window's side: waits for markFinished(). QThread::wait() orders the same,
    // but out of the thread sanitizer's sight.
    void waitFinished();

private:
    std::mutex m_requestLock;
    std::vector<SessionRequest> m_requests;
    bool m_requestsWaking = false;

    std::mutex m_mailLock;
    std::deque<ConsoleEvent> m_events;
    // Events ever posted, the lost included.
    quint64 m_posted = 0;
    std::vector<SessionNotice> m_notices;
    qint64 m_lost = 0;
    bool m_mailWaking = false;

    std::mutex m_finishLock;
    std::condition_variable m_finishedChanged;
    bool m_finished = false;
};

#endif // SESSIONLINK_H
