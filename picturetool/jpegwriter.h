#ifndef JPEGWRITER_H
#define JPEGWRITER_H

#include <QByteArray>
#include <QString>

// Compresses width x height packed RGB pixels (rows of width * 3 bytes, back to back)
// into a baseline JPEG with no chroma subsampling. Returns false, with errorText (if
// given) saying why, when libjpeg gives up.
bool encodeJpeg(int quality, unsigned int width, unsigned int height, const unsigned char *rgb,
                QByteArray *jpeg, QString *errorText = nullptr);

// encodeJpeg into the file at path (UTF-8). The file appears only once it is complete:
// on failure nothing is left at path, an older file there is kept, and errorText (if
// given) says why.
bool writeJpegFile(const char *path, int quality, unsigned int width, unsigned int height,
                   const unsigned char *rgb, QString *errorText = nullptr);

#endif // JPEGWRITER_H
