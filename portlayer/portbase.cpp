#include "portbase.h"

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
