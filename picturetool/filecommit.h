#ifndef FILECOMMIT_H
#define FILECOMMIT_H

#include <QByteArray>
#include <QString>

// Puts bytes into the file at target so that the file is never seen half-written: they
// go to a sibling "<name>.part", made new (whatever stood at that name is removed, never
// followed), that is renamed over the file once complete. When target is a symbolic
// link, the file it points to is replaced and the link stays. On failure nothing new
// is left behind, an older file at target is kept, and errorText (if given) says why.
bool commitFile(const QString &target, const QByteArray &bytes, QString *errorText = nullptr);

// Removes the "<output name>.part" entries that an interrupted export left in
// directory, files and links alike (a link itself, not what it points to); other
// entries are not touched.
void removeLeftoverParts(const QString &directory);

#endif // FILECOMMIT_H
