#ifndef MEDIUMOPTIONS_H
#define MEDIUMOPTIONS_H

#include <QSerialPort>
#include <QString>
#include <QVector>

// One choice of a serial setting: as typed on a command line ("even"), its value,
// and what a person choosing it may want to know ("RTS/CTS").
struct SerialChoice
{
    const char *text;
    int value;
    const char *hint;
};

// A serial line's settings, and the choices each takes: one table that hostcli's
// options and the console's page both read.
struct SerialSettings
{
    // Any rate: QSerialPort takes what the driver does, beyond its named ones.
    qint32 baudRate = QSerialPort::Baud115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // "115200 8N1", "9600 7E2 with hardware flow control"
    QString describe() const;

    // The rates QSerialPort names, which the transport's open takes as they are.
    static const QVector<qint32> &namedRates();
    static const QVector<SerialChoice> &dataBitsChoices();
    static const QVector<SerialChoice> &parityChoices();
    static const QVector<SerialChoice> &stopBitsChoices();
    static const QVector<SerialChoice> &flowControlChoices();
};

// Which medium to open, and how: what hostcli's options name and what the
// console's connection panel fills in.
struct MediumOptions
{
    enum class Medium { Serial, Udp, Broadcast, Usb };

    Medium medium = Medium::Serial;
    QString portName;
    SerialSettings serial;
    // As given: an IPv4 address or a host name, resolved when the medium opens.
    QString udpHost;
    int udpPort = 0;
    unsigned short vendorId = 0;
    unsigned short productId = 0;
};

#endif // MEDIUMOPTIONS_H
