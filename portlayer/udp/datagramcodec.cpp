#include "datagramcodec.h"

#include "framecodec.h"
#include "portlog.h"

ProtocolData DatagramCodec::decode(const QByteArray &datagram)
{
    // A fresh record has all header fields 0, an empty baData and an empty strNote:
    // exactly what each failure below returns.
    ProtocolData record;
    if (datagram.size() != kReplySize) {
        qCDebug(lcPortUdp) << "datagram.size()!=19 return";
        return record;
    }
    if (datagram.at(0) != '[' || datagram.at(1) != 'R') {
        // nospace: the trailing blank belongs to the line.
        qCDebug(lcPortUdp).nospace() << "no '[' 'R' ";
        return record;
    }
    if (!FrameCodec::decodeStandardFrame(datagram, &record)) {
        qCDebug(lcPortUdp) << "CHKSUM Wrong return";
        return ProtocolData();
    }
    return record;
}

bool DatagramCodec::isNotReply(const ProtocolData &record)
{
    return record.bySN == 0 && record.byCmd == 0 && record.byCheckSum == 0;
}

DatagramCodec::Intake DatagramCodec::classify(const ProtocolData &reply)
{
    switch (reply.byCmd) {
    case 0x79:
        switch (reply.bySubCmd) {
        case 0x09:
        case 0x0A:
        case 0x0C:
        case 0x12:
        case 0x13:
        case 0x17:
            return Intake::QueueNow;
        default:
            return Intake::Hold;
        }
    case 0xF1:
        if (reply.bySubCmd == 0x40 && FrameCodec::combineTwoByte(reply.byParam2, reply.byParam3) == 0)
            return Intake::QueueNow;
        return Intake::Hold;
    case 0x77:
        return reply.bySubCmd == 0x23 ? Intake::Hold : Intake::General;
    case 0x8B:
        return reply.bySubCmd == 0x05 || reply.bySubCmd == 0x09 ? Intake::Hold : Intake::General;
    case 0x8E:
        return reply.bySubCmd == 0x27 ? Intake::Hold : Intake::General;
    case 0x69:
        return reply.bySubCmd == 0x09 ? Intake::Hold : Intake::General;
    default:
        return Intake::General;
    }
}

qint16 DatagramCodec::announcedLength(const ProtocolData &reply)
{
    return static_cast<qint16>(FrameCodec::combineTwoByte(reply.byParam2, reply.byParam3));
}

int DatagramCodec::fixedBlockSize(const ProtocolData &reply)
{
    if (reply.byCmd == 0x77 && reply.bySubCmd == 0x23)
        return 129;
    if (reply.byCmd == 0x8B && reply.bySubCmd == 0x05)
        return 145;
    if (reply.byCmd == 0x8B && reply.bySubCmd == 0x09)
        return 129;
    if (reply.byCmd == 0x69 && reply.bySubCmd == 0x09)
        return 129;
    return -1;
}

bool DatagramCodec::join(const QByteArray &block, const QByteArray &held, ProtocolData *reply)
{
    if (held.isEmpty() || block.isEmpty())
        return false;
    ProtocolData joined = decode(held);
    int take = fixedBlockSize(joined);
    if (take >= 0) {
        // These kinds take what there is, up to their size.
        take = qMin(take, block.size());
    } else {
        take = announcedLength(joined);
        if (take <= 0 || block.size() < take)
            return false;
    }
    joined.baData = block.left(take);
    *reply = joined;
    return true;
}

qint64 DatagramCodec::writeInPieces(const QByteArray &bytes, int pieceSize,
                                    const std::function<qint64(const QByteArray &piece)> &write)
{
    qint64 total = 0;
    for (int at = 0; at < bytes.size(); at += pieceSize) {
        const QByteArray piece = bytes.mid(at, pieceSize);
        const qint64 written = write(piece);
        total += written;
        if (written != piece.size())
            break;
    }
    return total;
}

QString DatagramCodec::senderText(const QHostAddress &sender)
{
    QString text = sender.toString();
    if (text.contains(QLatin1String("::ffff:")))
        text.remove(0, 7);
    return text;
}

QString DatagramCodec::logText(const QByteArray &datagram)
{
    // constData() is NUL-terminated, so the text ends at the first NUL either way.
    return QString::fromUtf8(datagram.constData());
}
