#include "simfaultnames.h"

#include "hexnumber.h"

#include <QStringList>

namespace SimFaultNames {

const Entry kEntries[] = {
    {"silent", SimFault::Silent, true, "Do not answer command CMD."},
    {"bad-checksum", SimFault::WrongHeaderChecksum, true, "Answer CMD with a wrong reply-frame checksum."},
    {"bad-block", SimFault::WrongBlockChecksum, true, "Answer CMD with a wrong block checksum."},
    {"short-block", SimFault::ShortBlock, true, "Answer CMD with a block one byte short."},
    {"refused", SimFault::RefusedByRules, true,
     "Answer CMD with a first parameter that the host's plausibility check refuses."},
    {"garbage", SimFault::GarbageBefore, false, "Put noise before every reply."},
    {"byte-by-byte", SimFault::ByteByByte, false, "Write every reply a byte at a time, 1 ms apart."},
    {"pieces", SimFault::Pieces, false, "Write every reply in three pieces, 20 ms apart."},
    {"echo", SimFault::EchoCommand, false, "Write every command frame back before its reply."},
    {"upper-case", SimFault::UpperCaseDigits, false, "Use upper-case hexadecimal digits."},
    {"odd-size", SimFault::OddSizedReply, false, "Put one byte too many after every reply frame."},
    {"delayed", SimFault::Delayed, false, "Answer every command 200 ms late."},
};

const int kCount = int(sizeof kEntries / sizeof kEntries[0]);

bool find(const QString &name, SimFault *fault)
{
    for (const Entry &e : kEntries) {
        if (name == QLatin1String(e.name)) {
            *fault = e.fault;
            return true;
        }
    }
    return false;
}

bool parseTarget(const QString &text, quint8 *cmd, int *times)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() > 2)
        return false;
    if (!HexNumber::parseByte(parts.at(0), cmd))
        return false;
    *times = -1;
    if (parts.size() == 2) {
        bool ok = false;
        *times = parts.at(1).toInt(&ok);
        if (!ok || *times < 1)
            return false;
    }
    return true;
}

} // namespace SimFaultNames
