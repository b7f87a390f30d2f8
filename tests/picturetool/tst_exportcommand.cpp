#include "scriptedwindow.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the installed program the way a script would: no display, no platform plugin;
// with an address-space limit in KiB when one is given.
Run runTool(const QStringList &arguments, const QString &workingDirectory = QString(), int limitKiB = 0)
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
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// An address-space limit that holds the program but no picture of a few hundred
// megabytes; none where a sanitizer reserves more address space than any limit.
#if defined(Q_OS_UNIX) && !defined(JPGTOOL_SANITIZED)
constexpr int kSmallMemory = 150 * 1024;
#else
constexpr int kSmallMemory = 0;
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
    QTest::newRow("no directory after --export") << QStringList { "--export" } << "Missing value after '--export'";
    QTest::newRow("no file after --picture") << QStringList { "--export", "OUT", "--picture" }
                                             << "Missing value after '--picture'";
    QTest::newRow("unknown option") << QStringList { "--export", "OUT", "--quality", "90" }
                                    << "Unknown option 'quality'";
    QTest::newRow("pictures without --export") << QStringList { "--picture", "picture 1.png" }
                                               << "--export <dir> is missing";
    QTest::newRow("two directories") << QStringList { "--export", "OUT", "--export", "OUT" }
                                     << "more than once";
    QTest::newRow("stray argument") << QStringList { "--export", "OUT", "picture 1.png" }
                                    << "unexpected argument 'picture 1.png'";
    QTest::newRow("a file alone, no display needed") << QStringList { "picture 1.png" }
                                                     << "unexpected argument 'picture 1.png'";
    QTest::newRow("unknown option alone") << QStringList { "--frob" } << "Unknown option 'frob'";
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
                               << QStringList { QStringLiteral("jpgtool " VELMORA_VERSION "\n") } << QStringList();
    QTest::newRow("--help lists every option and the cap")
            << QStringList { "--help" } << 0
            << QStringList { "Usage: jpgtool", "--export <dir>", "--picture <file>", "--logo <file>",
                             "--version", "--help", "300 megapixels", "Exit status" }
            << QStringList();
    QTest::newRow("the window, without a display")
            << QStringList() << 2 << QStringList()
            << QStringList { "no display", "jpgtool --export <dir>" };
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
    QCOMPARE(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expand(out));
    QCOMPARE(run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expand(err));

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

QTEST_MAIN(TestExportCommand)
#include "tst_exportcommand.moc"
