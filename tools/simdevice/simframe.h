#ifndef SIMFRAME_H
#define SIMFRAME_H

#include <QByteArray>
#include <QtGlobal>

// One standard frame as the simulated device sees it: the seven header bytes,
// with the checksum derived rather than stored, and the raw block that travels
// after the frame (empty when none does).
struct SimFrame
{
    quint8 head = 0;
    quint8 sn = 0;
    quint8 cmd = 0;
    quint8 sub = 0;
    quint8 p1 = 0;
    quint8 p2 = 0;
    quint8 p3 = 0;
    QByteArray block;

    // Sum modulo 256 of the seven header bytes.
    quint8 checksum() const
    {
        return quint8(head + sn + cmd + sub + p1 + p2 + p3);
    }

    // The 16-bit block length that p2 (low) and p3 (high) announce.
    quint16 length() const
    {
        return quint16(p2 | (p3 << 8));
    }
};

#endif // SIMFRAME_H
