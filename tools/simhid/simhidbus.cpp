#include "simhidbus.h"

// The declarations the functions of hidapi_sim.cpp implement; only the types
// are used here.
#include <hidapi.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

// An open handle: the reports the device sent since it was opened, not yet read,
// and why its last read or write failed (null: it did not).
struct hid_device_
{
    int device;
    std::deque<QByteArray> input;
    const wchar_t *lastError = nullptr;
};

namespace {

const wchar_t kDisconnected[] = L"device disconnected";
const wchar_t kRefused[] = L"output report refused by the device";

struct Device
{
    unsigned short vendorId;
    unsigned short productId;
    QList<QByteArray> output;
    // Writes that succeed before the failing ones start, and how many fail (-1: all).
    int writesBeforeFailure = 0;
    int failingWrites = 0;
    std::function<void(const QByteArray &)> outputHandler;
};

char *copyText(const std::string &text)
{
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

wchar_t *emptyWideText()
{
    wchar_t *text = static_cast<wchar_t *>(std::malloc(sizeof(wchar_t)));
    *text = L'\0';
    return text;
}

} // namespace

struct SimHidBus::State
{
    mutable std::mutex mutex;
    // Woken by input, detaches, recorded output and enumerations.
    mutable std::condition_variable changed;
    // Woken only by what a read waits for, input and detaches: a reader is not woken
    // by every look of a hot-plug watcher, as no real bus wakes it.
    mutable std::condition_variable inputChanged;
    // Ordered by id, that is by the time of attaching: hid_open takes the first.
    std::map<int, Device> devices;
    std::set<hid_device_ *> handles;
    int nextId = 1;
    int enumerations = 0;
};

SimHidBus &SimHidBus::instance()
{
    // Never destroyed: threads of a host may still call in while the process ends.
    static SimHidBus *bus = new SimHidBus;
    return *bus;
}

SimHidBus::SimHidBus()
    : d(new State)
{
}

SimHidBus::~SimHidBus()
{
    delete d;
}

void SimHidBus::reset()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->devices.clear();
    d->enumerations = 0;
    for (hid_device_ *handle : d->handles)
        handle->input.clear();
    d->changed.notify_all();
    d->inputChanged.notify_all();
}

int SimHidBus::attach(unsigned short vendorId, unsigned short productId)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const int id = d->nextId++;
    d->devices[id] = Device{vendorId, productId, {}, 0, 0, {}};
    return id;
}

void SimHidBus::detach(int device)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->devices.erase(device);
    d->changed.notify_all();
    d->inputChanged.notify_all();
}

bool SimHidBus::isAttached(int device) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->devices.count(device) != 0;
}

void SimHidBus::sendInput(int device, const QByteArray &report)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->devices.count(device))
        return;
    for (hid_device_ *handle : d->handles) {
        if (handle->device == device)
            handle->input.push_back(report);
    }
    d->changed.notify_all();
    d->inputChanged.notify_all();
}

QList<QByteArray> SimHidBus::outputReports(int device) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto it = d->devices.find(device);
    return it == d->devices.end() ? QList<QByteArray>() : it->second.output;
}

QList<QByteArray> SimHidBus::takeOutputReports(int device)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto it = d->devices.find(device);
    if (it == d->devices.end())
        return {};
    QList<QByteArray> taken;
    taken.swap(it->second.output);
    return taken;
}

bool SimHidBus::waitForOutputReports(int device, int n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = d->devices.find(device);
        return it != d->devices.end() && it->second.output.size() >= n;
    });
}

void SimHidBus::failWrites(int device, int after, int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto it = d->devices.find(device);
    if (it == d->devices.end())
        return;
    it->second.writesBeforeFailure = after;
    it->second.failingWrites = count;
}

void SimHidBus::setOutputHandler(int device, std::function<void(const QByteArray &)> handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto it = d->devices.find(device);
    if (it != d->devices.end())
        it->second.outputHandler = std::move(handler);
}

int SimHidBus::openHandles(int device) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    int count = 0;
    for (const hid_device_ *handle : d->handles)
        count += handle->device == device ? 1 : 0;
    return count;
}

int SimHidBus::enumerations() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->enumerations;
}

bool SimHidBus::waitForEnumerations(int n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return d->enumerations >= n; });
}

hid_device_info *SimHidBus::enumerate(unsigned short vendorId, unsigned short productId)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    ++d->enumerations;
    d->changed.notify_all();
    // As hidapi does: an id of 0 matches any.
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (const auto &entry : d->devices) {
        const Device &device = entry.second;
        if ((vendorId != 0 && device.vendorId != vendorId) || (productId != 0 && device.productId != productId))
            continue;
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        info->path = copyText("sim-hid:" + std::to_string(entry.first));
        info->vendor_id = device.vendorId;
        info->product_id = device.productId;
        info->serial_number = emptyWideText();
        info->manufacturer_string = emptyWideText();
        info->product_string = emptyWideText();
        info->interface_number = -1;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void SimHidBus::freeEnumeration(hid_device_info *list)
{
    while (list) {
        hid_device_info *next = list->next;
        std::free(list->path);
        std::free(list->serial_number);
        std::free(list->manufacturer_string);
        std::free(list->product_string);
        std::free(list);
        list = next;
    }
}

hid_device_ *SimHidBus::open(unsigned short vendorId, unsigned short productId)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    // Exactly these ids, as hidapi's open compares them: 0 is not a wildcard here.
    for (const auto &entry : d->devices) {
        if (entry.second.vendorId == vendorId && entry.second.productId == productId) {
            auto *handle = new hid_device_{entry.first, {}};
            d->handles.insert(handle);
            return handle;
        }
    }
    return nullptr;
}

void SimHidBus::close(hid_device_ *handle)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->handles.erase(handle))
        delete handle;
}

int SimHidBus::read(hid_device_ *handle, unsigned char *data, size_t length, int milliseconds)
{
    std::unique_lock<std::mutex> lock(d->mutex);
    if (!d->handles.count(handle) || !data)
        return -1;
    const auto ready = [&] { return !handle->input.empty() || !d->devices.count(handle->device); };
    if (milliseconds < 0)
        d->inputChanged.wait(lock, ready);
    else
        d->inputChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
    if (!d->devices.count(handle->device)) {
        handle->lastError = kDisconnected;
        return -1;
    }
    handle->lastError = nullptr;
    if (handle->input.empty())
        return 0;
    const QByteArray report = handle->input.front();
    handle->input.pop_front();
    const size_t n = qMin(length, size_t(report.size()));
    std::memcpy(data, report.constData(), n);
    return int(n);
}

int SimHidBus::write(hid_device_ *handle, const unsigned char *data, size_t length)
{
    std::function<void(const QByteArray &)> handler;
    QByteArray report;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->handles.count(handle) || !data)
            return -1;
        const auto it = d->devices.find(handle->device);
        if (it == d->devices.end()) {
            handle->lastError = kDisconnected;
            return -1;
        }
        Device &device = it->second;
        if (device.writesBeforeFailure > 0) {
            --device.writesBeforeFailure;
        } else if (device.failingWrites != 0) {
            if (device.failingWrites > 0)
                --device.failingWrites;
            handle->lastError = kRefused;
            return -1;
        }
        handle->lastError = nullptr;
        report = QByteArray(reinterpret_cast<const char *>(data), int(length));
        device.output.append(report);
        handler = device.outputHandler;
        d->changed.notify_all();
    }
    if (handler)
        handler(report);
    return int(length);
}

const wchar_t *SimHidBus::error(hid_device_ *handle) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!handle || !d->handles.count(handle))
        return L"no such device";
    // The texts are literals: the pointer stays good whatever happens next.
    return handle->lastError ? handle->lastError : L"Success";
}
