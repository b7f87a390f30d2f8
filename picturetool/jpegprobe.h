#ifndef JPEGPROBE_H
#define JPEGPROBE_H

#include <QIODevice>
#include <QSize>
#include <QtGlobal>

// The most scans a JPEG may have, as the libjpeg tools allow by default. A camera or
// editor writes at most a few dozen; each scan is a pass over the whole picture, so a
// file of thousands costs minutes of work for a few megabytes.
constexpr int kMaxJpegScans = 500;

// What a JPEG file's markers say about the work of decoding it, read without decoding:
// the frame header and every scan header, stepping over the compressed data between.
struct JpegProbe
{
    bool frameFound = false;
    bool progressive = false;
    // libjpeg keeps the coefficients of the whole picture while it reads the file: a
    // progressive file, or one whose first scan holds only some components.
    bool holdsCoefficients = false;
    int components = 0;
    QSize size;
    int scans = 0;   // 1 for a sequential file whose first scan holds every component
    // Bytes of those coefficients, as libjpeg allocates them: per component, its blocks
    // (rounded up to whole sampling units) of 64 two-byte coefficients. 0 when not held.
    qint64 coefficientBytes = 0;
};

// Reads device from its current position to the end of the first image (or of the
// data), or only to the first scan where that decides the decoding; never more than one
// marker segment in memory at a time.
JpegProbe probeJpeg(QIODevice &device);

#endif // JPEGPROBE_H
