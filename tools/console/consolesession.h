#ifndef CONSOLESESSION_H
#define CONSOLESESSION_H

#include "consoleevent.h"
#include "mediumoptions.h"
#include "mediumstate.h"
#include "sessionlink.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVector>

class SessionWorker;

// The window's handle on the session, which runs on a thread of its own (see
// SessionWorker): every call returns at once, and what comes of it arrives as the
// signals below, on this object's thread, with the events in batches. Destroying
// it, or shutdown(), ends the session and joins its thread.
class ConsoleSession : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleSession(QObject *parent = nullptr);
    ~ConsoleSession() override;

    // Opens the medium the options name (what was open is closed first). A
    // Broadcast instead finds the devices at its port: discoveryCommand() goes to
    // every device there, those that answer within its timeout are listed
    // (devicesFound), and the medium is closed again.
    void open(const MediumOptions &options);
    void close();
    // One command, after those already waiting.
    void send(const PlannedCommand &command);
    // Runs a hostcli script on the open medium; sent commands still go in between.
    void runScript(const QString &path, const CommandDefaults &defaults = CommandDefaults());
    // Runs a script's text (edited in the window) the same way; name is how it is shown.
    void runScriptText(const QString &name, const QByteArray &text,
                       const CommandDefaults &defaults = CommandDefaults());
    // Stops the script (or the broadcast's wait): scriptEnded (devicesFound) follows.
    void stopScript();
    // Every byte the medium reads and writes becomes a row ("wire"), from now on.
    void showWire(bool on);
    // Closes the medium, stops the session and joins its thread; nothing is
    // emitted after. Safe to call more than once.
    void shutdown();

    // The command a discovery broadcasts.
    static PlannedCommand discoveryCommand();

signals:
    void stateChanged(MediumState state, const QString &detail);
    // The medium ("serial", "UDP", "USB", "broadcast") and what was opened.
    void opened(const QString &medium, const QString &description);
    void eventsArrived(const QVector<ConsoleEvent> &events);
    // Events a flooding device sent faster than this thread took them, let go.
    void eventsLost(qint64 count);
    void scriptStarted(const QString &name, qint64 commands);
    void scriptProgress(qint64 ended, qint64 commands);
    // text: the summary's lines; summary: its line of hostcli --json.
    void scriptEnded(int exitCode, const QString &text, const QJsonObject &summary);
    // The devices that answered a broadcast, with the "devices" line.
    void devicesFound(const QStringList &addresses, const QString &text, const QJsonObject &line);
    // A request that could not be done, and why.
    void refused(const QString &why);

private slots:
    void takeMail();

private:
    void post(const SessionRequest &request);
    void deliver(const SessionNotice &notice);

    SessionLink m_link;
    QThread m_thread;
    SessionWorker *m_worker;
};

#endif // CONSOLESESSION_H
