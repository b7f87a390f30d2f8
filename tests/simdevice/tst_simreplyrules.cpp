#include "cmddealmodule.h"
#include "simdevice.h"
#include "simrecord.h"

#include <QtTest>

// The device's replies must pass the dispatcher's own plausibility rules, or a host
// would drop them: every command and sub-command that has a rule, plus a few that
// have none, answered by replyFor and judged by the real checker.
class TestSimReplyRules : public QObject
{
    Q_OBJECT

private slots:
    void replyPassesTheRules_data();
    void replyPassesTheRules();
    void refusedReplyFailsTheRules_data();
    void refusedReplyFailsTheRules();
};

void TestSimReplyRules::replyPassesTheRules_data()
{
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");

    struct Rows
    {
        quint8 cmd;
        QList<int> subs;
    };
    auto range = [](int first, int last) {
        QList<int> subs;
        for (int s = first; s <= last; ++s)
            subs.append(s);
        return subs;
    };
    const QList<Rows> table = {
        {0x71, {0x00, 0x01, 0x03, 0x05, 0x06, 0x09, 0x0C, 0x0D}},
        {0x76, {0x00, 0x21, 0xFF}},
        {0x77, QList<int>{0x21} + range(0x23, 0x25) + range(0x27, 0x33) + range(0x40, 0x43)},
        {0x79, {0x00, 0x10, 0xFF}},
        {0x7D, {0x00, 0x01}},
        {0x86, range(0x00, 0x0F) + QList<int>{0x14, 0x15}},
        {0x8E, {0x26, 0x27}},
        {0xA1, range(0x11, 0x2A)},
        {0xA3, {0x09, 0x0B}},
        {0xDD, {0x80}},
        {0xE0, {0x01, 0x08, 0x09, 0x11, 0x17, 0x1A, 0x1B}},
        {0xE1, range(0x00, 0x1B)},
        {0x42, {0x00}},
    };
    for (const Rows &row : table) {
        for (int sub : row.subs) {
            QTest::addRow("%02x/%02x", row.cmd, sub) << row.cmd << quint8(sub);
        }
    }
}

void TestSimReplyRules::replyPassesTheRules()
{
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);

    SimFrame command;
    command.head = 0x01;
    command.sn = 0x37;
    command.cmd = cmd;
    command.sub = sub;
    const SimFrame reply = SimDevice::replyFor(command);

    QCOMPARE(reply.head, command.head);
    QCOMPARE(reply.sn, command.sn);
    QCOMPARE(reply.cmd, cmd);
    QCOMPARE(reply.sub, sub);
    if (SimProfile::serial().carriesBlock(reply))
        QCOMPARE(reply.block.size(), int(reply.length()));
    else
        QVERIFY(reply.block.isEmpty());

    CmdDealModule checker;
    QVERIFY(checker.__checkRecvData(SimRecord::recordOf(reply)));
}

void TestSimReplyRules::refusedReplyFailsTheRules_data()
{
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");
    QTest::addColumn<bool>("refused"); // false: the check does not look at p1

    // One row of each bound the check puts on p1, and two where it puts none.
    QTest::newRow("71/05, at most 31") << quint8(0x71) << quint8(0x05) << true;
    QTest::newRow("76, not 32 to 35") << quint8(0x76) << quint8(0x01) << true;
    QTest::newRow("86/00, 31 or 255") << quint8(0x86) << quint8(0x00) << true;
    QTest::newRow("a1/14, 15 or 255") << quint8(0xA1) << quint8(0x14) << true;
    QTest::newRow("a3/09, at most 7") << quint8(0xA3) << quint8(0x09) << true;
    QTest::newRow("e0/01, at most 63") << quint8(0xE0) << quint8(0x01) << true;
    QTest::newRow("e1/00, at most 63, with its block") << quint8(0xE1) << quint8(0x00) << true;
    QTest::newRow("79, no row") << quint8(0x79) << quint8(0x01) << false;
    QTest::newRow("e1/03, length only") << quint8(0xE1) << quint8(0x03) << false;
}

void TestSimReplyRules::refusedReplyFailsTheRules()
{
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);
    QFETCH(bool, refused);

    SimDevice device;
    device.setFaultForAll(SimFault::RefusedByRules);
    SimFrame command;
    command.head = 0x01;
    command.sn = 0x21;
    command.cmd = cmd;
    command.sub = sub;
    device.feed(SimDevice::commandFrame(command));
    const QList<SimDevice::Exchange> taken = device.takeExchanges();
    QCOMPARE(taken.size(), 1);
    CmdDealModule checker;
    QCOMPARE(checker.__checkRecvData(SimRecord::recordOf(taken.first().reply)), !refused);
}

QTEST_GUILESS_MAIN(TestSimReplyRules)
#include "tst_simreplyrules.moc"
