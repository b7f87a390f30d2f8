#ifndef SIMRECORD_H
#define SIMRECORD_H

#include "protocoldata.h"
#include "simframe.h"

// The simulated device speaks in frames, a host in records: the same header and
// block seen from either side.
namespace SimRecord {

// A record as a host would hold it; the checksum is the frame's own.
ProtocolData recordOf(const SimFrame &frame);
// A host's record as the device would see its frame.
SimFrame frameOf(const ProtocolData &record);

} // namespace SimRecord

#endif // SIMRECORD_H
