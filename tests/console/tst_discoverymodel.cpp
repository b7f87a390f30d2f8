#include "consolewindow.h"
#include "discoverymodel.h"
#include "testevents.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QSortFilterProxyModel>
#include <QtTest>

// The devices found by a broadcast: one row per address, the latest answer in it.
class TestDiscoveryModel : public QObject
{
    Q_OBJECT

private slots:
    void oneRowPerAddress_data();
    void oneRowPerAddress();
    void bounded();
    void sortsByValue_data();
    void sortsByValue();
    void chosenRowIsTheOneShown();
};

namespace {

HostEvent answer(const QString &address, unsigned char p1, double roundTripMs)
{
    ProtocolData r = TestEvents::record(1, 0x71, 0x00);
    r.byParam1 = p1;
    r.strSource = address;
    return TestEvents::reply(0, r, roundTripMs);
}

} // namespace

void TestDiscoveryModel::oneRowPerAddress_data()
{
    QTest::addColumn<QStringList>("answers");   // "address p1", in order of arrival
    QTest::addColumn<QStringList>("rows");      // "address p1 answers"
    QTest::addColumn<int>("insertions");

    QTest::newRow("one device") << QStringList{"10.0.0.7 1"} << QStringList{"10.0.0.7 01 1"} << 1;
    QTest::newRow("three devices in order of answer")
        << QStringList{"10.0.0.9 1", "10.0.0.7 2", "10.0.0.8 3"}
        << QStringList{"10.0.0.9 01 1", "10.0.0.7 02 1", "10.0.0.8 03 1"} << 3;
    QTest::newRow("a device answering again keeps its row, with the latest answer")
        << QStringList{"10.0.0.7 1", "10.0.0.8 2", "10.0.0.7 5"}
        << QStringList{"10.0.0.7 05 2", "10.0.0.8 02 1"} << 2;
    QTest::newRow("a reply from no address is no device") << QStringList{" 1", "10.0.0.7 1"}
                                                          << QStringList{"10.0.0.7 01 1"} << 1;
}

void TestDiscoveryModel::oneRowPerAddress()
{
    QFETCH(QStringList, answers);
    QFETCH(QStringList, rows);
    QFETCH(int, insertions);

    DiscoveryModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (const QString &a : answers)
        model.addAnswer(answer(a.section(QLatin1Char(' '), 0, 0), quint8(a.section(QLatin1Char(' '), 1).toInt()), 3.5));

    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString reply = model.index(row, DiscoveryModel::ReplyColumn).data().toString();
        shown << QStringLiteral("%1 %2 %3")
                     .arg(model.addressAt(row), reply.section(QStringLiteral("p1="), 1).left(2))
                     .arg(model.index(row, DiscoveryModel::AnswersColumn).data().toInt());
    }
    QCOMPARE(shown, rows);
    QCOMPARE(inserted.count(), insertions);
    QCOMPARE(model.index(0, DiscoveryModel::RoundTripColumn).data().toString(), QStringLiteral("3.50 ms"));
}

void TestDiscoveryModel::bounded()
{
    DiscoveryModel model;
    for (int i = 0; i < DiscoveryModel::kMaxDevices + 5; ++i)
        model.addAnswer(answer(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256), 1, 1));
    // A device already listed still updates.
    model.addAnswer(answer(QStringLiteral("10.1.0.0"), 9, 1));
    QCOMPARE(model.rowCount(), DiscoveryModel::kMaxDevices);
    QCOMPARE(model.ignoredAnswers(), qint64(5));
    QCOMPARE(model.index(0, DiscoveryModel::AnswersColumn).data().toInt(), 2);
}

// The devices' table sorted by any column through a sorting proxy, as the window
// shows it: addresses and numbers by value, not as text; the reply's fields whole;
// each device's last answer's wall-clock time.
void TestDiscoveryModel::sortsByValue_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("order"); // addresses, ascending

    QTest::newRow("address: .9 before .10") << int(DiscoveryModel::AddressColumn)
                                            << QStringList{"10.0.0.9", "10.0.0.10", "10.0.1.2"};
    QTest::newRow("reply, by its bytes") << int(DiscoveryModel::ReplyColumn)
                                         << QStringList{"10.0.0.9", "10.0.1.2", "10.0.0.10"};
    QTest::newRow("round trip: 9 ms before 10 ms") << int(DiscoveryModel::RoundTripColumn)
                                                   << QStringList{"10.0.0.10", "10.0.1.2", "10.0.0.9"};
    QTest::newRow("answers") << int(DiscoveryModel::AnswersColumn)
                             << QStringList{"10.0.0.9", "10.0.1.2", "10.0.0.10"};
    QTest::newRow("last seen") << int(DiscoveryModel::LastSeenColumn)
                               << QStringList{"10.0.1.2", "10.0.0.9", "10.0.0.10"};
}

void TestDiscoveryModel::sortsByValue()
{
    QFETCH(int, column);
    QFETCH(QStringList, order);

    DiscoveryModel model;
    const QDateTime noon(QDate(2026, 3, 1), QTime(12, 0));
    // address, p1, round trip, answers, seconds after noon of the last
    model.addAnswerSeen(answer(QStringLiteral("10.0.0.10"), 0x20, 9), noon.addSecs(50));
    model.addAnswerSeen(answer(QStringLiteral("10.0.0.10"), 0x20, 9), noon.addSecs(60));
    model.addAnswerSeen(answer(QStringLiteral("10.0.0.10"), 0x20, 9), noon.addSecs(70));
    model.addAnswerSeen(answer(QStringLiteral("10.0.0.9"), 0x03, 10), noon.addSecs(40));
    model.addAnswerSeen(answer(QStringLiteral("10.0.1.2"), 0x11, 9.5), noon.addSecs(30));
    model.addAnswerSeen(answer(QStringLiteral("10.0.1.2"), 0x11, 9.5), noon.addSecs(30));

    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setSortRole(DiscoveryModel::SortRole);
    sorted.sort(column, Qt::AscendingOrder);
    QStringList shown;
    for (int row = 0; row < sorted.rowCount(); ++row)
        shown << model.addressAt(sorted.mapToSource(sorted.index(row, 0)).row());
    QCOMPARE(shown, order);
    std::reverse(order.begin(), order.end());
    sorted.sort(column, Qt::DescendingOrder);
    shown.clear();
    for (int row = 0; row < sorted.rowCount(); ++row)
        shown << model.addressAt(sorted.mapToSource(sorted.index(row, 0)).row());
    QCOMPARE(shown, order);

    // The reply whole, the block's length, and when it came.
    const int first = model.rowCount() - 1; // 10.0.1.2, in order of arrival
    QCOMPARE(model.index(first, DiscoveryModel::ReplyColumn).data().toString(),
             QStringLiteral("71/00 p1=11 p2=00 p3=00"));
    QCOMPARE(model.index(first, DiscoveryModel::LastSeenColumn).data().toString(), QStringLiteral("12:00:30.000"));
    QCOMPARE(model.headerData(DiscoveryModel::LastSeenColumn, Qt::Horizontal).toString(), QStringLiteral("Last seen"));
}

// The window's table of devices, sorted by a click on a header: choosing a row
// chooses the device that row shows, not the one at that place unsorted.
void TestDiscoveryModel::chosenRowIsTheOneShown()
{
    ConsoleWindow window;
    window.show();
    // Loopback addresses: choosing one opens a socket towards it, nothing is sent.
    window.devices()->addAnswer(answer(QStringLiteral("127.0.0.10"), 1, 1));
    window.devices()->addAnswer(answer(QStringLiteral("127.0.0.9"), 2, 3));
    window.devices()->addAnswer(answer(QStringLiteral("127.0.0.11"), 3, 2));
    auto *view = window.findChild<QTableView *>(QStringLiteral("devices"));
    QVERIFY(view);
    // Its tab in front, as after a broadcast.
    auto *tabs = qobject_cast<QTabWidget *>(view->parentWidget()->parentWidget());
    QVERIFY(tabs);
    tabs->setCurrentWidget(view);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy chosen(&window, &ConsoleWindow::deviceChosen);
    // Sorted by address at first, by value.
    view->activated(view->model()->index(0, 0));
    QCOMPARE(chosen.last().first().toString(), QStringLiteral("127.0.0.9"));
    // Sorted by round trip, as a click on its header does: the fastest first.
    view->sortByColumn(DiscoveryModel::RoundTripColumn, Qt::AscendingOrder);
    QCOMPARE(view->horizontalHeader()->sortIndicatorSection(), int(DiscoveryModel::RoundTripColumn));
    view->activated(view->model()->index(0, 0));
    QCOMPARE(chosen.last().first().toString(), QStringLiteral("127.0.0.10"));
    // A device answering again moves to its place.
    window.devices()->addAnswer(answer(QStringLiteral("127.0.0.9"), 2, 0.5));
    view->activated(view->model()->index(0, 0));
    QCOMPARE(chosen.last().first().toString(), QStringLiteral("127.0.0.9"));
    // Nothing of a row is cut: every column is as wide as what it shows.
    for (int column = 0; column + 1 < DiscoveryModel::ColumnCount; ++column) {
        const QString text = view->model()->index(0, column).data().toString();
        QVERIFY2(view->columnWidth(column) > view->fontMetrics().horizontalAdvance(text), qPrintable(text));
    }
}

QTEST_MAIN(TestDiscoveryModel)
#include "tst_discoverymodel.moc"
