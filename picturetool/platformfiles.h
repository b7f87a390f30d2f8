#ifndef PLATFORMFILES_H
#define PLATFORMFILES_H

#include <QFile>
#include <QString>

#include <cstdio>
#include <filesystem>

// The few file operations whose system calls differ by platform.

// Opens path for reading into file only if it is a regular file. Opening does not
// wait for a writer to appear (a FIFO), and nothing but a regular file is read from:
// a device, socket or directory is refused with "not a regular file". On failure
// reason says why ("No such file or directory", ...).
bool openRegularFile(const QString &path, QFile &file, QString *reason);

// Gives part, the new file about to replace target, target's permission bits, so that
// replacing a file does not change who may read it. Nothing to do when target does
// not exist. Returns 0, or the system error number.
int keepPermissions(std::FILE *part, const std::filesystem::path &target);

// 0 when this user may change the file at target (or it does not exist), else the
// system error number: replacing a file the user could not write would bypass its
// permissions.
int checkReplaceable(const std::filesystem::path &target);

#endif // PLATFORMFILES_H
