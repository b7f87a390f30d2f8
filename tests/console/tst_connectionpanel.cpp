#include "connectionpanel.h"
#include "hexnumber.h"
#include "udppage.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalSpy>
#include <QtTest>

// The connection panel: what it asks for is what its pages show, and the state it
// is told decides what can be asked.
class TestConnectionPanel : public QObject
{
    Q_OBJECT

private slots:
    void shownAndAskedAgain_data();
    void shownAndAskedAgain();
    void askAndShowState();
    void enterOpens_data();
    void enterOpens();
    void waitingIsAmber_data();
    void waitingIsAmber();
};

void TestConnectionPanel::shownAndAskedAgain_data()
{
    QTest::addColumn<MediumOptions>("options");
    QTest::addColumn<QString>("endpoint"); // of what Open asks for

    MediumOptions serial;
    serial.portName = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("serial, defaults") << serial << "/dev/ttyUSB0 115200 8N1";
    serial.serial.baudRate = QSerialPort::Baud9600;
    serial.serial.dataBits = QSerialPort::Data7;
    serial.serial.parity = QSerialPort::EvenParity;
    serial.serial.stopBits = QSerialPort::TwoStop;
    serial.serial.flowControl = QSerialPort::HardwareControl;
    QTest::newRow("serial, every setting") << serial << "/dev/ttyUSB0 9600 7E2 with hardware flow control";
    serial.serial.baudRate = QSerialPort::Baud1200;
    serial.serial.dataBits = QSerialPort::Data5;
    serial.serial.parity = QSerialPort::MarkParity;
    serial.serial.stopBits = QSerialPort::OneAndHalfStop;
    serial.serial.flowControl = QSerialPort::SoftwareControl;
    QTest::newRow("serial, the other settings") << serial << "/dev/ttyUSB0 1200 5M1.5 with software flow control";
    serial.serial.baudRate = 921600;
    QTest::newRow("serial, a rate beyond the listed ones") << serial
                                                           << "/dev/ttyUSB0 921600 5M1.5 with software flow control";

    MediumOptions udp;
    udp.medium = MediumOptions::Medium::Udp;
    udp.udpHost = QStringLiteral("127.0.0.1");
    udp.udpPort = 5000;
    QTest::newRow("UDP") << udp << "127.0.0.1:5000";

    MediumOptions usb;
    usb.medium = MediumOptions::Medium::Usb;
    usb.vendorId = 0x4c56;
    usb.productId = 0x0105;
    QTest::newRow("USB") << usb << "4c56:0105";
}

// Shown in the panel (as hostconsole --port ... does) and asked for again: the
// same options, on the page of their medium.
void TestConnectionPanel::shownAndAskedAgain()
{
    QFETCH(MediumOptions, options);
    QFETCH(QString, endpoint);

    ConnectionPanel panel;
    QSignalSpy connects(&panel, &ConnectionPanel::connectRequested);
    panel.showRequest(options);
    auto *open = panel.findChild<QPushButton *>(QStringLiteral("open"));
    QVERIFY(open);
    open->click();
    QCOMPARE(connects.count(), 1);
    const MediumOptions asked = connects.at(0).at(0).value<MediumOptions>();
    QCOMPARE(int(asked.medium), int(options.medium));
    QString read;
    switch (asked.medium) {
    case MediumOptions::Medium::Serial:
        read = asked.portName + QLatin1Char(' ') + asked.serial.describe();
        break;
    case MediumOptions::Medium::Udp:
    case MediumOptions::Medium::Broadcast:
        read = QStringLiteral("%1:%2").arg(asked.udpHost).arg(asked.udpPort);
        break;
    case MediumOptions::Medium::Usb:
        read = HexNumber::idText(asked.vendorId) + QLatin1Char(':') + HexNumber::idText(asked.productId);
        break;
    }
    QCOMPARE(read, endpoint);
}

void TestConnectionPanel::askAndShowState()
{
    ConnectionPanel panel;
    QSignalSpy connects(&panel, &ConnectionPanel::connectRequested);
    QSignalSpy closes(&panel, &ConnectionPanel::closeRequested);
    auto *open = panel.findChild<QPushButton *>(QStringLiteral("open"));
    auto *close = panel.findChild<QPushButton *>(QStringLiteral("close"));
    QVERIFY(open && close);

    // Without an address there is nothing to ask for.
    panel.chooseMedium(MediumOptions::Medium::Udp);
    open->click();
    QCOMPARE(connects.count(), 0);
    panel.udpPage()->setHost(QStringLiteral("127.0.0.1"));
    open->click();
    QCOMPARE(connects.count(), 1);
    QCOMPARE(connects.at(0).at(0).value<MediumOptions>().udpHost, QStringLiteral("127.0.0.1"));

    // While the medium is in use, or waiting for its device, only Close asks anything.
    for (MediumState state : {MediumState::Opening, MediumState::Open, MediumState::Unplugged, MediumState::Reopened}) {
        panel.setState(state);
        QVERIFY(!open->isEnabled());
        QVERIFY(close->isEnabled());
    }
    close->click();
    QCOMPARE(closes.count(), 1);
    panel.setState(MediumState::Failed, QStringLiteral("no such device"));
    QVERIFY(open->isEnabled());
    QVERIFY(!close->isEnabled());
}

void TestConnectionPanel::enterOpens_data()
{
    QTest::addColumn<int>("medium");     // MediumOptions::Medium
    QTest::addColumn<QString>("field");  // where Enter is pressed
    QTest::newRow("UDP address") << int(MediumOptions::Medium::Udp) << "udpAddress";
    QTest::newRow("UDP port") << int(MediumOptions::Medium::Udp) << "udpPort";
    QTest::newRow("serial port") << int(MediumOptions::Medium::Serial) << "serialPort";
}

void TestConnectionPanel::enterOpens()
{
    QFETCH(int, medium);
    QFETCH(QString, field);
    ConnectionPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy connects(&panel, &ConnectionPanel::connectRequested);
    MediumOptions shown;
    shown.medium = MediumOptions::Medium(medium);
    shown.udpHost = QStringLiteral("127.0.0.1");
    shown.udpPort = 5000;
    shown.portName = QStringLiteral("/dev/ttyS9");
    panel.showRequest(shown);
    auto *widget = panel.findChild<QWidget *>(field);
    QVERIFY(widget);
    // The line a person types in, whatever box holds it.
    QLineEdit *line = qobject_cast<QLineEdit *>(widget);
    if (!line)
        line = widget->findChild<QLineEdit *>();
    QVERIFY(line);
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(connects.count(), 1);
    QCOMPARE(int(connects.at(0).at(0).value<MediumOptions>().medium), medium);
    // In use, the fields are not for typing: Enter asks nothing more.
    panel.setState(MediumState::Open);
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(connects.count(), 1);
}

void TestConnectionPanel::waitingIsAmber_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("colour");
    const QColor green(0x1b, 0x7f, 0x3a);
    const QColor amber(0xb3, 0x6b, 0x00);
    const QColor grey(0x9a, 0x9a, 0x9a);
    QTest::newRow("open") << int(MediumState::Open) << green;
    QTest::newRow("reopened") << int(MediumState::Reopened) << green;
    QTest::newRow("opening") << int(MediumState::Opening) << amber;
    QTest::newRow("unplugged, waiting") << int(MediumState::Unplugged) << amber;
    QTest::newRow("closed") << int(MediumState::Closed) << grey;
    QTest::newRow("failed") << int(MediumState::Failed) << QColor(0xc0, 0x1c, 0x28);
}

void TestConnectionPanel::waitingIsAmber()
{
    QFETCH(int, state);
    QFETCH(QColor, colour);
    QCOMPARE(MediumStateIndicator::colourOf(MediumState(state)), colour);
}

QTEST_MAIN(TestConnectionPanel)
#include "tst_connectionpanel.moc"
