#include "consolewindow.h"
#include "countersview.h"
#include "eventdetailview.h"
#include "framecodec.h"
#include "roundtripchart.h"
#include "testevents.h"
#include "trafficfilter.h"
#include "trafficmodel.h"

#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

// The window as a person uses it on a session's events: the table fills in
// batches, the counters and the chart follow, a selected row shows its frame and
// block, a filter narrows the rows, and the session saved and opened again shows
// the same.
class TestConsoleWindow : public QObject
{
    Q_OBJECT

private slots:
    void sessionShownSavedAndReopened();
};

namespace {

void select(ConsoleWindow &window, int sourceRow)
{
    const QModelIndex index = window.filter()->mapFromSource(window.traffic()->index(sourceRow, 0));
    window.trafficView()->setCurrentIndex(index);
}

} // namespace

void TestConsoleWindow::sessionShownSavedAndReopened()
{
    ConsoleWindow window;
    window.setSessionHeader(QStringLiteral("UDP"), QStringLiteral("127.0.0.1:5000"));
    window.show();
    const QList<ConsoleEvent> kinds = TestEvents::everyKind();
    for (const ConsoleEvent &e : kinds)
        window.addEvent(e);
    // A steady stream after them: 300 commands, each answered.
    for (int i = 0; i < 300; ++i) {
        const ProtocolData command = TestEvents::record(quint8(10 + i), 0x71, 0x00);
        window.addEvent(ConsoleEvent::fromHost(TestEvents::send(5000 + i * 10, command)));
        window.addEvent(ConsoleEvent::fromHost(TestEvents::reply(5005 + i * 10, command, 1.0 + i % 7)));
    }
    // And a block as long as a block can be.
    const ProtocolData large = TestEvents::record(50, 0xe0, 0x01, QByteArray(0xFFFF, '\x5a'));
    window.addEvent(ConsoleEvent::fromHost(TestEvents::send(9000, large)));
    const int total = kinds.size() + 601;
    QTRY_COMPARE_WITH_TIMEOUT(window.traffic()->rowCount(), total, 10000);
    QCOMPARE(window.countersView()->text(),
             QStringLiteral("sent 304, answered 301, dropped 1, resent 1, given up 1, send failed 1"));
    QCOMPARE(window.chart()->pointCount(), 301);

    select(window, 1);
    QVERIFY2(window.detail()->fieldsText().contains(QStringLiteral("from: 10.0.0.7")), qPrintable(window.detail()->fieldsText()));
    QCOMPARE(window.detail()->frameText(), QStringLiteral("header 01 01 e1 00 00 16 00 f9"));
    QVERIFY(window.detail()->blockText().startsWith(QStringLiteral("00000000  00 01 02 03")));
    select(window, 0);
    QCOMPARE(window.detail()->frameText(),
             QStringLiteral("frame  ") + QString::fromLatin1(kinds.at(0).host.bytes.left(FrameCodec::kTextFrameSize)));
    // Only so much of it is dumped.
    select(window, total - 1);
    QVERIFY(window.detail()->blockText().endsWith(QStringLiteral("|ZZZZZZZZZZZZZZZZ|\n... 49151 more bytes not shown\n")));
    select(window, kinds.size() - 1);
    QVERIFY(window.detail()->fieldsText().contains(QStringLiteral("Input/output error")));

    QVERIFY(window.filter()->setCommandFilter(QStringLiteral("43")));
    QCOMPARE(window.trafficView()->model()->rowCount(), 4);
    QVERIFY(window.filter()->setCommandFilter(QString()));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("session.jsonl"));
    QString error;
    QVERIFY2(window.saveSession(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("not a line of a session\n");
    file.close();

    ConsoleWindow reopened;
    QVERIFY2(reopened.openSession(path, &error), qPrintable(error));
    QCOMPARE(reopened.traffic()->rowCount(), total);
    QCOMPARE(reopened.countersView()->text(), window.countersView()->text());
    QCOMPARE(reopened.chart()->medianMs(), window.chart()->medianMs());
    QVERIFY2(reopened.statusText().contains(QStringLiteral("Lines not read: 1 (first: line %1").arg(total + 2)),
             qPrintable(reopened.statusText()));
    select(window, 1);
    const QString block = window.detail()->blockText();
    select(reopened, 1);
    QCOMPARE(reopened.detail()->blockText(), block);
    QVERIFY(!reopened.openSession(dir.filePath(QStringLiteral("none.jsonl")), &error));
    QVERIFY(error.contains(QStringLiteral("none.jsonl")));
}

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"
