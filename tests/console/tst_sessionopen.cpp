#include "consolewindow.h"
#include "eventjson.h"
#include "openprogress.h"
#include "sessionfile.h"
#include "testevents.h"
#include "trafficmodel.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// A saved session opened from the File menu is read on a thread of its own: the
// window keeps turning and shows how far the read has come, Cancel leaves it as it
// was, and what stops a read is still said.
class TestSessionOpen : public QObject
{
    Q_OBJECT

private slots:
    void progressShown_data();
    void progressShown();
    void readStopsWhenTold_data();
    void readStopsWhenTold();
    void openedInBackground_data();
    void openedInBackground();
};

namespace {

// A window whose errors are kept rather than shown in a box no one closes.
class RecordingWindow : public ConsoleWindow
{
public:
    QStringList errors;

protected:
    void showError(const QString &text) override { errors << text; }
    Unsaved askToSave() override { return Unsaved::Discard; }
};

// A session of commands and their replies, lines lines long after its "open" line.
QByteArray sessionText(int lines)
{
    QByteArray text = EventJson::line(EventJson::openObject(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000")));
    for (int i = 0; i < lines; ++i) {
        const ProtocolData command = TestEvents::record(quint8(i), 0x71, 0x00);
        text += EventJson::line(i % 2 == 0 ? EventJson::toJson(TestEvents::send(i * 5, command))
                                           : EventJson::toJson(TestEvents::reply(i * 5, command, 2.0)));
    }
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes, int times = 1)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < times; ++i) {
        if (file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

} // namespace

void TestSessionOpen::progressShown_data()
{
    QTest::addColumn<qint64>("bytesRead");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << qint64(0) << qint64(110000000) << 0 << "Reading s.jsonl: 0.0 of 110.0 MB";
    QTest::newRow("a third") << qint64(36700000) << qint64(110000000) << 333 << "Reading s.jsonl: 36.7 of 110.0 MB";
    QTest::newRow("past 2 GB") << qint64(3000000000) << qint64(4000000000) << 750
                               << "Reading s.jsonl: 3000.0 of 4000.0 MB";
    QTest::newRow("grew while read") << qint64(1200) << qint64(1000) << 1000 << "Reading s.jsonl: 0.0 of 0.0 MB";
    QTest::newRow("an empty file") << qint64(0) << qint64(0) << 1000 << "Reading s.jsonl: 0.0 of 0.0 MB";
}

void TestSessionOpen::progressShown()
{
    QFETCH(qint64, bytesRead);
    QFETCH(qint64, size);
    QFETCH(int, step);
    QFETCH(QString, text);
    QCOMPARE(OpenProgress::step(bytesRead, size), step);
    QCOMPARE(OpenProgress::text(QStringLiteral("s.jsonl"), bytesRead, size), text);
}

void TestSessionOpen::readStopsWhenTold_data()
{
    QTest::addColumn<int>("stopAt"); // the call of progress that says stop; 0: none
    QTest::newRow("read to the end") << 0;
    QTest::newRow("stopped at once") << 1;
    QTest::newRow("stopped later") << 4;
}

void TestSessionOpen::readStopsWhenTold()
{
    QFETCH(int, stopAt);
    const int lines = 4000;
    QBuffer in;
    in.setData(sessionText(lines));
    QVERIFY(in.open(QIODevice::ReadOnly));
    SessionContents contents;
    QString error = QStringLiteral("untouched");
    QList<qint64> told;
    const bool read = SessionFile::read(&in, &contents, &error, [&](qint64 bytesRead) {
        told << bytesRead;
        return told.size() != stopAt;
    });
    QCOMPARE(read, stopAt == 0);
    if (stopAt == 0) {
        QCOMPARE(contents.events.size(), lines);
        QCOMPARE(told.last(), in.size());
        QCOMPARE(error, QStringLiteral("untouched"));
    } else {
        // Stopped where it was told, not at the end, and no failure said.
        QCOMPARE(told.size(), stopAt);
        QVERIFY(error.isEmpty());
        QVERIFY(told.last() < in.size());
        QVERIFY(told.last() >= SessionFile::kProgressStep * stopAt);
        QVERIFY2(contents.lines * 2 < lines, qPrintable(QString::number(contents.lines)));
    }
    for (int i = 1; i < told.size(); ++i)
        QVERIFY(told.at(i) > told.at(i - 1));
}

void TestSessionOpen::openedInBackground_data()
{
    QTest::addColumn<QString>("file");      // "large", "missing" or "folder"
    QTest::addColumn<QString>("then");      // as soon as the dialog is there: "cancel", "close" the window
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("error");     // part of the error shown; empty: none
    QTest::newRow("read whole") << "large" << "" << true << "";
    QTest::newRow("cancelled") << "large" << "cancel" << false << "";
    QTest::newRow("window closed meanwhile") << "large" << "close" << false << "";
    QTest::newRow("no such file") << "missing" << "" << false << "Cannot open";
    QTest::newRow("a folder") << "folder" << "" << false << "not a regular file";
}

void TestSessionOpen::openedInBackground()
{
    QFETCH(QString, file);
    QFETCH(QString, then);
    QFETCH(bool, shown);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(file);
    // Repeated so that its read takes a while: about 25 MB.
    const int lines = 2000;
    const int times = 100;
    if (file == QLatin1String("large"))
        QVERIFY(writeFile(path, sessionText(lines), times));
    else if (file == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));

    RecordingWindow window;
    window.setWindowTitle(QStringLiteral("before"));
    const ProtocolData command = TestEvents::record(1, 0x71, 0x00);
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(10, command)));
    window.addEvent(ConsoleEvent::fromHost(TestEvents::reply(15, command, 5.0)));
    window.show();
    QTRY_COMPARE(window.traffic()->rowCount(), 2);

    // The window's own timer, which turns only while its event loop does.
    int ticks = 0;
    QTimer ticker(&window);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start();
    int largestStep = 0;
    bool rowsChangedMidway = false;
    QSignalSpy ended(&window, &ConsoleWindow::sessionOpenEnded);

    window.openSessionInBackground(path);
    auto *progress = window.findChild<QProgressDialog *>(QStringLiteral("openProgress"));
    if (file == QLatin1String("large")) {
        QVERIFY(progress);
        QCOMPARE(progress->maximum(), OpenProgress::kSteps);
        QVERIFY2(progress->labelText().startsWith(QStringLiteral("Reading large: 0.0 of ")),
                 qPrintable(progress->labelText()));
        if (then == QLatin1String("cancel")) {
            auto *button = progress->findChild<QPushButton *>();
            QVERIFY(button);
            button->click();
        } else if (then == QLatin1String("close")) {
            QVERIFY(window.close());
        } else {
            auto *bar = progress->findChild<QProgressBar *>();
            QVERIFY(bar);
            QObject::connect(bar, &QProgressBar::valueChanged, [&](int step) {
                largestStep = std::max(largestStep, step);
                rowsChangedMidway = rowsChangedMidway || window.traffic()->rowCount() != 2;
            });
        }
    }
    QVERIFY(ended.count() == 1 || ended.wait(60000));
    QCOMPARE(ended.first().first().toBool(), shown);
    QVERIFY(!window.findChild<QProgressDialog *>(QStringLiteral("openProgress")));
    if (error.isEmpty()) {
        QVERIFY2(window.errors.isEmpty(), qPrintable(window.errors.join(QLatin1Char('\n'))));
    } else {
        QCOMPARE(window.errors.size(), 1);
        QVERIFY2(window.errors.first().contains(error), qPrintable(window.errors.first()));
    }
    window.traffic()->flush();
    if (shown) {
        // The newest events, bounded as the live traffic is; the loop turned while
        // the file was read and the bar moved, the table only at the end.
        QCOMPARE(window.traffic()->rowCount(), TrafficBuffer::kDefaultCapacity);
        QVERIFY2(window.windowTitle().endsWith(QStringLiteral("large")), qPrintable(window.windowTitle()));
        QVERIFY2(ticks > 0, "the window's timer never fired during the read");
        QVERIFY2(largestStep > 0, "no progress shown");
        QVERIFY(!rowsChangedMidway);
    } else {
        QCOMPARE(window.traffic()->rowCount(), 2);
        QCOMPARE(window.windowTitle(), QStringLiteral("before"));
        QCOMPARE(window.counters().answered, qint64(1));
    }
}

QTEST_MAIN(TestSessionOpen)
#include "tst_sessionopen.moc"
