#include "jpegfileinfo.h"
#include "jpegwriter.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <random>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
    if (relativePath.startsWith("locked/") && ::access(qPrintable(dir.filePath("locked")), W_OK) == 0)
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
// does with ENOSPC, without needing a small file system. It runs in a child so the
// limit does not touch this process.
void TestJpegWriter::fullDiskLeavesNoFileAndKeepsTheOldOne()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("1_1920x1080.jpg");
    const std::vector<unsigned char> small = solidPixels(16, 16, Qt::blue);
    QVERIFY(writeJpegFile(path.toUtf8().constData(), 85, 16, 16, small.data()));
    QFile oldFile(path);
    QVERIFY(oldFile.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = oldFile.readAll();
    oldFile.close();

    const std::vector<unsigned char> noise = noisePixels(1920, 1080);
    const QByteArray narrowPath = path.toUtf8();
    int errorPipe[2];
    QCOMPARE(::pipe(errorPipe), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(errorPipe[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = { 64 * 1024, 64 * 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        const bool written = writeJpegFile(narrowPath.constData(), 85, 1920, 1080,
                                           noise.data(), &error);
        const QByteArray text = error.toUtf8();
        if (::write(errorPipe[1], text.constData(), std::size_t(text.size())) < 0)
            ::_exit(3);
        ::_exit(written ? 1 : 0);
    }
    ::close(errorPipe[1]);
    QByteArray error;
    char chunk[256];
    for (ssize_t n; (n = ::read(errorPipe[0], chunk, sizeof chunk)) > 0;)
        error.append(chunk, int(n));
    ::close(errorPipe[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);

    QVERIFY2(WIFEXITED(status), "the writer must not end the process on a write error");
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY2(!error.isEmpty(), "a failure must say why");
    QCOMPARE(entries(dir.path()), QStringList() << "1_1920x1080.jpg");
    QVERIFY(oldFile.open(QIODevice::ReadOnly));
    QCOMPARE(oldFile.readAll(), oldBytes);
}

QTEST_GUILESS_MAIN(TestJpegWriter)
#include "tst_jpegwriter.moc"
