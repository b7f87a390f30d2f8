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

// 0 to 15 for a hexadecimal digit of either case, -1 for any other character: for
// reading frames as bytes came, where a digit of the wrong case is still a digit.
int digitValue(char c);

// How every tool writes a byte and a 16-bit id: lower-case digits, no prefix,
// two and four of them ("0a", "e1"; "4c56", "0105").
QString byteText(uint value);
QString idText(uint value);

} // namespace HexNumber

#endif // HEXNUMBER_H
