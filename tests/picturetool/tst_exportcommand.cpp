#include "scriptedwindow.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the installed program the way a script would: no display, no platform plugin.
Run runTool(const QStringList &arguments, const QString &workingDirectory = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(JPGTOOL_PROGRAM), arguments);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

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
    void writesAndSkips_data();
    void writesAndSkips();
    void sameFilesAsTheWindow();
    void helpNeedsNoDirectory();

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

void TestExportCommand::writesAndSkips_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("two pictures and a logo")
            << QStringList { "--picture", "picture 1.png", "--logo", "picture 3.png", "--picture", "picture 2.png" }
            << 0
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg",
                             "written OUT/2_1920x1080.jpg", "written OUT/2_320x180.jpg",
                             "written OUT/Logo1_480x540.jpg" };
    QTest::newRow("unreadable picture skipped, numbers kept")
            << QStringList { "--picture", "picture 1.png", "--picture", "notes.jpg", "--picture", "picture 2.png" }
            << 1
            << QStringList { "written OUT/1_1920x1080.jpg", "written OUT/1_320x180.jpg",
                             "skipped SRC/notes.jpg: not a picture that can be read",
                             "written OUT/3_1920x1080.jpg", "written OUT/3_320x180.jpg" };
    QTest::newRow("a file given twice is exported once")
            << QStringList { "--logo", "picture 1.png", "--logo", "./picture 1.png", "--logo", "picture 2.png" }
            << 0 << QStringList { "written OUT/Logo1_480x540.jpg", "written OUT/Logo2_480x540.jpg" };
    QTest::newRow("unreadable logo is black, not skipped")
            << QStringList { "--logo", "notes.jpg" } << 0 << QStringList { "written OUT/Logo1_480x540.jpg" };
    QTest::newRow("nothing listed") << QStringList() << 0 << QStringList();
    QTest::newRow("directory missing: stops at the first file")
            << QStringList { "--picture", "picture 1.png", "--export", "OUT/gone" } << 1 << QStringList();
}

void TestExportCommand::writesAndSkips()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    if (!arguments.contains("--export"))
        arguments << "--export" << out.path();
    arguments.replaceInStrings(QRegularExpression("^OUT"), out.path());
    const Run run = runTool(arguments, m_sources.path());
    QCOMPARE(run.exitCode, exitCode);

    QStringList expected;
    QStringList files;
    for (QString line : lines) {
        if (line.startsWith("written OUT/"))
            files << line.mid(int(strlen("written OUT/")));
        line.replace("OUT", QDir::toNativeSeparators(out.path()));
        line.replace("SRC", QDir::toNativeSeparators(m_sources.path()));
        expected << line.replace(QLatin1Char('/'), QDir::separator());
    }
    QCOMPARE(run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    files.sort();
    if (arguments.contains(out.path() + "/gone")) {
        QVERIFY2(run.err.contains("gone") && run.err.contains("1_1920x1080.jpg"), qPrintable(run.err));
        files.clear();
    }
    QCOMPARE(entries(out.path()), files);
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

void TestExportCommand::helpNeedsNoDirectory()
{
    const Run run = runTool({ "--help" });
    QCOMPARE(run.exitCode, 0);
    for (const char *text : { "--export <dir>", "--picture <file>", "--logo <file>", "Exit status" })
        QVERIFY2(run.out.contains(QLatin1String(text)), text);
}

QTEST_MAIN(TestExportCommand)
#include "tst_exportcommand.moc"
