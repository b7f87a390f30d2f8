#include "portnotices.h"

#include <QDateTime>
#include <QMetaMethod>

void PortNotices::reportWire(bool received, const QByteArray &bytes, const QString &peer)
{
    static const QMetaMethod wire = QMetaMethod::fromSignal(&PortNotices::signalWire);
    if (bytes.isEmpty() || !isSignalConnected(wire))
        return;
    emit signalWire(received, bytes, peer, QDateTime::currentMSecsSinceEpoch());
}
