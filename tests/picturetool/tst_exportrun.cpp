#include "exportrun.h"
#include "memorybudget.h"
#include "testimages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

QStringList pictureFiles(const QList<int> &numbers)
{
    QStringList names;
    for (int n : numbers)
        names << QStringLiteral("%1_1920x1080.jpg").arg(n) << QStringLiteral("%1_320x180.jpg").arg(n);
    names.sort();
    return names;
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT

private slots:
    void writtenInListOrderWhateverTheThreads_data();
    void writtenInListOrderWhateverTheThreads();
    void leftoverPartsAreRemoved();
    void decodedPixelsStayWithinTheBudget_data();
    void decodedPixelsStayWithinTheBudget();
};

void TestExportRun::writtenInListOrderWhateverTheThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("unreadable");   // list position of a picture that does not decode, or -1
    QTest::addColumn<int>("blocked");      // list position whose first file cannot be written, or -1
    QTest::addColumn<QList<int>>("writtenNumbers");
    QTest::addColumn<int>("handled");

    for (int threads : { 1, 2, 4 }) {
        QTest::addRow("%d threads: all written", threads) << threads << -1 << -1
                                                          << QList<int> { 1, 2, 3, 4, 5, 6 } << 6;
        QTest::addRow("%d threads: second skipped", threads) << threads << 1 << -1
                                                             << QList<int> { 1, 3, 4, 5, 6 } << 6;
        // Later pictures may be rendered already; none of them may reach the disk.
        QTest::addRow("%d threads: stops at the third", threads) << threads << -1 << 2
                                                                 << QList<int> { 1, 2 } << 3;
        QTest::addRow("%d threads: skip, then stop", threads) << threads << 0 << 4
                                                              << QList<int> { 2, 3, 4 } << 5;
    }
}

void TestExportRun::writtenInListOrderWhateverTheThreads()
{
    QFETCH(int, threads);
    QFETCH(int, unreadable);
    QFETCH(int, blocked);
    QFETCH(QList<int>, writtenNumbers);
    QFETCH(int, handled);

    QTemporaryDir sources;
    QTemporaryDir out;
    QVERIFY(sources.isValid() && out.isValid());
    QVector<ExportItem> items;
    for (int i = 0; i < 6; ++i) {
        const QString path = sources.filePath(QStringLiteral("p%1.png").arg(i));
        if (i == unreadable)
            QVERIFY(writeNotAnImage(path));
        else
            QVERIFY(writeSolidImage(path, QSize(40 + i, 30), Qt::darkYellow));
        items.append({ ExportItem::Picture, i, path });
    }
    QStringList expected = pictureFiles(writtenNumbers);
    if (blocked >= 0) {
        const QString obstacle = QStringLiteral("%1_1920x1080.jpg").arg(blocked + 1);
        QVERIFY(QDir(out.path()).mkpath(obstacle + "/inside"));
        expected.append(obstacle);
        expected.sort();
    }

    // Reports come from worker threads, one at a time; they are checked afterwards.
    QList<int> reported;
    const ExportOutcome outcome = runExport(
            out.path(), items,
            [&reported](int position, const ExportItem &item, const RenditionResult &, const QStringList &) {
                reported.append(position == item.index ? position : -1);
            },
            threads);

    QList<int> inOrder;
    for (int i = 0; i < handled; ++i)
        inOrder << i;
    QCOMPARE(reported, inOrder);
    QCOMPARE(outcome.handled, handled);
    QCOMPARE(outcome.skipped.size(), unreadable >= 0 ? 1 : 0);
    if (unreadable >= 0)
        QCOMPARE(outcome.skipped[0].sourcePath, items[unreadable].sourcePath);
    QCOMPARE(outcome.failure.status,
             blocked >= 0 ? RenditionResult::WriteFailed : RenditionResult::Written);
    QStringList names = entries(out.path());
    names += QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    names.sort();
    QCOMPARE(names, expected);
}

void TestExportRun::leftoverPartsAreRemoved()
{
    QTemporaryDir sources;
    QTemporaryDir out;
    QVERIFY(sources.isValid() && out.isValid());
    const QString logo = sources.filePath("logo.png");
    QVERIFY(writeSolidImage(logo, QSize(20, 20), Qt::red));
    // Left by an interrupted export, of either tab and of any number ...
    for (const char *name : { "7_320x180.jpg.part", "12_1920x1080.jpg.part", "Logo1_480x540.jpg.part" })
        QVERIFY(writeNotAnImage(out.filePath(name)));
    // ... and files of the user's that only look alike.
    const QStringList others { "holiday.jpg.part", "Logo_480x540.jpg.part", "1_1920x1080.jpg.partial" };
    for (const QString &name : others)
        QVERIFY(writeNotAnImage(out.filePath(name)));
#ifdef Q_OS_UNIX
    // A link of such a name goes, and what it points to stays.
    const QString victim = sources.filePath("victim.txt");
    QVERIFY(writeNotAnImage(victim));
    QVERIFY(QFile::link(victim, out.filePath("3_320x180.jpg.part")));
    QVERIFY(QFile::link(sources.filePath("nowhere"), out.filePath("4_320x180.jpg.part")));
#endif

    const ExportOutcome outcome = runExport(out.path(), { { ExportItem::Logo, 0, logo } });
    QCOMPARE(outcome.handled, 1);
    QStringList expected = others + QStringList { "Logo1_480x540.jpg" };
    expected.sort();
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                                        QDir::Name),
             expected);
#ifdef Q_OS_UNIX
    QVERIFY(QFileInfo(victim).isFile());
#endif
}

void TestExportRun::decodedPixelsStayWithinTheBudget_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("budgetInHalves");     // in halves of one picture's decoded pixels
    QTest::addColumn<int>("mostAtOnce");         // pictures' pixels held at once, at most

    // However many threads: a budget of one picture decodes one at a time.
    QTest::newRow("4 threads, room for one") << 4 << 2 << 1;
    QTest::newRow("4 threads, room for three") << 4 << 6 << 3;
    // A picture larger than the whole budget is decoded alone, not never.
    QTest::newRow("4 threads, room for less than one") << 4 << 1 << 1;
    QTest::newRow("1 thread, room for all") << 1 << 20 << 1;
}

void TestExportRun::decodedPixelsStayWithinTheBudget()
{
    QFETCH(int, threads);
    QFETCH(int, budgetInHalves);
    QFETCH(int, mostAtOnce);

    QTemporaryDir sources;
    QTemporaryDir out;
    QVERIFY(sources.isValid() && out.isValid());
    // Small pictures: larger ones make Qt convert on its own pool threads, whose
    // hand-overs the race checker cannot see.
    QVector<ExportItem> items;
    for (int i = 0; i < 8; ++i) {
        const QString path = sources.filePath(QStringLiteral("p%1.png").arg(i));
        QVERIFY(writeSolidImage(path, QSize(160, 100), QColor::fromHsv(i * 40, 200, 200)));
        items.append({ ExportItem::Picture, i, path });
    }
    const qint64 onePicture = decodeCost(readSourceHeader(items[0].sourcePath));
    QCOMPARE(onePicture, qint64(160 * 100 * 4));

    MemoryBudget budget(onePicture * budgetInHalves / 2);
    const ExportOutcome outcome = runExport(out.path(), items, ExportReport(), threads, &budget);
    QCOMPARE(outcome.handled, 8);
    QCOMPARE(entries(out.path()).size(), 16);
    QVERIFY(budget.peak() >= onePicture);
    QVERIFY2(budget.peak() <= onePicture * mostAtOnce, qPrintable(QString::number(budget.peak())));
}

QTEST_GUILESS_MAIN(TestExportRun)
#include "tst_exportrun.moc"
