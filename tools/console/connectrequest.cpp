#include "connectrequest.h"

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
                QStringLiteral("--baud"),      QString::number(int(baudRate)),
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
