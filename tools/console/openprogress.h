#ifndef OPENPROGRESS_H
#define OPENPROGRESS_H

#include <QString>

// How far the read of a session's file has come, as its progress dialog shows it:
// a bar of fixed steps (a file's bytes do not fit a bar's int) and the megabytes.
namespace OpenProgress {

constexpr int kSteps = 1000;

// The bar's step for bytesRead of size: 0 to kSteps; kSteps for an empty file.
int step(qint64 bytesRead, qint64 size);
// "Reading session.jsonl: 12.3 of 110.0 MB".
QString text(const QString &fileName, qint64 bytesRead, qint64 size);

} // namespace OpenProgress

#endif // OPENPROGRESS_H
