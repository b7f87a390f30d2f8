#ifndef HEXNUMBER_H
#define HEXNUMBER_H

#include <QString>

// Command codes, bytes and USB ids as the tools read them: hexadecimal, with or
// without 0x ("43", "0x43", "0X2b"), so that a number means the same in every tool.
namespace HexNumber {

// At most digits hexadecimal digits after the optional 0x; no sign, no spaces.
bool parse(const QString &text, int digits, uint *value);
// One byte: "e1", "0xe1", "5".
bool parseByte(const QString &text, unsigned char *value);
// A 16-bit id: "4c56", "0x105".
bool parseId(const QString &text, unsigned short *value);

} // namespace HexNumber

#endif // HEXNUMBER_H
