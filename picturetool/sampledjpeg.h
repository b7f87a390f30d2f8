#ifndef SAMPLEDJPEG_H
#define SAMPLEDJPEG_H

#include <QImage>
#include <QImageIOHandler>
#include <QSize>

// Decodes the JPEG file held in data straight into an RGB888 image of `size`, with the
// pixels that loading the whole file, turning it upright by `transformation` (its EXIF
// orientation), converting it to RGB888 and scaling it with Qt::FastTransformation
// gives. Only the source rows that the scaling samples are colour-converted, and no
// full-size image is made.
//
// Returns a null image for anything it does not cover (not a JPEG, four components,
// a picture under five pixels tall or wide, a damaged stream): the caller then takes
// the plain path, which decides what such a file gives.
QImage decodeJpegSampled(const uchar *data, qint64 length, const QSize &size,
                         QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone);

#endif // SAMPLEDJPEG_H
