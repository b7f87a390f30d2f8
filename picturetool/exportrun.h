#ifndef EXPORTRUN_H
#define EXPORTRUN_H

#include "renditions.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// One listed file to export: a picture or a logo at its list position.
struct ExportItem
{
    enum Kind { Picture, Logo };

    Kind kind = Picture;
    int index = 0;
    QString sourcePath;
};

class MemoryBudget;

// A listed file and what is to be said about it.
struct SourceNote
{
    QString sourcePath;
    QString text;
};

// What an export came to.
struct ExportOutcome
{
    QVector<SourceNote> skipped;   // sources that could not be used, and why, in list order
    QVector<SourceNote> damaged;   // sources written from what their damaged data gave
    RenditionResult failure;       // status WriteFailed when the export stopped at a file
    int handled = 0;               // items written or skipped before it ended
};

// Called once per item, in list order, with the item's position in the list of items,
// its result and the files it wrote (all of its files unless the result is a failure).
using ExportReport = std::function<void(int position, const ExportItem &item,
                                        const RenditionResult &result,
                                        const QStringList &writtenFiles)>;

// Exports items into directory, one export at a time per directory (a second waits
// for the first, through a lock file that lives as long as the export): removes the
// "*.part" files an interrupted export left there, renders the items on worker threads (one per core, the calling thread
// among them) as far as budget (the shared one when null) lets their decoded pixels
// be held at once, and writes them strictly in list order, so that what is on disk
// when it stops is what a one-at-a-time export would have left. The first file that
// cannot be written stops the export; a source that cannot be used is skipped.
// Returns once every thread has ended. report is called from whichever thread writes,
// never from two at once.
ExportOutcome runExport(const QString &directory, const QVector<ExportItem> &items,
                        const ExportReport &report = ExportReport(), int threads = 0,
                        MemoryBudget *budget = nullptr);

#endif // EXPORTRUN_H
