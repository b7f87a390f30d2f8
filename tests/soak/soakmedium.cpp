#include "soakmedium.h"

#include "soakmedia.h"

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
