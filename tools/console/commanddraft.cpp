#include "commanddraft.h"

#include "framecodec.h"
#include "hexinput.h"
#include "scriptreader.h"

namespace {

// Reads one byte field into *value; an empty optional field is 0.
bool readByte(const QString &text, const char *name, bool required, unsigned char *value, QString *error)
{
    if (text.trimmed().isEmpty() && !required) {
        *value = 0;
        return true;
    }
    if (HexInput::byte(text, value))
        return true;
    *error = text.trimmed().isEmpty() ? QStringLiteral("%1 is missing").arg(QLatin1String(name))
                                      : QStringLiteral("%1 \"%2\" is not a hexadecimal byte").arg(QLatin1String(name), text.trimmed());
    return false;
}

QString hex(unsigned char b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
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
    if (!HexInput::blockText(block, &blockScript, &c.error))
        return c;
    if (timeoutMs < 0) {
        c.error = QStringLiteral("the timeout is negative");
        return c;
    }

    c.scriptLine = QStringLiteral("%1:%2:%3:%4:%5").arg(hex(bytes[1]), hex(bytes[2]), hex(bytes[3]), hex(bytes[4]), hex(bytes[5]));
    if (!blockScript.isEmpty())
        c.scriptLine += QLatin1Char('/') + blockScript;
    c.scriptLine += QStringLiteral(" timeout=%1").arg(timeoutMs);

    CommandDefaults defaults;
    defaults.head = bytes[0];
    defaults.timeoutMs = timeoutMs;
    defaults.sendMode = broadcast ? 1 : 0;
    if (ScriptReader::parseLine(c.scriptLine, defaults, &c.command, &c.error) != ScriptReader::LineKind::Command)
        return c;
    c.blockLength = c.command.command.baData.size();

    // p2 and p3 announce a block's length; a command without a block may use them
    // for something else, so only a block of another length stops the send.
    if (c.blockLength > 0 && c.blockLength != c.announcedLength) {
        c.error = QStringLiteral("the block has %1 bytes but p2/p3 announce %2").arg(c.blockLength).arg(c.announcedLength);
        return c;
    }
    if (c.blockLength == 0 && c.announcedLength != 0)
        c.warning = QStringLiteral("p2/p3 announce a block of %1 bytes and there is none").arg(c.announcedLength);
    c.ok = true;
    return c;
}
