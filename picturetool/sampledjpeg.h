#ifndef SAMPLEDJPEG_H
#define SAMPLEDJPEG_H

#include <QByteArray>
#include <QImage>
#include <QSize>

// Decodes the JPEG file held in `file` straight into an RGB888 image of `size`, with
// the pixels that loading the whole file, converting it to RGB888 and scaling it with
// Qt::FastTransformation gives. Only the source rows that the scaling samples are
// colour-converted, and no full-size image is made.
//
// Returns a null image for anything it does not cover (not a JPEG, four components,
// a damaged stream): the caller then takes the plain path, which decides what such a
// file gives. hasExif (if given) tells whether the file carries an EXIF block, whose
// orientation the caller must weigh as the loader would.
QImage decodeJpegSampled(const QByteArray &file, const QSize &size, bool *hasExif = nullptr);

#endif // SAMPLEDJPEG_H
