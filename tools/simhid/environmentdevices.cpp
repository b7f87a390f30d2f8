#include "environmentdevices.h"

#include "simfaultnames.h"
#include "usbdevice.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

bool parseId(const QString &text, quint16 *id)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    *id = quint16(value);
    return ok && value <= 0xFFFF;
}

// One device's description; false with the reason when it does not parse.
bool addDevice(const QString &description, std::vector<std::unique_ptr<UsbDevice>> *devices, QString *error)
{
    const QStringList parts = description.split(QLatin1Char('/'));
    const QStringList ids = parts.at(0).split(QLatin1Char(':'));
    quint16 vendorId = 0;
    quint16 productId = 0;
    if (ids.size() != 2 || !parseId(ids.at(0), &vendorId) || !parseId(ids.at(1), &productId)) {
        *error = QStringLiteral("not VVVV:PPPP: ") + parts.at(0);
        return false;
    }
    auto device = std::make_unique<UsbDevice>(vendorId, productId);
    for (int i = 1; i < parts.size(); ++i) {
        const QString name = parts.at(i).section(QLatin1Char('='), 0, 0);
        SimFault fault;
        if (!SimFaultNames::find(name, &fault)) {
            *error = QStringLiteral("no such fault: ") + name;
            return false;
        }
        if (!parts.at(i).contains(QLatin1Char('='))) {
            device->device().setFaultForAll(fault);
            continue;
        }
        quint8 cmd;
        int times;
        if (!SimFaultNames::parseTarget(parts.at(i).section(QLatin1Char('='), 1), &cmd, &times)) {
            *error = QStringLiteral("not a command code: ") + parts.at(i);
            return false;
        }
        device->device().setFault(cmd, fault, times);
    }
    if (!device->start(error))
        return false;
    devices->push_back(std::move(device));
    return true;
}

} // namespace

void EnvironmentDevices::attachOnce()
{
    // Stopped and detached when the process ends.
    static std::vector<std::unique_ptr<UsbDevice>> devices;
    static std::once_flag once;
    std::call_once(once, [] {
        const char *value = std::getenv(kVariable);
        if (!value)
            return;
        const QStringList descriptions = QString::fromLocal8Bit(value).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &description : descriptions) {
            QString error;
            if (!addDevice(description.trimmed(), &devices, &error))
                std::fprintf(stderr, "%s: %s\n", kVariable, qPrintable(error));
        }
    });
}
