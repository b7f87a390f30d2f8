#ifndef SOURCEIMAGE_H
#define SOURCEIMAGE_H

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QRect>
#include <QSize>
#include <QString>

// The most pixels a source may have. Every camera and scanner picture is smaller
// (a 200-megapixel phone photo, an A3 page scanned at 1200 dpi); a file whose header
// claims more is refused before any pixel is decoded, so that a few hundred bytes
// cannot make the tool allocate gigabytes.
constexpr qint64 kMaxSourcePixels = 300000000;

// What a listed file's header says, read without decoding any pixel.
struct SourceHeader
{
    enum Status { Readable, NotAPicture, TooLarge };

    Status status = NotAPicture;
    QByteArray format;   // as the image reader names it: "jpeg", "png", ...
    QSize size;          // as stored, before the orientation is applied
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;
    bool decodesPart = false;   // the format's reader can decode a rectangle alone

    // The size once the file's EXIF orientation is applied, as the tool shows it.
    QSize uprightSize() const;
    // Why the file cannot be used, for the user; empty when it is Readable.
    QString reason() const;
};

// Opens path and reads only its signature and header.
SourceHeader readSourceHeader(const QString &path);

// A listed file decoded into upright RGB888 pixels.
struct SourceImage
{
    enum Status { Loaded, NotAPicture, TooLarge, OutOfMemory };

    Status status = NotAPicture;
    QImage image;        // Format_RGB888, upright
    QString reason;      // why it is not Loaded
    QString warning;     // damage the decoder patched over; the image is what it made of it
};

// Decodes the upright picture, or, when corner is valid, only the part of it inside
// corner (upright coordinates), which for a JPEG costs only that part's memory.
// header is what readSourceHeader said of path.
SourceImage loadSource(const QString &path, const SourceHeader &header, const QRect &corner = QRect());

// Bytes that decoding the source takes at its peak, for the memory budget: the whole
// picture in 32 bits and its RGB888 copy, or the corner's when only that is decoded.
qint64 decodeCost(const SourceHeader &header, const QRect &corner = QRect());

// The reason given for a source whose pixels did not fit in memory.
QString outOfMemoryReason(const QSize &size);

#endif // SOURCEIMAGE_H
