#include "portusb.h"

#include "framecodec.h"
#include "hidreports.h"
#include "portlog.h"
#include "streammedium_p.h"
#include "threadstart.h"

#include <hidapi.h>

#include <chrono>
#include <cstring>
#include <memory>

// One run of the watcher: the object it serves and the way to stop it. The thread
// holds it too, so it outlives the object when that object is destroyed from a
// slot the watcher itself called.
struct PortUSB::WatchRun
{
    PortUSB *owner = nullptr;
    std::mutex mutex;
    std::condition_variable cond;
    bool stop = false;

    // Waits ms milliseconds; false, at once, when the run is stopped.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return !cond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop; });
    }

    void requestStop()
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
        cond.notify_all();
    }
};

namespace {

using WatchRun = PortUSB::WatchRun;

// The process-wide state of the hot-plug watcher, all under one lock: the ids of
// the latest openUSB, which the watcher looks for, and the watcher's run and thread
// while one is started.
struct WatchState
{
    std::mutex mutex;
    unsigned short usVendorID = 0;
    unsigned short usProductID = 0;
    std::shared_ptr<WatchRun> run;
    std::thread thread;
};

// Never destroyed: a PortUSB the host never deletes keeps its watcher running up
// to the end of the process, and a joinable thread must not be destroyed.
WatchState &watchState()
{
    static WatchState *state = new WatchState;
    return *state;
}

// The two ids change together: a watcher that read the new vendor with the old
// product would find no device and close the port that was just opened.
void storeIds(unsigned short vendorId, unsigned short productId)
{
    WatchState &watch = watchState();
    std::lock_guard<std::mutex> lock(watch.mutex);
    watch.usVendorID = vendorId;
    watch.usProductID = productId;
}

void loadIds(unsigned short *vendorId, unsigned short *productId)
{
    WatchState &watch = watchState();
    std::lock_guard<std::mutex> lock(watch.mutex);
    *vendorId = watch.usVendorID;
    *productId = watch.usProductID;
}

bool isAttached(unsigned short vendorId, unsigned short productId)
{
    hid_device_info *list = hid_enumerate(vendorId, productId);
    const bool attached = list != nullptr;
    hid_free_enumeration(list);
    return attached;
}

void pauseMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

StreamMedium::Settings mediumSettings()
{
    StreamMedium::Settings s;
    // Over USB every reply is a reply frame alone; bytes after it are skipped.
    s.awaitBlocks = false;
    // checkBlock, called directly, awaits a block 200 tries of 20 ms.
    s.blockWaitMs = 4000;
    s.debugPrefix = QStringLiteral("PortUSB");
    s.logCategory = lcPortUsb;
    s.replySource = 2;
    s.blockRepliesKeepSource = true;
    return s;
}

} // namespace

PortUSB::PortUSB()
    : StreamMedium(mediumSettings())
    , m_bUSBOpen(m_parserRun)
{
    setReplySourceText(QStringLiteral("USB"));
    USBChanged();
}

PortUSB::~PortUSB()
{
    // The watcher goes first, so nothing calls closeUSB or emits on this object
    // once the close below has begun.
    stopWatch();
    closeUSB();
}

void PortUSB::setDeviceIP(QString)
{
}

void PortUSB::setPort(int)
{
}

void PortUSB::clearQueue()
{
    // runDetached makes the dispatcher's destructor wait for the thread, so the
    // thread never outlives the member it runs on.
    CmdDealModule *dispatcher = &m_cmdDealModule;
    m_cmdDealModule.runDetached([dispatcher]() { dispatcher->clearQueue(); });
}

bool PortUSB::openSerialPort(QString, QSerialPort::BaudRate, QSerialPort::StopBits, QSerialPort::Parity,
                             QSerialPort::FlowControl, QSerialPort::DataBits)
{
    return false;
}

void PortUSB::closeSerialPort()
{
}

bool PortUSB::openUSB(unsigned short vendorId, unsigned short productId)
{
    std::lock_guard<std::mutex> life(m_lifeMutex);
    // A reopen keeps the buffer: bytes from before may still complete a frame.
    if (m_hidDevice)
        shutDownLocked(false);
    pauseMs(kSettlePauseMs);

    hid_device *device = hid_open(vendorId, productId, nullptr);
    storeIds(vendorId, productId);
    if (!device)
        return false;
    m_failuresInARow = 0;
    {
        std::lock_guard<std::mutex> writeLock(m_writeMutex);
        std::lock_guard<std::mutex> hidLock(m_hidMutex);
        m_hidDevice = device;
    }
    m_bUSBOpen = true;
    if (startParserThread() && startReadThreadLocked())
        return true;
    shutDownLocked(false);
    return false;
}

void PortUSB::closeUSB()
{
    {
        std::lock_guard<std::mutex> life(m_lifeMutex);
        if (m_hidDevice)
            shutDownLocked(true);
    }
    // Both workers have been joined; the pause is the time the device is left
    // alone before whatever comes next (a reopen, say).
    pauseMs(kSettlePauseMs);
}

void PortUSB::setDeviceType(ModulelEnum::DeviceType type)
{
    m_deviceType = type;
}

bool PortUSB::countOutcome(bool failed)
{
    if (!failed) {
        m_failuresInARow = 0;
        return true;
    }
    return ++m_failuresInARow < kFailuresMeaningGone;
}

bool PortUSB::isOpen()
{
    std::lock_guard<std::mutex> life(m_lifeMutex);
    return m_hidDevice != nullptr;
}

bool PortUSB::closeLostDevice()
{
    {
        std::lock_guard<std::mutex> life(m_lifeMutex);
        // Checked under the lock: a reopen since the failures has a new handle.
        if (!m_hidDevice || m_failuresInARow < kFailuresMeaningGone)
            return false;
        shutDownLocked(true);
    }
    pauseMs(kSettlePauseMs);
    return true;
}

void PortUSB::shutDownLocked(bool clearBuffer)
{
    // Workers first: once they are joined, nobody reads through the handle or
    // from the buffer behind our back.
    m_bUSBOpen = false;
    stopReadThreadLocked();
    stopParserThread();

    // A write in progress finishes its sequence first; a later one finds no handle.
    std::lock_guard<std::mutex> writeLock(m_writeMutex);
    std::lock_guard<std::mutex> hidLock(m_hidMutex);
    if (clearBuffer)
        clearBuffData();
    if (m_hidDevice) {
        hid_close(m_hidDevice);
        m_hidDevice = nullptr;
    }
}

bool PortUSB::startReadThreadLocked()
{
    m_bReadFlag = true;
    if (ThreadStart::start(m_readThread, [this]() { ThreadReadPendingDatagrams(); }))
        return true;
    m_bReadFlag = false;
    return false;
}

void PortUSB::stopReadThreadLocked()
{
    {
        // Under the pause's lock: a pause that has just seen the flag set cannot miss
        // the wake.
        std::lock_guard<std::mutex> lock(m_readPauseMutex);
        m_bReadFlag = false;
        m_readPauseCond.notify_all();
    }
    if (m_readThread.joinable())
        m_readThread.join();
}

bool PortUSB::readPause(int ms)
{
    std::unique_lock<std::mutex> lock(m_readPauseMutex);
    return !m_readPauseCond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_bReadFlag; });
}

void PortUSB::ThreadReadPendingDatagrams()
{
    unsigned char buffer[kReadBufferSize] = {};
    while (m_bReadFlag) {
        int n;
        {
            // Held for the whole read: the handle cannot be closed under it.
            std::lock_guard<std::mutex> lock(m_hidMutex);
            if (!m_hidDevice)
                return;
            std::memset(buffer, 0, sizeof buffer);
            // Returns as soon as a report is in: the reply reaches the parser at once.
            n = hid_read_timeout(m_hidDevice, buffer, kReadBufferSize, kReadTimeoutMs);
            // Report boundaries are not kept; fill bytes go in with the rest and the
            // parser skips them.
            if (n > 0)
                appendBuffData(QByteArray(reinterpret_cast<const char *>(buffer), n));
        }
        // Time-outs are skipped silently, errors counted: a handle whose device has
        // left fails every read from then on, and the watcher closes the port and
        // reports the device gone.
        if (n != 0 && !countOutcome(n < 0))
            return;
        if (n < 0 && !readPause(kReadRetryMs))
            return;
    }
}

void PortUSB::USBChanged()
{
    WatchState &watch = watchState();
    std::lock_guard<std::mutex> lock(watch.mutex);
    if (watch.run)
        return;
    auto run = std::make_shared<WatchRun>();
    run->owner = this;
    // The thread finds its run once this lock is let go, thread and run stored.
    // Without a thread there is no watcher for now; the next PortUSB tries again.
    if (!ThreadStart::start(watch.thread, [this]() { ThreadUSBChanged(); }))
        return;
    watch.run = run;
}

void PortUSB::ThreadUSBChanged()
{
    // Only the thread USBChanged started serves an object, and only while its run
    // lasts: called anywhere else, or after a stop, there is nothing to do.
    std::shared_ptr<WatchRun> run;
    {
        WatchState &watch = watchState();
        std::lock_guard<std::mutex> lock(watch.mutex);
        if (watch.run && watch.run->owner == this && watch.thread.get_id() == std::this_thread::get_id())
            run = watch.run;
    }
    if (run)
        watchLoop(*run);
}

void PortUSB::watchLoop(WatchRun &run)
{
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    for (;;) {
        loadIds(&vendorId, &productId);
        if (vendorId != 0 || productId != 0)
            break;
        if (!run.pause(kWatchIntervalMs))
            return;
    }
    // A device present at the first look is not news. An open port counts as one:
    // its device was there when it opened, and one that left before this look (up
    // to an interval after the open) must still be reported gone.
    bool present = isAttached(vendorId, productId) || isOpen();

    // Nothing of this object is touched after an emit: a slot may delete it.
    while (run.pause(kWatchIntervalMs)) {
        // A handle that fails every read and write is as good as unplugged, even
        // when the device was back before this look: the host must open it again.
        if (closeLostDevice()) {
            if (present) {
                present = false;
                emit signalUSBChanged(false);
            }
            continue;
        }
        loadIds(&vendorId, &productId);
        // hidapi lists every HID device for ids 0/0; no device of ours is known then.
        if (vendorId == 0 && productId == 0)
            continue;
        const bool attached = isAttached(vendorId, productId);
        if (attached && !present) {
            present = true;
            emit signalUSBChanged(true);
        } else if (!attached && present) {
            present = false;
            closeUSB();
            emit signalUSBChanged(false);
        }
    }
}

void PortUSB::stopWatch()
{
    WatchState &watch = watchState();
    std::shared_ptr<WatchRun> run;
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(watch.mutex);
        if (!watch.run || watch.run->owner != this)
            return;
        run = std::move(watch.run);
        // The next PortUSB starts a watcher of its own.
        thread = std::move(watch.thread);
    }
    run->requestStop();
    if (thread.get_id() == std::this_thread::get_id()) {
        // Deleted from a slot the watcher called: it cannot wait for itself. It
        // returns from the emit to a stopped run and ends without touching this.
        thread.detach();
    } else {
        thread.join();
    }
}

bool PortUSB::isWatchStarted()
{
    WatchState &watch = watchState();
    std::lock_guard<std::mutex> lock(watch.mutex);
    return watch.run != nullptr;
}

void PortUSB::watchedIds(unsigned short *vendorId, unsigned short *productId)
{
    loadIds(vendorId, productId);
}

bool PortUSB::resetWatchState()
{
    WatchState &watch = watchState();
    std::lock_guard<std::mutex> lock(watch.mutex);
    if (watch.run)
        return false;
    watch.usVendorID = 0;
    watch.usProductID = 0;
    return true;
}

void PortUSB::sendDatatoDevice(void *parameters)
{
    sendCommand(parameters, [this](const QByteArray &sequence) { sendUSBData(sequence); },
                QStringLiteral("Send usb data:"));
}

QByteArray PortUSB::produceCmds(ProtocolData command)
{
    return FrameCodec::produceCmds(command);
}

QByteArray PortUSB::changeData(QByteArray bytes)
{
    return FrameCodec::changeData(bytes);
}

void PortUSB::sendUSBData(QByteArray data)
{
    writeSequence(data, false);
}

void PortUSB::sendUSBData_Update_Zorl(QByteArray data)
{
    writeSequence(data, true);
}

void PortUSB::writeSequence(const QByteArray &sequence, bool updateCutting)
{
    const QString failure = writeSequenceLocked(sequence, updateCutting);
    // Reported once the write lock is let go: a host that closes the port or sends
    // again from its slot takes that lock itself.
    if (!failure.isEmpty())
        reportSendFailed(failure);
}

QString PortUSB::writeSequenceLocked(const QByteArray &sequence, bool updateCutting)
{
    const QList<HidReports::Piece> pieces = updateCutting ? HidReports::update(sequence) : HidReports::plain(sequence);
    // One whole sequence at a time: the host may send an update from any thread
    // while the dispatcher's command goes out, and the device reads one stream.
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (!m_hidDevice)
        return pieces.isEmpty() ? QString() : QStringLiteral("no USB device is open");
    for (const HidReports::Piece &piece : pieces) {
        const QByteArray report = HidReports::report(piece.payload);
        const int written = hid_write(m_hidDevice, reinterpret_cast<const unsigned char *>(report.constData()),
                                      size_t(report.size()));
        countOutcome(written == -1);
        if (written == -1) {
            if (piece.logFailure)
                qCDebug(lcPortUsb) << "Send failed";
            const wchar_t *reason = hid_error(m_hidDevice);
            return reason && *reason ? QString::fromWCharArray(reason)
                                     : QStringLiteral("the device refused an output report");
        }
    }
    return QString();
}

void PortUSB::setRetFlagStatus(bool status)
{
    std::lock_guard<std::mutex> lock(CmdDealModule::HexCmdlock);
    CmdDealModule::bRetFlag = status;
}

unsigned short PortUSB::combineTwoByte(unsigned char low, unsigned char high) const
{
    return FrameCodec::combineTwoByte(low, high);
}
