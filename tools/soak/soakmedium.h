#ifndef SOAKMEDIUM_H
#define SOAKMEDIUM_H

#include "soakledger.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class PortBase;

// One kind of command in a run's mix.
struct SoakCommandKind
{
    quint8 cmd;
    quint8 sub;
    // The command carries a block of this many bytes (its p2/p3 then announce them).
    int blockBytes;
    int weight;
};

// What a run on a medium sends and how the device misbehaves there.
struct SoakPlan
{
    // The faults every medium gets, at the same rates: silent 5 %, wrong header
    // checksum 5 %, wrong block checksum 2 %, garbage, pieces and refused by the
    // rules 3 % each, the rest 1 % each.
    static QList<SimDevice::FaultRate> commonRates();

    QList<SoakCommandKind> mix;
    QList<SimDevice::FaultRate> rates;
    // The timeout of every command: well above a normal round trip on the medium,
    // short enough that silent commands cost little.
    int timeoutMs = 150;
    // How late a delayed answer comes: between one and two timeouts, so that the
    // late reply meets the resend's.
    int delayMs = 180;
    // How long a disturbance keeps the medium away.
    int downMs = 300;
};

// A medium of a run: the simulated device on it, the transport the factory makes for
// it, and a disturbance (the line hung up, the device unplugged, the socket rebuilt)
// from which the host brings the transport back. Lives on the thread that runs the
// transport, which runs an event loop.
class SoakMedium : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Serial, Udp, Usb };

    static std::unique_ptr<SoakMedium> create(Kind kind);
    static QString name(Kind kind);
    static bool parse(const QString &text, Kind *kind);

    ~SoakMedium() override;

    virtual Kind kind() const = 0;
    virtual SoakPlan plan() const = 0;
    virtual SimProfile profile() const = 0;
    virtual bool blocksReachHost() const { return true; }
    // What an answer of the device does on this medium.
    virtual SoakLedger::Effect effect(const SimDevice::Exchange &e) const = 0;

    // Starts the device (configure sets its faults, here and after every disturbance)
    // and opens the transport to it.
    virtual bool open(const std::function<void(SimDevice &)> &configure, QString *error) = 0;
    virtual PortBase *port() const = 0;
    // Takes the medium away; the host brings it back downMs later and then emits back().
    virtual void disturb() = 0;
    // What the disturbance did and how the transport took it, for the report.
    virtual QString disturbanceNote() const = 0;
    // Everything the device took since the last call, across disturbances.
    virtual QList<SimDevice::Exchange> takeExchanges() = 0;
    // Closes the transport and stops the device.
    virtual void close() = 0;

signals:
    // The medium is usable again after a disturbance; ok false when it could not be reopened.
    void back(bool ok, const QString &error);

protected:
    SoakMedium() = default;
};

#endif // SOAKMEDIUM_H
