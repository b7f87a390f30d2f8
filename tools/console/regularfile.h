#ifndef REGULARFILE_H
#define REGULARFILE_H

#include <QString>

// What the console writes to is a regular file or nothing yet. A FIFO would hold
// the window until something reads it, a device takes anything, and a file saved
// whole (QSaveFile) is renamed over its target: over a FIFO or a device node, it
// would put a file in its place.
namespace RegularFile {

// Whether path is there and is something else (a FIFO, a device, a folder).
bool isOther(const QString &path);
// "Cannot write PATH: not a regular file", worded with the verb given.
QString refusal(const QString &verb, const QString &path);

} // namespace RegularFile

#endif // REGULARFILE_H
