#ifndef HEXINPUT_H
#define HEXINPUT_H

#include <QString>

// Hexadecimal as people type it into the console's fields.
namespace HexInput {

// A block: hex digits in pairs, with any spaces or line breaks between the pairs
// and an optional "0x" in front, as a line of a script writes it ("0a0b0c").
// A trailing "*N" (the bytes N times) is kept. *length is the block's length,
// -1 when N is beyond any count. False, with the reason, for anything else.
bool blockText(const QString &text, QString *scriptText, qint64 *length, QString *error);

} // namespace HexInput

#endif // HEXINPUT_H
