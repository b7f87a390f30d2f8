#ifndef COMMANDTEXT_H
#define COMMANDTEXT_H

#include "protocoldata.h"

#include <QString>

// Commands as a person types them on the command line, and records as hostcli
// prints them.
namespace CommandText {

// The largest block a command carries: what p2 and p3 can announce.
constexpr int kMaxBlock = 0xFFFF;

// At most this much of what a person typed is quoted back in a message.
constexpr int kMaxEcho = 80;

// "cmd:sub[:p1[:p2[:p3]]][/block]", all hexadecimal, each byte with or without 0x:
// "e1:00", "71:00:00:01", "0xe0:0x01:00:04:00/0a0b0c0d". A block written "HEX*N" is
// those bytes N times: "e0:01:00:58:02/5a*600". Missing parameters are 0; with a
// block, p2 + 256 * p3 must be its length. False, with the reason, when the text
// is not such a command.
bool parse(const QString &text, ProtocolData *command, QString *error);

// text, or its first kMaxEcho characters ending in "...": a bad line of any length
// is named in a message of a few lines.
QString echo(const QString &text);

// "e1/00 p1=00 p2=16 p3=00"
QString fields(const ProtocolData &record);
// "e1:00:00:16:00", as a script line starts
QString header(const ProtocolData &record);

} // namespace CommandText

#endif // COMMANDTEXT_H
