#include "commanddraft.h"
#include "composerwidget.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

// The composer: the fields as hexadecimal, the block against p2/p3, and the
// command that leaves, made as a script line would make it.
class TestComposer : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void sendAndResend();
};

void TestComposer::check_data()
{
    QTest::addColumn<QStringList>("bytes"); // head, cmd, sub, p1, p2, p3
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");   // part of the error, or of the warning when ok
    QTest::addColumn<int>("blockLength");
    QTest::addColumn<QString>("command");   // cmd sub p1 p2 p3 of what leaves, when ok

    QTest::newRow("command alone, parameters 0") << QStringList{"01", "e1", "00", "", "", ""} << "" << true << ""
                                                 << 0 << "e1 00 00 00 00";
    QTest::newRow("0x and upper case") << QStringList{"0x01", "0xE1", "0X0a", "7", "", ""} << "" << true << "" << 0
                                       << "e1 0a 07 00 00";
    QTest::newRow("block as p2/p3 announce, spaced") << QStringList{"01", "e0", "01", "00", "04", "00"}
                                                    << "0a 0b\n0C 0d" << true << "" << 4 << "e0 01 00 04 00";
    QTest::newRow("block of 600 by repeat, p3 high") << QStringList{"01", "e0", "01", "00", "58", "02"} << "5a*600"
                                                    << true << "" << 600 << "e0 01 00 58 02";
    QTest::newRow("block longer than announced") << QStringList{"01", "e0", "01", "00", "03", "00"} << "0a0b0c0d"
                                                << false << "the block has 4 bytes but p2:p3 announce 3" << 4 << "";
    QTest::newRow("block shorter than announced") << QStringList{"01", "e0", "01", "00", "00", "01"} << "0x0a0b"
                                                 << false << "the block has 2 bytes but p2:p3 announce 256" << 2 << "";
    QTest::newRow("announced without a block: a warning") << QStringList{"01", "71", "00", "00", "01", "00"} << ""
                                                          << true << "announce a block of 1 bytes" << 0
                                                          << "71 00 00 01 00";
    QTest::newRow("odd digits") << QStringList{"01", "e0", "01", "00", "01", "00"} << "0a0" << false << "odd" << -1
                                << "";
    QTest::newRow("script words cannot ride in the block") << QStringList{"01", "e0", "01", "00", "01", "00"}
                                                           << "0a timeout=1" << false << "hexadecimal" << -1 << "";
    QTest::newRow("a comment cannot ride in a byte") << QStringList{"01", "e1", "0#", "", "", ""} << "" << false
                                                     << "sub-command \"0#\"" << -1 << "";
    QTest::newRow("three digits") << QStringList{"01", "1e1", "00", "", "", ""} << "" << false << "command \"1e1\""
                                  << -1 << "";
    QTest::newRow("no sub-command") << QStringList{"01", "e1", "", "", "", ""} << "" << false
                                    << "the sub-command is missing" << -1 << "";
    QTest::newRow("no head") << QStringList{"", "e1", "00", "", "", ""} << "" << false << "the head is missing" << -1
                             << "";
    QTest::newRow("block beyond 65,535 bytes") << QStringList{"01", "e0", "01", "00", "ff", "ff"} << "00*65536"
                                               << false << "65535" << -1 << "";
}

void TestComposer::check()
{
    QFETCH(QStringList, bytes);
    QFETCH(QString, block);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, blockLength);
    QFETCH(QString, command);

    CommandDraft draft;
    draft.head = bytes.at(0);
    draft.cmd = bytes.at(1);
    draft.sub = bytes.at(2);
    draft.p1 = bytes.at(3);
    draft.p2 = bytes.at(4);
    draft.p3 = bytes.at(5);
    draft.block = block;
    const CommandDraft::Check c = draft.check();
    QCOMPARE(c.ok, ok);
    QVERIFY2((ok ? c.warning : c.error).contains(message), qPrintable(ok ? c.warning : c.error));
    QCOMPARE(c.blockLength, blockLength);
    if (ok) {
        const ProtocolData &r = c.command.command;
        const QString fields = QStringLiteral("%1 %2 %3 %4 %5")
                                   .arg(r.byCmd, 2, 16, QLatin1Char('0'))
                                   .arg(r.bySubCmd, 2, 16, QLatin1Char('0'))
                                   .arg(r.byParam1, 2, 16, QLatin1Char('0'))
                                   .arg(r.byParam2, 2, 16, QLatin1Char('0'))
                                   .arg(r.byParam3, 2, 16, QLatin1Char('0'));
        QCOMPARE(fields, command);
        QCOMPARE(r.baData.size(), blockLength);
        QCOMPARE(r.byHead, static_cast<unsigned char>(0x01));
    }
}

void TestComposer::sendAndResend()
{
    ComposerWidget composer;
    QSignalSpy sent(&composer, &ComposerWidget::sendRequested);
    auto *send = composer.findChild<QPushButton *>(QStringLiteral("send"));
    QVERIFY(send);

    CommandDraft draft;
    draft.head = QStringLiteral("02");
    draft.cmd = QStringLiteral("e0");
    draft.sub = QStringLiteral("01");
    draft.p2 = QStringLiteral("03");
    draft.block = QStringLiteral("0a0b0c0d");
    draft.timeoutMs = 250;
    draft.broadcast = true;
    composer.setDraft(draft);
    // A mismatch stops the send.
    QVERIFY(!send->isEnabled());
    composer.send();
    QCOMPARE(sent.count(), 0);

    draft.p2 = QStringLiteral("04");
    composer.setDraft(draft);
    QVERIFY(send->isEnabled());
    send->click();
    QCOMPARE(sent.count(), 1);
    const PlannedCommand first = sent.at(0).at(0).value<PlannedCommand>();
    QCOMPARE(first.command.byHead, static_cast<unsigned char>(0x02));
    QCOMPARE(first.command.bySendMode, static_cast<unsigned char>(1));
    QCOMPARE(first.command.iTimeoutMs, 250);
    QCOMPARE(first.command.baData, QByteArray::fromHex("0a0b0c0d"));

    // Another command, then the first again from the history: it moves to the top.
    CommandDraft status;
    status.cmd = QStringLiteral("71");
    status.sub = QStringLiteral("00");
    composer.setDraft(status);
    composer.send();
    QCOMPARE(composer.history().size(), 2);
    composer.resend(1);
    QCOMPARE(sent.count(), 3);
    QCOMPARE(sent.at(2).at(0).value<PlannedCommand>().command.baData, first.command.baData);
    QCOMPARE(composer.history().size(), 2);
    QCOMPARE(composer.history().first().cmd, QStringLiteral("e0"));
}

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
