#include "portbase.h"

#include <QDateTime>
#include <QMetaMethod>

PortBase::PortBase()
    : QObject(nullptr)
    , bEnabled(true)
    , m_notices(new PortNotices(this))
{
}

void PortBase::reportSendFailed(const QString &reason)
{
    emit m_notices->signalSendFailed(reason);
}

PortBase::~PortBase() = default;

void PortNotices::reportWire(bool received, const QByteArray &bytes, const QString &peer)
{
    static const QMetaMethod wire = QMetaMethod::fromSignal(&PortNotices::signalWire);
    if (bytes.isEmpty() || !isSignalConnected(wire))
        return;
    emit signalWire(received, bytes, peer, QDateTime::currentMSecsSinceEpoch());
}
