#ifndef PLATFORMCONVENTIONS_H
#define PLATFORMCONVENTIONS_H

#include <QString>
#include <QStringList>

// What a suite expects of a program or a port that the platform decides, so that
// one expectation checks the same thing on Linux and on Windows.
namespace PlatformConventions {

// How a program's text output ends a line: "\n", or "\r\n" where the C runtime
// writes text mode (Windows).
QString lineEnd();
// A program's text output as lines, each ended as lineEnd() says; a line that ends
// otherwise stays joined to the next, so a stray line end shows in a comparison.
QStringList lines(const QString &output);

// A serial port that no machine has, named in full the way a user may type it
// ("/dev/..." or "\\.\COM..."), and the short name QSerialPort reports for it.
QString missingSerialLocation();
QString missingSerialName();

// Why a file whose name holds a newline cannot be opened: it is not there, or,
// where no name may hold one (Windows), the name is invalid; worded as the system
// words it.
QString newlineNameReason();

// Whether a sleep of a fraction of a millisecond lasts about that long, so that a
// suite may time what happens to within a millisecond by looking between sleeps.
bool subMillisecondSleeps();

} // namespace PlatformConventions

#endif // PLATFORMCONVENTIONS_H
