#include "decoderwarnings.h"

#include <QtGlobal>

#include <atomic>
#include <mutex>

namespace {

thread_local DecoderWarnings *t_current = nullptr;
// Read by any thread that prints, written once by the first to decode.
std::atomic<QtMessageHandler> g_previous { nullptr };

} // namespace

void DecoderWarnings::catchWarnings(QtMsgType type, const QMessageLogContext &context,
                                    const QString &text)
{
    // The readers print their decoders' warnings as plain warnings, without a category
    // of their own; while one lives, this thread is only decoding.
    if (t_current && type == QtWarningMsg) {
        if (t_current->m_first.isEmpty())
            t_current->m_first = text.trimmed();
        return;
    }
    g_previous.load()(type, context, text);
}

DecoderWarnings::DecoderWarnings()
    : m_outer(t_current)
{
    // Installed once, on first use, on top of whatever handler the program has (the
    // toolkit's default one at least); everything not kept goes on to that one.
    static std::once_flag installed;
    std::call_once(installed, []() {
        // Stored before the handler is installed, so no thread can call it without.
        g_previous = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(catchWarnings);
    });
    t_current = this;
}

DecoderWarnings::~DecoderWarnings()
{
    t_current = m_outer;
}
