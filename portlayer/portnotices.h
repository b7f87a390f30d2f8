#ifndef PORTNOTICES_H
#define PORTNOTICES_H

#include "porvane_global.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// What a transport tells its host beyond the fixed signal and slot of PortBase, whose
// meta-object hosts may address by index: a companion object, so that adding a notice
// never moves a method of the transport's own table.
class PORVANE_EXPORT PortNotices : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Reports bytes on the wire through signalWire, only while something listens.
    // For the transports; never called with a lock of theirs held.
    void reportWire(bool received, const QByteArray &bytes, const QString &peer);

signals:
    // A command that did not reach the medium, with the medium's own reason. Emitted
    // on the thread that sent it, beside the debug line the send writes.
    void signalSendFailed(QString reason);
    // The bytes as they were on the medium, before any decoding: what arrived
    // (received true) and what left, from or to peer (the port name, the device's
    // address, "USB"), read or written at msSinceEpoch. Over UDP only the device's
    // datagrams count; over USB the reports' payloads. Emitted on the thread that
    // read or wrote them, and only while a slot is connected: a host that never
    // asks pays nothing.
    void signalWire(bool received, QByteArray bytes, QString peer, qint64 msSinceEpoch);
};

#endif // PORTNOTICES_H
