#include "mediumoptions.h"

namespace {

QString textOf(const QVector<SerialChoice> &choices, int value)
{
    for (const SerialChoice &c : choices) {
        if (c.value == value)
            return QString::fromLatin1(c.text);
    }
    return QStringLiteral("?");
}

} // namespace

QString SerialSettings::describe() const
{
    // The letter is the parity's name's: N, E, O, S, M.
    const QString parityLetter = textOf(parityChoices(), parity).left(1).toUpper();
    QString text = QStringLiteral("%1 %2%3%4").arg(baudRate).arg(int(dataBits)).arg(parityLetter,
                                                                                         textOf(stopBitsChoices(), stopBits));
    if (flowControl != QSerialPort::NoFlowControl)
        text += QStringLiteral(" with %1 flow control").arg(textOf(flowControlChoices(), flowControl));
    return text;
}

const QVector<qint32> &SerialSettings::namedRates()
{
    static const QVector<qint32> rates{QSerialPort::Baud1200,  QSerialPort::Baud2400,  QSerialPort::Baud4800,
                                       QSerialPort::Baud9600,  QSerialPort::Baud19200, QSerialPort::Baud38400,
                                       QSerialPort::Baud57600, QSerialPort::Baud115200};
    return rates;
}

const QVector<SerialChoice> &SerialSettings::dataBitsChoices()
{
    static const QVector<SerialChoice> choices{
        {"5", QSerialPort::Data5, ""}, {"6", QSerialPort::Data6, ""},
        {"7", QSerialPort::Data7, ""}, {"8", QSerialPort::Data8, ""},
    };
    return choices;
}

const QVector<SerialChoice> &SerialSettings::parityChoices()
{
    static const QVector<SerialChoice> choices{
        {"none", QSerialPort::NoParity, ""},     {"even", QSerialPort::EvenParity, ""},
        {"odd", QSerialPort::OddParity, ""},     {"space", QSerialPort::SpaceParity, ""},
        {"mark", QSerialPort::MarkParity, ""},
    };
    return choices;
}

const QVector<SerialChoice> &SerialSettings::stopBitsChoices()
{
    static const QVector<SerialChoice> choices{
        {"1", QSerialPort::OneStop, ""}, {"1.5", QSerialPort::OneAndHalfStop, ""}, {"2", QSerialPort::TwoStop, ""},
    };
    return choices;
}

const QVector<SerialChoice> &SerialSettings::flowControlChoices()
{
    static const QVector<SerialChoice> choices{
        {"none", QSerialPort::NoFlowControl, ""},
        {"hardware", QSerialPort::HardwareControl, "RTS/CTS"},
        {"software", QSerialPort::SoftwareControl, "XON/XOFF"},
    };
    return choices;
}
