#include "eventquery.h"

#include "trafficmodel.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000;
constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;

bool contains(const QString &haystack, const QString &needle)
{
    return haystack.contains(needle, Qt::CaseInsensitive);
}

// Where an event came from, as the table shows it: a reply's address, the peer of
// bytes on the wire; a command's record says nothing of a source.
const QString &sourceOf(const ConsoleEvent &e)
{
    static const QString none;
    switch (e.kind()) {
    case HostEvent::Kind::Reply:
    case HostEvent::Kind::Drop:
        return e.host.record.strSource;
    case HostEvent::Kind::Wire:
        return e.host.text;
    default:
        return none;
    }
}

// "e1 05", "e105", "0xE1,0x05": pairs of hex digits, separators between bytes.
bool readBytes(const QString &text, QByteArray *bytes)
{
    QString digits;
    const QStringList words = text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
    for (QString word : words) {
        if (word.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            word = word.mid(2);
        if (word.isEmpty() || word.size() % 2 != 0)
            return false;
        digits += word;
    }
    const QByteArray latin = digits.toLatin1();
    const QByteArray parsed = QByteArray::fromHex(latin);
    // fromHex skips what is not a digit: a word it skipped is not bytes.
    if (parsed.toHex() != latin.toLower())
        return false;
    *bytes = parsed;
    return true;
}

} // namespace

bool EventQuery::setSearch(Search mode, const QString &text)
{
    const QString trimmed = text.trimmed();
    QByteArray bytes;
    int sn = -1;
    switch (mode) {
    case Search::Text:
        break;
    case Search::Bytes:
        if (!readBytes(trimmed, &bytes))
            return false;
        break;
    case Search::SerialNumber:
        if (!trimmed.isEmpty()) {
            bool ok = false;
            sn = trimmed.toInt(&ok);
            if (!ok || sn < 0 || sn > 255)
                return false;
        }
        break;
    }
    m_mode = mode;
    m_text = mode == Search::Text ? trimmed : QString();
    m_bytes = bytes;
    m_sn = sn;
    return true;
}

bool EventQuery::readBound(const QString &text, Bound *bound)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        *bound = Bound();
        return true;
    }
    if (t.contains(QLatin1Char(':'))) {
        for (const char *format : {"H:mm", "H:mm:ss", "H:mm:ss.z"}) {
            const QTime time = QTime::fromString(t, QLatin1String(format));
            if (time.isValid()) {
                *bound = Bound{Bound::Kind::Clock, time.msecsSinceStartOfDay()};
                return true;
            }
        }
        return false;
    }
    bool ok = false;
    const double seconds = t.toDouble(&ok);
    // Beyond a thousand years of run a bound means nothing.
    if (!ok || !(seconds >= 0 && seconds < 3.2e10))
        return false;
    *bound = Bound{Bound::Kind::SinceStart, qint64(seconds * 1000.0 + 0.5)};
    return true;
}

bool EventQuery::setTimeRange(const QString &from, const QString &to)
{
    Bound first;
    Bound last;
    if (!readBound(from, &first) || !readBound(to, &last))
        return false;
    m_from = first;
    m_to = last;
    return true;
}

bool EventQuery::isEmpty() const
{
    return m_text.isEmpty() && m_bytes.isEmpty() && m_sn < 0 && m_outcome < 0 && m_source.isEmpty()
        && m_from.kind == Bound::Kind::Open && m_to.kind == Bound::Kind::Open;
}

bool EventQuery::accepts(const ConsoleEvent &e) const
{
    if (m_outcome >= 0 && int(TrafficModel::outcomeOf(e)) != m_outcome)
        return false;
    if (!m_source.isEmpty() && !contains(sourceOf(e), m_source))
        return false;
    return boundsAccept(e) && searchAccepts(e);
}

bool EventQuery::searchAccepts(const ConsoleEvent &e) const
{
    const HostEvent &h = e.host;
    switch (m_mode) {
    case Search::Text:
        return m_text.isEmpty() || contains(h.label, m_text) || contains(h.text, m_text)
            || contains(sourceOf(e), m_text);
    case Search::Bytes: {
        if (m_bytes.isEmpty())
            return true;
        if (h.bytes.contains(m_bytes))
            return true;
        if (!h.hasRecord())
            return false;
        const ProtocolData &r = h.record;
        QByteArray command(5 + r.baData.size(), Qt::Uninitialized);
        command[0] = char(r.byCmd);
        command[1] = char(r.bySubCmd);
        command[2] = char(r.byParam1);
        command[3] = char(r.byParam2);
        command[4] = char(r.byParam3);
        std::copy(r.baData.cbegin(), r.baData.cend(), command.begin() + 5);
        return command.contains(m_bytes);
    }
    case Search::SerialNumber:
        return m_sn < 0 || (h.hasRecord() && int(h.record.bySN) == m_sn);
    }
    return true;
}

bool EventQuery::boundsAccept(const ConsoleEvent &e) const
{
    for (const Bound *bound : {&m_from, &m_to}) {
        qint64 at = 0;
        switch (bound->kind) {
        case Bound::Kind::Open:
            continue;
        case Bound::Kind::SinceStart:
            at = e.host.timeMs;
            break;
        case Bound::Kind::Clock:
            // Without a wall clock (an older file) an event is at no clock time.
            if (e.host.wallMs <= 0)
                return false;
            at = clockOfDay(e.host.wallMs);
            break;
        }
        if (bound == &m_from ? at < bound->ms : at > bound->ms)
            return false;
    }
    return true;
}

qint64 EventQuery::clockOfDay(qint64 wallMs) const
{
    // Offsets change on quarter hours at the finest (summer time, zones of :15 and
    // :45), so one asked of the system holds for every event of its quarter.
    const qint64 quarter = wallMs / kQuarterHourMs;
    if (quarter != m_offsetQuarter) {
        m_offsetQuarter = quarter;
        m_offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(wallMs).offsetFromUtc()) * 1000;
    }
    return ((wallMs + m_offsetMs) % kDayMs + kDayMs) % kDayMs;
}
