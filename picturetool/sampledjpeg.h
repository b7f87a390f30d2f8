#ifndef SAMPLEDJPEG_H
#define SAMPLEDJPEG_H

#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

#include <chrono>

// Which pixels of the upright picture a decode keeps.
enum class JpegPick {
    Scaled,   // the picture scaled to the size with Qt::FastTransformation
    Corner    // the top-left corner of the size (less where the picture is smaller), unscaled
};

// What decoding a JPEG came to.
struct JpegDecode
{
    enum Status {
        Decoded,
        NotCovered,    // not a kind this decoder takes: the caller takes the plain path
        Failed,        // libjpeg gave up; reason is its message
        OutOfMemory,
        TooManyScans,
        TooSlow        // the deadline passed
    };

    Status status = NotCovered;
    QImage image;      // Format_RGB888, when Decoded
    QString reason;    // why not, for the statuses after NotCovered
    QString damage;    // when Decoded: what libjpeg patched over, empty when nothing was
};

// Decodes the JPEG file held in data straight into the pixels of `pick`, the same as
// loading the whole file, turning it upright by `transformation` (its EXIF
// orientation), converting it to RGB888 and scaling or cutting it. Only the source rows
// that are kept are colour-converted, and no full-size image is made. Covers three-
// component (YCbCr, RGB), grey and four-component (CMYK, YCCK) files at least five
// pixels tall and wide.
//
// A damaged stream is decoded as far as its data goes. A file of more than
// kMaxJpegScans scans, or one that has used more than `allowance` of the calling
// thread's processor time, is given up.
JpegDecode decodeJpegSampled(const uchar *data, qint64 length, const QSize &size, JpegPick pick,
                             QImageIOHandler::Transformations transformation,
                             std::chrono::nanoseconds allowance);

// The processor time that decoding a file of this many bytes may take: 0.75 s, and a
// second more per megabyte. An intact file decodes several times faster on any
// machine; a file built to cost more work than its bytes carry (a progressive header
// claiming 100 megapixels in a few hundred bytes) is stopped.
std::chrono::milliseconds jpegDecodeAllowance(qint64 fileBytes);

#endif // SAMPLEDJPEG_H
