#include "hostilefiles.h"
#include "platformconventions.h"
#include "scriptedwindow.h"
#include "shownname.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the installed program once, the way a script would: no display, no platform
// plugin; with an address-space limit in KiB when one is given. False when it did not
// end by itself, *why saying how.
bool runToolOnce(const QStringList &arguments, const QString &workingDirectory, int limitKiB, Run *run,
                 QString *why)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    if (limitKiB > 0) {
        // One malloc arena: otherwise each thread that allocates at the same time as
        // another may reserve 64 MiB of address space of its own, and whether the
        // program fits in the limit would depend on timing.
        env.insert(QStringLiteral("MALLOC_ARENA_MAX"), QStringLiteral("1"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("/bin/sh"),
                      QStringList { "-c", QStringLiteral("ulimit -v %1 && exec \"$0\" \"$@\"").arg(limitKiB),
                                    QStringLiteral(JPGTOOL_PROGRAM) }
                              + arguments);
    } else {
        process.start(QStringLiteral(JPGTOOL_PROGRAM), arguments);
    }
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    run->exitCode = ended ? process.exitCode() : -1;
    run->out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run->err = QString::fromLocal8Bit(process.readAllStandardError());
    if (!ended)
        *why = QStringLiteral("%1 (exit status %2, code 0x%3)")
                       .arg(process.errorString())
                       .arg(int(process.exitStatus()))
                       .arg(uint(process.exitCode()), 0, 16);
    return ended;
}

// Runs the program; once more when the system could not run it at all. Under a
// loaded Wine a process now and then dies before its first instruction of ours,
// having written nothing: that is the host, not the program. A program that wrote
// anything and then failed is the program, and the test sees it.
Run runTool(const QStringList &arguments, const QString &workingDirectory = QString(), int limitKiB = 0)
{
    Run run;
    QString why;
    if (runToolOnce(arguments, workingDirectory, limitKiB, &run, &why))
        return run;
    if (!run.out.isEmpty() || !run.err.isEmpty()) {
        qWarning("jpgtool did not end normally: %s", qPrintable(why));
        return run;
    }
    qWarning("jpgtool did not run, once more: %s", qPrintable(why));
    if (!runToolOnce(arguments, workingDirectory, limitKiB, &run, &why))
        qWarning("jpgtool did not end normally: %s", qPrintable(why));
    return run;
}

// An address-space limit that holds the program but no picture of a few hundred
// megabytes; none where a sanitizer reserves more address space than any limit.
#if defined(Q_OS_UNIX) && !defined(JPGTOOL_SANITIZED)
constexpr int kSmallMemory = 150 * 1024;
#else
constexpr int kSmallMemory = 0;
#endif

// The address space the tool must live in with every hostile file: 2,000,000,000
// bytes, as `prlimit --as=2000000000` gives it.
#if defined(Q_OS_UNIX) && !defined(JPGTOOL_SANITIZED)
constexpr int kTwoGigabytes = 2000000000 / 1024;
#else
constexpr int kTwoGigabytes = 0;
#endif

QStringList entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestExportCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badUsage_data();
    void badUsage();
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
    void writesAndSkips_data();
    void writesAndSkips();
    void sameFilesAsTheWindow();
    void twoExportsIntoOneFolder();
    void exportWaitsForTheOneBefore();
    void replacedFileKeepsItsMode_data();
    void replacedFileKeepsItsMode();
    void fileTheUserMayNotWriteIsKept();
    void shownNames_data();
    void shownNames();

private:
    QTemporaryDir m_sources;
    QStringList m_pictures;
};

void TestExportCommand::initTestCase()
{
    QVERIFY(m_sources.isValid());
    for (int i = 0; i < 21; ++i) {
        m_pictures << m_sources.filePath(QStringLiteral("picture %1.png").arg(i + 1));
        QVERIFY(writeSolidImage(m_pictures.last(), QSize(48 + i, 27), QColor::fromHsv(i * 17, 200, 200)));
    }
    QVERIFY(writeNotAnImage(m_sources.filePath("notes.jpg")));
    QVERIFY(writeTruncatedJpeg(m_sources.filePath("bomb.jpg"), QSize(60000, 60000)));
    QVERIFY(writeTruncatedJpeg(m_sources.filePath("cut.jpg"), QSize(64, 64)));
    QVERIFY(writeTruncatedJpeg(m_sources.filePath("cut large.jpg"), QSize(16000, 16000)));
    // 8000 x 6000 pixels that need 184 MB to decode, in a file of a few kilobytes.
    // Files built to cost: progressive headers claiming 300 megapixels (1.7 GB of
    // coefficients, 2.3 GB in CMYK), one claiming 144 megapixels in 384 scans that fits
    // in the budget but is seconds of work, 576 scans, and a lossless JPEG libjpeg does not take.
    QVERIFY(writeProgressiveBomb(m_sources.filePath("progressive bomb.jpg"), QSize(17320, 17320)));
    QVERIFY(writeProgressiveBomb(m_sources.filePath("cmyk bomb.jpg"), QSize(17320, 17320), true));
    QVERIFY(writeManyScanJpeg(m_sources.filePath("slow bomb.jpg"), QSize(16, 16), 1, QSize(12000, 12000)));
    QVERIFY(writeManyScanJpeg(m_sources.filePath("many scans.jpg"), QSize(64, 64), 2));
    QFile lossless(m_sources.filePath("cut.jpg"));
    QVERIFY(lossless.open(QIODevice::ReadOnly));
    QByteArray bytes = lossless.readAll();
    bytes[bytes.indexOf("\xFF\xC0") + 1] = char(0xC3);
    QFile losslessCopy(m_sources.filePath("lossless.jpg"));
    QVERIFY(losslessCopy.open(QIODevice::WriteOnly) && losslessCopy.write(bytes) == bytes.size());
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo(QFile::encodeName(m_sources.filePath("fifo")).constData(), 0600), 0);
#endif
    QImage large(8000, 6000, QImage::Format_ARGB32);
    large.fill(Qt::darkCyan);
    QVERIFY(large.save(m_sources.filePath("large.png")));
}

void TestExportCommand::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");

    QStringList tooMany { "--export", "OUT" };
    QStringList tooManyLogos { "--export", "OUT" };
    for (int i = 0; i < 21; ++i) {
        tooMany << "--picture" << QStringLiteral("picture %1.png").arg(i + 1);
        tooManyLogos << "--logo" << QStringLiteral("picture %1.png").arg(i + 1);
    }
    QTest::newRow("21 pictures") << tooMany << "at most 20 pictures";
    QTest::newRow("21 logos") << tooManyLogos << "at most 20 logos";
    QTest::newRow("no directory after --export") << QStringList { "--export" } << "Missing value after \"--export\"";
    QTest::newRow("no file after --picture") << QStringList { "--export", "OUT", "--picture" }
                                             << "Missing value after \"--picture\"";
    QTest::newRow("unknown option") << QStringList { "--export", "OUT", "--quality", "90" }
                                    << "Unknown option \"quality\"";
    QTest::newRow("pictures without --export") << QStringList { "--picture", "picture 1.png" }
                                               << "--export <dir> is missing";
    QTest::newRow("two directories") << QStringList { "--export", "OUT", "--export", "OUT" }
                                     << "more than once";
    QTest::newRow("stray argument") << QStringList { "--export", "OUT", "picture 1.png" }
                                    << "unexpected argument \"picture 1.png\"";
    QTest::newRow("a file alone, no display needed") << QStringList { "picture 1.png" }
                                                     << "unexpected argument \"picture 1.png\"";
    QTest::newRow("unknown option alone") << QStringList { "--frob" } << "Unknown option \"frob\"";
    QTest::newRow("nothing to export") << QStringList { "--export", "OUT" } << "nothing to export";
}

void TestExportCommand::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    arguments.replaceInStrings(QRegularExpression("^OUT$"), out.path());
    const Run run = runTool(arguments, m_sources.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(reason), qPrintable(run.err));
    QVERIFY2(run.err.contains("--help"), qPrintable(run.err));
    QCOMPARE(entries(out.path()), QStringList());
}

void TestExportCommand::answersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");   // texts standard output must hold
    QTest::addColumn<QStringList>("err");   // texts standard error must hold

    QTest::newRow("--version") << QStringList { "--version" } << 0
                               << QStringList { QStringLiteral("jpgtool " VELMORA_VERSION) + PlatformConventions::lineEnd() }
                               << QStringList();
    QTest::newRow("--help lists every option and the cap")
            << QStringList { "--help" } << 0
            << QStringList { "Usage: jpgtool", "--export <dir>", "--picture <file>", "--logo <file>",
                             "--version", "--help", "300 megapixels", "Exit status" }
            << QStringList();
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Elsewhere there is always a display.
    QTest::newRow("the window, without a display")
            << QStringList() << 2 << QStringList()
            << QStringList { "no display", "jpgtool --export <dir>" };
#endif
}

void TestExportCommand::answersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QStringList, err);

    const Run run = runTool(arguments);
    QCOMPARE(run.exitCode, exitCode);
    for (const QString &text : out)
        QVERIFY2(run.out.contains(text), qPrintable(run.out));
    for (const QString &text : err)
        QVERIFY2(run.err.contains(text), qPrintable(run.err));
    QCOMPARE(run.out.isEmpty(), out.isEmpty());
    QCOMPARE(run.err.isEmpty(), err.isEmpty());
}

void TestExportCommand::writesAndSkips_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("limitKiB");      // address-space limit of the program, 0 for none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");   // standard output, line by line
    QTest::addColumn<QStringList>("err");   // standard error, line by line

    QTest::newRow("two pictures and a logo")
            << QStringList { "--picture", "picture 1.png", "--logo", "picture 3.png", "--picture", "picture 2.png" }
            << 0 << 0
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg",
                             "written OUT/2_1920x1080.jpg", "written OUT/2_320x180.jpg",
                             "written OUT/Logo1_480x540.jpg" }
            << QStringList();
    QTest::newRow("unreadable picture skipped, numbers kept")
            << QStringList { "--picture", "picture 1.png", "--picture", "notes.jpg", "--picture", "picture 2.png" }
            << 0 << 1
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg",
                             "written OUT/3_1920x1080.jpg", "written OUT/3_320x180.jpg" }
            << QStringList { "skipped SRC/notes.jpg: not a picture that can be read" };
    QTest::newRow("a file given twice is exported once")
            << QStringList { "--logo", "picture 1.png", "--logo", "./picture 1.png", "--logo", "picture 2.png" }
            << 0 << 0 << QStringList { "written OUT/Logo1_480x540.jpg", "written OUT/Logo2_480x540.jpg" }
            << QStringList();
    QTest::newRow("mistyped logo: black, saying why")
            << QStringList { "--logo", "notes.jpg", "--logo", "no such logo.png" } << 0 << 1
            << QStringList { "written OUT/Logo1_480x540.jpg", "written OUT/Logo2_480x540.jpg" }
            << QStringList { "warning: SRC/notes.jpg: not a picture that can be read; Logo1_480x540.jpg was written black",
                             QStringLiteral("warning: SRC/no such logo.png: %1; Logo2_480x540.jpg was written black")
                                     .arg(QString::fromLocal8Bit(std::strerror(ENOENT))) };
    QTest::newRow("missing picture: says so")
            << QStringList { "--picture", "no such picture.jpg", "--picture", "picture 1.png" } << 0 << 1
            << QStringList { "written OUT/2_1920x1080.jpg", "written OUT/2_320x180.jpg" }
            << QStringList { QStringLiteral("skipped SRC/no such picture.jpg: %1").arg(QString::fromLocal8Bit(std::strerror(ENOENT))) };
    // A header claiming 60000 x 60000 in a few hundred bytes: refused before decoding.
    QTest::newRow("decompression bomb, as picture and as logo")
            << QStringList { "--picture", "bomb.jpg", "--logo", "bomb.jpg", "--picture", "picture 1.png" } << 0 << 1
            << QStringList { "written OUT/2_1920x1080.jpg", "written OUT/2_320x180.jpg" }
            << QStringList { "skipped SRC/bomb.jpg: too large (60000 \u00d7 60000)",
                             "skipped SRC/bomb.jpg: too large (60000 \u00d7 60000)" };
#ifdef Q_OS_UNIX
    QTest::newRow("endless device: not a regular file")
            << QStringList { "--picture", "/dev/zero" } << kSmallMemory << 1 << QStringList()
            << QStringList { "skipped /dev/zero: not a regular file" };
#endif
    // The second claims 256 megapixels, under the cap, in a few hundred bytes: 150 MiB
    // of address space would not hold the plain decoder's picture.
    QTest::newRow("truncated JPEGs: written, with a warning")
            << QStringList { "--picture", "cut.jpg", "--picture", "cut large.jpg" } << kSmallMemory << 1
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg",
                             "written OUT/2_1920x1080.jpg", "written OUT/2_320x180.jpg" }
            << QStringList { "warning: SRC/cut.jpg: damaged (Premature end of JPEG file); "
                             "written from what could be decoded",
                             "warning: SRC/cut large.jpg: damaged (Premature end of JPEG file); "
                             "written from what could be decoded" };
    if (kSmallMemory > 0) {
        // The picture needs 184 MB.
        QTest::newRow("out of memory: an error, nothing written")
                << QStringList { "--picture", "large.png", "--logo", "large.png", "--logo", "picture 1.png" }
                << kSmallMemory << 1 << QStringList { "written OUT/Logo2_480x540.jpg" }
                << QStringList { "skipped SRC/large.png: out of memory: its 8000 \u00d7 6000 pixels need 184 MB",
                                 "skipped SRC/large.png: out of memory: its 8000 \u00d7 6000 pixels need 184 MB" };
    }
    // Refused by their cost before anything is decoded, within the address space
    // `prlimit --as=2000000000` leaves.
    QTest::newRow("progressive bombs as picture and as logo, CMYK too")
            << QStringList { "--picture", "progressive bomb.jpg", "--logo", "progressive bomb.jpg",
                             "--picture", "cmyk bomb.jpg", "--picture", "picture 1.png" }
            << kTwoGigabytes << 1 << QStringList { "written OUT/3_1920x1080.jpg", "written OUT/3_320x180.jpg" }
            << QStringList { "skipped SRC/progressive bomb.jpg: too large to decode (17320 \u00d7 17320, multi-scan: "
                             "needs 1723 MB, at most 1024 MB)",
                             "skipped SRC/cmyk bomb.jpg: too large to decode (17320 \u00d7 17320, multi-scan: "
                             "needs 2295 MB, at most 1024 MB)",
                             "skipped SRC/progressive bomb.jpg: too large to decode (17320 \u00d7 17320, multi-scan: "
                             "needs 1718 MB, at most 1024 MB)" };
    QTest::newRow("a few hundred bytes of seconds of work: stopped")
            << QStringList { "--picture", "slow bomb.jpg", "--logo", "slow bomb.jpg" } << kTwoGigabytes << 1
            << QStringList()
            << QStringList { "skipped SRC/slow bomb.jpg: stopped: decoding it is more work than a file of its size can need",
                             "skipped SRC/slow bomb.jpg: stopped: decoding it is more work than a file of its size can need" };
    QTest::newRow("too many scans: refused by name")
            << QStringList { "--picture", "many scans.jpg", "--logo", "many scans.jpg" } << kTwoGigabytes << 1
            << QStringList()
            << QStringList { "skipped SRC/many scans.jpg: too many scans (576, at most 500)",
                             "skipped SRC/many scans.jpg: too many scans (576, at most 500)" };
    QTest::newRow("libjpeg's own message, once")
            << QStringList { "--picture", "lossless.jpg" } << 0 << 1 << QStringList()
            << QStringList { "skipped SRC/lossless.jpg: not a picture that can be read "
                             "(Unsupported JPEG process: SOF type 0xc3)" };
#ifdef Q_OS_UNIX
    QTest::newRow("FIFO with no writer: refused at once")
            << QStringList { "--picture", "fifo", "--logo", "fifo" } << 0 << 1
            << QStringList { "written OUT/Logo1_480x540.jpg" }
            << QStringList { "skipped SRC/fifo: not a regular file",
                             "warning: SRC/fifo: not a regular file; Logo1_480x540.jpg was written black" };
#endif
    QTest::newRow("directory as a source")
            << QStringList { "--picture", "SRC" } << 0 << 1 << QStringList()
            << QStringList { "skipped SRC: not a regular file" };
    QTest::newRow("a newline in a name: quoted, escaped")
            << QStringList { "--picture", "two\nlines.png" } << 0 << 1 << QStringList()
            << QStringList { QStringLiteral("skipped \"SRC/two\\nlines.png\": %1").arg(PlatformConventions::newlineNameReason()) };
    QTest::newRow("directory missing: stops at the first file")
            << QStringList { "--picture", "picture 1.png", "--export", "OUT/gone" } << 0 << 1 << QStringList()
            << QStringList { QStringLiteral("jpgtool: could not write OUT/gone/1_1920x1080.jpg: %1. The export stopped there.")
                                     .arg(QString::fromLocal8Bit(std::strerror(ENOENT))) };
    QTest::newRow("output name taken by a directory: its own reason")
            << QStringList { "--picture", "picture 1.png", "--picture", "picture 2.png" } << 0 << 1
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg" }
            << QStringList { QStringLiteral("jpgtool: could not write OUT/2_1920x1080.jpg: %1. The export stopped there.")
                                     .arg(QString::fromLocal8Bit(std::strerror(EISDIR))) };
}

void TestExportCommand::writesAndSkips()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, limitKiB);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QStringList, err);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!arguments.contains("--export"))
        arguments << "--export" << dir.path();
    arguments.replaceInStrings(QRegularExpression("^OUT"), dir.path());
    arguments.replaceInStrings(QRegularExpression("^SRC$"), m_sources.path());
    // The output name taken by a directory (with something in it, so it stays).
    const bool taken = QByteArray(QTest::currentDataTag()).contains("taken by");
    if (taken)
        QVERIFY(QDir(dir.path()).mkpath("2_1920x1080.jpg/inside"));
    const Run run = runTool(arguments, m_sources.path(), limitKiB);
    QCOMPARE(run.exitCode, exitCode);

    const auto expand = [&dir, this](QStringList lines) {
        for (QString &line : lines) {
            line.replace("OUT", QDir::toNativeSeparators(dir.path()));
            line.replace("SRC", QDir::toNativeSeparators(m_sources.path()));
            line.replace(QLatin1Char('/'), QDir::separator());
        }
        return lines;
    };
    QCOMPARE(PlatformConventions::lines(run.out), expand(out));
    QCOMPARE(PlatformConventions::lines(run.err), expand(err));

    QStringList files;
    for (const QString &line : out)
        files << line.mid(int(strlen("written OUT/")));
    if (taken)
        files << "2_1920x1080.jpg";
    files.sort();
    QCOMPARE(entries(dir.path()) + QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), files);
}

void TestExportCommand::sameFilesAsTheWindow()
{
    // A JPEG source, so that both take the sampled decoder, and a PNG, so that both
    // take the plain path.
    const QString photo = m_sources.filePath("photo.jpg");
    QImage image(2017, 1123, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 7, y * 3, (x ^ y) & 0xFF));
    QVERIFY(image.save(photo, "JPG", 90));
    // Logos stay small: a large one makes Qt convert it on its own pool threads, whose
    // hand-overs the race checker cannot see.
    const QString smallPhoto = m_sources.filePath("small photo.jpg");
    QVERIFY(image.copy(0, 0, 100, 60).save(smallPhoto, "JPG", 90));
    const QStringList pictures { photo, m_pictures[4], m_pictures[5] };
    const QStringList logos { m_pictures[6], smallPhoto };

    QTemporaryDir windowOut;
    QTemporaryDir toolOut;
    QVERIFY(windowOut.isValid() && toolOut.isValid());
    ScriptedWindow window;
    window.filesToPick = pictures;
    window.findChild<QPushButton *>("btnImport")->click();
    window.filesToPick = logos;
    window.findChild<QPushButton *>("btnImportLogo")->click();
    window.directoryToPick = windowOut.path();
    window.findChild<QPushButton *>("btnExport")->click();
    window.findChild<QPushButton *>("btnExportLogo")->click();

    QStringList arguments { "--export", toolOut.path() };
    for (const QString &p : pictures)
        arguments << "--picture" << p;
    for (const QString &l : logos)
        arguments << "--logo" << l;
    const Run run = runTool(arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(window.errors.isEmpty());

    const QStringList names = entries(windowOut.path());
    QCOMPARE(names.size(), 3 * 2 + 2);
    QCOMPARE(entries(toolOut.path()), names);
    for (const QString &name : names)
        QVERIFY2(contents(windowOut.filePath(name)) == contents(toolOut.filePath(name)), qPrintable(name));
}

void TestExportCommand::twoExportsIntoOneFolder()
{
    // Large enough that the two runs overlap: each is still writing when the other
    // starts.
    QStringList arguments;
    for (int i = 0; i < 6; ++i) {
        const QString photo = m_sources.filePath(QStringLiteral("concurrent %1.jpg").arg(i));
        QVERIFY(writeSolidImage(photo, QSize(3000, 2000), QColor::fromHsv(i * 50, 180, 200)));
        arguments << "--picture" << photo << "--logo" << photo;
    }
    for (int trial = 0; trial < 4; ++trial) {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QStringList all = arguments + QStringList { "--export", out.path() };
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        QProcess first;
        QProcess second;
        for (QProcess *run : { &first, &second })
            run->setProcessEnvironment(env);
        // The second starts once the first is writing, when its leftovers would be
        // the first's files in flight.
        first.start(QStringLiteral(JPGTOOL_PROGRAM), all);
        QTRY_VERIFY_WITH_TIMEOUT(!entries(out.path()).filter(QRegularExpression("\\.jpg(\\.part)?$")).isEmpty()
                                         || first.state() == QProcess::NotRunning, 60000);
        second.start(QStringLiteral(JPGTOOL_PROGRAM), all);
        for (QProcess *run : { &first, &second }) {
            // The first may have ended already, its end seen while waiting for its
            // files; waitForFinished then says false.
            QVERIFY(run->state() == QProcess::NotRunning || run->waitForFinished(120000));
            QVERIFY2(run->exitStatus() == QProcess::NormalExit && run->exitCode() == 0,
                     run->readAllStandardError().constData());
        }
        const QStringList names = entries(out.path());
        QCOMPARE(names.size(), 6 * 3);
        for (const QString &name : names) {
            const QImage written(out.filePath(name));
            QVERIFY2(!written.isNull(), qPrintable(name));
        }
    }
}

void TestExportCommand::exportWaitsForTheOneBefore()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    // What an interrupted run left, and the lock of a run still going (this test).
    const QString leftover = out.filePath("Logo1_480x540.jpg.part");
    QVERIFY(writeNotAnImage(leftover));
    QLockFile before(out.filePath(".jpgtool-export.lock"));
    QVERIFY(before.lock());

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(JPGTOOL_PROGRAM), { "--export", out.path(), "--logo", m_pictures[0] });
    // While the run before holds the folder, this one neither ends nor touches its files.
    QVERIFY(!run.waitForFinished(1500));
    QVERIFY(QFile::exists(leftover));
    QCOMPARE(entries(out.path()), QStringList({ ".jpgtool-export.lock", "Logo1_480x540.jpg.part" }));

    before.unlock();
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(entries(out.path()), QStringList { "Logo1_480x540.jpg" });
}

void TestExportCommand::replacedFileKeepsItsMode_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("owner only") << 0600;
    QTest::newRow("group may read") << 0640;
    QTest::newRow("everyone may read") << 0644;
}

void TestExportCommand::replacedFileKeepsItsMode()
{
#ifdef Q_OS_UNIX
    QFETCH(int, mode);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString target = out.filePath("Logo1_480x540.jpg");
    QVERIFY(writeSolidImage(target, QSize(8, 8), Qt::white));
    const auto permissions = [](int bits) {
        QFileDevice::Permissions p;
        if (bits & 0400) p |= QFileDevice::ReadOwner;
        if (bits & 0200) p |= QFileDevice::WriteOwner;
        if (bits & 0040) p |= QFileDevice::ReadGroup;
        if (bits & 0004) p |= QFileDevice::ReadOther;
        return p;
    };
    QVERIFY(QFile::setPermissions(target, permissions(mode)));
    const QByteArray before = contents(target);
    const Run run = runTool({ "--export", out.path(), "--logo", m_pictures[0] });
    QCOMPARE(run.exitCode, 0);
    QVERIFY(contents(target) != before);
    QCOMPARE(QFile::permissions(target) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), permissions(mode));
#else
    QSKIP("POSIX permissions");
#endif
}

void TestExportCommand::fileTheUserMayNotWriteIsKept()
{
#ifdef Q_OS_UNIX
    // Another user's read-only file in a folder anyone may write to: renaming over it
    // would succeed, writing into it would not.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        QSKIP("needs root and setpriv to run the tool as another user");
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QVERIFY(QFile::setPermissions(out.path(), QFileDevice::Permissions(0x7777)));
    const QString source = out.filePath("logo.png");
    QVERIFY(writeSolidImage(source, QSize(16, 16), Qt::red));
    const QString target = out.filePath("Logo1_480x540.jpg");
    QVERIFY(writeSolidImage(target, QSize(8, 8), Qt::white));
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    const QByteArray before = contents(target);

    QProcess run;
    run.start(setpriv, { "--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(JPGTOOL_PROGRAM),
                         "--export", out.path(), "--logo", source });
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 1);
    QVERIFY2(QString::fromLocal8Bit(run.readAllStandardError())
                     .contains(QStringLiteral("could not write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(EACCES)))),
             "no permission error");
    QCOMPARE(contents(target), before);
#else
    QSKIP("POSIX permissions");
#endif
}

void TestExportCommand::shownNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << "/photos/beach 1.jpg" << "/photos/beach 1.jpg";
    QTest::newRow("letters of any script") << "/fotos/ü 写真.png" << "/fotos/ü 写真.png";
    QTest::newRow("newline") << "/a\nb.png" << "\"/a\\nb.png\"";
    QTest::newRow("carriage return, tab") << "a\rb\tc" << "\"a\\rb\\tc\"";
    QTest::newRow("escape sequence") << "a\x1b[31mred" << "\"a\\x1b[31mred\"";
    QTest::newRow("quote") << "a\"b" << "\"a\\\"b\"";
    // Windows's separator: no name holds one, so it is shown as it is.
    QTest::newRow("backslash") << "a\\c" << (QDir::separator() == QLatin1Char('\\') ? "a\\c" : "\"a\\\\c\"");
    QTest::newRow("right-to-left override") << QStringLiteral("gpj.\u202Eexe") << "\"gpj.\\u202eexe\"";
}

void TestExportCommand::shownNames()
{
    QFETCH(QString, path);
    QFETCH(QString, shown);

    // In the system's separators, as every path is shown.
    QCOMPARE(shownPath(path), QDir::toNativeSeparators(shown));
}

QTEST_MAIN(TestExportCommand)
#include "tst_exportcommand.moc"
