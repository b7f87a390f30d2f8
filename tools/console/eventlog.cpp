#include "eventlog.h"

#include "eventjson.h"
#include "regularfile.h"

bool EventLog::open(const QString &path, QString *error)
{
    close();
    if (RegularFile::isOther(path)) {
        *error = RegularFile::refusal(QStringLiteral("log to"), path);
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("Cannot log to %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void EventLog::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool EventLog::writeOpen(const QString &medium, const QString &description, qint64 wallMs, QString *error)
{
    return put(EventJson::line(EventJson::openObject(medium, description, wallMs)), error);
}

bool EventLog::write(const ConsoleEvent &event, QString *error)
{
    return put(EventJson::line(EventJson::toJson(event.host, event.extent)), error);
}

bool EventLog::put(const QByteArray &line, QString *error)
{
    if (!m_file.isOpen()) {
        *error = QStringLiteral("The log is not open");
        return false;
    }
    // Each line to the system as it is written, not when a buffer fills, so that
    // what a crash of the console leaves is every event up to it.
    if (m_file.write(line) != line.size() || !m_file.flush()) {
        *error = QStringLiteral("Cannot log to %1: %2").arg(m_file.fileName(), m_file.errorString());
        close();
        return false;
    }
    return true;
}
