#include "jsonreporter.h"

#include "eventjson.h"

#include <QDateTime>
#include <QTextStream>

JsonReporter::JsonReporter(QTextStream *out)
    : m_out(out)
{
}

void JsonReporter::put(const QJsonObject &object)
{
    // Flushed line by line: a script reading the pipe sees each event as it happens.
    *m_out << EventJson::line(object) << Qt::flush;
}

void JsonReporter::opened(const QString &medium, const QString &description)
{
    put(EventJson::openObject(medium, description, QDateTime::currentMSecsSinceEpoch()));
}

void JsonReporter::event(const HostEvent &e)
{
    put(EventJson::toJson(e));
}

void JsonReporter::summary(const QString &medium, const RunSummary &s, int exitCode)
{
    put(EventJson::summaryObject(medium, s, exitCode));
}

void JsonReporter::devicesFound(const QStringList &addresses)
{
    put(EventJson::devicesObject(addresses));
}
