#ifndef PORTUSB_H
#define PORTUSB_H

#include "cmddealmodule.h"
#include "portbase.h"
#include "porvane_global.h"
#include "protocoldata.h"
#include "streammedium.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct hid_device_;

// Transport over a USB HID device, opened by vendor and product id. Commands leave
// as 65-byte output reports; a read thread collects input reports into the
// reassembly buffer, which a parser thread cuts into replies. One hot-plug watcher
// per process tells the PortUSB that started it, through signalUSBChanged, when a
// device with the ids of the latest openUSB comes or goes, and closes the port
// when it goes. Any thread may call the operations.
class PORVANE_EXPORT PortUSB : public PortBase, public StreamMedium
{
    Q_OBJECT

public:
    // The watcher's pause between two looks.
    static constexpr int kWatchIntervalMs = 100;
    // The time a close or open leaves the device before going on, so that a device
    // just unplugged or closed can settle. Its own constant: tuning the watcher must
    // not change it.
    static constexpr int kSettlePauseMs = 100;
    // The read thread waits this long inside one read for a report to come; after a
    // failed read it pauses kReadRetryMs before the next, or a dead handle would spin.
    static constexpr int kReadTimeoutMs = 100;
    static constexpr int kReadRetryMs = 20;
    static constexpr int kReadBufferSize = 1024;
    // Reads and writes that fail in a row, with nothing succeeding between, before
    // the open handle counts as dead: the device left, perhaps only for a moment
    // between two looks of the watcher, and came back under a new handle.
    static constexpr int kFailuresMeaningGone = 3;

    PortUSB();
    ~PortUSB() override;

    void setDeviceIP(QString ip) override;
    void setPort(int port) override;
    void clearQueue() override;
    bool openSerialPort(QString portName, QSerialPort::BaudRate baudRate,
                        QSerialPort::StopBits stopBits, QSerialPort::Parity parity,
                        QSerialPort::FlowControl flowControl,
                        QSerialPort::DataBits dataBits) override;
    void closeSerialPort() override;
    bool openUSB(unsigned short vendorId, unsigned short productId) override;
    void closeUSB() override;
    void setDeviceType(ModulelEnum::DeviceType type) override;

    // Starts the process-wide hot-plug watcher for this object unless one runs.
    void USBChanged();
    // The watcher's body; returns once the object it serves is destroyed.
    void ThreadUSBChanged();
    // The read thread's body.
    void ThreadReadPendingDatagrams();

    QByteArray produceCmds(ProtocolData command);
    QByteArray changeData(QByteArray bytes);
    void sendUSBData(QByteArray data);
    void sendUSBData_Update_Zorl(QByteArray data);
    void setRetFlagStatus(bool status);
    unsigned short combineTwoByte(unsigned char low, unsigned char high) const;

    // One run of the hot-plug watcher, defined beside it.
    struct WatchRun;

    // The hot-plug watcher's process-wide state.
    static bool isWatchStarted();
    // The ids the watcher looks for: those of the latest openUSB, 0 before any.
    static void watchedIds(unsigned short *vendorId, unsigned short *productId);
    // Forgets the ids, as in a freshly loaded library. Only while no watcher runs
    // (no PortUSB exists); false otherwise.
    static bool resetWatchState();

    // Changed only while both m_writeMutex and m_hidMutex are held, so a reader
    // holding either sees a handle that stays open until it lets go.
    hid_device_ *m_hidDevice = nullptr;
    // The parser's run flag, under the name hosts know.
    std::atomic<bool> &m_bUSBOpen;
    std::atomic<bool> m_bReadFlag{false};
    // Held around each read and around closing the device. A standard mutex, like
    // the buffer's, so that ThreadSanitizer sees what it orders.
    std::mutex m_hidMutex;
    CmdDealModule m_cmdDealModule;

signals:
    void signalUSBChanged(bool);

public slots:
    void sendDatatoDevice(void *parameters) override;

private:
    // Writes the sequence as reports, cut the plain way or the update way, one
    // whole sequence at a time, up to the first that fails, and reports a failure.
    void writeSequence(const QByteArray &sequence, bool updateCutting);
    // The writing, under the write lock; the failure's reason, or empty.
    QString writeSequenceLocked(const QByteArray &sequence, bool updateCutting);
    // Stops both workers and closes the handle; the caller holds m_lifeMutex.
    void shutDownLocked(bool clearBuffer);
    bool startReadThreadLocked();
    void stopReadThreadLocked();
    // Waits ms milliseconds unless the read thread is told to stop meanwhile.
    bool readPause(int ms);
    void stopWatch();
    // The watcher's loop, for as long as its run lasts.
    void watchLoop(WatchRun &run);
    // Counts a read or write on the open handle; false once it counts as dead.
    bool countOutcome(bool failed);
    // Closes the port if its handle counts as dead; for the watcher, which then
    // reports the device gone. False when there was nothing to close.
    bool closeLostDevice();
    bool isOpen();

    // Serialises openUSB and closeUSB, whichever threads call them (the host, the
    // watcher on unplug, the destructor).
    std::mutex m_lifeMutex;
    // Held for each whole sequence written: reports of two sequences never
    // interleave, and no close releases the handle under a write.
    std::mutex m_writeMutex;
    std::thread m_readThread;
    std::mutex m_readPauseMutex;
    std::condition_variable m_readPauseCond;
    // Failed reads and writes in a row on the open handle.
    std::atomic<int> m_failuresInARow{0};
};

#endif // PORTUSB_H
