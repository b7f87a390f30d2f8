#ifndef HOSTILEFILES_H
#define HOSTILEFILES_H

#include <QByteArray>
#include <QSize>
#include <QString>

// JPEG files built to cost the decoder far more than their few bytes, and the camera
// files whose embedded thumbnail the import uses.

// A progressive JPEG of 16 x 16 pixels, no chroma subsampling (or CMYK), whose frame
// header then claims declaredSize: a few hundred bytes for which a decoder that
// believes the header allocates coefficients for the whole picture.
bool writeProgressiveBomb(const QString &path, const QSize &declaredSize, bool cmyk = false);

// A valid progressive JPEG of the given size whose every coefficient is sent in
// successive-approximation steps of one bit from bit `bits` down: 3 x 64 x (bits + 1)
// scans (2,112 for bits = 10). With a valid declaredSize, its frame header then claims
// that size: every scan is a pass over blocks that are not in the file.
bool writeManyScanJpeg(const QString &path, const QSize &size, int bits, const QSize &declaredSize = QSize());

// jpeg with an EXIF block after its start marker that holds the orientation (1-8, 0
// for none) and, when thumbnail is not empty, that JPEG as the embedded thumbnail.
QByteArray withExifThumbnail(const QByteArray &jpeg, const QByteArray &thumbnail, int orientation = 0);

#endif // HOSTILEFILES_H
