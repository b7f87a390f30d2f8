#ifndef SAMPLEDJPEG_H
#define SAMPLEDJPEG_H

#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

// Decodes the JPEG file held in data straight into an RGB888 image of `size`, with the
// pixels that loading the whole file, turning it upright by `transformation` (its EXIF
// orientation), converting it to RGB888 and scaling it with Qt::FastTransformation
// gives. Only the source rows that the scaling samples are colour-converted, and no
// full-size image is made.
//
// Returns a null image for anything it does not cover (not a JPEG, four components,
// a picture under five pixels tall or wide): the caller then takes the plain path,
// which decides what such a file gives. A damaged stream, whose missing or broken
// data the decoder patches over, gives a null image too, unless damage is given: it
// then gives what could be decoded, and damage says what was wrong (empty when
// nothing was). That costs no more than an intact stream, however large the picture
// the damaged header claims.
QImage decodeJpegSampled(const uchar *data, qint64 length, const QSize &size,
                         QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone,
                         QString *damage = nullptr);

#endif // SAMPLEDJPEG_H
