#include "sessionlink.h"

#include <QtTest>

// The mailbox from the session's thread to the window's: a flood waits in bounded
// memory and loses its oldest events, counted; each notice knows the events posted
// before it; only the first post after a take wakes the window.
class TestSessionLink : public QObject
{
    Q_OBJECT

private slots:
    void mail_data();
    void mail();
};

void TestSessionLink::mail_data()
{
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("noticeAfter"); // events posted before the one notice; -1: none
    QTest::addColumn<int>("lost");

    const int bound = SessionLink::kMaxWaitingEvents;
    QTest::newRow("a few, a notice between") << 10 << 4 << 0;
    QTest::newRow("exactly the bound") << bound << bound << 0;
    QTest::newRow("a flood past the bound") << bound + 250 << -1 << 250;
    QTest::newRow("a flood, the notice among the lost") << bound + 250 << 100 << 250;
}

void TestSessionLink::mail()
{
    QFETCH(int, events);
    QFETCH(int, noticeAfter);
    QFETCH(int, lost);

    SessionLink link;
    int wakes = 0;
    for (int i = 0; i < events; ++i) {
        if (i == noticeAfter)
            wakes += link.post(SessionNotice()) ? 1 : 0;
        ConsoleEvent e;
        e.host.timeMs = i;
        wakes += link.post(e) ? 1 : 0;
    }
    if (noticeAfter == events)
        wakes += link.post(SessionNotice()) ? 1 : 0;
    QCOMPARE(wakes, 1);

    SessionLink::Mail mail = link.takeMail();
    QCOMPARE(mail.lost, qint64(lost));
    QCOMPARE(mail.events.size(), events - lost);
    // The newest are kept, in order, numbered among all ever posted.
    QCOMPARE(mail.firstEvent, quint64(lost));
    QCOMPARE(mail.events.first().host.timeMs, qint64(lost));
    QCOMPARE(mail.events.last().host.timeMs, qint64(events - 1));
    QCOMPARE(int(mail.notices.size()), noticeAfter < 0 ? 0 : 1);
    if (noticeAfter >= 0)
        QCOMPARE(mail.notices.front().afterEvents, quint64(noticeAfter));

    // Taken, the next post wakes the window again; nothing is lost twice.
    QVERIFY(link.post(ConsoleEvent()));
    mail = link.takeMail();
    QCOMPARE(mail.lost, qint64(0));
    QCOMPARE(mail.firstEvent, quint64(events));
}

QTEST_MAIN(TestSessionLink)
#include "tst_sessionlink.moc"
