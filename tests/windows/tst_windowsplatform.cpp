#include "cmddealmodule.h"
#include "dispatcherhost.h"
#include "exportrun.h"
#include "testimages.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <vector>

namespace {
constexpr int kDeadline = 20000;

// A folder and a file name outside the ANSI code page: only the wide-character
// file calls of Windows reach them.
const QString kWideFolder = QStringLiteral("Bilder \u00fc \u5199\u771f");
const QString kWideSource = QStringLiteral("Quelle \u00fc \u5199\u771f.png");
} // namespace

class TestWindowsPlatform : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void errorLogLinesEndWithCrLf_data();
    void errorLogLinesEndWithCrLf();
    void errorLogFolderIsTheCurrentOne();
    void exportUnderWideNames_data();
    void exportUnderWideNames();
    void sendWorkerKeepsItsPace();

private:
    QString m_previousDir;
    QTemporaryDir *m_dir = nullptr;
};

void TestWindowsPlatform::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestWindowsPlatform::cleanup()
{
    QDir::setCurrent(m_previousDir);
    delete m_dir;
    m_dir = nullptr;
}

void TestWindowsPlatform::errorLogLinesEndWithCrLf_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("calls");

    QTest::newRow("empty data, one line") << QByteArray() << 1;
    QTest::newRow("data bytes, one line") << QByteArray("\x0a\xff", 2) << 1;
    // A data byte 0x0a is written as the text "0a", never as a line end of its own.
    QTest::newRow("three lines") << QByteArray("\x0a\x0d", 2) << 3;
}

// The log is a text file: each line ends with CR LF on Windows, and nothing else in
// the file is a CR or LF.
void TestWindowsPlatform::errorLogLinesEndWithCrLf()
{
    QFETCH(QByteArray, data);
    QFETCH(int, calls);

    CmdDealModule module;
    ProtocolData record;
    record.byCmd = 0xe1;
    record.byParam2 = 0x16;
    record.baData = data;
    for (int i = 0; i < calls; ++i)
        module.writeErrorLog(record);

    QDir dir(QDir::currentPath() + QStringLiteral("/Errorlog"));
    const QStringList files = dir.entryList({QStringLiteral("*.log")}, QDir::Files);
    QVERIFY(!files.isEmpty());
    QByteArray bytes;
    for (const QString &name : files) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly)); // binary: the bytes on disk
        bytes += f.readAll();
    }
    QCOMPARE(bytes.count("\r\n"), calls);
    QCOMPARE(bytes.count('\n'), calls);
    QCOMPARE(bytes.count('\r'), calls);
    QVERIFY2(bytes.endsWith("<e1 00 00 16 00>" + data.toHex() + "\r\n"), bytes.constData());
}

// The folder is the current directory as Qt gives it (forward slashes) plus
// "/Errorlog/", the file named after today.
void TestWindowsPlatform::errorLogFolderIsTheCurrentOne()
{
    QVERIFY(!QDir::currentPath().contains(QLatin1Char('\\')));
    CmdDealModule module;
    const QString before = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    module.writeErrorLog(ProtocolData());
    const QString after = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QString folder = QDir::currentPath() + QStringLiteral("/Errorlog/");
    QVERIFY(QFile::exists(folder + before + QStringLiteral(".log"))
            || QFile::exists(folder + after + QStringLiteral(".log")));
}

void TestWindowsPlatform::exportUnderWideNames_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("source");

    QTest::newRow("plain names") << QStringLiteral("out") << QStringLiteral("source.png");
    QTest::newRow("wide folder") << kWideFolder << QStringLiteral("source.png");
    QTest::newRow("wide source") << QStringLiteral("out") << kWideSource;
    QTest::newRow("both wide") << kWideFolder << kWideSource;
}

// The picture tool reads a source and writes its renditions under names that only
// the wide-character calls can spell.
void TestWindowsPlatform::exportUnderWideNames()
{
    QFETCH(QString, folder);
    QFETCH(QString, source);

    const QString directory = m_dir->filePath(folder);
    QVERIFY(QDir().mkpath(directory));
    const QString sourcePath = m_dir->filePath(source);
    QVERIFY(writeSolidImage(sourcePath, QSize(64, 48), Qt::red));
    QVERIFY(QFile::exists(sourcePath));

    const QVector<ExportItem> items{{ExportItem::Picture, 0, sourcePath}, {ExportItem::Logo, 0, sourcePath}};
    const ExportOutcome outcome = runExport(directory, items);
    QVERIFY(outcome.skipped.isEmpty());
    QCOMPARE(outcome.failure.status, RenditionResult::Written);
    QCOMPARE(outcome.handled, 2);

    QDir out(directory);
    QStringList written = out.entryList(QDir::Files, QDir::Name);
    QCOMPARE(written.size(), 3);
    for (const QString &name : written) {
        QImage image(out.filePath(name));
        QVERIFY2(!image.isNull(), qPrintable(name));
    }
    QVERIFY(nearColor(QImage(out.filePath(written.filter(QStringLiteral("1920x1080")).value(0))).pixel(10, 10),
                      Qt::red));
}

// A command answered at once goes out on the next 10 ms poll: 100 commands a
// second. Windows would round each poll up to a 15.6 ms tick unless the process
// asks for finer timers while the workers run.
void TestWindowsPlatform::sendWorkerKeepsItsPace()
{
    constexpr int kCommands = 60;
    DispatcherHost host;
    std::mutex mutex;
    std::vector<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    host.setDevice([&](const ProtocolData &sent) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            sentAt.push_back(clock.nsecsElapsed());
        }
        queueReply(replyTo(sent));
    });
    for (int i = 0; i < kCommands; ++i)
        queueCommand(DispatcherHost::command(0x10));
    host.startWorkers();
    QTRY_COMPARE_WITH_TIMEOUT(host.count(DispatcherHost::Reply), kCommands, kDeadline);
    host.stopWorkers();

    std::lock_guard<std::mutex> lock(mutex);
    QCOMPARE(int(sentAt.size()), kCommands);
    // The median gap between releases: a poll that a busy machine delays now and
    // then moves the mean, not the median.
    std::vector<qint64> gaps;
    for (size_t i = 1; i < sentAt.size(); ++i)
        gaps.push_back(sentAt[i] - sentAt[i - 1]);
    std::sort(gaps.begin(), gaps.end());
    const double medianMs = gaps[gaps.size() / 2] / 1e6;
    QVERIFY2(medianMs < 13.0, qPrintable(QStringLiteral("median gap %1 ms").arg(medianMs)));
}

QTEST_MAIN(TestWindowsPlatform)
#include "tst_windowsplatform.moc"
