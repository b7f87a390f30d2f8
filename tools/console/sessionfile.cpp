#include "sessionfile.h"

#include "eventjson.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonParseError>

namespace SessionFile {

namespace {

void noteBad(SessionContents *contents, const QString &why)
{
    if (contents->badLines++ == 0)
        contents->firstProblem = QStringLiteral("line %1: %2").arg(contents->lines).arg(why);
}

void readLine(const QByteArray &line, SessionContents *contents)
{
    if (line.trimmed().isEmpty())
        return;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        noteBad(contents, QStringLiteral("not a JSON object"));
        return;
    }
    const QJsonObject o = document.object();
    const QString event = o.value(QStringLiteral("event")).toString();
    if (event == QLatin1String("open")) {
        contents->medium = o.value(QStringLiteral("medium")).toString();
        contents->description = o.value(QStringLiteral("description")).toString();
        contents->openedMs = EventJson::openTime(o);
    } else if (event == QLatin1String("summary")) {
        contents->summary = o;
    } else if (event == QLatin1String("devices")) {
        contents->devices = o;
    } else {
        HostEvent e;
        EventJson::Extent extent;
        QString why;
        switch (EventJson::fromJson(o, &e, &extent, &why)) {
        case EventJson::Read::Event:
            contents->events.append(ConsoleEvent{e, extent});
            break;
        case EventJson::Read::Unknown:
            ++contents->unknownLines;
            break;
        case EventJson::Read::Bad:
            noteBad(contents, event.isEmpty() ? why : QStringLiteral("%1: %2").arg(event, why));
            break;
        }
    }
}

} // namespace

bool read(QIODevice *device, SessionContents *contents, QString *error)
{
    return read(device, contents, error, Progress());
}

bool read(QIODevice *device, SessionContents *contents, QString *error, const Progress &progress)
{
    // One buffer for every line: a file of any size is read in this much memory,
    // besides the bounded events.
    QByteArray buffer(kMaxLineLength + 3, Qt::Uninitialized);
    bool skippingLongLine = false;
    qint64 bytesRead = 0;
    qint64 told = 0;
    while (!device->atEnd()) {
        if (progress && bytesRead - told >= kProgressStep) {
            told = bytesRead;
            if (!progress(bytesRead)) {
                error->clear();
                return false;
            }
        }
        const qint64 length = device->readLine(buffer.data(), buffer.size());
        if (length <= 0) {
            *error = QStringLiteral("cannot read line %1: %2").arg(contents->lines + 1).arg(device->errorString());
            return false;
        }
        bytesRead += length;
        QByteArray line = QByteArray::fromRawData(buffer.constData(), int(length));
        const bool whole = line.endsWith('\n') || device->atEnd();
        if (skippingLongLine) {
            // The rest of a line too long to read, in pieces.
            skippingLongLine = !whole;
            continue;
        }
        ++contents->lines;
        if (!whole) {
            noteBad(contents, QStringLiteral("longer than %1 characters").arg(kMaxLineLength));
            skippingLongLine = !whole;
            continue;
        }
        if (contents->lines == 1 && line.startsWith("\xEF\xBB\xBF"))
            line = line.mid(3);
        readLine(line, contents);
    }
    if (progress)
        progress(bytesRead);
    return true;
}

bool write(QIODevice *device, const QString &medium, const QString &description, const TrafficBuffer &events,
           const QJsonObject &summary, const QJsonObject &devices, QString *error, qint64 openedMs)
{
    auto put = [device](const QJsonObject &o) {
        const QByteArray line = EventJson::line(o);
        return device->write(line) == line.size();
    };
    bool ok = true;
    if (!medium.isEmpty())
        ok = put(EventJson::openObject(medium, description, openedMs));
    for (int i = 0; ok && i < events.size(); ++i)
        ok = put(EventJson::toJson(events.at(i).host, events.at(i).extent));
    if (ok && !summary.isEmpty())
        ok = put(summary);
    if (ok && !devices.isEmpty())
        ok = put(devices);
    if (!ok)
        *error = device->errorString();
    return ok;
}

} // namespace SessionFile
