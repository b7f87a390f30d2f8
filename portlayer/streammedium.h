#ifndef STREAMMEDIUM_H
#define STREAMMEDIUM_H

#include "modulelenum.h"
#include "porvane_global.h"
#include "protocoldata.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

struct StreamMediumPrivate;

// What the byte-stream media (serial, USB) share: the reassembly buffer and its
// parser, with the parser's operations under the names hosts know; what their
// replies are stamped with; and the one way a command goes out, so that the parser
// hears of every command that leaves. A medium passes its differences as Settings.
// The operations below forward to the parser, which sits behind a pointer: the
// names stay where hosts know them, and the parser can change without changing the
// size of the transports hosts compile against.
class PORVANE_EXPORT StreamMedium
{
public:
    // What differs between the media; defined where the media are built.
    struct Settings;

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
    friend struct StreamMediumPrivate;
    std::unique_ptr<StreamMediumPrivate> d;
};

#endif // STREAMMEDIUM_H
