#ifndef EVENTJSON_H
#define EVENTJSON_H

#include "consoleevent.h"

#include <QJsonObject>
#include <QString>

// One event as a line of hostcli --json: the same keys and values, so that a saved
// session and hostcli's output are read by the same scripts.
namespace EventJson {

enum class Read { Event, Unknown, Bad };

QJsonObject toJson(const ConsoleEvent &event);

// Unknown: an "event" this reader does not know (a later hostcli's); Bad: *error
// says what is wrong. "head" and "blockHex" are read where a line has them; a line
// of an older hostcli, without them, gives an event that knows only the block's
// length.
Read fromJson(const QJsonObject &object, ConsoleEvent *event, QString *error);

} // namespace EventJson

#endif // EVENTJSON_H
