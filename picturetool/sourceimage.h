#ifndef SOURCEIMAGE_H
#define SOURCEIMAGE_H

#include <QByteArray>
#include <QImage>
#include <QIODevice>
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
    enum Status {
        Readable,
        NotAPicture,    // a regular file, but no picture the readers take
        NotReadable,    // missing, not a regular file, no permission: detail says which
        TooLarge,
        TooManyScans    // a JPEG of more than kMaxJpegScans scans
    };

    Status status = NotAPicture;
    QByteArray format;   // as the image reader names it: "jpeg", "png", ...
    QSize size;          // as stored, before the orientation is applied
    QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone;
    bool decodesPart = false;   // the format's reader can decode a rectangle alone
    qint64 fileBytes = 0;
    // JPEG only: its scans, and the coefficients libjpeg holds while it reads them
    // (progressive and other multi-scan files), which count beside the pixels.
    int scans = 0;
    qint64 coefficientBytes = 0;
    // The system's reason for NotReadable; the reader's own message, if it gave one,
    // for NotAPicture.
    QString detail;

    // The size once the file's EXIF orientation is applied, as the tool shows it.
    QSize uprightSize() const;
    // Why the file cannot be used, for the user; empty when it is Readable.
    QString reason() const;
};

// How far readSourceHeader reads: the frame header alone, or for a JPEG every marker
// segment too (stepping over the compressed data between), which the decoding's cost
// and scan count need and which is a read of the whole file.
enum class HeaderDepth { Frame, Scans };

// Opens path, a regular file only, and reads its signature and header.
SourceHeader readSourceHeader(const QString &path, HeaderDepth depth = HeaderDepth::Scans);
// The rest of HeaderDepth::Scans for a header read to its frame only, from file, the
// same file opened.
void readJpegScans(QIODevice &file, SourceHeader &header);

// A listed file decoded into upright RGB888 pixels.
struct SourceImage
{
    enum Status {
        Loaded,
        NotAPicture,    // the header says so: there are no pixels to be had
        NotReadable,
        TooLarge,       // by the header, or by what decoding it would cost
        Failed,         // the header was sound, the decoder gave up (reason says why)
        OutOfMemory
    };

    Status status = NotAPicture;
    QImage image;        // Format_RGB888, upright, transparency laid over black
    QString reason;      // why it is not Loaded
    QString warning;     // damage the decoder patched over; the image is what it made of it
};

// Decodes the upright picture, or, when corner is valid, only the part of it inside
// corner (upright coordinates), which for a JPEG costs only that part's memory.
// header is what readSourceHeader said of path.
SourceImage loadSource(const QString &path, const SourceHeader &header, const QRect &corner = QRect());

// The status and reason of a source whose header rules out decoding it.
SourceImage refusedSource(const SourceHeader &header);

// Bytes that decoding the source by the plain reader takes at its peak, for the memory
// budget: the whole picture in 32 bits (its RGB888 copy is made in place), or the
// corner's when only that is decoded, and a JPEG's coefficients.
qint64 decodeCost(const SourceHeader &header, const QRect &corner = QRect());

// The reason given for a source whose pixels did not fit in memory.
QString outOfMemoryReason(const QSize &size);
// The reason given for a source refused because decoding it would cost more than the
// whole budget.
QString tooCostlyReason(const SourceHeader &header, qint64 cost);

// image in RGB888; a picture with transparency is laid over black first, the colour the
// logo canvas already has, so that what is transparent comes out black and what is half
// transparent half as bright, whatever colour the file keeps under it.
QImage opaqueRgb888(QImage image);

#endif // SOURCEIMAGE_H
