#include "platformfiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

QString systemReason(DWORD error)
{
    // The wording the other platforms give for the common case.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return QStringLiteral("No such file or directory");
    return QString::fromStdString(std::system_category().message(int(error)));
}

} // namespace

bool openRegularFile(const QString &path, QFile &file, QString *reason)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // A directory cannot be opened as a file here at all; say what it is.
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (reason)
            *reason = QStringLiteral("not a regular file");
        return false;
    }
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (reason)
            *reason = systemReason(::GetLastError());
        return false;
    }
    // The type is taken from the open handle, not the name: a pipe or a console
    // device is refused, as a FIFO or device is elsewhere.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        if (reason)
            *reason = QStringLiteral("not a regular file");
        return false;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        if (reason)
            *reason = QStringLiteral("cannot read the file");
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::_close(fd);
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

int keepPermissions(std::FILE *, const std::filesystem::path &)
{
    // Windows keeps who may read a file in its access list, which a new file in
    // the same folder inherits from the folder as the old one did; there are no
    // mode bits to carry over.
    return 0;
}

int checkReplaceable(const std::filesystem::path &target)
{
    // A read-only file is the one a user may not replace here.
    if (::_waccess(target.c_str(), 2) == 0 || errno == ENOENT)
        return 0;
    return errno;
}
