#include "mediumtraits.h"

#include "datagramcodec.h"
#include "hexnumber.h"
#include "hidreports.h"
#include "portbase.h"
#include "portserial.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSerialPort>

#include <iterator>

namespace {

QList<int> whole(const QByteArray &bytes)
{
    return {bytes.size()};
}

// Unicast commands leave in pieces of at most 540 bytes, as the transport cuts them.
QList<int> datagrams(const QByteArray &bytes)
{
    QList<int> sizes;
    DatagramCodec::writeInPieces(bytes, DatagramCodec::kSplitSize, [&sizes](const QByteArray &piece) {
        sizes << piece.size();
        return qint64(piece.size());
    });
    return sizes;
}

// 65-byte output reports: report ID 0 and 64 bytes of the sequence each.
QList<int> reports(const QByteArray &bytes)
{
    QList<int> sizes;
    for (const HidReports::Piece &piece : HidReports::plain(bytes))
        sizes << HidReports::report(piece.payload).size();
    return sizes;
}

// The transport says only that the open failed; a port of our own says why.
QString serialOpenError(const QString &name, qint32 baudRate)
{
    QSerialPort probe(name);
    if (!probe.open(QIODevice::ReadWrite))
        return probe.errorString();
    // It opens at the default rate; a rate the driver does not take is the usual
    // reason the transport's open failed, and the one a user can change.
    const bool rateTaken = probe.setBaudRate(baudRate);
    const QString why = probe.errorString();
    probe.close();
    if (!rateTaken)
        return QStringLiteral("the port does not take %1 baud (%2)").arg(baudRate).arg(why);
    return QStringLiteral("the transport refused it");
}

// An IPv4 address as text, or the first IPv4 address the name resolves to.
bool resolveIPv4(const QString &host, QString *address, QString *error)
{
    QHostAddress literal;
    if (literal.setAddress(host)) {
        if (literal.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("%1 is not an IPv4 address").arg(host);
            return false;
        }
        *address = literal.toString();
        return true;
    }
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress &a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = a.toString();
            return true;
        }
    }
    *error = info.error() != QHostInfo::NoError ? QStringLiteral("cannot resolve %1: %2").arg(host, info.errorString())
                                                : QStringLiteral("%1 has no IPv4 address").arg(host);
    return false;
}

bool openSerial(PortBase *port, const MediumOptions &o, QString *description, QString *error)
{
    // The transport's signature takes QSerialPort's named rates only; another rate
    // is set on its QSerialPort once open, which takes any rate the driver does.
    const bool named = SerialSettings::namedRates().contains(o.serial.baudRate);
    const auto first = named ? static_cast<QSerialPort::BaudRate>(o.serial.baudRate) : QSerialPort::Baud115200;
    if (!port->openSerialPort(o.portName, first, o.serial.stopBits, o.serial.parity, o.serial.flowControl,
                              o.serial.dataBits)) {
        *error = QStringLiteral("cannot open serial port %1: %2")
                     .arg(o.portName, serialOpenError(o.portName, o.serial.baudRate));
        return false;
    }
    if (!named) {
        auto *serial = qobject_cast<PortSerial *>(port);
        if (!serial || !serial->m_com->setBaudRate(o.serial.baudRate)) {
            const QString why = serial ? serial->m_com->errorString() : QStringLiteral("not a serial transport");
            port->closeSerialPort();
            *error = QStringLiteral("cannot open serial port %1: the port does not take %2 baud (%3)")
                         .arg(o.portName)
                         .arg(o.serial.baudRate)
                         .arg(why);
            return false;
        }
    }
    *description = QStringLiteral("opened %1 at %2").arg(o.portName, o.serial.describe());
    return true;
}

bool openUdp(PortBase *port, const MediumOptions &o, QString *description, QString *error)
{
    QString deviceIP;
    if (!resolveIPv4(o.udpHost, &deviceIP, error))
        return false;
    port->setDeviceIP(deviceIP);
    port->setPort(o.udpPort);
    *description = QStringLiteral("sending to %1:%2")
                       .arg(deviceIP == o.udpHost ? deviceIP : QStringLiteral("%1 (%2)").arg(o.udpHost, deviceIP))
                       .arg(o.udpPort);
    return true;
}

bool openBroadcast(PortBase *port, const MediumOptions &o, QString *description, QString *)
{
    port->setPort(o.udpPort);
    *description = QStringLiteral("broadcasting to port %1").arg(o.udpPort);
    return true;
}

bool openUsb(PortBase *port, const MediumOptions &o, QString *description, QString *error)
{
    const QString ids = HexNumber::idText(o.vendorId) + QLatin1Char(':') + HexNumber::idText(o.productId);
    if (!port->openUSB(o.vendorId, o.productId)) {
        *error = QStringLiteral("no USB HID device %1 could be opened (is it plugged in, and may this user open it?)")
                     .arg(ids);
        return false;
    }
    *description = QStringLiteral("opened USB device %1").arg(ids);
    return true;
}

const MediumTraits kMedia[] = {
    {MediumOptions::Medium::Serial, "serial", ConnSerial, "ConnSerial", "write", whole, false, false, openSerial},
    {MediumOptions::Medium::Udp, "UDP", ConnUDP, "ConnUDP", "datagram", datagrams, false, false, openUdp},
    {MediumOptions::Medium::Broadcast, "broadcast", ConnUDP, "ConnUDP", "datagram", whole, true, false, openBroadcast},
    {MediumOptions::Medium::Usb, "USB", ConnUSB, "ConnUSB", "report", reports, false, true, openUsb},
};

} // namespace

const MediumTraits &mediumTraits(MediumOptions::Medium medium)
{
    for (const MediumTraits &t : kMedia) {
        if (t.medium == medium)
            return t;
    }
    return kMedia[0];
}
