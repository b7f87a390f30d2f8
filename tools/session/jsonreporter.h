#ifndef JSONREPORTER_H
#define JSONREPORTER_H

#include "reporter.h"

#include <QJsonObject>

class QTextStream;

// One JSON object per line for every event and for the summary, as EventJson
// writes them; see docs/hostcli.md.
class JsonReporter : public Reporter
{
public:
    explicit JsonReporter(QTextStream *out);
    void opened(const QString &medium, const QString &description) override;
    void event(const HostEvent &event) override;
    void summary(const QString &medium, const RunSummary &summary, int exitCode) override;
    void devicesFound(const QStringList &addresses) override;

private:
    void put(const QJsonObject &object);

    QTextStream *m_out;
};

#endif // JSONREPORTER_H
