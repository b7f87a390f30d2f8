#ifndef MEDIUMPORT_H
#define MEDIUMPORT_H

#include "mediumoptions.h"

#include <QObject>
#include <QString>

class PortBase;
struct MediumTraits;

// The transport of one medium, made, opened and closed the one way both hosts do
// it: made through the factory the medium's traits name, opened as they say, and
// on USB watched for the device going and coming back, which it opens again.
class MediumPort : public QObject
{
    Q_OBJECT

public:
    // Shared: PortInterface::iCORE, the factory's own transport, as an example host
    // of the libraries holds it. Owned: one of this object's own.
    enum class Made { Shared, Owned };

    explicit MediumPort(Made made, QObject *parent = nullptr);
    ~MediumPort() override;

    // Closes what was open, makes the transport and opens the medium the options
    // name: *description says what was opened ("opened /dev/ttyUSB0 at 115200
    // 8N1"). False, with the reason; the transport stays, so that a USB device
    // that is not there yet can still come, until close().
    bool open(const MediumOptions &options, QString *description, QString *error);
    // Closes and deletes the transport; safe to call more than once.
    void close();

    // Null unless open() made one.
    PortBase *port() const { return m_port; }
    // Of the medium last opened.
    const MediumTraits &traits() const { return *m_traits; }

signals:
    // The USB device went (present false) or came back (reopened: and is open again).
    void usbChanged(bool present, bool reopened, const QString &text);

private:
    const Made m_made;
    const MediumTraits *m_traits;
    PortBase *m_port = nullptr;
};

#endif // MEDIUMPORT_H
