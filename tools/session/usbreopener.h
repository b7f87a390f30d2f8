#ifndef USBREOPENER_H
#define USBREOPENER_H

#include <QObject>
#include <QString>

class PortBase;

// What a host does when the hot-plug watcher reports its USB device: gone, the
// transport has closed it already; back, the host opens it again itself, with the
// ids it opened it with. hostcli and the console both go by it.
//
// The transport emits a signalUSBChanged of its own, which hides the one PortBase
// declares, from the watcher's thread: the reopener connects by name, which finds
// the transport's, and takes the notice on its own thread.
class UsbReopener : public QObject
{
    Q_OBJECT

public:
    UsbReopener(PortBase *port, unsigned short vendorId, unsigned short productId, QObject *parent = nullptr);

signals:
    // present: the device is back (reopened: and open again) or gone. text says so
    // as the reports show it: "device removed, port closed (signalUSBChanged(false))".
    void changed(bool present, bool reopened, const QString &text);

private slots:
    void onUsbChanged(bool present);

private:
    PortBase *m_port;
    unsigned short m_vendorId;
    unsigned short m_productId;
};

#endif // USBREOPENER_H
