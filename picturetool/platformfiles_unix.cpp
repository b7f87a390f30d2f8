#include "platformfiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openRegularFile(const QString &path, QFile &file, QString *reason)
{
    // Non-blocking, so that opening a FIFO with no writer returns at once; the type is
    // then taken from the open descriptor, not from the name, which could be swapped
    // between a look and an open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        if (reason)
            *reason = QStringLiteral("not a regular file");
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

int keepPermissions(std::FILE *part, const std::filesystem::path &target)
{
    struct stat status;
    if (::stat(target.c_str(), &status) != 0)
        return errno == ENOENT ? 0 : errno;
    // The read and write bits only: a set-user-ID bit is not for a picture file made
    // by whoever runs the export.
    return ::fchmod(::fileno(part), status.st_mode & 0777) == 0 ? 0 : errno;
}

int checkReplaceable(const std::filesystem::path &target)
{
    // As the user who runs the tool, not the real one (AT_EACCESS).
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT)
        return 0;
    return errno;
}
