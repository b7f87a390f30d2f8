#ifndef MEDIUMTRAITS_H
#define MEDIUMTRAITS_H

#include "conntype.h"
#include "mediumoptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

class PortBase;

// What differs between the media in the host, in one table that every place
// consults: which transport the factory makes, what the medium is called, how the
// transport cuts a command on the wire, and how the medium is opened.
struct MediumTraits
{
    MediumOptions::Medium medium;
    // "serial", "UDP", "broadcast", "USB"
    const char *name;
    ConnType type;
    // As the host names it: "ConnSerial".
    const char *typeName;
    // What one piece on the wire is: "write", "datagram", "report".
    const char *unit;
    // The sizes of the pieces the transport cuts a command's bytes into.
    QList<int> (*pieces)(const QByteArray &bytes);
    // Every device at the port answers a broadcast and the first answer ends the
    // command: the host listens a timeout longer and lists who answered.
    bool listensAfter;
    // The hot-plug watcher reports the device going and coming back; the host opens
    // it again itself.
    bool hotPlug;
    // Opens (or addresses) the medium the options name: *description says what was
    // opened ("/dev/ttyUSB0 at 115200 8N1"); false with the reason.
    bool (*open)(PortBase *port, const MediumOptions &options, QString *description, QString *error);
};

const MediumTraits &mediumTraits(MediumOptions::Medium medium);

#endif // MEDIUMTRAITS_H
