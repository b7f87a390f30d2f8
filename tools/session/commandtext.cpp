#include "commandtext.h"

#include "hexnumber.h"

#include <QStringList>

namespace CommandText {

QString echo(const QString &text)
{
    if (text.size() <= kMaxEcho)
        return text;
    return text.left(kMaxEcho - 3) + QStringLiteral("...");
}

bool parse(const QString &text, ProtocolData *command, QString *error)
{
    const QStringList halves = text.split(QLatin1Char('/'));
    const QStringList bytes = halves.at(0).split(QLatin1Char(':'));
    if (halves.size() > 2 || bytes.size() < 2 || bytes.size() > 5) {
        *error = QStringLiteral("expected cmd:sub[:p1[:p2[:p3]]][/block], got \"%1\"").arg(echo(text));
        return false;
    }
    unsigned char values[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < bytes.size(); ++i) {
        if (!HexNumber::parseByte(bytes.at(i), &values[i])) {
            *error = QStringLiteral("\"%1\" in \"%2\" is not a hexadecimal byte").arg(echo(bytes.at(i)), echo(text));
            return false;
        }
    }
    QByteArray block;
    if (halves.size() == 2) {
        // "0a0b" or "0a0b*300": the bytes, repeated that many times.
        const QStringList repeat = halves.at(1).split(QLatin1Char('*'));
        const QByteArray hex = repeat.at(0).toLatin1();
        block = QByteArray::fromHex(hex);
        if (hex.isEmpty() || hex.size() % 2 != 0 || block.toHex() != hex.toLower()) {
            *error = QStringLiteral("block \"%1\" is not an even number of hexadecimal digits").arg(echo(repeat.at(0)));
            return false;
        }
        bool ok = true;
        const int times = repeat.size() == 2 ? repeat.at(1).toInt(&ok) : 1;
        if (repeat.size() > 2 || !ok || times < 1 || qint64(times) * block.size() > kMaxBlock) {
            *error = QStringLiteral("block \"%1\": the repeat count after * must make from 1 to %2 bytes")
                         .arg(echo(halves.at(1)))
                         .arg(kMaxBlock);
            return false;
        }
        block = block.repeated(times);
        // The device reads as many block bytes as p2/p3 announce: any other count
        // leaves it waiting, or takes the next command for block data.
        const int announced = values[3] | (values[4] << 8);
        if (block.size() != announced) {
            *error = QStringLiteral("the block has %1 bytes but p2:p3 announce %2; give p2:p3 as %3:%4")
                         .arg(block.size())
                         .arg(announced)
                         .arg(HexNumber::byteText(block.size() & 0xFF), HexNumber::byteText(block.size() >> 8));
            return false;
        }
    }
    command->byCmd = values[0];
    command->bySubCmd = values[1];
    command->byParam1 = values[2];
    command->byParam2 = values[3];
    command->byParam3 = values[4];
    command->baData = block;
    return true;
}

QString fields(const ProtocolData &record)
{
    using HexNumber::byteText;
    return QStringLiteral("%1/%2 p1=%3 p2=%4 p3=%5")
        .arg(byteText(record.byCmd), byteText(record.bySubCmd), byteText(record.byParam1), byteText(record.byParam2),
             byteText(record.byParam3));
}

QString header(const ProtocolData &record)
{
    using HexNumber::byteText;
    return QStringLiteral("%1:%2:%3:%4:%5")
        .arg(byteText(record.byCmd), byteText(record.bySubCmd), byteText(record.byParam1), byteText(record.byParam2),
             byteText(record.byParam3));
}

} // namespace CommandText
