#include "cmddealmodule.h"
#include "simdevice.h"

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

    ProtocolData record;
    record.byHead = reply.head;
    record.bySN = reply.sn;
    record.byCmd = reply.cmd;
    record.bySubCmd = reply.sub;
    record.byParam1 = reply.p1;
    record.byParam2 = reply.p2;
    record.byParam3 = reply.p3;
    record.byCheckSum = reply.checksum();
    record.baData = reply.block;
    CmdDealModule checker;
    QVERIFY(checker.__checkRecvData(record));
}

QTEST_GUILESS_MAIN(TestSimReplyRules)
#include "tst_simreplyrules.moc"
