// Feeds arbitrary byte streams through the reassembly buffer and parser. The input
// arrives in pieces whose sizes the input itself chooses, as reads from a port would:
// each piece is one length byte n followed by n + 1 bytes. Seed inputs in this form
// live in tests/fuzz/corpus/fuzz_streamparser/.

#include "cmddealmodule.h"
#include "replyhandoff.h"
#include "streamparser.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

std::atomic<bool> s_run{false};

StreamParser::Settings fuzzSettings()
{
    StreamParser::Settings s;
    s.runFlag = &s_run;
    // One look at the buffer: an incomplete block is given up at once instead of
    // stalling every input for 600 ms.
    s.blockWaitMs = 0;
    s.debugPrefix = QStringLiteral("PortSerial");
    s.fillReply = [](ProtocolData &reply) {
        reply.strSource = QStringLiteral("fuzz");
        reply.byReplySource = 1;
    };
    return s;
}

bool queuedReplyIsChecked(const ProtocolData &r)
{
    const unsigned char sum = static_cast<unsigned char>(r.byHead + r.bySN + r.byCmd + r.bySubCmd
                                                         + r.byParam1 + r.byParam2 + r.byParam3);
    if (sum != r.byCheckSum)
        return false;
    if (r.baData.isEmpty())
        return true;
    unsigned char blockSum = 0;
    for (int i = 0; i < r.baData.size() - 1; ++i)
        blockSum = static_cast<unsigned char>(blockSum + static_cast<unsigned char>(r.baData.at(i)));
    return blockSum == static_cast<unsigned char>(r.baData.back());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discardMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    StreamParser parser(fuzzSettings());
    size_t at = 0;
    while (at < size) {
        // The first byte of each piece gives the length of the piece that follows.
        const size_t piece = qMin<size_t>(size - at - 1, 1 + data[at]);
        parser.append(QByteArray(reinterpret_cast<const char *>(data + at + 1), int(piece)));
        at += 1 + piece;
        parser.dealOnePass();
        // A pass goes on while it makes progress: less than a frame's worth is left.
        if (parser.size() >= 19)
            abort();
    }
    if (size_t(parser.size()) > size)
        abort();

    // Replies without a block are queued by short threads of their own; wait for
    // them, check what was queued and empty the queue, so nothing grows across inputs.
    while (ReplyHandOff::pending() != 0)
        std::this_thread::yield();
    std::lock_guard<std::mutex> lock(CmdDealModule::receiveHexCmdlock);
    for (const ProtocolData &r : CmdDealModule::receivequeueHexCmd) {
        if (!queuedReplyIsChecked(r))
            abort();
    }
    CmdDealModule::receivequeueHexCmd.clear();
    return 0;
}
