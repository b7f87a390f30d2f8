#ifndef TESTIMAGES_H
#define TESTIMAGES_H

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// Image files and checks shared by the picture tool's tests.

// An opaque image of one colour, saved to path in the format its suffix names.
bool writeSolidImage(const QString &path, const QSize &size, const QColor &color);

// Bytes that are no image at all.
bool writeNotAnImage(const QString &path);

// A valid JPEG cut off after its first scan's header and a few bytes of data.
bool writeTruncatedJpeg(const QString &path, const QSize &declaredSize);

// True when the colours differ by at most tolerance in each channel (JPEG is lossy).
bool nearColor(QRgb actual, const QColor &expected, int tolerance = 24);

// The smallest rectangle holding every pixel that is not near the given colour.
QRect boundsOfPixelsNot(const QImage &image, const QColor &background);

#endif // TESTIMAGES_H
