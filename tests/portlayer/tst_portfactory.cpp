#include "dispatcherstate.h"
#include "platformconventions.h"
#include "portinterface.h"
#include "portserial.h"
#include "portudp.h"
#include "portusb.h"
#include "usbbus.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QPointer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(ConnType)
Q_DECLARE_METATYPE(const QMetaObject *)

class TestPortFactory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void instanceBelongsToCaller();
    void creatCoreObjReplacesThePrevious();
    void udpForEveryOtherKind_data();
    void udpForEveryOtherKind();
    void usbForKindZero();
    void metaObject_data();
    void metaObject();
    void otherMediaOperationsDoNothing();
    void closedPort();
    void openFailsOnMissingPort();
    void setRetFlagStatus();
    void clearQueueRunsDetached();
    void clearQueueThenDestroy();
};

void TestPortFactory::init()
{
    resetDispatcherState();
    QVERIFY(UsbBus::reset());
}

void TestPortFactory::cleanup()
{
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;
}

void TestPortFactory::instanceBelongsToCaller()
{
    PortBase *port = PortInterface::creatCoreObjInstance(ConnSerial);
    QVERIFY(port);
    QVERIFY(qobject_cast<PortSerial *>(port));
    QVERIFY(!PortInterface::iCORE);
    QVERIFY(port->bEnabled);
    QVERIFY(!port->parent());

    PortBase *second = PortInterface::creatCoreObjInstance(ConnSerial);
    QVERIFY(second != port);
    delete second;
    delete port;
}

void TestPortFactory::creatCoreObjReplacesThePrevious()
{
    QPointer<PortBase> first = PortInterface::creatCoreObj(ConnSerial);
    QVERIFY(first);
    QCOMPARE(PortInterface::iCORE, first.data());

    PortBase *second = PortInterface::creatCoreObj(ConnSerial);
    QVERIFY(first.isNull());
    QVERIFY(second);
    QCOMPARE(PortInterface::iCORE, second);
}

void TestPortFactory::udpForEveryOtherKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("UDP") << 2;
    QTest::newRow("any other value") << 7;
    QTest::newRow("negative") << -1;
}

void TestPortFactory::udpForEveryOtherKind()
{
    QFETCH(int, kind);
    std::unique_ptr<PortBase> owned(PortInterface::creatCoreObjInstance(static_cast<ConnType>(kind)));
    QVERIFY(qobject_cast<PortUDP *>(owned.get()));
    QVERIFY(!PortInterface::iCORE);

    QPointer<PortBase> serial = PortInterface::creatCoreObj(ConnSerial);
    PortBase *udp = PortInterface::creatCoreObj(static_cast<ConnType>(kind));
    QVERIFY(serial.isNull());
    QVERIFY(qobject_cast<PortUDP *>(udp));
    QCOMPARE(PortInterface::iCORE, udp);
}

void TestPortFactory::usbForKindZero()
{
    std::unique_ptr<PortBase> owned(PortInterface::creatCoreObjInstance(ConnUSB));
    QVERIFY(qobject_cast<PortUSB *>(owned.get()));
    QVERIFY(!PortInterface::iCORE);

    // Replacing a USB transport by another hands the hot-plug watcher on: the old
    // one's stops with it, the new one starts its own.
    owned.reset();
    QPointer<PortBase> first = PortInterface::creatCoreObj(ConnUSB);
    QVERIFY(PortUSB::isWatchStarted());
    PortBase *second = PortInterface::creatCoreObj(ConnUSB);
    QVERIFY(first.isNull());
    QVERIFY(qobject_cast<PortUSB *>(second));
    QVERIFY(PortUSB::isWatchStarted());
    delete PortInterface::iCORE;
    PortInterface::iCORE = nullptr;
    QVERIFY(!PortUSB::isWatchStarted());
}

void TestPortFactory::metaObject_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QList<QByteArray>>("methods"); // the class's own, in order
    QTest::addColumn<QByteArray>("lastParameter");

    QTest::newRow("serial") << &PortSerial::staticMetaObject << QByteArray("PortSerial")
                            << QList<QByteArray>{"signalUSBChanged(bool)", "readPendingDatagrams()",
                                                 "sendDatatoDevice(void*)",
                                                 "handleError(QSerialPort::SerialPortError)"}
                            << QByteArray("error");
    QTest::newRow("USB") << &PortUSB::staticMetaObject << QByteArray("PortUSB")
                         << QList<QByteArray>{"signalUSBChanged(bool)", "sendDatatoDevice(void*)"}
                         << QByteArray("parameters");
}

void TestPortFactory::metaObject()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(QByteArray, className);
    QFETCH(QList<QByteArray>, methods);
    QFETCH(QByteArray, lastParameter);

    QCOMPARE(QByteArray(meta->className()), className);
    const QMetaObject *base = meta->superClass();
    QCOMPARE(base->className(), "PortBase");
    QCOMPARE(base->method(base->methodOffset()).methodSignature(), QByteArray("signalUSBChanged(bool)"));
    const QMetaMethod baseSlot = base->method(base->methodOffset() + 1);
    QCOMPARE(baseSlot.methodSignature(), QByteArray("sendDatatoDevice(void*)"));
    QCOMPARE(baseSlot.parameterNames(), QList<QByteArray>{"parameters"});

    const int o = meta->methodOffset();
    QList<QByteArray> own;
    for (int i = o; i < meta->methodCount(); ++i)
        own.append(meta->method(i).methodSignature());
    QCOMPARE(own, methods);
    QCOMPARE(meta->method(o).methodType(), QMetaMethod::Signal);
    const int slot = meta->indexOfMethod("sendDatatoDevice(void*)");
    QCOMPARE(meta->method(slot).parameterNames(), QList<QByteArray>{"parameters"});
    QCOMPARE(meta->method(meta->methodCount() - 1).parameterNames(), QList<QByteArray>{lastParameter});
}

void TestPortFactory::otherMediaOperationsDoNothing()
{
    PortUSB usb;
    QVERIFY(!usb.openSerialPort(QStringLiteral("/dev/null"), QSerialPort::Baud115200, QSerialPort::OneStop,
                                QSerialPort::NoParity, QSerialPort::NoFlowControl, QSerialPort::Data8));
    usb.closeSerialPort();
    usb.setDeviceIP(QStringLiteral("127.0.0.1"));
    usb.setPort(5000);
    QVERIFY(!usb.m_bUSBOpen);

    PortSerial port;
    QVERIFY(!port.openUSB(0x1234, 0x5678));
    port.closeUSB();
    port.setDeviceIP(QStringLiteral("127.0.0.1"));
    port.setPort(5000);
    QVERIFY(!port.m_com->isOpen());
    QVERIFY(!port.m_bDealFlag);
    QCOMPARE(port.buffSize(), 0);
}

void TestPortFactory::closedPort()
{
    PortSerial port;
    QElapsedTimer timer;
    timer.start();
    port.closeSerialPort();
    QVERIFY(timer.elapsed() < 100);

    port.handleError(QSerialPort::ResourceError);
    port.handleError(QSerialPort::ReadError);
    QVERIFY(!port.m_com->isOpen());
    QVERIFY(!port.m_bDealFlag);
}

void TestPortFactory::openFailsOnMissingPort()
{
    PortSerial port;
    QVERIFY(!port.openSerialPort(PlatformConventions::missingSerialLocation(), QSerialPort::Baud115200,
                                 QSerialPort::OneStop, QSerialPort::NoParity,
                                 QSerialPort::NoFlowControl, QSerialPort::Data8));
    QVERIFY(!port.m_com->isOpen());
    QVERIFY(!port.m_bDealFlag);
    // The settings stay applied.
    QCOMPARE(port.m_com->portName(), PlatformConventions::missingSerialName());
    QCOMPARE(port.m_com->baudRate(), qint32(115200));
}

void TestPortFactory::setRetFlagStatus()
{
    PortSerial port;
    port.setRetFlagStatus(false);
    QVERIFY(!CmdDealModule::bRetFlag);
    port.setRetFlagStatus(true);
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestPortFactory::clearQueueRunsDetached()
{
    PortSerial port;
    ProtocolData c;
    c.byCmd = 0x42;
    for (int i = 0; i < 3; ++i)
        queueCommand(c);
    CmdDealModule::bRetFlag = false;
    port.clearQueue();
    QTRY_COMPARE_WITH_TIMEOUT(CmdDealModule::iSN.load(), 2, 10000);
    QCOMPARE(CmdDealModule::commandQueueSize(), 0);
    QVERIFY(CmdDealModule::bRetFlag);
}

void TestPortFactory::clearQueueThenDestroy()
{
    // The transport may go before its clearing thread has run; the thread must
    // neither touch freed memory nor be lost.
    for (int i = 0; i < 20; ++i) {
        auto *port = new PortSerial;
        port->clearQueue();
        delete port;
    }
    QVERIFY(CmdDealModule::bRetFlag);
}

QTEST_GUILESS_MAIN(TestPortFactory)
#include "tst_portfactory.moc"
