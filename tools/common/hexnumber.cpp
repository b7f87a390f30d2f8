#include "hexnumber.h"

namespace HexNumber {

bool parse(const QString &text, int digits, uint *value)
{
    const bool prefixed = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QStringRef number = text.midRef(prefixed ? 2 : 0);
    if (number.isEmpty() || number.size() > digits)
        return false;
    for (const QChar c : number) {
        const char l = c.toLatin1();
        if (!((l >= '0' && l <= '9') || (l >= 'a' && l <= 'f') || (l >= 'A' && l <= 'F')))
            return false;
    }
    bool ok = false;
    *value = number.toUInt(&ok, 16);
    return ok;
}

bool parseByte(const QString &text, unsigned char *value)
{
    uint v = 0;
    if (!parse(text, 2, &v))
        return false;
    *value = static_cast<unsigned char>(v);
    return true;
}

bool parseId(const QString &text, unsigned short *value)
{
    uint v = 0;
    if (!parse(text, 4, &v))
        return false;
    *value = static_cast<unsigned short>(v);
    return true;
}

QString byteText(uint value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0'));
}

QString idText(uint value)
{
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0'));
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace HexNumber
