#ifndef SHOWNNAME_H
#define SHOWNNAME_H

#include <QByteArray>
#include <QString>

// A path as messages show it: in native separators, as it is when every character is
// printable, else in double quotes with each control character (a newline, say)
// written as an escape, so that a name can neither add a line to the output nor hide
// what it is.
QString shownPath(const QString &path);

// Bytes of a name that the system's encoding cannot read, printable characters as
// they are and every other byte as \xNN, in double quotes.
QString shownBytes(const QByteArray &name);

#endif // SHOWNNAME_H
