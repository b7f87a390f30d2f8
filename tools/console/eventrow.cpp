#include "eventrow.h"

#include "eventtime.h"
#include "trafficmodel.h"

#include <QRegularExpression>

namespace EventRow {

QStringList titles(const TrafficModel &model)
{
    QStringList titles{QStringLiteral("Date and time"), QStringLiteral("Since start (s)")};
    for (int column = TrafficModel::TimeColumn + 1; column < TrafficModel::ColumnCount; ++column)
        titles << model.headerData(column, Qt::Horizontal).toString();
    return titles;
}

QStringList fields(const TrafficModel &model, int row)
{
    const ConsoleEvent &e = model.event(row);
    QStringList fields{EventTime::dateAndClock(e.host.wallMs), EventTime::sinceStart(e.host.timeMs)};
    for (int column = TrafficModel::TimeColumn + 1; column < TrafficModel::ColumnCount; ++column)
        fields << model.data(model.index(row, column)).toString();
    return fields;
}

QString tabSeparated(const TrafficModel &model, const QList<int> &rows)
{
    static const QRegularExpression breaks(QStringLiteral("[\\t\\r\\n]"));
    QString text = titles(model).join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row : rows) {
        QStringList cells = fields(model, row);
        for (QString &cell : cells)
            cell.replace(breaks, QStringLiteral(" "));
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

} // namespace EventRow
