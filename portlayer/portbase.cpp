#include "portbase.h"

PortBase::PortBase()
    : QObject(nullptr)
    , bEnabled(true)
{
}

PortBase::~PortBase() = default;
