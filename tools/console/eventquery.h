#ifndef EVENTQUERY_H
#define EVENTQUERY_H

#include "consoleevent.h"

#include <QByteArray>
#include <QString>

// What a person searches the traffic for, beyond its kinds and command: text, hex
// bytes or a serial number; an outcome; a source; a time range. Each part left
// empty lets every event through. Plain data, asked of one event at a time, so
// that a filter over 100,000 rows costs one pass without building any text.
class EventQuery
{
public:
    enum class Search { Text, Bytes, SerialNumber };

    // Text: in the label, the text and the source, case ignored. Bytes: "e1 05",
    // "e105" or "0xE1 0x05", found in the command's five bytes (cmd sub p1 p2 p3)
    // followed by its block, in the bytes sent, in the bytes on the wire. Serial
    // number: 0 to 255, as the SN column shows it. False, and the query unchanged,
    // for bytes or a number it cannot read.
    bool setSearch(Search mode, const QString &text);
    // int(TrafficModel::Outcome), or -1 for any.
    void setOutcome(int outcome) { m_outcome = outcome; }
    // In a reply's source address or a wire row's peer (a port name, an address).
    void setSource(const QString &text) { m_source = text.trimmed(); }
    // Each bound: seconds since the start ("12.5"), or a local clock time of day
    // ("14:03", "14:03:27.512") against the event's wall clock; empty: open. False,
    // and the query unchanged, for a bound it cannot read.
    bool setTimeRange(const QString &from, const QString &to);

    bool isEmpty() const;
    bool accepts(const ConsoleEvent &event) const;

private:
    struct Bound
    {
        enum class Kind { Open, SinceStart, Clock };
        Kind kind = Kind::Open;
        qint64 ms = 0;
    };
    static bool readBound(const QString &text, Bound *bound);
    bool searchAccepts(const ConsoleEvent &event) const;
    bool boundsAccept(const ConsoleEvent &event) const;
    qint64 clockOfDay(qint64 wallMs) const;

    Search m_mode = Search::Text;
    QString m_text;
    QByteArray m_bytes;
    int m_sn = -1;
    int m_outcome = -1;
    QString m_source;
    Bound m_from;
    Bound m_to;
    // The local time's offset from UTC, asked of the system once per quarter hour
    // of events rather than once per event.
    mutable qint64 m_offsetQuarter = -1;
    mutable qint64 m_offsetMs = 0;
};

#endif // EVENTQUERY_H
