#include "composerwidget.h"
#include "repeatsender.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

// Sending like a technician: one command repeated every interval, a bounded number
// of times, until the last or Stop, through the composer's fields and buttons.
class TestRepeatSender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repeats_data();
    void repeats();
    void composerRepeats_data();
    void composerRepeats();
};

void TestRepeatSender::initTestCase()
{
    // For the spies: a direct connection in the window needs no registration.
    qRegisterMetaType<PlannedCommand>();
}

void TestRepeatSender::repeats_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("sends");
    QTest::addColumn<int>("heldIntervalMs");

    QTest::newRow("once: at once, no timer") << 1000 << 1 << 1 << 1000;
    QTest::newRow("five every 20 ms") << 20 << 5 << 5 << 20;
    QTest::newRow("no count is once") << 20 << 0 << 1 << 20;
    QTest::newRow("a negative count is once") << 20 << -7 << 1 << 20;
    QTest::newRow("faster than the dispatcher polls is held to its poll") << 0 << 3 << 3
                                                                          << RepeatSender::kMinIntervalMs;
}

void TestRepeatSender::repeats()
{
    QFETCH(int, intervalMs);
    QFETCH(int, count);
    QFETCH(int, sends);
    QFETCH(int, heldIntervalMs);

    RepeatSender repeater;
    QSignalSpy sent(&repeater, &RepeatSender::sendRequested);
    QSignalSpy finished(&repeater, &RepeatSender::finished);
    QSignalSpy progressed(&repeater, &RepeatSender::progressed);
    PlannedCommand command;
    command.command.byCmd = 0x71;
    QElapsedTimer clock;
    clock.start();
    repeater.start(command, intervalMs, count);
    // The first goes as Send would send it, before start() returns.
    QCOMPARE(sent.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    // At least (sends - 1) intervals apart, however late a loaded machine fires.
    QVERIFY2(clock.elapsed() >= qint64(heldIntervalMs) * (sends - 1) - 1, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(sent.size(), sends);
    QCOMPARE(progressed.last().at(0).toInt(), sends);
    QCOMPARE(progressed.last().at(1).toInt(), sends);
    QCOMPARE(sent.last().first().value<PlannedCommand>().command.byCmd, quint8(0x71));
    QVERIFY(!repeater.isRunning());
    // Nothing more once done.
    QTest::qWait(3 * heldIntervalMs);
    QCOMPARE(sent.size(), sends);
}

// Through the composer's fields as a person fills them: the count and interval
// fields bound what can be asked, Repeat sends, Stop ends it, and a medium that
// goes away ends it too.
void TestRepeatSender::composerRepeats_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("end"); // "last", "Stop" or "medium gone"
    QTest::addColumn<int>("shownCount");

    QTest::newRow("three, to the last") << 3 << "last" << 3;
    QTest::newRow("beyond the bound, stopped") << RepeatSender::kMaxCount + 5 << "Stop" << RepeatSender::kMaxCount;
    QTest::newRow("the medium goes away") << 1000 << "medium gone" << 1000;
}

void TestRepeatSender::composerRepeats()
{
    QFETCH(int, count);
    QFETCH(QString, end);
    QFETCH(int, shownCount);

    ComposerWidget composer;
    composer.show();
    QSignalSpy sent(&composer, &ComposerWidget::sendRequested);
    CommandDraft draft;
    draft.cmd = QStringLiteral("71");
    draft.sub = QStringLiteral("00");
    composer.setDraft(draft);
    auto *interval = composer.findChild<QSpinBox *>(QStringLiteral("repeatInterval"));
    auto *times = composer.findChild<QSpinBox *>(QStringLiteral("repeatCount"));
    auto *repeat = composer.findChild<QPushButton *>(QStringLiteral("repeat"));
    auto *stop = composer.findChild<QPushButton *>(QStringLiteral("stopRepeat"));
    QVERIFY(interval && times && repeat && stop);
    interval->setValue(10);
    times->setValue(count);
    QCOMPARE(times->value(), shownCount);
    QVERIFY(repeat->isEnabled());
    QVERIFY(!stop->isEnabled());

    QTest::mouseClick(repeat, Qt::LeftButton);
    QVERIFY(composer.isRepeating());
    QVERIFY(!repeat->isEnabled());
    QVERIFY(stop->isEnabled());
    QCOMPARE(sent.size(), 1);
    // What was repeated is in the history once, as a sent command is.
    QCOMPARE(composer.history().size(), 1);
    if (end == QLatin1String("last")) {
        QTRY_VERIFY_WITH_TIMEOUT(!composer.isRepeating(), 20000);
        QCOMPARE(sent.size(), count);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(sent.size() >= 3, 20000);
        if (end == QLatin1String("Stop"))
            QTest::mouseClick(stop, Qt::LeftButton);
        else
            composer.setCanSend(false);
        QVERIFY(!composer.isRepeating());
        const int atEnd = sent.size();
        QTest::qWait(100);
        QCOMPARE(sent.size(), atEnd);
    }
    QVERIFY(!stop->isEnabled());
    QCOMPARE(repeat->isEnabled(), end != QLatin1String("medium gone"));
    for (const QList<QVariant> &args : sent)
        QCOMPARE(args.first().value<PlannedCommand>().command.byCmd, quint8(0x71));
}

QTEST_MAIN(TestRepeatSender)
#include "tst_repeatsender.moc"
