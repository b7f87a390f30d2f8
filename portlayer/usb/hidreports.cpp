#include "hidreports.h"

QList<HidReports::Piece> HidReports::plain(const QByteArray &sequence)
{
    QList<Piece> pieces;
    for (int at = 0; at < sequence.size(); at += kPayloadSize)
        pieces.append({sequence.mid(at, kPayloadSize), true});
    return pieces;
}

QList<HidReports::Piece> HidReports::update(const QByteArray &sequence)
{
    if (sequence.size() < kPayloadSize)
        return plain(sequence);
    QList<Piece> pieces{{sequence.left(kUpdateFirstSize), false}};
    for (const Piece &piece : plain(sequence.mid(kUpdateFirstSize)))
        pieces.append({piece.payload, piece.payload.size() < kPayloadSize});
    return pieces;
}

QByteArray HidReports::report(const QByteArray &payload)
{
    QByteArray report(kReportSize, '\0');
    report.replace(1, qMin(payload.size(), kPayloadSize), payload.left(kPayloadSize));
    return report;
}
