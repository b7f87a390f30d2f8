#ifndef CSVEXPORT_H
#define CSVEXPORT_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;
class TrafficModel;

// Traffic rows as comma-separated values (RFC 4180): a row of titles, then one
// record a row, fields as EventRow gives them, UTF-8, lines ending in CR LF.
namespace CsvExport {

// A field as a record holds it: quoted, its quotes doubled, when it has a comma,
// a quote or a line break.
QByteArray field(const QString &text);
QByteArray record(const QStringList &fields);

// rows: of the model, in the order to write. False, with *error, when the device
// takes less than all.
bool write(QIODevice *device, const TrafficModel &model, const QList<int> &rows, QString *error);

} // namespace CsvExport

#endif // CSVEXPORT_H
