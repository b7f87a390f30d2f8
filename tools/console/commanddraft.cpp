#include "commanddraft.h"

#include "commandtext.h"
#include "framecodec.h"
#include "hexinput.h"
#include "hexnumber.h"
#include "scriptreader.h"

namespace {

// Reads one byte field into *value; an empty optional field is 0.
bool readByte(const QString &text, const char *name, bool required, unsigned char *value, QString *error)
{
    if (text.trimmed().isEmpty() && !required) {
        *value = 0;
        return true;
    }
    if (HexNumber::parseByte(text.trimmed(), value))
        return true;
    *error = text.trimmed().isEmpty() ? QStringLiteral("%1 is missing").arg(QLatin1String(name))
                                      : QStringLiteral("%1 \"%2\" is not a hexadecimal byte").arg(QLatin1String(name), text.trimmed());
    return false;
}

} // namespace

CommandDraft::Check CommandDraft::check() const
{
    Check c;
    unsigned char bytes[6] = {};
    const struct {
        const QString &text;
        const char *name;
        bool required;
    } fields[6] = {{head, "the head", true}, {cmd, "the command", true}, {sub, "the sub-command", true},
                   {p1, "p1", false},        {p2, "p2", false},         {p3, "p3", false}};
    for (int i = 0; i < 6; ++i) {
        if (!readByte(fields[i].text, fields[i].name, fields[i].required, &bytes[i], &c.error))
            return c;
    }
    c.announcedLength = FrameCodec::combineTwoByte(bytes[4], bytes[5]);
    QString blockScript;
    qint64 length = -1;
    if (!HexInput::blockText(block, &blockScript, &length, &c.error))
        return c;
    // Shown beside what p2/p3 announce even while the two disagree.
    c.blockLength = length >= 0 && length <= CommandText::kMaxBlock ? int(length) : -1;
    if (timeoutMs < 0) {
        c.error = QStringLiteral("the timeout is negative");
        return c;
    }

    c.scriptLine = QStringLiteral("%1:%2:%3:%4:%5")
                       .arg(HexNumber::byteText(bytes[1]), HexNumber::byteText(bytes[2]), HexNumber::byteText(bytes[3]),
                            HexNumber::byteText(bytes[4]), HexNumber::byteText(bytes[5]));
    if (!blockScript.isEmpty())
        c.scriptLine += QLatin1Char('/') + blockScript;
    c.scriptLine += QStringLiteral(" timeout=%1").arg(timeoutMs);

    CommandDefaults defaults;
    defaults.head = bytes[0];
    defaults.timeoutMs = timeoutMs;
    defaults.sendMode = broadcast ? 1 : 0;
    // The script reader refuses a block of another length than p2/p3 announce.
    if (ScriptReader::parseLine(c.scriptLine, defaults, &c.command, &c.error) != ScriptReader::LineKind::Command)
        return c;

    // A command without a block may use p2 and p3 for something else.
    if (c.blockLength == 0 && c.announcedLength != 0)
        c.warning = QStringLiteral("p2/p3 announce a block of %1 bytes and there is none").arg(c.announcedLength);
    c.ok = true;
    return c;
}
