#include "simrecord.h"

namespace SimRecord {

ProtocolData recordOf(const SimFrame &frame)
{
    ProtocolData r;
    r.byHead = frame.head;
    r.bySN = frame.sn;
    r.byCmd = frame.cmd;
    r.bySubCmd = frame.sub;
    r.byParam1 = frame.p1;
    r.byParam2 = frame.p2;
    r.byParam3 = frame.p3;
    r.byCheckSum = frame.checksum();
    r.baData = frame.block;
    return r;
}

SimFrame frameOf(const ProtocolData &record)
{
    SimFrame f;
    f.head = record.byHead;
    f.sn = record.bySN;
    f.cmd = record.byCmd;
    f.sub = record.bySubCmd;
    f.p1 = record.byParam1;
    f.p2 = record.byParam2;
    f.p3 = record.byParam3;
    f.block = record.baData;
    return f;
}

} // namespace SimRecord
