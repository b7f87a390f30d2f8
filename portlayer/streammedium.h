#ifndef STREAMMEDIUM_H
#define STREAMMEDIUM_H

#include "blockwaitrule.h"
#include "modulelenum.h"
#include "portlog.h"
#include "porvane_global.h"
#include "protocoldata.h"
#include "streamparser.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// What the byte-stream media (serial, USB) share: the reassembly buffer and its
// parser, with the parser's operations under the names hosts know; what their
// replies are stamped with; and the one way a command goes out, so that the parser
// hears of every command that leaves. A medium passes its differences as Settings.
class PORVANE_EXPORT StreamMedium
{
public:
    // What differs between the media.
    struct Settings
    {
        bool awaitBlocks = true;
        int blockWaitMs = 600;
        // Class name in the parser's debug lines, "PortSerial" or "PortUSB".
        QString debugPrefix;
        // The category of the medium's debug lines.
        const QLoggingCategory &(*logCategory)() = lcPort;
        // byReplySource of the replies; and whether replies that checkBlock queues keep
        // the strSource they come with.
        unsigned char replySource = 1;
        bool blockRepliesKeepSource = false;
    };

    // Read by the parser thread while the host may set it: atomic, still lock-free.
    std::atomic<ModulelEnum::DeviceType> m_deviceType{ModulelEnum::DeviceNone};

    void appendBuffData(QByteArray data);
    QByteArray getBuffData(unsigned short n);
    QByteArray takeBuffData(unsigned short n);
    void clearBuffData();
    int buffSize();
    bool isFindStdCmdPreFlag(QByteArray snapshot);
    bool checkCMD(QByteArray frame);
    bool getArrayData(QByteArray frame, ProtocolData *out);
    bool checkBlock(ProtocolData reply, unsigned short length);
    void commandSent();
    static void addToReceivedQueue(ProtocolData reply);
    void ThreadDealDataFunc();
    void dealOnePass();
    bool startParserThread();
    void stopParserThread();

protected:
    explicit StreamMedium(const Settings &settings);
    ~StreamMedium();

    StreamMedium(const StreamMedium &) = delete;
    StreamMedium &operator=(const StreamMedium &) = delete;

    // The parser thread runs while m_parserRun is true, and sets m_parserExited as its
    // last action. Held here, before the parser, so that they outlive its thread; a
    // medium shows them under names of its own.
    std::atomic<bool> m_parserRun{false};
    std::atomic<bool> m_parserExited{false};

    // The strSource of this medium's replies; set only while no parser thread runs.
    void setReplySourceText(const QString &text);
    // The run flag has changed: the parser looks at it at once.
    void runFlagChanged();
    // Copies the command parameters points to, builds its bytes, tells the parser
    // when the command ends a block's wait (BlockWaitRule), writes the bytes with
    // write, and logs logPrefix and the command frame, whether or not they went.
    void sendCommand(void *parameters, const std::function<void(const QByteArray &)> &write,
                     const QString &logPrefix);

private:
    static StreamParser::Settings parserSettings(const Settings &settings, StreamMedium *self);

    const QLoggingCategory &(*const m_logCategory)();
    QString m_replySourceText;
    BlockWaitRule m_blockWait;
    // Last: destroyed first, so its thread has stopped before the members it stamps
    // replies from go.
    StreamParser m_parser;
};

#endif // STREAMMEDIUM_H
