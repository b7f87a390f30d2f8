#include "protocoldata.h"

ProtocolData::ProtocolData()
    : byReplySource(0)
    , byHead(0)
    , wExt1(0)
    , wExt2(0)
    , byExt3(0)
    , wExt4(0)
    , wExt5(0)
    , wExt6(0)
    , bySN(0)
    , byCmd(0)
    , bySubCmd(0)
    , byParam1(0)
    , byParam2(0)
    , byParam3(0)
    , byCheckSum(0)
    , iTimeoutMs(0)
    , bySendMode(0)
    , iDeviceType(ModulelEnum::DeviceUnknown)
{
}

ProtocolData::~ProtocolData() = default;
