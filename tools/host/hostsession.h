#ifndef HOSTSESSION_H
#define HOSTSESSION_H

#include "cmddealmodule.h"
#include "protocoldata.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <thread>

class PortBase;
class QTextStream;

// What a host does with one transport: queue commands, run the dispatcher's two
// workers on threads of their own, hand released commands to the transport and
// report every release, reply, resend and give-up, one line each. Lives in the
// transport's thread, whose event loop must run.
class HostSession : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Pending, Answered, GivenUp };

    HostSession(PortBase *port, QTextStream *out);
    ~HostSession() override;

    // expected: the outcome the session should see for this command.
    void addCommand(const ProtocolData &command, const QString &label, Outcome expected = Outcome::Answered);
    // Keep the workers running this long after every command is accounted for, to
    // hear the late answers to a broadcast; 0 (the default) finishes at once.
    void setListenAfterMs(int ms);
    // Queues the commands and starts the workers. finished() follows once every
    // command is answered or given up (and the listening time is over), or when
    // deadlineMs have passed.
    void start(int deadlineMs);
    // Stops and joins the workers; safe to call more than once.
    void stop();

    // Where the accepted replies came from (strSource: a port name, a device's
    // address), each once, in order of arrival.
    QStringList sources() const;

signals:
    // 0 when every command ended as expected, 1 otherwise or at the deadline.
    void finished(int exitCode);

protected:
    void customEvent(QEvent *event) override;

private:
    struct Entry
    {
        QString label;
        Outcome expected;
        Outcome outcome = Outcome::Pending;
        int sn = -1;
        int sends = 0;
    };

    void onReleased(const ProtocolData &command);
    void onReply(const ProtocolData &reply);
    void onResend();
    void onGiveUp();
    void onDeadline();
    void finishIfDone();
    void finish();
    Entry *entryForSn(int sn);

    PortBase *m_port;
    QTextStream *m_out;
    CmdDealModule m_dispatcher;
    std::thread m_sendThread;
    std::thread m_receiveThread;
    QList<ProtocolData> m_commands;
    QList<Entry> m_entries;
    int m_inFlight = -1;
    QTimer m_deadline;
    QTimer m_listen;
    int m_listenAfterMs = 0;
    QStringList m_sources;
    bool m_finished = false;
};

#endif // HOSTSESSION_H
