#ifndef RENDITIONS_H
#define RENDITIONS_H

#include <QString>

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

// Picture at list position index: "<prefix><index+1>_1920x1080.jpg" and
// "<prefix><index+1>_320x180.jpg", both stretched to size.
RenditionResult savePictureFiles(int index, const QString &sourcePath, const QString &prefix);

// Logo at list position index: "<prefix>Logo<index+1>_480x540.jpg", the source's
// top-left corner on black, unscaled.
RenditionResult saveLogoFile(int index, const QString &sourcePath, const QString &prefix);

#endif // RENDITIONS_H
