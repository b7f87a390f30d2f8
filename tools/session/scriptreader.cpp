#include "scriptreader.h"

#include "commandtext.h"

#include <QIODevice>

namespace {

bool parseExpect(const QString &value, Outcome *expected)
{
    if (value == QLatin1String("answer"))
        *expected = Outcome::Answered;
    else if (value == QLatin1String("drop"))
        *expected = Outcome::Dropped;
    else if (value == QLatin1String("give-up"))
        *expected = Outcome::GivenUp;
    else
        return false;
    return true;
}

} // namespace

ScriptReader::ScriptReader(QIODevice *device, const QString &name, const CommandDefaults &defaults)
    : m_device(device)
    , m_name(name)
    , m_defaults(defaults)
{
}

ScriptReader::LineKind ScriptReader::parseLine(const QString &text, const CommandDefaults &defaults,
                                               PlannedCommand *command, QString *error)
{
    const int hash = text.indexOf(QLatin1Char('#'));
    const QString body = hash < 0 ? text : text.left(hash);
    const QStringList words = body.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return LineKind::Blank;

    PlannedCommand planned;
    if (!CommandText::parse(words.first(), &planned.command, error))
        return LineKind::Bad;
    planned.command.byHead = defaults.head;
    planned.command.iTimeoutMs = defaults.timeoutMs;
    planned.command.bySendMode = defaults.sendMode;
    for (int i = 1; i < words.size(); ++i) {
        const QString &word = words.at(i);
        const QString key = word.section(QLatin1Char('='), 0, 0);
        const QString value = word.section(QLatin1Char('='), 1);
        bool ok = false;
        if (key == QLatin1String("timeout") && word.contains(QLatin1Char('='))) {
            planned.command.iTimeoutMs = value.toInt(&ok);
            if (!ok || planned.command.iTimeoutMs < 0) {
                *error = QStringLiteral("timeout=%1: not a number of milliseconds").arg(CommandText::echo(value));
                return LineKind::Bad;
            }
        } else if (key == QLatin1String("expect") && word.contains(QLatin1Char('='))) {
            if (!parseExpect(value, &planned.expected)) {
                *error = QStringLiteral("expect=%1: give answer, drop or give-up").arg(CommandText::echo(value));
                return LineKind::Bad;
            }
        } else {
            *error = QStringLiteral("\"%1\" is neither timeout=MS nor expect=answer|drop|give-up")
                         .arg(CommandText::echo(word));
            return LineKind::Bad;
        }
    }
    planned.label = hash < 0 ? QString() : text.mid(hash + 1).trimmed();
    if (planned.label.isEmpty())
        planned.label = words.first();
    *command = planned;
    return LineKind::Command;
}

bool ScriptReader::next(PlannedCommand *command)
{
    while (m_error.isEmpty()) {
        if (m_device->atEnd())
            return false;
        // Into one buffer kept for the whole script: a buffer of the longest line
        // allocated for every line costs more than the parsing.
        if (m_buffer.isEmpty())
            m_buffer.resize(kMaxLineLength + 3);
        const qint64 length = m_device->readLine(m_buffer.data(), m_buffer.size());
        if (length <= 0) {
            m_error = QStringLiteral("%1:%2: cannot read: %3").arg(m_name).arg(m_line + 1).arg(m_device->errorString());
            return false;
        }
        QByteArray raw = QByteArray::fromRawData(m_buffer.constData(), int(length));
        ++m_line;
        if (raw.endsWith('\n'))
            raw.chop(1);
        else if (!m_device->atEnd()) {
            m_error = QStringLiteral("%1:%2: line longer than %3 characters").arg(m_name).arg(m_line).arg(kMaxLineLength);
            return false;
        }
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.size() > kMaxLineLength) {
            m_error = QStringLiteral("%1:%2: line longer than %3 characters").arg(m_name).arg(m_line).arg(kMaxLineLength);
            return false;
        }
        // A NUL would end the line for everything that reads it as text; what
        // follows it must not be dropped unseen.
        const int nul = raw.indexOf('\0');
        if (nul >= 0) {
            m_error = QStringLiteral("%1:%2:%3: a NUL byte; a script is text")
                          .arg(m_name)
                          .arg(m_line)
                          .arg(QString::fromUtf8(raw.left(nul)).size() + 1);
            return false;
        }
        QString why;
        switch (parseLine(QString::fromUtf8(raw), m_defaults, command, &why)) {
        case LineKind::Blank:
            continue;
        case LineKind::Command:
            command->line = m_line;
            return true;
        case LineKind::Bad:
            m_error = QStringLiteral("%1:%2: %3").arg(m_name).arg(m_line).arg(why);
            return false;
        }
    }
    return false;
}

QString ScriptReader::error() const
{
    return m_error;
}

qint64 ScriptReader::check(QIODevice *device, const QString &name, const CommandDefaults &defaults,
                           QString *error)
{
    ScriptReader reader(device, name, defaults);
    PlannedCommand command;
    qint64 count = 0;
    while (reader.next(&command))
        ++count;
    if (!reader.error().isEmpty()) {
        *error = reader.error();
        return -1;
    }
    return count;
}
