#ifndef HOSTRUN_H
#define HOSTRUN_H

#include "hostevent.h"
#include "hostoptions.h"
#include "hostsession.h"
#include "mediumport.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Reporter;
struct MediumTraits;

// A host on one medium: makes the transport the options name through the factory,
// opens it, runs sources of commands on it one after the other, and closes it. On
// USB it reopens the device when the hot-plug watcher reports it back.
class HostRun : public QObject
{
    Q_OBJECT

public:
    HostRun(const HostOptions &options, Reporter *reporter);
    ~HostRun() override;

    // False, with the reason, when the medium cannot be opened (no such serial
    // port, a host name that does not resolve, no USB device with the ids).
    bool open(QString *error);
    // Runs the commands of source to their end, in an event loop of its own; the
    // session's exit code (0: every command ended as planned).
    int run(CommandSource *source);
    // Closes and deletes the transport; safe to call more than once.
    void close();
    // Ends the run going on, failed, for reason; its summary stays whole.
    void abort(const QString &reason);

    // Of the last run.
    const RunSummary &summary() const;
    QStringList sources() const;
    // "serial", "UDP", "broadcast", "USB"
    QString mediumName() const;

signals:
    // Every event of the run going on, as HostSession::reported gives it.
    void reported(const HostEvent &event);

private:
    void onUsbChanged(bool present, const QString &text);

    HostOptions m_options;
    const MediumTraits &m_medium;
    Reporter *m_reporter;
    MediumPort m_port;
    HostSession *m_session = nullptr;
    RunSummary m_summary;
    QStringList m_sources;
};

#endif // HOSTRUN_H
