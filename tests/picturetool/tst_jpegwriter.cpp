#include "filecommit.h"
#include "jpegfileinfo.h"
#include "jpegwriter.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

// The full-disk cases run in a child process with limits of its own; where there is
// no fork, setrlimit or mount namespace (Windows, macOS) they are skipped.
#ifdef HAVE_FORK_AND_SETRLIMIT
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef HAVE_MOUNT_NAMESPACES
#include <sched.h>
#include <sys/mount.h>
#endif

namespace {

std::vector<unsigned char> noisePixels(unsigned int width, unsigned int height)
{
    std::mt19937 random(42);
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    for (unsigned char &byte : rgb)
        byte = static_cast<unsigned char>(random());
    return rgb;
}

std::vector<unsigned char> solidPixels(unsigned int width, unsigned int height, const QColor &c)
{
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = static_cast<unsigned char>(c.red());
        rgb[i + 1] = static_cast<unsigned char>(c.green());
        rgb[i + 2] = static_cast<unsigned char>(c.blue());
    }
    return rgb;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
}

// Used by the cases that Windows skips.
[[maybe_unused]] QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef HAVE_FORK_AND_SETRLIMIT
struct ChildResult
{
    bool exited = false;
    int status = -1;
    QByteArray text;
};

// Runs body in a child process, so that the limits it sets stay there; body's text
// comes back through a pipe and its return value is the exit status.
ChildResult inChild(const std::function<int(QByteArray &text)> &body)
{
    ChildResult result;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return result;
    const pid_t child = ::fork();
    if (child < 0)
        return result;
    if (child == 0) {
        ::close(pipeEnds[0]);
        QByteArray text;
        const int status = body(text);
        if (::write(pipeEnds[1], text.constData(), std::size_t(text.size())) < 0)
            ::_exit(100);
        ::_exit(status);
    }
    ::close(pipeEnds[1]);
    char chunk[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        result.text.append(chunk, int(n));
    ::close(pipeEnds[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exited = true;
        result.status = WEXITSTATUS(status);
    }
    return result;
}
#endif

} // namespace

class TestJpegWriter : public QObject
{
    Q_OBJECT

private slots:
    void writesBaselineQuality85WithoutSubsampling_data();
    void writesBaselineQuality85WithoutSubsampling();
    void failureLeavesNoFile_data();
    void failureLeavesNoFile();
    void fullDiskLeavesNoFileAndKeepsTheOldOne();
    void noRoomBesideTheOldFile_data();
    void noRoomBesideTheOldFile();
    void partEntryIsNeverFollowed_data();
    void partEntryIsNeverFollowed();
    void symbolicLinkIsWrittenThrough_data();
    void symbolicLinkIsWrittenThrough();
    void linkLoopFailsWithAReason();
};

void TestJpegWriter::writesBaselineQuality85WithoutSubsampling_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("full-size picture") << 1920 << 1080 << "1_1920x1080.jpg";
    QTest::newRow("preview") << 320 << 180 << "1_320x180.jpg";
    QTest::newRow("logo") << 480 << 540 << "Logo1_480x540.jpg";
    QTest::newRow("one pixel") << 1 << 1 << "one.jpg";
    QTest::newRow("odd size") << 17 << 9 << "odd.jpg";
    QTest::newRow("spaces and non-ASCII in the name") << 32 << 16 << "Bild für Ansicht 写真.jpg";
}

void TestJpegWriter::writesBaselineQuality85WithoutSubsampling()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, fileName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(fileName);
    const QColor color(200, 40, 90);
    const std::vector<unsigned char> rgb = solidPixels(unsigned(width), unsigned(height), color);

    QString error;
    QVERIFY(writeJpegFile(path.toUtf8().constData(), 85, unsigned(width), unsigned(height),
                          rgb.data(), &error));
    QCOMPARE(entries(dir.path()), QStringList() << fileName);

    const JpegFileInfo info(path);
    QVERIFY(info.isValid());
    QCOMPARE(info.frameMarkers, QVector<int>() << 0xFFC0);
    QCOMPARE(info.precision, 8);
    QCOMPARE(info.width, width);
    QCOMPARE(info.height, height);
    QCOMPARE(info.components.size(), 3);
    for (const JpegFileInfo::Component &component : info.components) {
        QCOMPARE(component.hSampling, 1);
        QCOMPARE(component.vSampling, 1);
    }
    QCOMPARE(info.quantTables, libjpegQuantTables(85));
    // Standard tables, not ones fitted to the picture: the devices decode no others.
    QCOMPARE(info.huffmanTables, standardHuffmanTables());

    const QImage decoded(path);
    QCOMPARE(decoded.size(), QSize(width, height));
    QVERIFY(nearColor(decoded.pixel(width / 2, height / 2), color, 6));
}

void TestJpegWriter::failureLeavesNoFile_data()
{
    QTest::addColumn<QString>("relativePath");

    QTest::newRow("directory does not exist") << "gone/1_1920x1080.jpg";
    QTest::newRow("a file where the directory should be") << "plain.txt/1_1920x1080.jpg";
    QTest::newRow("path longer than the system allows") << QString(5000, QLatin1Char('x')) + ".jpg";
    QTest::newRow("name longer than the system allows") << QString(300, QLatin1Char('y')) + ".jpg";
    QTest::newRow("read-only directory") << "locked/1_1920x1080.jpg";
}

void TestJpegWriter::failureLeavesNoFile()
{
    QFETCH(QString, relativePath);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeNotAnImage(dir.filePath("plain.txt")));
    QVERIFY(QDir(dir.path()).mkdir("locked"));
    QVERIFY(QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner));
    if (relativePath.startsWith("locked/") && QFileInfo(dir.filePath("locked")).isWritable())
        QSKIP("permissions do not stop this user from writing (running as root)");
    const std::vector<unsigned char> rgb = noisePixels(320, 180);

    QString error;
    QVERIFY(!writeJpegFile(dir.filePath(relativePath).toUtf8().constData(), 85, 320, 180,
                           rgb.data(), &error));
    QVERIFY2(!error.isEmpty(), "a failure must say why");
    QCOMPARE(entries(dir.path()), QStringList() << "plain.txt");
    QCOMPARE(entries(dir.filePath("locked")), QStringList());
}

// A file-size limit makes write() fail with EFBIG part-way through, as a full disk
// does with ENOSPC, without needing a small file system.
void TestJpegWriter::fullDiskLeavesNoFileAndKeepsTheOldOne()
{
#ifndef HAVE_FORK_AND_SETRLIMIT
    QSKIP("needs fork and setrlimit");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("1_1920x1080.jpg");
    const std::vector<unsigned char> small = solidPixels(16, 16, Qt::blue);
    QVERIFY(writeJpegFile(path.toUtf8().constData(), 85, 16, 16, small.data()));
    const QByteArray oldBytes = contents(path);

    const std::vector<unsigned char> noise = noisePixels(1920, 1080);
    const QByteArray narrowPath = path.toUtf8();
    const ChildResult child = inChild([&](QByteArray &text) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = { 64 * 1024, 64 * 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        const bool written = writeJpegFile(narrowPath.constData(), 85, 1920, 1080, noise.data(), &error);
        text = error.toUtf8();
        return written ? 1 : 0;
    });

    QVERIFY2(child.exited, "the writer must not end the process on a write error");
    QCOMPARE(child.status, 0);
    QVERIFY2(!child.text.isEmpty(), "a failure must say why");
    QCOMPARE(entries(dir.path()), QStringList() << "1_1920x1080.jpg");
    QCOMPARE(contents(path), oldBytes);
#endif
}

void TestJpegWriter::noRoomBesideTheOldFile_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<int>("otherFiles");
    QTest::addColumn<bool>("fitsInPlace");

    // A 64 KiB disk holding a 24 KiB older file and 24 KiB of other files: 16 KiB free.
    QTest::newRow("fits once the older file is gone") << 30 * 1024 << 24 * 1024 << true;
    QTest::newRow("too large either way") << 48 * 1024 << 24 * 1024 << false;
    // Smaller than the stdio buffer: every write succeeds, and only closing the file
    // finds the disk full.
    QTest::newRow("full disk, small file") << 1000 << 40 * 1024 << true;
}

void TestJpegWriter::noRoomBesideTheOldFile()
{
#ifndef HAVE_MOUNT_NAMESPACES
    QSKIP("needs a private mount namespace to make a small disk");
#else
    QFETCH(int, newSize);
    QFETCH(int, otherFiles);
    QFETCH(bool, fitsInPlace);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    const QString target = dir.filePath("Logo1_480x540.jpg");
    const QByteArray oldBytes(24 * 1024, 'o');
    const QByteArray newBytes(newSize, 'n');

    // 2: no mount namespace here; 3: setting up the disk failed; 0: the write failed
    // and left the older file as it was; 1: anything else.
    const ChildResult child = inChild([&](QByteArray &text) {
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("jpgtooltest", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            return 2;
        QFile filler(dir.filePath("other files"));
        if (!commitFile(target, oldBytes) || !filler.open(QIODevice::WriteOnly)
            || filler.write(QByteArray(otherFiles, 'f')) != otherFiles || !filler.flush())
            return 3;
        filler.close();
        QString error;
        const bool written = commitFile(target, newBytes, &error);
        text = error.toUtf8();
        const bool untouched = contents(target) == oldBytes
                && entries(dir.path()) == QStringList({ "Logo1_480x540.jpg", "other files" });
        return !written && untouched ? 0 : 1;
    });
    QVERIFY(child.exited);
    if (child.status == 2)
        QSKIP("no private mount namespace here (needs root or user namespaces)");
    QCOMPARE(child.status, 0);
    const QString message = QString::fromUtf8(child.text);
    QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(message));
    QCOMPARE(message.contains("older file was kept"), fitsInPlace);
    if (fitsInPlace)
        QVERIFY2(message.contains(QString::number(newSize)), qPrintable(message));
#endif
}

void TestJpegWriter::partEntryIsNeverFollowed_data()
{
    QTest::addColumn<QString>("entry");   // what stands at "<output>.part" before the write

    QTest::newRow("link to a file outside the folder") << "link to victim";
    QTest::newRow("link to a file not there yet") << "dangling link";
    QTest::newRow("empty directory") << "directory";
    QTest::newRow("stale file") << "file";
}

// Whatever stands at the temporary name, the write lands in the output and nowhere
// else: a link there is not followed and does not become the output.
void TestJpegWriter::partEntryIsNeverFollowed()
{
#ifndef Q_OS_UNIX
    QSKIP("symbolic links need privileges on this system");
#else
    QFETCH(QString, entry);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("out") && QDir(dir.path()).mkdir("safe"));
    const QString victim = dir.filePath("safe/victim.txt");
    QVERIFY(writeNotAnImage(victim));
    const QByteArray victimBytes = contents(victim);
    const QString target = dir.filePath("out/1_1920x1080.jpg");
    const QString part = target + ".part";
    if (entry == "link to victim")
        QVERIFY(QFile::link("../safe/victim.txt", part));
    else if (entry == "dangling link")
        QVERIFY(QFile::link("../safe/new.txt", part));
    else if (entry == "directory")
        QVERIFY(QDir().mkdir(part));
    else
        QVERIFY(writeNotAnImage(part));

    const QByteArray bytes("new picture bytes");
    QString error;
    QVERIFY2(commitFile(target, bytes, &error), qPrintable(error));
    QVERIFY(!QFileInfo(target).isSymLink());
    QCOMPARE(contents(target), bytes);
    QCOMPARE(contents(victim), victimBytes);
    QCOMPARE(QDir(dir.filePath("safe")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList { "victim.txt" });
    QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList { "1_1920x1080.jpg" });
#endif
}

void TestJpegWriter::symbolicLinkIsWrittenThrough_data()
{
    QTest::addColumn<QStringList>("links");   // "name -> destination", made in order
    QTest::addColumn<QString>("target");      // the output name written to
    QTest::addColumn<QString>("replaced");    // the file that must hold the new bytes

    QTest::newRow("relative link in the same directory")
            << QStringList { "1_1920x1080.jpg -> frame.jpg" } << "1_1920x1080.jpg" << "frame.jpg";
    QTest::newRow("link into another directory")
            << QStringList { "1_320x180.jpg -> shared/preview.jpg" } << "1_320x180.jpg"
            << "shared/preview.jpg";
    QTest::newRow("chain of links")
            << QStringList { "Logo2_480x540.jpg -> a.jpg", "a.jpg -> shared/b.jpg" }
            << "Logo2_480x540.jpg" << "shared/b.jpg";
    QTest::newRow("link to a file not there yet")
            << QStringList { "1_1920x1080.jpg -> shared/new.jpg" } << "1_1920x1080.jpg"
            << "shared/new.jpg";
}

void TestJpegWriter::symbolicLinkIsWrittenThrough()
{
#ifndef Q_OS_UNIX
    QSKIP("symbolic links need privileges on this system");
#else
    QFETCH(QStringList, links);
    QFETCH(QString, target);
    QFETCH(QString, replaced);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("shared"));
    for (const QString &name : { QStringLiteral("frame.jpg"), QStringLiteral("shared/preview.jpg"),
                                 QStringLiteral("shared/b.jpg") })
        QVERIFY(writeNotAnImage(dir.filePath(name)));
    for (const QString &link : links) {
        const QStringList parts = link.split(" -> ");
        // Relative to the link's own directory, as a user would make it.
        const QString from = dir.filePath(parts[0]);
        const QString to = QFileInfo(from).dir().relativeFilePath(dir.filePath(parts[1]));
        QVERIFY(QFile::link(to, from));
    }
    const QByteArray bytes("new picture bytes");

    QVERIFY(commitFile(dir.filePath(target), bytes));
    QVERIFY2(QFileInfo(dir.filePath(target)).isSymLink(), "the link stays a link");
    QCOMPARE(contents(dir.filePath(replaced)), bytes);
    QCOMPARE(contents(dir.filePath(target)), bytes);
    for (const QString &sub : { QString("."), QString("shared") }) {
        const QStringList names = QDir(dir.filePath(sub)).entryList({ "*.part" }, QDir::Files | QDir::Hidden);
        QVERIFY2(names.isEmpty(), qPrintable(names.join(' ')));
    }
#endif
}

void TestJpegWriter::linkLoopFailsWithAReason()
{
#ifndef Q_OS_UNIX
    QSKIP("symbolic links need privileges on this system");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::link("b.jpg", dir.filePath("a.jpg")));
    QVERIFY(QFile::link("a.jpg", dir.filePath("b.jpg")));
    QString error;
    QVERIFY(!commitFile(dir.filePath("a.jpg"), "bytes", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(dir.filePath("a.jpg")).isSymLink());
#endif
}

QTEST_GUILESS_MAIN(TestJpegWriter)
#include "tst_jpegwriter.moc"
