#include "shownname.h"

#include <QDir>

namespace {

// A backslash would read as an escape, unless it is the system's separator
// (Windows), which no name can hold: every Windows path has them, and each would
// otherwise be quoted and shown doubled.
bool needsQuotes(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph
            || c == QLatin1Char('"') || (c == QLatin1Char('\\') && c != QDir::separator())
            || c == QChar::ReplacementCharacter;
}

QString escaped(QChar c)
{
    switch (c.unicode()) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    case '"':
        return QStringLiteral("\\\"");
    case '\\':
        return QStringLiteral("\\\\");
    default:
        break;
    }
    if (c.unicode() < 0x100)
        return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

} // namespace

QString shownPath(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    bool plain = true;
    for (const QChar c : native)
        plain = plain && !needsQuotes(c);
    if (plain)
        return native;
    QString text = QStringLiteral("\"");
    for (const QChar c : native)
        text += needsQuotes(c) ? escaped(c) : QString(c);
    return text + QLatin1Char('"');
}

QString shownBytes(const QByteArray &name)
{
    QString text = QStringLiteral("\"");
    for (const char byte : name) {
        const uchar b = uchar(byte);
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\')
            text += QLatin1Char(byte);
        else
            text += escaped(QChar(b));
    }
    return text + QLatin1Char('"');
}
