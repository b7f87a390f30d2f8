#ifndef PROTOCOLDATA_H
#define PROTOCOLDATA_H

#include "module_global.h"
#include "modulelenum.h"

#include <QByteArray>
#include <QString>

// One command or reply. The field order and widths are shared by every library
// that passes these records around; copying is member-wise in this order.
class MODULE_EXPORT ProtocolData
{
public:
    ProtocolData();
    ~ProtocolData();
    ProtocolData(const ProtocolData &) = default;
    ProtocolData &operator=(const ProtocolData &) = default;

    QString strLabel;
    unsigned char byReplySource;
    QString strSource;
    unsigned char byHead;
    unsigned short wExt1;
    unsigned short wExt2;
    unsigned char byExt3;
    unsigned short wExt4;
    unsigned short wExt5;
    unsigned short wExt6;
    unsigned char bySN;
    unsigned char byCmd;
    unsigned char bySubCmd;
    unsigned char byParam1;
    unsigned char byParam2;
    unsigned char byParam3;
    unsigned char byCheckSum;
    int iTimeoutMs;
    QString strNote;
    QByteArray baData;
    unsigned char bySendMode;
    ModulelEnum::DeviceType iDeviceType;
};

#endif // PROTOCOLDATA_H
