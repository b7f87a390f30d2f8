#include "cmddealmodule.h"
#include "datagramcodec.h"
#include "dispatcherstate.h"
#include "logcapture.h"
#include "portserial.h"
#include "portusb.h"
#include "replyhandoff.h"

#include <QLoggingCategory>
#include <QtTest>

// A host silences the libraries' debug lines with one logging rule and keeps its
// own output; the lines keep their text.
class TestLogCategories : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void ruleSilencesTheLibraries_data();
    void ruleSilencesTheLibraries();
};

namespace {

// One debug line of each category, as a host would cause them, and the host's own.
const QStringList kLines = {
    "Send data:[A010203040506071c]",     // serial
    "datagram.size()!=19 return",        // UDP
    "Send usb data:[A010203040506071c]", // USB
    "Reply queue full: dropped 1 oldest replies", // code the media share
    "Clear QueueHexCmd!",                // dispatcher
    "the host's own line",
};

void causeEveryLine()
{
    ProtocolData command;
    command.byHead = 0x01;
    command.bySN = 0x02;
    command.byCmd = 0x03;
    command.bySubCmd = 0x04;
    command.byParam1 = 0x05;
    command.byParam2 = 0x06;
    command.byParam3 = 0x07;
    {
        // Closed transports still say what they would send.
        PortSerial serial;
        serial.sendDatatoDevice(&command);
        PortUSB usb;
        usb.sendDatatoDevice(&command);
    }
    DatagramCodec::decode("short");
    for (int i = 0; i <= ReplyHandOff::kMaxQueuedReplies; ++i)
        ReplyHandOff::queue(ProtocolData());
    CmdDealModule dispatcher;
    dispatcher.clearQueue();
    qDebug() << "the host's own line";
}

} // namespace

void TestLogCategories::cleanup()
{
    QLoggingCategory::setFilterRules(QString());
    resetDispatcherState();
}

void TestLogCategories::ruleSilencesTheLibraries_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QList<int>>("kept");

    QTest::newRow("no rule: every line") << QString() << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("one rule for all the libraries") << "velmora.*.debug=false" << QList<int>{5};
    QTest::newRow("the transports, shared code included") << "velmora.port*.debug=false" << QList<int>{4, 5};
    QTest::newRow("one medium") << "velmora.port.usb.debug=false" << QList<int>{0, 1, 3, 4, 5};
    QTest::newRow("the shared code alone") << "velmora.port.debug=false" << QList<int>{0, 1, 2, 4, 5};
    QTest::newRow("the dispatcher") << "velmora.dispatch.debug=false" << QList<int>{0, 1, 2, 3, 5};
}

void TestLogCategories::ruleSilencesTheLibraries()
{
    QFETCH(QString, rule);
    QFETCH(QList<int>, kept);

    resetDispatcherState();
    QLoggingCategory::setFilterRules(rule);
    LogCapture log;
    causeEveryLine();
    for (int i = 0; i < kLines.size(); ++i)
        QVERIFY2(log.count(kLines.at(i)) == (kept.contains(i) ? 1 : 0), qPrintable(kLines.at(i)));
}

QTEST_GUILESS_MAIN(TestLogCategories)
#include "tst_logcategories.moc"
