#ifndef SESSIONFILE_H
#define SESSIONFILE_H

#include "trafficbuffer.h"

#include <QJsonObject>
#include <QString>

#include <functional>

class QIODevice;

// A session as hostcli --json writes it, one JSON object a line: "open", the
// events, then "summary" and "devices".
struct SessionContents
{
    // From the "open" line; empty without one.
    QString medium;
    QString description;
    // The "open" line's time, in ms since the epoch; 0 without one.
    qint64 openedMs = 0;
    // Bounded like the live traffic: the newest events of a long file.
    TrafficBuffer events;
    // The last "summary" and "devices" lines, as they were; empty without them.
    QJsonObject summary;
    QJsonObject devices;

    qint64 lines = 0;
    // Lines that are not JSON objects, or events with a wrong field, or too long.
    qint64 badLines = 0;
    // Events of a kind this reader does not know: skipped.
    qint64 unknownLines = 0;
    // "line 7: what is wrong" for the first bad line.
    QString firstProblem;
};

namespace SessionFile {

// A 65,535-byte block in hexadecimal and the rest of its line fit.
constexpr int kMaxLineLength = 1 << 18;

// Reads a whole session into *contents (whose events keep their capacity). Bad
// lines are counted and skipped; false only when the device cannot be read, with
// *error saying why.
bool read(QIODevice *device, SessionContents *contents, QString *error);

// Told the bytes read so far, about every kProgressStep bytes; false stops the read
// there (read() then returns false with *error empty).
using Progress = std::function<bool(qint64 bytesRead)>;
constexpr qint64 kProgressStep = qint64(1) << 16;
bool read(QIODevice *device, SessionContents *contents, QString *error, const Progress &progress);

// Writes the "open" line (when medium is not empty; with its time when openedMs is
// not 0), the events, and the closing lines that are not empty. False, with
// *error, when the device takes less than all.
bool write(QIODevice *device, const QString &medium, const QString &description, const TrafficBuffer &events,
           const QJsonObject &summary, const QJsonObject &devices, QString *error, qint64 openedMs = 0);

} // namespace SessionFile

#endif // SESSIONFILE_H
