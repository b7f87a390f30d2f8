#ifndef EVENTLOG_H
#define EVENTLOG_H

#include "consoleevent.h"

#include <QFile>
#include <QString>

// The session written to a file while it runs, one JSON line an event as a saved
// session has them, each handed to the system as it comes: a crash of the console
// loses none of the lines written, and File → Open reads the file as a session.
class EventLog
{
public:
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Starts a new file at path (one there is replaced). A path that is there and
    // not a regular file (a FIFO, a device, a folder) is refused: false, with *error.
    bool open(const QString &path, QString *error);
    void close();

    // The medium opened (at wallMs) and each event. False, with *error, when the
    // file took less than the whole line; the log is closed then, so that it never
    // holds a session with a hole in it.
    bool writeOpen(const QString &medium, const QString &description, qint64 wallMs, QString *error);
    bool write(const ConsoleEvent &event, QString *error);

private:
    bool put(const QByteArray &line, QString *error);

    QFile m_file;
};

#endif // EVENTLOG_H
