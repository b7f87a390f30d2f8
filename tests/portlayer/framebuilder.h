#ifndef FRAMEBUILDER_H
#define FRAMEBUILDER_H

#include <QByteArray>

// Builds device-side bytes for the tests: reply frames and checksummed blocks.
namespace FrameBuilder {

inline QByteArray reply(unsigned char head, unsigned char sn, unsigned char cmd,
                        unsigned char sub, unsigned char p1, unsigned char p2,
                        unsigned char p3, bool upperCase = false)
{
    const unsigned char bytes[8] = {head, sn, cmd, sub, p1, p2, p3,
                                    static_cast<unsigned char>(head + sn + cmd + sub + p1 + p2 + p3)};
    QByteArray hex = QByteArray(reinterpret_cast<const char *>(bytes), 8).toHex();
    if (upperCase)
        hex = hex.toUpper();
    return "[R" + hex + "]";
}

// payload followed by the sum of its bytes modulo 256.
inline QByteArray block(const QByteArray &payload)
{
    unsigned char sum = 0;
    for (char c : payload)
        sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
    return payload + QByteArray(1, static_cast<char>(sum));
}

} // namespace FrameBuilder

#endif // FRAMEBUILDER_H
