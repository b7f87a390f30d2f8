#ifndef RENDITIONS_H
#define RENDITIONS_H

#include "sourceimage.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

// What became of one listed file at export.
struct RenditionResult
{
    enum Status {
        Written,          // every output file of the rendition is on disk
        Skipped,          // the source could not be used (reason says why); nothing was written
        WriteFailed       // failedPath could not be written, for the given reason
    };

    Status status = Written;
    QString failedPath;
    QString reason;
    // Written, but not as the source would have it: damage the decoder patched over,
    // or a logo that does not load and was written black (reason says why).
    QString warning;
    bool blackPlaceholder = false;
};

// The output files of one listed file, compressed and ready to be written in order.
struct Rendering
{
    struct File
    {
        QString path;
        QByteArray jpeg;
    };

    RenditionResult::Status status = RenditionResult::Written;
    QString sourcePath;
    QVector<File> files;
    QString reason;        // why status is not Written, or why the logo is black
    QString failedPath;    // the file that could not be made, for WriteFailed
    QString warning;       // see RenditionResult
    bool blackPlaceholder = false;
};

// The 1920 x 1080 working image of a picture: the source loaded upright, converted to
// RGB888 and scaled with Qt::FastTransformation, ignoring the aspect ratio. JPEG
// sources are decoded straight to that size where the result is the same pixel for
// pixel; everything else takes the plain steps.
SourceImage loadPictureFullSize(const QString &sourcePath);
SourceImage loadPictureFullSize(const QString &sourcePath, const SourceHeader &header);
// Its image alone; null when the source cannot be used.
QImage pictureFullSize(const QString &sourcePath);
// The same by the plain steps alone: load upright, convert, scale.
QImage pictureFullSizePlain(const QString &sourcePath);

// The part of a logo that is exported: its top-left corner.
QRect logoCorner();
// That corner of the upright logo, decoded alone where the format allows it.
SourceImage loadLogoCorner(const QString &sourcePath, const SourceHeader &header);

// Bytes that rendering a picture or a logo with this header holds at its peak, for the
// memory budget: what the decoder that takes it allocates. A source that would take
// more than the whole budget is refused before it is decoded.
qint64 pictureCost(const SourceHeader &header);
qint64 logoCost(const SourceHeader &header);

// Picture at list position index: "<prefix><index+1>_1920x1080.jpg" and
// "<prefix><index+1>_320x180.jpg" (scaled from the first), both stretched to size.
Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix);
Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix, const SourceHeader &header);
// Logo at list position index: "<prefix>Logo<index+1>_480x540.jpg", the source's
// top-left corner on black, unscaled; one that cannot be loaded gives the black canvas
// (reason says why). One that is too large, too much work or does not fit in memory is
// skipped.
Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix);
Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix, const SourceHeader &header);

// Writes the files of a rendering in order, stopping at the first that fails.
RenditionResult writeRendering(const Rendering &rendering);

// renderPicture and renderLogo, written.
RenditionResult savePictureFiles(int index, const QString &sourcePath, const QString &prefix);
RenditionResult saveLogoFile(int index, const QString &sourcePath, const QString &prefix);

#endif // RENDITIONS_H
