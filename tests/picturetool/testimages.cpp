#include "testimages.h"

#include <QBuffer>
#include <QFile>

#include <cstdlib>

bool writeSolidImage(const QString &path, const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, nullptr, 95);
}

bool writeNotAnImage(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
            && file.write("This is a text file, not a picture.\n") > 0;
}

bool writeTruncatedJpeg(const QString &path, const QSize &declaredSize)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 90))
        return false;

    // Rewrite the frame size and cut the file a little after the start of scan.
    for (int pos = 2; pos + 9 < data.size();) {
        const int marker = static_cast<unsigned char>(data[pos + 1]);
        const int length = (static_cast<unsigned char>(data[pos + 2]) << 8)
                | static_cast<unsigned char>(data[pos + 3]);
        if (marker == 0xC0 || marker == 0xC2) {
            data[pos + 5] = char(declaredSize.height() >> 8);
            data[pos + 6] = char(declaredSize.height() & 0xFF);
            data[pos + 7] = char(declaredSize.width() >> 8);
            data[pos + 8] = char(declaredSize.width() & 0xFF);
        }
        if (marker == 0xDA) {
            data.truncate(pos + 2 + length + 16);
            break;
        }
        pos += 2 + length;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool nearColor(QRgb actual, const QColor &expected, int tolerance)
{
    return std::abs(qRed(actual) - expected.red()) <= tolerance
            && std::abs(qGreen(actual) - expected.green()) <= tolerance
            && std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

QRect boundsOfPixelsNot(const QImage &image, const QColor &background)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!nearColor(image.pixel(x, y), background, 8))
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}
