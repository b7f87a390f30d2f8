#ifndef COMMANDTEXT_H
#define COMMANDTEXT_H

#include "protocoldata.h"

#include <QString>

// Commands as a person types them on the command line, and records as hostcli
// prints them.
namespace CommandText {

// The largest block a command carries: what p2 and p3 can announce.
constexpr int kMaxBlock = 0xFFFF;

// "cmd:sub[:p1[:p2[:p3]]][/block]", all hexadecimal: "e1:00", "71:00:00:01",
// "e0:01:00:04:00/0a0b0c0d". A block written "HEX*N" is those bytes N times:
// "e0:01:00:58:02/5a*600". Missing parameters are 0. False, with the reason, when
// the text is not such a command.
bool parse(const QString &text, ProtocolData *command, QString *error);

// "e1/00 p1=00 p2=16 p3=00"
QString fields(const ProtocolData &record);

} // namespace CommandText

#endif // COMMANDTEXT_H
