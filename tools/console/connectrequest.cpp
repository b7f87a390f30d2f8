#include "connectrequest.h"

#include <QCommandLineParser>

namespace {

QString parityName(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return QStringLiteral("even");
    case QSerialPort::OddParity:
        return QStringLiteral("odd");
    case QSerialPort::SpaceParity:
        return QStringLiteral("space");
    case QSerialPort::MarkParity:
        return QStringLiteral("mark");
    default:
        return QStringLiteral("none");
    }
}

QString stopBitsName(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    default:
        return QStringLiteral("1");
    }
}

QString flowName(QSerialPort::FlowControl flow)
{
    switch (flow) {
    case QSerialPort::HardwareControl:
        return QStringLiteral("hardware");
    case QSerialPort::SoftwareControl:
        return QStringLiteral("software");
    default:
        return QStringLiteral("none");
    }
}

QString hex4(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

} // namespace

QStringList ConnectRequest::arguments() const
{
    switch (medium) {
    case Medium::Serial:
        return {QStringLiteral("--port"),      portName,
                QStringLiteral("--baud"),      QString::number(baudRate),
                QStringLiteral("--data-bits"), QString::number(int(dataBits)),
                QStringLiteral("--parity"),    parityName(parity),
                QStringLiteral("--stop-bits"), stopBitsName(stopBits),
                QStringLiteral("--flow"),      flowName(flowControl)};
    case Medium::Udp:
        return {QStringLiteral("--udp"), QStringLiteral("%1:%2").arg(udpHost).arg(udpPort)};
    case Medium::Usb:
        return {QStringLiteral("--usb"), hex4(vendorId) + QLatin1Char(':') + hex4(productId)};
    }
    return {};
}

ConnectRequest ConnectRequest::fromOptions(const HostOptions &o)
{
    ConnectRequest r;
    switch (o.medium) {
    case HostOptions::Medium::Serial:
        r.medium = Medium::Serial;
        break;
    case HostOptions::Medium::Udp:
    case HostOptions::Medium::Broadcast:
        r.medium = Medium::Udp;
        break;
    case HostOptions::Medium::Usb:
        r.medium = Medium::Usb;
        break;
    }
    r.portName = o.portName;
    r.baudRate = o.serial.baudRate;
    r.dataBits = o.serial.dataBits;
    r.parity = o.serial.parity;
    r.stopBits = o.serial.stopBits;
    r.flowControl = o.serial.flowControl;
    r.udpHost = o.udpHost;
    r.udpPort = quint16(o.udpPort);
    r.vendorId = o.vendorId;
    r.productId = o.productId;
    return r;
}

bool ConnectRequest::options(HostOptions *options, QString *error) const
{
    QCommandLineParser parser;
    HostCommandLine::addMediumOptions(&parser);
    bool given = false;
    if (!parser.parse(QStringList{QStringLiteral("hostconsole")} + arguments())) {
        *error = parser.errorText();
        return false;
    }
    return HostCommandLine::readMedium(parser, options, &given, error);
}
