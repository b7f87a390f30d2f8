#include "mediumstateindicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kIconSize = 24;

QString wordsFor(MediumState state)
{
    switch (state) {
    case MediumState::Closed:
        return QObject::tr("closed");
    case MediumState::Opening:
        return QObject::tr("opening");
    case MediumState::Open:
        return QObject::tr("open");
    case MediumState::Unplugged:
        return QObject::tr("unplugged, waiting for the device");
    case MediumState::Reopened:
        return QObject::tr("reopened");
    case MediumState::Failed:
        return QObject::tr("could not open");
    }
    return QString();
}

} // namespace

MediumStateIndicator::MediumStateIndicator(QWidget *parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_text(new QLabel(this))
{
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setWordWrap(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_icon);
    layout->addWidget(m_text, 1);
    setState(MediumState::Closed);
}

QColor MediumStateIndicator::colourOf(MediumState state)
{
    switch (state) {
    case MediumState::Open:
    case MediumState::Reopened:
        return QColor(0x1b, 0x7f, 0x3a);
    case MediumState::Opening:
    case MediumState::Unplugged:
        // Waiting: for the medium, or for the device to come back.
        return QColor(0xb3, 0x6b, 0x00);
    case MediumState::Failed:
        return QColor(0xc0, 0x1c, 0x28);
    case MediumState::Closed:
        break;
    }
    return QColor(0x9a, 0x9a, 0x9a);
}

QPixmap MediumStateIndicator::plug(const QColor &colour, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    // Two prongs, the body, and the cable leaving it downwards.
    p.drawRect(QRectF(7, 2, 2.5, 6));
    p.drawRect(QRectF(14.5, 2, 2.5, 6));
    QPainterPath body;
    body.addRoundedRect(QRectF(4, 8, 16, 8), 2, 2);
    p.drawPath(body);
    p.drawRect(QRectF(10.5, 16, 3, 6));
    return pixmap;
}

void MediumStateIndicator::setState(MediumState state, const QString &detail)
{
    m_state = state;
    m_icon->setPixmap(plug(colourOf(state), kIconSize));
    m_text->setText(detail.isEmpty() ? wordsFor(state) : wordsFor(state) + QStringLiteral(": ") + detail);
}

QString MediumStateIndicator::text() const
{
    return m_text->text();
}
