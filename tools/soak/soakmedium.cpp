#include "soakmedium.h"

#include "soakmedia.h"

QList<SimDevice::FaultRate> SoakPlan::commonRates()
{
    return {
        {SimFault::Silent, 0.05},
        {SimFault::WrongHeaderChecksum, 0.05},
        {SimFault::WrongBlockChecksum, 0.02},
        {SimFault::GarbageBefore, 0.03},
        {SimFault::Pieces, 0.03},
        {SimFault::RefusedByRules, 0.03},
        {SimFault::Delayed, 0.01},
        {SimFault::EchoCommand, 0.01},
        {SimFault::UpperCaseDigits, 0.01},
        {SimFault::OddSizedReply, 0.01},
    };
}

SoakMedium::~SoakMedium() = default;

std::unique_ptr<SoakMedium> SoakMedium::create(Kind kind)
{
    switch (kind) {
    case Kind::Serial:
        return makeSerialMedium();
    case Kind::Udp:
        return makeUdpMedium();
    case Kind::Usb:
        return makeUsbMedium();
    }
    return nullptr;
}

QString SoakMedium::name(Kind kind)
{
    switch (kind) {
    case Kind::Serial:
        return QStringLiteral("serial");
    case Kind::Udp:
        return QStringLiteral("udp");
    case Kind::Usb:
        return QStringLiteral("usb");
    }
    return QString();
}

bool SoakMedium::parse(const QString &text, Kind *kind)
{
    for (Kind k : {Kind::Serial, Kind::Udp, Kind::Usb}) {
        if (text == name(k)) {
            *kind = k;
            return true;
        }
    }
    return false;
}
