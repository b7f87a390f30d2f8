#ifndef EXIFTHUMBNAIL_H
#define EXIFTHUMBNAIL_H

#include <QByteArray>
#include <QIODevice>

// The JPEG thumbnail a camera embeds in a photo's EXIF block (its second image file
// directory), as stored: the bytes of a small JPEG file, or empty when the file has
// none. Reads device from its start up to the EXIF block only, at most one marker
// segment (64 KB).
QByteArray readExifThumbnail(QIODevice &device);

#endif // EXIFTHUMBNAIL_H
