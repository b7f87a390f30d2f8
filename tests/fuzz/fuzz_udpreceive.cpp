// Feeds sequences of datagrams through the UDP transport's receive side: raw
// datagrams of any size and content, well-formed replies of any kind (so that
// holds and joins interleave with everything else), changes of sender, of
// bEnabled and socket rebuilds, as the input chooses.

#include "cmddealmodule.h"
#include "datagramcodec.h"
#include "portudp.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

// The largest payload of one IPv4 UDP datagram.
constexpr int kMaxDatagram = 65507;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_at >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : m_data[m_at++]; }
    int u16() { return byte() | byte() << 8; }
    QByteArray take(int n)
    {
        const size_t count = qMin(size_t(n), m_size - qMin(m_at, m_size));
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_at), int(count));
        m_at += count;
        return bytes;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// A reply frame with a right checksum: the kinds come from the input, so every
// row of the hold and join tables is reached.
QByteArray replyFrame(Input &in)
{
    const bool upperCase = in.byte() & 1;
    unsigned char h[8];
    unsigned int sum = 0;
    for (int i = 0; i < 7; ++i) {
        h[i] = in.byte();
        sum += h[i];
    }
    h[7] = static_cast<unsigned char>(sum);
    QByteArray hex = QByteArray(reinterpret_cast<const char *>(h), 8).toHex();
    if (upperCase)
        hex = hex.toUpper();
    return "[R" + hex + "]";
}

const char *const kSenders[] = {"127.0.0.2", "::ffff:127.0.0.3", "::1", "::ffff:192.0.2.20"};

// What the receive side promises whatever arrives.
void checkState(const PortUDP &port)
{
    if (port.m_blockCmdBuff.isEmpty())
        return;
    // Gathering goes on only while fewer bytes than announced are there.
    const int announced = DatagramCodec::announcedLength(DatagramCodec::decode(port.m_stdCmdBuff));
    if (port.m_blockCmdBuff.size() >= announced)
        abort();
}

bool queuedReplyIsSound(const ProtocolData &r)
{
    if (DatagramCodec::isNotReply(r))
        return false; // something that failed to decode was queued
    const unsigned char sum = static_cast<unsigned char>(r.byHead + r.bySN + r.byCmd + r.bySubCmd + r.byParam1
                                                         + r.byParam2 + r.byParam3);
    // Every reply says who sent it, one joined with its block too.
    return sum == r.byCheckSum && r.baData.size() <= 32767 && !r.strSource.isEmpty() && r.strLabel == r.strSource;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Sockets want an application object; a static one is destroyed at exit.
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    {
        PortUDP port;
        QHostAddress sender(QString::fromLatin1(kSenders[0]));
        while (!in.atEnd()) {
            const uint8_t op = in.byte();
            switch (op % 6) {
            case 0:
                port.handleDatagram(in.take(in.u16() % (kMaxDatagram + 1)), sender);
                break;
            case 1:
            case 2:
                port.handleDatagram(replyFrame(in), sender);
                break;
            case 3: {
                const int n = in.u16() % (kMaxDatagram + 1);
                port.handleDatagram(QByteArray(n, char(in.byte())), sender);
                break;
            }
            case 4:
                sender = QHostAddress(QString::fromLatin1(kSenders[in.byte() % 4]));
                port.bEnabled = !(op & 0x80);
                break;
            default:
                // A rebuild in the middle of a burst, keeping the address or not.
                if (op & 0x80)
                    port.reInitUdp();
                else
                    port.reInitUdpKOVA();
                break;
            }
            checkState(port);
        }
    } // the transport's destructor waits for its joining and queueing threads

    std::lock_guard<std::mutex> lock(CmdDealModule::receiveHexCmdlock);
    for (const ProtocolData &r : CmdDealModule::receivequeueHexCmd) {
        if (!queuedReplyIsSound(r))
            abort();
    }
    CmdDealModule::receivequeueHexCmd.clear();
    return 0;
}
