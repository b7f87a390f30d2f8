#ifndef JPEGWRITER_H
#define JPEGWRITER_H

#include <QString>

// Writes width x height packed RGB pixels (rows of width * 3 bytes, back to back) as a
// baseline JPEG with no chroma subsampling. The file appears only once it is complete:
// on failure nothing is left at path, an older file there is kept, and errorText (if
// given) says why.
bool writeJpegFile(const char *path, int quality, unsigned int width, unsigned int height,
                   const unsigned char *rgb, QString *errorText = nullptr);

#endif // JPEGWRITER_H
