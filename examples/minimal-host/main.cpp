// minimal-host: the smallest host of the installed libraries. It opens the medium
// its arguments name, runs the dispatcher's two workers, sends one command (71:00)
// and prints the reply.   minimal-host serial PORT | udp ADDRESS PORT | usb VID PID
// The steps below are the lifecycle every host follows, in this order.
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

static void close(PortBase *port)
{
    port->closeSerialPort();
    port->closeUSB();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();

    // Step 1: create the transport and the dispatcher.
    PortBase *port = PortInterface::creatCoreObj(a.value(1) == "usb" ? ConnUSB : a.value(1) == "udp" ? ConnUDP : ConnSerial);
    CmdDealModule dispatcher;
    int exitCode = 1;

    // Step 2: connect them. The signals carry the workers' own records: copy them
    // in the worker's thread, then hand the copy to the transport's thread.
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

    // Step 3: start the send and receive workers.
    dispatcher.bSendWorkRun = true;
    dispatcher.bReceiveWorkRun = true;
    std::thread sender(&CmdDealModule::GetQueueWork, &dispatcher);
    std::thread receiver(&CmdDealModule::ReceiveGetQueueWork, &dispatcher);

    // Step 4: open the medium.
    if (port && open(port, a)) {
        // Step 5: queue a command; the reply, or its time-out, ends the event loop.
        ProtocolData command;
        command.byHead = 0x01;
        command.byCmd = 0x71;
        command.iTimeoutMs = 1000;
        {
            std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
            CmdDealModule::queueHexCmd.push_back(command);
        }
        app.exec();
        // Step 6: close the medium.
        close(port);
    } else {
        std::fprintf(stderr, "usage: minimal-host serial PORT | udp ADDRESS PORT | usb VID PID (could not open)\n");
        exitCode = 2;
    }

    // Step 7: stop the workers and join them before anything they use is deleted.
    dispatcher.bSendWorkRun = false;
    dispatcher.bReceiveWorkRun = false;
    sender.join();
    receiver.join();
    delete PortInterface::iCORE;
    return exitCode;
}
