#ifndef SESSIONWORKER_H
#define SESSIONWORKER_H

#include "hostevent.h"
#include "mediumport.h"
#include "sessionlink.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class HostSession;

// The console's session on a thread of its own: it owns the transport and the
// HostSession that runs on it (with its bridge from the dispatcher), takes the
// window's requests from the link, and posts back every event and what became of
// each request. Opening a port, resolving a name, a broadcast's wait and a
// script's run all happen here, never on the window's thread.
//
// While a medium is open a session always runs: one that waits for commands as a
// person sends them, or one that reads a script to its end (and takes sent
// commands as well), after which a waiting one starts again. Every session's
// events are timed on one clock, from the first open.
class SessionWorker : public QObject
{
    Q_OBJECT

public:
    // Made on the window's thread and moved to the session's; link outlives it.
    // wakeWindow is called (on this thread) when the window has mail.
    SessionWorker(SessionLink *link, std::function<void()> wakeWindow);
    ~SessionWorker() override;

public slots:
    // Does what the window asked since the last call.
    void takeRequests();

private:
    struct Run;
    enum class RunKind { Waiting, Script, Discovery };

    void open(const SessionRequest &request);
    void close(const QString &why);
    void send(const PlannedCommand &command);
    // Adds the command to the run, with a row saying where it waits when it cannot
    // go at once.
    void sendOn(const PlannedCommand &command);
    void runScript(const SessionRequest &request);
    void stopScript();
    // Gives each command sent to the run that has not left a row saying why it
    // never will.
    void letGoTyped(const QString &why);
    // A row for a command that waits behind others; place counts from 1.
    void postQueued(const PlannedCommand &command, int place);
    void postNote(const QString &text);

    void startRun(RunKind kind, std::unique_ptr<Run> run);
    // Says how the run went and lets it go; goOn: what follows it starts (a waiting
    // session after a script, the medium closed after a broadcast).
    void endRun(int exitCode, bool goOn);
    void onReported(const HostEvent &event);
    void onUsbChanged(bool present, bool reopened, const QString &text);

    void notify(SessionNotice notice);
    void notifyState(MediumState state, const QString &text);
    void refuse(const QString &why);

    SessionLink *m_link;
    std::function<void()> m_wakeWindow;
    MediumPort m_port;
    std::unique_ptr<Run> m_run;
    // Numbers the runs, so that a run's end that arrives after it was replaced is
    // known for what it is.
    quint64 m_runNumber = 0;
    QElapsedTimer m_clock;
    // Whether every byte on the medium becomes a row.
    bool m_wire = false;
};

#endif // SESSIONWORKER_H
