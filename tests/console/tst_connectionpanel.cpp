#include "connectionpanel.h"
#include "hostoptions.h"
#include "udppage.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalSpy>
#include <QtTest>

// The connection panel: what it asks for is read by hostcli's own option parser,
// and the state it is told decides what can be asked.
class TestConnectionPanel : public QObject
{
    Q_OBJECT

private slots:
    void requestAsHostcliOptions_data();
    void requestAsHostcliOptions();
    void askAndShowState();
    void enterOpens_data();
    void enterOpens();
    void waitingIsAmber_data();
    void waitingIsAmber();
};

void TestConnectionPanel::requestAsHostcliOptions_data()
{
    QTest::addColumn<ConnectRequest>("request");
    QTest::addColumn<QString>("endpoint"); // as hostcli reads it back

    ConnectRequest serial;
    serial.portName = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("serial, defaults") << serial << "/dev/ttyUSB0 115200 8N1";
    serial.baudRate = QSerialPort::Baud9600;
    serial.dataBits = QSerialPort::Data7;
    serial.parity = QSerialPort::EvenParity;
    serial.stopBits = QSerialPort::TwoStop;
    serial.flowControl = QSerialPort::HardwareControl;
    QTest::newRow("serial, every setting") << serial << "/dev/ttyUSB0 9600 7E2 with hardware flow control";
    serial.baudRate = QSerialPort::Baud1200;
    serial.dataBits = QSerialPort::Data5;
    serial.parity = QSerialPort::MarkParity;
    serial.stopBits = QSerialPort::OneAndHalfStop;
    serial.flowControl = QSerialPort::SoftwareControl;
    QTest::newRow("serial, the other settings") << serial << "/dev/ttyUSB0 1200 5M1.5 with software flow control";
    serial.baudRate = 921600;
    QTest::newRow("serial, a rate beyond the listed ones") << serial
                                                           << "/dev/ttyUSB0 921600 5M1.5 with software flow control";

    ConnectRequest udp;
    udp.medium = ConnectRequest::Medium::Udp;
    udp.udpHost = QStringLiteral("127.0.0.1");
    udp.udpPort = 5000;
    QTest::newRow("UDP") << udp << "127.0.0.1:5000";

    ConnectRequest usb;
    usb.medium = ConnectRequest::Medium::Usb;
    usb.vendorId = 0x4c56;
    usb.productId = 0x0105;
    QTest::newRow("USB") << usb << "4c56:0105";
}

void TestConnectionPanel::requestAsHostcliOptions()
{
    QFETCH(ConnectRequest, request);
    QFETCH(QString, endpoint);

    HostOptions options;
    QString message;
    QVERIFY2(request.options(&options, &message), qPrintable(message));
    QString read;
    switch (options.medium) {
    case HostOptions::Medium::Serial:
        read = options.portName + QLatin1Char(' ') + options.serial.describe();
        break;
    case HostOptions::Medium::Udp:
        read = QStringLiteral("%1:%2").arg(options.udpHost).arg(options.udpPort);
        break;
    case HostOptions::Medium::Usb:
        read = QStringLiteral("%1:%2").arg(options.vendorId, 4, 16, QLatin1Char('0')).arg(options.productId, 4, 16, QLatin1Char('0'));
        break;
    case HostOptions::Medium::Broadcast:
        break;
    }
    QCOMPARE(read, endpoint);

    // Shown in the panel (as hostconsole --port ... does) and asked for again: the
    // same request, a rate the list does not name included.
    if (request.medium != ConnectRequest::Medium::Serial)
        return;
    ConnectionPanel panel;
    QSignalSpy connects(&panel, &ConnectionPanel::connectRequested);
    panel.showRequest(request);
    auto *open = panel.findChild<QPushButton *>(QStringLiteral("open"));
    QVERIFY(open);
    open->click();
    QCOMPARE(connects.count(), 1);
    QCOMPARE(connects.at(0).at(0).value<ConnectRequest>().arguments(), request.arguments());
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
    panel.chooseMedium(ConnectRequest::Medium::Udp);
    open->click();
    QCOMPARE(connects.count(), 0);
    panel.udpPage()->setHost(QStringLiteral("127.0.0.1"));
    open->click();
    QCOMPARE(connects.count(), 1);
    QCOMPARE(connects.at(0).at(0).value<ConnectRequest>().udpHost, QStringLiteral("127.0.0.1"));

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
    QTest::addColumn<int>("medium");     // ConnectRequest::Medium
    QTest::addColumn<QString>("field");  // where Enter is pressed
    QTest::newRow("UDP address") << int(ConnectRequest::Medium::Udp) << "udpAddress";
    QTest::newRow("UDP port") << int(ConnectRequest::Medium::Udp) << "udpPort";
    QTest::newRow("serial port") << int(ConnectRequest::Medium::Serial) << "serialPort";
}

void TestConnectionPanel::enterOpens()
{
    QFETCH(int, medium);
    QFETCH(QString, field);
    ConnectionPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy connects(&panel, &ConnectionPanel::connectRequested);
    ConnectRequest shown;
    shown.medium = ConnectRequest::Medium(medium);
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
    QCOMPARE(int(connects.at(0).at(0).value<ConnectRequest>().medium), medium);
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
