#include "cmddealmodule.h"

#include <QtTest>

// The reply plausibility table, probed at the edges of every rule.
class TestReplyRules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void combineTwoByte_data();
    void combineTwoByte();
    void checkRecvDataLogsRejection();
    void hugeBlockIsJudgedBySize();
};

void TestReplyRules::rules_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("sub");
    QTest::addColumn<int>("p1");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("p3");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("accepted");
    // len < 256 is carried in p2 alone; p3 column only for rows that judge p3.
    auto row = [](const char *name, int cmd, int sub, int p1, int len, int size, bool ok) {
        QTest::newRow(name) << cmd << sub << p1 << len << -1 << size << ok;
    };
    auto rowP3 = [](const char *name, int cmd, int sub, int p1, int p3, bool ok) {
        QTest::newRow(name) << cmd << sub << p1 << 0 << p3 << 0 << ok;
    };

    row("no row: 42", 0x42, 0x00, 255, 0, 0, true);
    row("71/00 p2 0", 0x71, 0x00, 0, 0, 0, false);
    row("71/00 p2 1", 0x71, 0x00, 0, 1, 0, true);
    row("71/01 p2 10", 0x71, 0x01, 31, 10, 0, true);
    row("71/03 p2 11", 0x71, 0x03, 0, 11, 0, false);
    row("71/03 p1 32", 0x71, 0x03, 32, 5, 0, false);
    row("71/05 p1 31", 0x71, 0x05, 31, 0, 0, true);
    row("71/0D p1 32", 0x71, 0x0D, 32, 0, 0, false);
    row("71/02 no row", 0x71, 0x02, 255, 0, 0, true);
    row("76 p1 31", 0x76, 0x00, 31, 0, 0, true);
    row("76 p1 32", 0x76, 0x55, 32, 0, 0, false);
    row("76 p1 33", 0x76, 0x00, 33, 0, 0, false);
    row("76 p1 35", 0x76, 0xFF, 35, 0, 0, false);
    row("76 p1 36", 0x76, 0x00, 36, 0, 0, true);
    row("77/21 p1 32", 0x77, 0x21, 32, 0, 0, false);
    row("77/22 no row", 0x77, 0x22, 255, 0, 0, true);
    row("77/25 p1 32", 0x77, 0x25, 32, 0, 0, false);
    row("77/26 no row", 0x77, 0x26, 255, 0, 0, true);
    row("77/33 p1 32", 0x77, 0x33, 32, 0, 0, false);
    row("77/34 no row", 0x77, 0x34, 255, 0, 0, true);
    row("77/40 p1 31", 0x77, 0x40, 31, 0, 0, true);
    row("77/43 p1 32", 0x77, 0x43, 32, 0, 0, false);
    row("77/44 no row", 0x77, 0x44, 255, 0, 0, true);
    row("7D/01 p1 32", 0x7D, 0x01, 32, 0, 0, false);
    row("7D/02 no row", 0x7D, 0x02, 255, 0, 0, true);
    row("86/00 p1 31", 0x86, 0x00, 31, 0, 0, true);
    row("86/0F p1 254", 0x86, 0x0F, 254, 0, 0, false);
    row("86/0F p1 255", 0x86, 0x0F, 255, 0, 0, true);
    row("86/10 no row", 0x86, 0x10, 100, 0, 0, true);
    row("86/15 p1 32", 0x86, 0x15, 32, 0, 0, false);
    row("8E/27 len 5 size 5", 0x8E, 0x27, 0, 5, 5, true);
    row("8E/27 len 5 size 4", 0x8E, 0x27, 0, 5, 4, false);
    row("8E/27 len 6 size 6", 0x8E, 0x27, 0, 6, 6, false);
    row("8E/26 no row", 0x8E, 0x26, 0, 6, 0, true);
    row("A1/11 no row", 0xA1, 0x11, 255, 0, 0, true);
    row("A1/12 p1 16", 0xA1, 0x12, 16, 0, 0, false);
    row("A1/14 p1 255", 0xA1, 0x14, 255, 0, 0, true);
    row("A1/14 p1 16", 0xA1, 0x14, 16, 0, 0, false);
    row("A1/16 no row", 0xA1, 0x16, 255, 0, 0, true);
    row("A1/18 p1 17", 0xA1, 0x18, 17, 0, 0, true);
    row("A1/19 p1 18", 0xA1, 0x19, 18, 0, 0, false);
    row("A1/23 p1 16", 0xA1, 0x23, 16, 0, 0, false);
    rowP3("A1/28 p3 16 p1 0", 0xA1, 0x28, 0, 16, false);
    rowP3("A1/29 p3 15 p1 255", 0xA1, 0x29, 255, 15, true);
    row("A1/2A no row", 0xA1, 0x2A, 255, 0, 0, true);
    row("A3/09 p1 8", 0xA3, 0x09, 8, 0, 0, false);
    row("A3/0B p1 7", 0xA3, 0x0B, 7, 0, 0, true);
    row("A3/0A no row", 0xA3, 0x0A, 255, 0, 0, true);
    row("DD/80 p1 32", 0xDD, 0x80, 32, 0, 0, false);
    row("DD/81 no row", 0xDD, 0x81, 32, 0, 0, true);
    row("E0/01 p1 63", 0xE0, 0x01, 63, 0, 0, true);
    row("E0/01 p1 64", 0xE0, 0x01, 64, 0, 0, false);
    row("E0/1A p1 16", 0xE0, 0x1A, 16, 0, 0, false);
    row("E0/11 p1 32", 0xE0, 0x11, 32, 0, 0, false);
    row("E0/1B no row", 0xE0, 0x1B, 255, 0, 0, true);
    row("E1/00 exact", 0xE1, 0x00, 63, 22, 22, true);
    row("E1/00 p1 64", 0xE1, 0x00, 64, 22, 22, false);
    row("E1/00 size 21", 0xE1, 0x00, 0, 22, 21, false);
    row("E1/00 len 23", 0xE1, 0x00, 0, 23, 23, false);
    row("E1/01 no row", 0xE1, 0x01, 255, 0, 0, true);
    row("E1/03 len 65", 0xE1, 0x03, 255, 65, 65, true);
    row("E1/04 len 33 size 33", 0xE1, 0x04, 0, 33, 33, true);
    row("E1/04 len 32", 0xE1, 0x04, 0, 32, 40, false);
    row("E1/04 size 32", 0xE1, 0x04, 0, 40, 32, false);
    row("E1/05 len 289 empty", 0xE1, 0x05, 0, 289, 0, true);
    row("E1/05 len 257 size 256", 0xE1, 0x05, 0, 257, 256, false);
    row("E1/05 len 257 size 257", 0xE1, 0x05, 0, 257, 257, true);
    row("E1/06 len 23 size 22", 0xE1, 0x06, 0, 23, 22, true);
    row("E1/06 len 24", 0xE1, 0x06, 0, 24, 24, false);
    row("E1/06 p1 64", 0xE1, 0x06, 64, 22, 22, false);
    row("E1/07 len 11", 0xE1, 0x07, 0, 11, 11, true);
    row("E1/08 len 1457 empty", 0xE1, 0x08, 15, 1457, 0, true);
    row("E1/08 len 1362 size 1361", 0xE1, 0x08, 0, 1362, 1361, false);
    row("E1/08 len 1362 size 1362", 0xE1, 0x08, 0, 1362, 1362, true);
    row("E1/08 p1 16", 0xE1, 0x08, 16, 1457, 0, false);
    row("E1/09 len 30", 0xE1, 0x09, 0, 30, 30, true);
    row("E1/09 len 34 size 33", 0xE1, 0x09, 0, 34, 33, false);
    row("E1/09 len 31", 0xE1, 0x09, 0, 31, 31, false);
    row("E1/0A p1 8", 0xE1, 0x0A, 8, 29, 29, false);
    row("E1/0B p1 31", 0xE1, 0x0B, 31, 11, 11, true);
    row("E1/0C p1 32", 0xE1, 0x0C, 32, 0, 0, false);
    row("E1/0D len 33", 0xE1, 0x0D, 255, 33, 33, true);
    row("E1/0E len 10 size 9", 0xE1, 0x0E, 0, 10, 9, false);
    row("E1/0F p1 255", 0xE1, 0x0F, 255, 28, 28, true);
    row("E1/0F p1 254", 0xE1, 0x0F, 254, 28, 28, false);
    row("E1/10 no row", 0xE1, 0x10, 255, 0, 0, true);
    row("E1/11 p1 32", 0xE1, 0x11, 32, 17, 17, false);
    row("E1/12 len 17", 0xE1, 0x12, 255, 17, 17, true);
    row("E1/13 no row", 0xE1, 0x13, 255, 0, 0, true);
    row("E1/14 len 32", 0xE1, 0x14, 0, 32, 33, false);
    row("E1/16 len 257", 0xE1, 0x16, 0, 257, 300, true);
    row("E1/17 p1 16", 0xE1, 0x17, 16, 65, 65, false);
    row("E1/18 len 15 empty", 0xE1, 0x18, 7, 15, 0, true);
    row("E1/18 len 25 p1 8", 0xE1, 0x18, 8, 25, 0, false);
    row("E1/18 len 28 size 27", 0xE1, 0x18, 0, 28, 27, false);
    row("E1/19 len 8", 0xE1, 0x19, 31, 8, 8, true);
    row("E1/1A p1 15", 0xE1, 0x1A, 15, 65, 65, true);
    row("E1/1B no row", 0xE1, 0x1B, 255, 0, 0, true);
}

void TestReplyRules::rules()
{
    QFETCH(int, cmd);
    QFETCH(int, sub);
    QFETCH(int, p1);
    QFETCH(int, len);
    QFETCH(int, p3);
    QFETCH(int, size);
    QFETCH(bool, accepted);

    ProtocolData reply;
    reply.byCmd = static_cast<unsigned char>(cmd);
    reply.bySubCmd = static_cast<unsigned char>(sub);
    reply.byParam1 = static_cast<unsigned char>(p1);
    reply.byParam2 = static_cast<unsigned char>(len & 0xFF);
    reply.byParam3 = static_cast<unsigned char>(p3 >= 0 ? p3 : len >> 8);
    reply.baData = QByteArray(size, '\x01');

    CmdDealModule module;
    QCOMPARE(module.__checkRecvData(reply), accepted);
}

void TestReplyRules::combineTwoByte_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("value");
    QTest::newRow("22") << 0x16 << 0x00 << 22;
    QTest::newRow("1362") << 0x52 << 0x05 << 1362;
    QTest::newRow("max") << 0xFF << 0xFF << 65535;
}

void TestReplyRules::combineTwoByte()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, value);
    CmdDealModule module;
    QCOMPARE(int(module.combineTwoByte(uchar(low), uchar(high))), value);
}

void TestReplyRules::checkRecvDataLogsRejection()
{
    CmdDealModule module;
    ProtocolData reply;
    reply.byCmd = 0x76;
    reply.byParam1 = 33;
    QTest::ignoreMessage(QtDebugMsg, "==============checkRecvData: false");
    QVERIFY(!module.checkRecvData(reply));

    reply.byParam1 = 36;
    QVERIFY(module.checkRecvData(reply));
}

void TestReplyRules::hugeBlockIsJudgedBySize()
{
    CmdDealModule module;
    ProtocolData reply;
    reply.byCmd = 0xE1;
    reply.bySubCmd = 0x04;
    reply.byParam2 = 0xFF;
    reply.byParam3 = 0xFF;
    reply.baData = QByteArray(16 * 1024 * 1024, '\0');
    QVERIFY(module.checkRecvData(reply));
}

QTEST_GUILESS_MAIN(TestReplyRules)
#include "tst_replyrules.moc"
