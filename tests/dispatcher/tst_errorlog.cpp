#include "cmddealmodule.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

// The daily error log, written under a temporary current directory.
class TestErrorLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lineFormat_data();
    void lineFormat();
    void appendsToTheDaysFile();
    void uncreatableDirectoryIsSilent();
    void concurrentCallsWriteWholeLines();

private:
    QStringList logLines() const;

    QTemporaryDir *m_dir = nullptr;
    QString m_previousDir;
};

void TestErrorLog::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestErrorLog::cleanup()
{
    QDir::setCurrent(m_previousDir);
    delete m_dir;
    m_dir = nullptr;
}

QStringList TestErrorLog::logLines() const
{
    // Every file in the directory, so a test that straddles midnight still finds
    // its lines.
    QStringList lines;
    QDir dir(m_dir->path() + QStringLiteral("/Errorlog"));
    for (const QString &name : dir.entryList({QStringLiteral("*.log")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        const QString text = QString::fromLatin1(f.readAll());
        lines += text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    return lines;
}

void TestErrorLog::lineFormat_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("sub");
    QTest::addColumn<int>("p1");
    QTest::addColumn<int>("p2");
    QTest::addColumn<int>("p3");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("tail");
    QTest::newRow("example") << 0xE1 << 0x00 << 0x00 << 0x16 << 0x00 << QByteArray("\x0a\xff", 2)
                             << QStringLiteral("<e1 00 00 16 00>0aff");
    QTest::newRow("empty data ends at >") << 0x71 << 0x05 << 0x05 << 0x00 << 0x00 << QByteArray()
                                          << QStringLiteral("<71 05 05 00 00>");
    QTest::newRow("high bytes unsigned") << 0xFF << 0x80 << 0x7F << 0x10 << 0x01
                                         << QByteArray("\x80\xff\x00", 3)
                                         << QStringLiteral("<ff 80 7f 10 01>80ff00");
}

void TestErrorLog::lineFormat()
{
    QFETCH(int, cmd);
    QFETCH(int, sub);
    QFETCH(int, p1);
    QFETCH(int, p2);
    QFETCH(int, p3);
    QFETCH(QByteArray, data);
    QFETCH(QString, tail);

    ProtocolData record;
    record.byHead = 0xAA; // head, serial number and checksum are not logged
    record.bySN = 0xBB;
    record.byCmd = uchar(cmd);
    record.bySubCmd = uchar(sub);
    record.byParam1 = uchar(p1);
    record.byParam2 = uchar(p2);
    record.byParam3 = uchar(p3);
    record.byCheckSum = 0xCC;
    record.baData = data;

    const QString dayBefore = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    CmdDealModule module;
    module.writeErrorLog(record);
    const QString dayAfter = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    const QRegularExpression stamp(
        QStringLiteral("^\\[(\\d{4})-(\\d{2})-(\\d{2}) \\d{2}:\\d{2}:\\d{2} \\d{3}\\](.*)$"));
    const auto match = stamp.match(lines.first());
    QVERIFY2(match.hasMatch(), qPrintable(lines.first()));
    QCOMPARE(match.captured(4), tail);
    const QString dir = m_dir->path() + QStringLiteral("/Errorlog/");
    QVERIFY(QFile::exists(dir + dayBefore + QStringLiteral(".log"))
            || QFile::exists(dir + dayAfter + QStringLiteral(".log")));
}

void TestErrorLog::appendsToTheDaysFile()
{
    CmdDealModule module;
    ProtocolData record;
    record.byCmd = 0x01;
    module.writeErrorLog(record);
    record.byCmd = 0x02;
    module.writeErrorLog(record);

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(QStringLiteral("<01 00 00 00 00>")));
    QVERIFY(lines[1].endsWith(QStringLiteral("<02 00 00 00 00>")));
}

void TestErrorLog::uncreatableDirectoryIsSilent()
{
    // A plain file where the directory should be: neither mkdir nor open can work,
    // even for root.
    QFile blocker(m_dir->path() + QStringLiteral("/Errorlog"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    CmdDealModule module;
    ProtocolData record;
    record.baData = QByteArray(1000, 'x');
    module.writeErrorLog(record);
    QCOMPARE(QFileInfo(blocker.fileName()).size(), 0);
}

void TestErrorLog::concurrentCallsWriteWholeLines()
{
    constexpr int kThreads = 6;
    constexpr int kCalls = 150;
    CmdDealModule module;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&module, t] {
            ProtocolData record;
            record.byCmd = uchar(t);
            record.baData = QByteArray(300, char(0x10 + t));
            for (int i = 0; i < kCalls; ++i)
                module.writeErrorLog(record);
        });
    }
    for (auto &th : threads)
        th.join();

    const QStringList lines = logLines();
    QCOMPARE(lines.size(), kThreads * kCalls);
    const QRegularExpression whole(
        QStringLiteral("^\\[[^\\]]+\\]<0(\\d) 00 00 00 00>((?:1\\1){300})$"));
    for (const QString &line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
}

QTEST_GUILESS_MAIN(TestErrorLog)
#include "tst_errorlog.moc"
