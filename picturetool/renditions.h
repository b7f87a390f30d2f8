#ifndef RENDITIONS_H
#define RENDITIONS_H

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

// What became of one listed file at export.
struct RenditionResult
{
    enum Status {
        Written,          // every output file of the rendition is on disk
        SourceUnreadable, // the source no longer decodes; nothing was written
        WriteFailed       // failedPath could not be written, for the given reason
    };

    Status status = Written;
    QString failedPath;
    QString reason;
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
    QString reason;        // why status is not Written
    QString failedPath;    // the file that could not be made, for WriteFailed
};

// The 1920 x 1080 working image of a picture: the source loaded, converted to RGB888
// and scaled with Qt::FastTransformation, ignoring the aspect ratio. Null when the
// source does not decode. JPEG sources are decoded straight to that size where the
// result is the same pixel for pixel; everything else takes pictureFullSizePlain.
QImage pictureFullSize(const QString &sourcePath);
// The same by the plain steps alone.
QImage pictureFullSizePlain(const QString &sourcePath);

// Picture at list position index: "<prefix><index+1>_1920x1080.jpg" and
// "<prefix><index+1>_320x180.jpg" (scaled from the first), both stretched to size.
Rendering renderPicture(int index, const QString &sourcePath, const QString &prefix);
// Logo at list position index: "<prefix>Logo<index+1>_480x540.jpg", the source's
// top-left corner on black, unscaled; a logo that does not load gives the black canvas.
Rendering renderLogo(int index, const QString &sourcePath, const QString &prefix);

// Writes the files of a rendering in order, stopping at the first that fails.
RenditionResult writeRendering(const Rendering &rendering);

// renderPicture and renderLogo, written.
RenditionResult savePictureFiles(int index, const QString &sourcePath, const QString &prefix);
RenditionResult saveLogoFile(int index, const QString &sourcePath, const QString &prefix);

#endif // RENDITIONS_H
