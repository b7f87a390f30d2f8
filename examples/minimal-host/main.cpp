// minimal-host: the smallest host of the installed libraries. It opens the medium
// its arguments name, runs the dispatcher's two workers, sends one command (71:00)
// and prints the reply.   minimal-host serial PORT | udp ADDRESS PORT | usb VID PID
#include <cmddealmodule.h>
#include <portbase.h>
#include <portinterface.h>

#include <QCoreApplication>

#include <cstdio>
#include <mutex>
#include <thread>

static bool open(PortBase *port, const QStringList &a)
{
    if (a.value(1) == "serial")
        return port->openSerialPort(a.value(2), QSerialPort::Baud115200, QSerialPort::OneStop, QSerialPort::NoParity,
                                    QSerialPort::NoFlowControl, QSerialPort::Data8);
    if (a.value(1) == "usb")
        return port->openUSB(a.value(2).toUShort(nullptr, 16), a.value(3).toUShort(nullptr, 16));
    port->setDeviceIP(a.value(2));
    port->setPort(a.value(3).toInt());
    return a.value(1) == "udp";
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    PortBase *port = PortInterface::creatCoreObj(a.value(1) == "usb" ? ConnUSB : a.value(1) == "udp" ? ConnUDP : ConnSerial);
    if (!port || !open(port, a)) {
        std::fprintf(stderr, "usage: minimal-host serial PORT | udp ADDRESS PORT | usb VID PID (could not open)\n");
        return 2;
    }
    CmdDealModule dispatcher;
    int exitCode = 1;
    // The signals carry the workers' own records: copy them in the worker's thread.
    QObject::connect(&dispatcher, &CmdDealModule::signalSendMessage, [port](void *p) {
        ProtocolData command = *static_cast<ProtocolData *>(p);
        QMetaObject::invokeMethod(port, [port, command]() mutable { port->sendDatatoDevice(&command); });
    });
    QObject::connect(&dispatcher, &CmdDealModule::signalSendReceiveMessage, [&exitCode](void *p) {
        const ProtocolData r = *static_cast<ProtocolData *>(p);
        std::printf("reply SN %d: %02x/%02x p1=%02x p2=%02x p3=%02x, block %d bytes\n", r.bySN, r.byCmd, r.bySubCmd,
                    r.byParam1, r.byParam2, r.byParam3, int(r.baData.size()));
        exitCode = 0;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit);
    });
    QObject::connect(&dispatcher, &CmdDealModule::signalSendTimeOut, [] {
        std::fprintf(stderr, "no reply\n");
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit);
    });
    dispatcher.bSendWorkRun = true;
    dispatcher.bReceiveWorkRun = true;
    std::thread sender(&CmdDealModule::GetQueueWork, &dispatcher);
    std::thread receiver(&CmdDealModule::ReceiveGetQueueWork, &dispatcher);

    ProtocolData command;
    command.byHead = 0x01;
    command.byCmd = 0x71;
    command.iTimeoutMs = 1000;
    {
        std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
        CmdDealModule::queueHexCmd.push_back(command);
    }
    app.exec();
    dispatcher.bSendWorkRun = false;
    dispatcher.bReceiveWorkRun = false;
    sender.join();
    receiver.join();
    delete PortInterface::iCORE;
    return exitCode;
}
