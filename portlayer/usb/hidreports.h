#ifndef HIDREPORTS_H
#define HIDREPORTS_H

#include "porvane_internal.h"

#include <QByteArray>
#include <QList>

// How a byte sequence leaves as HID output reports: report ID 0, then a 64-byte
// payload, zero-filled where fewer bytes remain. Two cuttings exist: the plain one
// (full payloads, then a partial one) and the update one, whose first report
// carries only the command frame.
class PORVANE_INTERNAL HidReports
{
public:
    static constexpr int kReportSize = 65;
    static constexpr int kPayloadSize = 64;
    // Bytes of the first report of an update sequence: one command frame.
    static constexpr int kUpdateFirstSize = 19;

    struct Piece
    {
        QByteArray payload;
        // Whether a failed write of this piece is logged ("Send failed"); the
        // sequence ends at the first failure either way.
        bool logFailure;
    };

    // Full 64-byte payloads, then what remains; nothing for an empty sequence.
    // Every failure is logged.
    static QList<Piece> plain(const QByteArray &sequence);
    // From 64 bytes on: the first 19 bytes alone, then as plain. Only a failure of
    // a last, partial report is logged. Shorter sequences go exactly as plain.
    static QList<Piece> update(const QByteArray &sequence);
    // The 65-byte report that carries a payload of at most 64 bytes.
    static QByteArray report(const QByteArray &payload);
};

#endif // HIDREPORTS_H
