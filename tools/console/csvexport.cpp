#include "csvexport.h"

#include "eventrow.h"

#include <QIODevice>

namespace CsvExport {

namespace {

// Written a block at a time: one write per row would cost more than the rows.
constexpr int kBlockSize = 1 << 16;

} // namespace

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace('"', "\"\"") + '"';
    return bytes;
}

QByteArray record(const QStringList &fields)
{
    QByteArray line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += field(fields.at(i));
    }
    return line + "\r\n";
}

bool write(QIODevice *device, const TrafficModel &model, const QList<int> &rows, QString *error)
{
    QByteArray block = record(EventRow::titles(model));
    auto put = [device, &block] {
        const bool ok = device->write(block) == block.size();
        block.clear();
        return ok;
    };
    for (int row : rows) {
        block += record(EventRow::fields(model, row));
        if (block.size() >= kBlockSize && !put()) {
            *error = device->errorString();
            return false;
        }
    }
    if (!put()) {
        *error = device->errorString();
        return false;
    }
    return true;
}

} // namespace CsvExport
