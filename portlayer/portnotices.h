#ifndef PORTNOTICES_H
#define PORTNOTICES_H

#include "porvane_global.h"

#include <QObject>
#include <QString>

// What a transport tells its host beyond the fixed signal and slot of PortBase, whose
// meta-object hosts may address by index: a companion object, so that adding a notice
// never moves a method of the transport's own table.
class PORVANE_EXPORT PortNotices : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // A command that did not reach the medium, with the medium's own reason. Emitted
    // on the thread that sent it, beside the debug line the send writes.
    void signalSendFailed(QString reason);
};

#endif // PORTNOTICES_H
