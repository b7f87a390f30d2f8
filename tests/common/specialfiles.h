#ifndef SPECIALFILES_H
#define SPECIALFILES_H

#include <QString>

// Files that are not regular files, for the tests that a program refuses them.
namespace SpecialFiles {

// Makes a FIFO at path; false where the platform has none.
bool makeFifo(const QString &path);
// A device that is always there and never ends ("/dev/zero"); empty where the
// platform names none by path.
QString endlessDevice();

} // namespace SpecialFiles

#endif // SPECIALFILES_H
