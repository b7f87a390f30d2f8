#include "hexdumpview.h"

#include "hexnumber.h"

#include <QFontDatabase>

#include <algorithm>

namespace {

constexpr int kPerLine = 16;

} // namespace

HexDumpView::HexDumpView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

void HexDumpView::setBytes(const QByteArray &bytes)
{
    setPlainText(format(bytes));
}

QString HexDumpView::format(const QByteArray &bytes, int limit)
{
    const int shown = std::min(bytes.size(), std::max(0, limit));
    QString out;
    out.reserve((shown / kPerLine + 2) * (10 + 3 * kPerLine + kPerLine + 4));
    for (int offset = 0; offset < shown; offset += kPerLine) {
        const int count = std::min(kPerLine, shown - offset);
        out += QStringLiteral("%1 ").arg(offset, 8, 16, QLatin1Char('0'));
        for (int i = 0; i < kPerLine; ++i) {
            if (i < count)
                out += QLatin1Char(' ') + HexNumber::byteText(quint8(bytes.at(offset + i)));
            else
                out += QStringLiteral("   ");
        }
        out += QStringLiteral("  |");
        for (int i = 0; i < count; ++i) {
            const char c = bytes.at(offset + i);
            out += c >= 0x20 && c < 0x7f ? QLatin1Char(c) : QLatin1Char('.');
        }
        out += QStringLiteral("|\n");
    }
    if (shown < bytes.size())
        out += QStringLiteral("... %1 more bytes not shown\n").arg(bytes.size() - shown);
    return out;
}
