#include "simprofile.h"

#include <QtGlobal>

namespace {

const char kGarbage[] = {'\x00', '\x7f', 'z', '[', 'Q', '\xfe', '[', ']', 'R'};

QByteArray identity(const QByteArray &unit)
{
    return unit;
}

QList<SimWrite> eachByte(const QByteArray &bytes)
{
    QList<SimWrite> writes;
    for (int i = 0; i < bytes.size(); ++i)
        writes.append({i == 0 ? 0 : 1, bytes.mid(i, 1)});
    return writes;
}

QList<SimWrite> inThirds(const QByteArray &bytes)
{
    const int third = bytes.size() / 3;
    return {{0, bytes.left(third)}, {20, bytes.mid(third, third)}, {20, bytes.mid(2 * third)}};
}

QList<SimWrite> writeToStream(const SimAnswer &a)
{
    const QByteArray bytes = a.replyFrame + a.block;
    switch (a.fault) {
    case SimFault::GarbageBefore:
        return {{0, SimProfile::garbage() + bytes}};
    case SimFault::ByteByByte:
        return eachByte(bytes);
    case SimFault::Pieces:
        return inThirds(bytes);
    case SimFault::EchoCommand:
        return {{0, a.commandFrame}, {0, bytes}};
    case SimFault::OddSizedReply:
        // On a stream the extra byte lands behind the reply, where a host drops it.
        return {{0, bytes + '\0'}};
    default:
        return {{0, bytes}};
    }
}

// The fixed-size input reports of a HID device; the last one zero-filled.
QList<SimWrite> inReports(const QByteArray &bytes)
{
    QList<SimWrite> writes;
    for (int at = 0; at < bytes.size(); at += SimProfile::kReportSize) {
        QByteArray report = bytes.mid(at, SimProfile::kReportSize);
        report.append(QByteArray(SimProfile::kReportSize - report.size(), '\0'));
        writes.append({0, report});
    }
    return writes;
}

QList<SimWrite> writeReports(const SimAnswer &a)
{
    const QByteArray bytes = a.replyFrame + a.block;
    switch (a.fault) {
    case SimFault::GarbageBefore:
        return inReports(SimProfile::garbage() + bytes);
    case SimFault::ByteByByte:
        return eachByte(bytes);
    case SimFault::Pieces:
        return inThirds(bytes);
    case SimFault::EchoCommand:
        return inReports(a.commandFrame) + inReports(bytes);
    case SimFault::OddSizedReply: {
        // A report one byte longer than the device's report size.
        QList<SimWrite> writes = inReports(bytes);
        writes.last().bytes.append('\0');
        return writes;
    }
    default:
        return inReports(bytes);
    }
}

QList<SimWrite> writeDatagrams(const SimAnswer &a, const QList<int> &blockSizes)
{
    QList<SimWrite> writes;
    if (a.fault == SimFault::ByteByByte)
        return eachByte(a.replyFrame + a.block);
    if (a.fault == SimFault::GarbageBefore)
        writes.append({0, SimProfile::garbage()});
    if (a.fault == SimFault::EchoCommand)
        writes.append({0, a.commandFrame});

    if (a.fault == SimFault::Pieces)
        writes += inThirds(a.replyFrame);
    else if (a.fault == SimFault::OddSizedReply)
        writes.append({0, a.replyFrame + '\0'});
    else
        writes.append({0, a.replyFrame});

    // Back to back, as a device sends a block: the host's receive buffer has to
    // take the whole burst.
    for (int at = 0, i = 0; at < a.block.size(); ++i) {
        const int size = blockSizes.at(qMin(i, blockSizes.size() - 1));
        writes.append({0, a.block.mid(at, size)});
        at += size;
    }
    return writes;
}

} // namespace

QByteArray SimProfile::garbage()
{
    return QByteArray(kGarbage, sizeof kGarbage);
}

SimProfile SimProfile::serial()
{
    SimProfile p;
    p.name = QStringLiteral("serial");
    p.carriesBlock = [](const SimFrame &reply) {
        return reply.cmd == 0xE1 || reply.cmd == 0x79 || (reply.cmd == 0x8E && reply.sub == 0x27);
    };
    p.commandBytes = identity;
    p.writeAnswer = writeToStream;
    return p;
}

SimProfile SimProfile::udp(const QList<int> &blockDatagramSizes)
{
    QList<int> sizes;
    for (int size : blockDatagramSizes)
        sizes.append(qBound(1, size, kMaxDatagram));
    if (sizes.isEmpty())
        sizes.append(kDefaultBlockDatagram);

    SimProfile p;
    p.name = QStringLiteral("udp");
    p.carriesBlock = heldOnUdp;
    // A command longer than one datagram arrives in several, in order; joined they
    // are the same byte stream a serial line carries.
    p.commandBytes = identity;
    p.writeAnswer = [sizes](const SimAnswer &a) { return writeDatagrams(a, sizes); };
    return p;
}

SimProfile SimProfile::usb()
{
    SimProfile p = serial();
    p.name = QStringLiteral("usb");
    p.commandBytes = [](const QByteArray &report) { return report.mid(1); };
    p.writeAnswer = writeReports;
    return p;
}

bool SimProfile::heldOnUdp(const SimFrame &reply)
{
    switch (reply.cmd) {
    case 0x79:
        switch (reply.sub) {
        case 0x09: case 0x0A: case 0x0C: case 0x12: case 0x13: case 0x17:
            return false;
        default:
            return true;
        }
    case 0xF1:
        return !(reply.sub == 0x40 && reply.length() == 0);
    case 0x77:
        return reply.sub == 0x23;
    case 0x8B:
        return reply.sub == 0x05 || reply.sub == 0x09;
    case 0x8E:
        return reply.sub == 0x27;
    case 0x69:
        return reply.sub == 0x09;
    default:
        return false;
    }
}
