#include "eventdetailview.h"

#include "framecodec.h"
#include "hexdumpview.h"
#include "hexnumber.h"
#include "trafficmodel.h"

#include <QFontDatabase>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

namespace {

using HexNumber::byteText;

QString piecesText(const HostEvent &e)
{
    QStringList sizes;
    for (int size : e.pieces)
        sizes << QString::number(size);
    return sizes.isEmpty() ? QString() : QStringLiteral("%1 %2(s) of %3").arg(e.pieces.size()).arg(e.unit, sizes.join(QStringLiteral(" + ")));
}

} // namespace

EventDetailView::EventDetailView(QWidget *parent)
    : QWidget(parent)
    , m_fields(new QLabel(this))
    , m_frame(new QLabel(this))
    , m_wire(new QLabel(this))
    , m_block(new HexDumpView(this))
{
    m_fields->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_frame->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_frame->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_wire->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_wire->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_wire->setWordWrap(true);
    m_wire->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fields);
    layout->addWidget(m_frame);
    layout->addWidget(m_wire);
    layout->addWidget(m_block, 1);
}

QString EventDetailView::headerText(const ConsoleEvent &e)
{
    const ProtocolData &r = e.host.record;
    const unsigned char header[7] = {r.byHead, r.bySN, r.byCmd, r.bySubCmd, r.byParam1, r.byParam2, r.byParam3};
    QStringList bytes;
    for (int i = 0; i < 7; ++i)
        bytes << byteText(header[i]);
    bytes << byteText(FrameCodec::headerChecksum(header));
    if (!e.extent.headKnown) {
        bytes.first() = QStringLiteral("--");
        bytes.last() = QStringLiteral("--");
    }
    return bytes.join(QLatin1Char(' '));
}

void EventDetailView::setEvent(const ConsoleEvent &e)
{
    const HostEvent &h = e.host;
    const ProtocolData &r = h.record;
    QStringList lines;
    lines << QStringLiteral("%1 at %2 s: %3")
                 .arg(TrafficModel::kindName(e.kind()))
                 .arg(double(h.timeMs) / 1000.0, 0, 'f', 3)
                 .arg(TrafficModel::outcomeText(e));
    if (e.host.hasRecord()) {
        lines << QStringLiteral("SN %1  cmd %2  sub %3  p1 %4  p2 %5  p3 %6  block %7 bytes")
                     .arg(r.bySN)
                     .arg(byteText(r.byCmd), byteText(r.bySubCmd), byteText(r.byParam1), byteText(r.byParam2),
                          byteText(r.byParam3))
                     .arg(e.extent.blockLength);
    }
    if (!h.label.isEmpty())
        lines << (h.line > 0 ? QStringLiteral("label: %1 (script line %2)").arg(h.label).arg(h.line)
                             : QStringLiteral("label: %1").arg(h.label));
    if (!r.strSource.isEmpty())
        lines << QStringLiteral("from: %1").arg(r.strSource);
    if (h.roundTripMs >= 0)
        lines << QStringLiteral("round trip: %1 ms").arg(h.roundTripMs, 0, 'f', 3);
    if (e.kind() == HostEvent::Kind::Send)
        lines << QStringLiteral("%1 bytes on the medium as %2").arg(e.extent.byteCount).arg(piecesText(h));
    if (e.kind() == HostEvent::Kind::GiveUp)
        lines << QStringLiteral("sent %1 times").arg(h.sends);
    if (!h.text.isEmpty())
        lines << h.text;
    m_fields->setText(lines.join(QLatin1Char('\n')));

    if (e.kind() == HostEvent::Kind::Send)
        m_frame->setText(QStringLiteral("frame  ") + QString::fromLatin1(h.bytes.left(FrameCodec::kTextFrameSize)));
    else if (e.host.hasRecord())
        m_frame->setText(QStringLiteral("header ") + headerText(e));
    else
        m_frame->clear();

    setWireText(QString());
    // The bytes of a wire row are what it is about.
    if (e.kind() == HostEvent::Kind::Wire)
        m_block->setBytes(h.bytes);
    else if (!e.host.hasRecord() || e.extent.blockLength == 0)
        m_block->clear();
    else if (e.blockHeld())
        m_block->setBytes(r.baData);
    else
        m_block->setPlainText(QStringLiteral("The block's %1 bytes were not kept.").arg(e.extent.blockLength));
}

void EventDetailView::setWireText(const QString &text)
{
    m_wire->setText(text);
    m_wire->setVisible(!text.isEmpty());
}

void EventDetailView::clear()
{
    m_fields->clear();
    m_frame->clear();
    setWireText(QString());
    m_block->clear();
}

QString EventDetailView::fieldsText() const
{
    return m_fields->text();
}

QString EventDetailView::frameText() const
{
    return m_frame->text();
}

QString EventDetailView::wireText() const
{
    return m_wire->text();
}

QString EventDetailView::blockText() const
{
    return m_block->toPlainText();
}
