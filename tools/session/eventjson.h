#ifndef EVENTJSON_H
#define EVENTJSON_H

#include "hostevent.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// hostcli's JSON lines, written and read in one place: hostcli prints them, and
// the console saves its sessions as them and opens them again, so a saved session
// and hostcli's output are read by the same scripts.
namespace EventJson {

// What a line says about bytes its event may no longer hold: an event that let its
// block go to bound memory keeps the lengths, and a line of an older hostcli may
// not carry the reply's head byte.
struct Extent
{
    int blockLength = 0;
    // Send: the bytes as the transport put them on the medium, frame and block.
    int byteCount = 0;
    bool headKnown = true;

    // An event that still holds all it says.
    static Extent of(const HostEvent &event);
};

enum class Read { Event, Unknown, Bad };

QJsonObject toJson(const HostEvent &event, const Extent &extent);
QJsonObject toJson(const HostEvent &event);

// Unknown: an "event" this reader does not know (a later hostcli's); Bad: *error
// says what is wrong. "head" and "blockHex" are read where a line has them; a line
// of an older hostcli, without them, gives an event that knows only the block's
// length.
Read fromJson(const QJsonObject &object, HostEvent *event, Extent *extent, QString *error);

// The lines around the events: the medium opened (at wallMs, ms since the epoch,
// written as "time" when not 0), what the run added up to, the devices that
// answered a broadcast.
QJsonObject openObject(const QString &medium, const QString &description, qint64 wallMs = 0);
QJsonObject summaryObject(const QString &medium, const RunSummary &summary, int exitCode);
QJsonObject devicesObject(const QStringList &addresses);

// "2026-12-09T14:03:27.512+01:00": the local time with its offset from UTC.
QString openTimeText(qint64 wallMs);
// The instant an "open" line gives; 0 without one.
qint64 openTime(const QJsonObject &open);

// One object as a line: compact, ending in a newline.
QByteArray line(const QJsonObject &object);

} // namespace EventJson

#endif // EVENTJSON_H
