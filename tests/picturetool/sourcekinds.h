#ifndef SOURCEKINDS_H
#define SOURCEKINDS_H

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// Picture files of every kind the import dialog lets in, written byte by byte the same
// on every run so that exports of them can be compared.
enum class SourceKind {
    Jpeg444,          // baseline, no chroma subsampling
    Jpeg422,          // baseline, chroma halved across
    Jpeg420,          // baseline, chroma halved both ways
    Jpeg440,          // baseline, chroma halved down
    Jpeg411,          // baseline, chroma quartered across
    JpegRestarts,     // baseline 4:2:0 with restart markers
    JpegProgressive,  // progressive 4:2:0
    JpegProgressive444,
    JpegGray,         // one component
    JpegRgb,          // three components stored as RGB, no colour transform
    JpegCmyk,         // four components (Adobe, inverted)
    JpegExif,         // 4:2:0 with an EXIF block giving the case's orientation
    PngAlpha,         // 32-bit with varying transparency
    PngOpaque,
    PngGray,
    Bmp,              // 24-bit
};

struct SourceCase
{
    QString name;
    SourceKind kind;
    QSize size;
    int orientation = 0;   // EXIF orientation 1-8 for JpegExif
};

// A picture of the given size in which neighbouring pixels differ, so that picking the
// wrong source pixel changes the result.
QImage patternImage(const QSize &size, unsigned seed);

// Writes a pattern image of the given kind and size (with the EXIF orientation for
// JpegExif); false when the file could not be made.
bool writeSource(const QString &path, SourceKind kind, const QSize &size, unsigned seed = 1,
                 int orientation = 0);

// File name suffix for the kind ("jpg", "png", "bmp").
QString sourceSuffix(SourceKind kind);

// Every kind at small odd sizes, both smaller and larger than the 1920 x 1080 rendition,
// plus a few large sources that make the decoder skip whole rows of blocks, every EXIF
// orientation, and sources only a few pixels tall or wide.
QList<SourceCase> allSourceCases();

#endif // SOURCEKINDS_H
