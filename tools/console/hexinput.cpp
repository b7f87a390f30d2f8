#include "hexinput.h"

#include <QRegularExpression>

namespace HexInput {

namespace {

QString withoutPrefix(const QString &text)
{
    return text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2) : text;
}

} // namespace

bool blockText(const QString &text, QString *scriptText, qint64 *length, QString *error)
{
    QString compact = withoutPrefix(text.trimmed());
    compact.remove(QRegularExpression(QStringLiteral("\\s")));
    // Only hex digits and one repeat count go on: the text becomes part of a script
    // line, where a space or "#" would change what the line means.
    static const QRegularExpression kBlock(QStringLiteral("^([0-9a-fA-F]*)(\\*[0-9]+)?$"));
    const QRegularExpressionMatch m = kBlock.match(compact);
    if (!m.hasMatch()) {
        *error = QStringLiteral("the block holds something other than hexadecimal digits");
        return false;
    }
    if (m.capturedLength(1) % 2 != 0) {
        *error = QStringLiteral("the block has an odd number of hexadecimal digits");
        return false;
    }
    if (m.capturedLength(1) == 0 && m.capturedLength(2) > 0) {
        *error = QStringLiteral("a repeat count needs bytes before it");
        return false;
    }
    *scriptText = compact;
    bool counted = true;
    const qint64 times = m.capturedLength(2) > 0 ? m.captured(2).mid(1).toLongLong(&counted) : 1;
    // Digits enough to overflow the product make no block either.
    *length = counted && times <= (qint64(1) << 40) ? m.capturedLength(1) / 2 * times : -1;
    return true;
}

} // namespace HexInput
