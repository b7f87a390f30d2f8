#include "filecommit.h"

#include "platformfiles.h"

#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString &path)
{
#ifdef _WIN32
    return fs::path(path.toStdWString());
#else
    return fs::u8path(path.toStdString());
#endif
}

// Creates path as a new file. Anything already there, a symbolic link planted by
// someone else above all, makes it fail rather than be followed or reused: the write
// can then only land in the file made here.
std::FILE *createNew(const fs::path &path)
{
#ifdef _WIN32
    return ::_wfopen(path.c_str(), L"wbx");
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE *file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
#endif
}

// The file that writing to path really changes: symbolic links are followed, each
// relative one from the directory it sits in. A link that points nowhere yet leads to
// the file it names, as opening it for writing would.
fs::path followLinks(fs::path path, std::error_code &ec)
{
    for (int depth = 0; depth < 40; ++depth) {
        const fs::file_status status = fs::symlink_status(path, ec);
        if (!fs::is_symlink(status)) {
            ec.clear();
            return path;
        }
        const fs::path next = fs::read_symlink(path, ec);
        if (ec)
            return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return path;
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A full disk that would take the new file in place of the older one, but not both at
// once while the new one is being written.
QString describeNoRoom(int error, const fs::path &file, qint64 needed)
{
    std::error_code ec;
    const auto oldSize = fs::file_size(file, ec);
    if (ec)
        return systemReason(error);
    const fs::space_info space = fs::space(file.has_parent_path() ? file.parent_path() : fs::path("."), ec);
    if (ec || qint64(space.available + oldSize) < needed)
        return systemReason(error);
    return QStringLiteral("%1: the new file (%2 bytes) would fit in place of the older one "
                          "(%3 bytes), but not beside it while it is written (%4 bytes free). "
                          "The older file was kept.")
            .arg(systemReason(error))
            .arg(needed)
            .arg(qulonglong(oldSize))
            .arg(qulonglong(space.available));
}

// Makes path, a "<name>.part" of ours, as a new file: an entry left there (by an
// interrupted export, or planted) is removed first, whatever it is, and only the name
// is removed, never what a link points to.
std::FILE *createPart(const fs::path &path)
{
    errno = 0;
    std::FILE *file = createNew(path);
    if (file || errno != EEXIST)
        return file;
    std::error_code ec;
    fs::remove(path, ec);
    errno = 0;
    return createNew(path);
}

bool writeWhole(const fs::path &path, const fs::path &target, const QByteArray &bytes, int &error,
                bool &opened)
{
    std::FILE *file = createPart(path);
    opened = file != nullptr;
    if (!file) {
        error = errno;
        return false;
    }
    // Before a byte is written: a file of mode 0600 is never readable by others, not
    // even while it is written.
    error = keepPermissions(file, target);
    if (error) {
        std::fclose(file);
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file)
            == std::size_t(bytes.size());
    error = errno;
    // A full disk often shows only when the buffered rest is flushed at close.
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (written && !closed)
        error = errno;
    return written && closed;
}

} // namespace

bool commitFile(const QString &target, const QByteArray &bytes, QString *errorText)
{
    std::error_code ec;
    const fs::path file = followLinks(toPath(target), ec);
    if (ec) {
        if (errorText)
            *errorText = QString::fromStdString(ec.message());
        return false;
    }
    fs::path partial = file;
    partial += ".part";

    // Renaming over a file needs only the folder's permission; the file's own, which
    // the user may not have, is honoured as writing into it would.
    int error = checkReplaceable(file);
    bool opened = false;
    if (error || !writeWhole(partial, file, bytes, error, opened)) {
        std::error_code ignored;
        if (opened)
            fs::remove(partial, ignored);
        if (errorText) {
            const bool full = error == ENOSPC
#ifdef EDQUOT
                    || error == EDQUOT
#endif
                    ;
            *errorText = full ? describeNoRoom(error, file, bytes.size())
                              : error ? systemReason(error) : QStringLiteral("unknown error");
        }
        return false;
    }

    fs::rename(partial, file, ec);
    if (ec) {
        // The rename's reason is the one to give; the clean-up's own outcome would
        // overwrite it with "Success".
        std::error_code ignored;
        fs::remove(partial, ignored);
        if (errorText)
            *errorText = QString::fromStdString(ec.message());
        return false;
    }
    return true;
}

void removeLeftoverParts(const QString &directory)
{
    static const QRegularExpression ours(
            QStringLiteral("^(\\d+_1920x1080|\\d+_320x180|Logo\\d+_480x540)\\.jpg\\.part$"));
    const QDir dir(directory);
    // Whatever they are: a link of such a name is removed itself (never what it points
    // to), a directory only when empty.
    const QStringList names = dir.entryList({ QStringLiteral("*.part") },
                                            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        std::error_code ignored;
        fs::remove(toPath(dir.filePath(name)), ignored);
    }
}
