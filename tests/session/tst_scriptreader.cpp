#include "commandtext.h"
#include "scriptreader.h"

#include <QBuffer>
#include <QtTest>

// A script as hostcli and the console read it: each line, and a script as a whole.
class TestScriptReader : public QObject
{
    Q_OBJECT

private slots:
    void scriptLine_data();
    void scriptLine();
    void script_data();
    void script();
};

void TestScriptReader::scriptLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind"); // ScriptReader::LineKind
    QTest::addColumn<QString>("header"); // Command: cmd sub p1 p2 p3; Bad: what the error must contain
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("expected"); // Outcome
    QTest::addColumn<QString>("label");

    const int blank = int(ScriptReader::LineKind::Blank);
    const int command = int(ScriptReader::LineKind::Command);
    const int bad = int(ScriptReader::LineKind::Bad);
    const int answer = int(Outcome::Answered);

    QTest::newRow("empty") << "" << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("spaces and a tab") << "  \t " << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("comment") << "# 71:00 would be a command" << blank << "" << 0 << 0 << 0 << "";
    QTest::newRow("plain") << "e1:00" << command << "e1 00 00 00 00" << 0 << 700 << answer << "e1:00";
    QTest::newRow("comment names it") << "  71:03:1f:0a:ff   # read the clock " << command << "71 03 1f 0a ff" << 0
                                      << 700 << answer << "read the clock";
    QTest::newRow("empty comment") << "71:00 #" << command << "71 00 00 00 00" << 0 << 700 << answer << "71:00";
    QTest::newRow("timeout") << "71:00 timeout=250" << command << "71 00 00 00 00" << 0 << 250 << answer << "71:00";
    QTest::newRow("timeout 0") << "71:00\ttimeout=0" << command << "71 00 00 00 00" << 0 << 0 << answer << "71:00";
    QTest::newRow("give-up planned") << "43:00 timeout=300 expect=give-up # silent" << command << "43 00 00 00 00" << 0
                                     << 300 << int(Outcome::GivenUp) << "silent";
    QTest::newRow("drop planned") << "76:00:21 expect=drop" << command << "76 00 21 00 00" << 0 << 700
                                  << int(Outcome::Dropped) << "76:00:21";
    QTest::newRow("block") << "e0:01:00:04:00/0a0B0c0d" << command << "e0 01 00 04 00" << 4 << 700 << answer
                           << "e0:01:00:04:00/0a0B0c0d";
    QTest::newRow("repeated block") << "e0:01:00:58:02/5a*600" << command << "e0 01 00 58 02" << 600 << 700 << answer
                                    << "e0:01:00:58:02/5a*600";
    QTest::newRow("largest block") << "e0:01:00:ff:ff/00*65535" << command << "e0 01 00 ff ff" << 65535 << 700
                                   << answer << "e0:01:00:ff:ff/00*65535";
    QTest::newRow("bytes with 0x") << "0xe0:0X01:0x0:02:0x00/abcd" << command << "e0 01 00 02 00" << 2 << 700
                                   << answer << "0xe0:0X01:0x0:02:0x00/abcd";

    QTest::newRow("not a command") << "hello" << bad << "expected cmd:sub" << 0 << 0 << 0 << "";
    QTest::newRow("byte not hexadecimal") << "zz:00" << bad << "\"zz\"" << 0 << 0 << 0 << "";
    QTest::newRow("byte of three digits") << "071:00" << bad << "\"071\"" << 0 << 0 << 0 << "";
    QTest::newRow("block longer than p2:p3 announce") << "e0:01:00:04:00/0a0b0c0d0e" << bad
                                                      << "the block has 5 bytes but p2:p3 announce 4" << 0 << 0 << 0
                                                      << "";
    QTest::newRow("block without p2:p3") << "e0:01/abcd" << bad << "give p2:p3 as 02:00" << 0 << 0 << 0 << "";
    QTest::newRow("long bad line is named by its start")
        << QStringLiteral("7").repeated(1000) + QStringLiteral(":00 timeout=5") << bad
        << "\"" + QStringLiteral("7").repeated(77) + "...\" in" << 0 << 0 << 0 << "";
    QTest::newRow("long bad word is named by its start")
        << QStringLiteral("71:00 retry=") + QStringLiteral("9").repeated(1000) << bad
        << "\"retry=" + QStringLiteral("9").repeated(71) + "...\"" << 0 << 0 << 0 << "";
    QTest::newRow("odd block") << "e0:01:00:02:00/abc" << bad << "block \"abc\"" << 0 << 0 << 0 << "";
    QTest::newRow("empty block") << "e0:01/" << bad << "block" << 0 << 0 << 0 << "";
    QTest::newRow("block too large") << "e0:01:00:00:00/00*65536" << bad << "repeat count" << 0 << 0 << 0 << "";
    QTest::newRow("repeat of 0") << "e0:01:00:00:00/00*0" << bad << "repeat count" << 0 << 0 << 0 << "";
    QTest::newRow("timeout not a number") << "71:00 timeout=soon" << bad << "timeout=soon" << 0 << 0 << 0 << "";
    QTest::newRow("timeout negative") << "71:00 timeout=-5" << bad << "timeout=-5" << 0 << 0 << 0 << "";
    QTest::newRow("timeout without value") << "71:00 timeout" << bad << "\"timeout\"" << 0 << 0 << 0 << "";
    QTest::newRow("expect unknown") << "71:00 expect=maybe" << bad << "expect=maybe" << 0 << 0 << 0 << "";
    QTest::newRow("unknown word") << "71:00 retry=2" << bad << "\"retry=2\"" << 0 << 0 << 0 << "";
}

void TestScriptReader::scriptLine()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, header);
    QFETCH(int, block);
    QFETCH(int, timeoutMs);
    QFETCH(int, expected);
    QFETCH(QString, label);

    CommandDefaults defaults;
    defaults.timeoutMs = 700;
    defaults.head = 0x02;
    PlannedCommand planned;
    QString error;
    QCOMPARE(int(ScriptReader::parseLine(text, defaults, &planned, &error)), kind);
    if (kind == int(ScriptReader::LineKind::Bad)) {
        QVERIFY2(error.contains(header), qPrintable(error));
        // Whatever the line's length, the message quotes at most two pieces of it.
        QVERIFY2(error.size() <= 2 * CommandText::kMaxEcho + 80, qPrintable(error));
        return;
    }
    if (kind == int(ScriptReader::LineKind::Blank))
        return;
    const ProtocolData &c = planned.command;
    QCOMPARE(CommandText::header(c).replace(QLatin1Char(':'), QLatin1Char(' ')), header);
    QCOMPARE(c.baData.size(), block);
    QCOMPARE(c.iTimeoutMs, timeoutMs);
    QCOMPARE(int(c.byHead), 0x02);
    QCOMPARE(int(planned.expected), expected);
    QCOMPARE(planned.label, label);
}

void TestScriptReader::script_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("commands"); // -1: the script is refused
    QTest::addColumn<QString>("error");
    QTest::addColumn<QList<int>>("lines"); // of the commands, in order

    QTest::newRow("empty") << QByteArray() << 0 << "" << QList<int>();
    QTest::newRow("comments and blank lines")
        << QByteArray("# header\n\n71:00 # one\n   \ne1:00\n# end\n") << 2 << "" << QList<int>{3, 5};
    QTest::newRow("Windows line ends") << QByteArray("71:00 timeout=5\r\n\r\ne1:00\r\n") << 2 << ""
                                       << QList<int>{1, 3};
    QTest::newRow("no line end at the end") << QByteArray("71:00\ne1:00") << 2 << "" << QList<int>{1, 2};
    QTest::newRow("bad third line") << QByteArray("71:00\n\nzz:00\n76:00\n") << -1 << "s.txt:3: " << QList<int>{1};
    QTest::newRow("bad option on line 2") << QByteArray("71:00\n71:00 expect=never\n") << -1
                                          << "s.txt:2: expect=never" << QList<int>{1};
    QTest::newRow("NUL byte in a command")
        << QByteArray("71:00\n71:\0" "00 # x\n", 17) << -1 << "s.txt:2:4: a NUL byte" << QList<int>{1};
    QTest::newRow("NUL byte in a comment, after text")
        << QByteArray("71:00 # \xc3\xa9t\xc3\xa9\0 ignored?\n", 24) << -1 << "s.txt:1:12: a NUL byte" << QList<int>();
    QTest::newRow("overlong line")
        << QByteArray("71:00\ne0:01/") + QByteArray(ScriptReader::kMaxLineLength, 'a') + QByteArray("\n71:00\n") << -1
        << "s.txt:2: line longer than" << QList<int>{1};
}

void TestScriptReader::script()
{
    QFETCH(QByteArray, content);
    QFETCH(int, commands);
    QFETCH(QString, error);
    QFETCH(QList<int>, lines);

    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QString why;
    QCOMPARE(ScriptReader::check(&buffer, QStringLiteral("s.txt"), CommandDefaults(), &why), qint64(commands));
    QVERIFY2(error.isEmpty() ? why.isEmpty() : why.startsWith(error), qPrintable(why));

    // Read as a run reads it: the same commands, up to the same error.
    QVERIFY(buffer.seek(0));
    ScriptReader reader(&buffer, QStringLiteral("s.txt"), CommandDefaults());
    QList<int> seen;
    PlannedCommand planned;
    while (reader.next(&planned))
        seen << planned.line;
    QCOMPARE(seen, lines);
    QCOMPARE(reader.error(), why);
}

QTEST_GUILESS_MAIN(TestScriptReader)
#include "tst_scriptreader.moc"
