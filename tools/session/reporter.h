#ifndef REPORTER_H
#define REPORTER_H

#include "hostevent.h"

#include <QString>
#include <QStringList>

// Where a run's events and its summary go: lines for a person, or JSON for a script.
class Reporter
{
public:
    virtual ~Reporter() = default;
    // The medium is open: which one, and what it is ("/dev/ttyUSB0 at 115200 8N1").
    virtual void opened(const QString &medium, const QString &description) = 0;
    virtual void event(const HostEvent &event) = 0;
    virtual void summary(const QString &medium, const RunSummary &summary, int exitCode) = 0;
    // The devices that answered a broadcast, by address.
    virtual void devicesFound(const QStringList &addresses) = 0;
};

#endif // REPORTER_H
