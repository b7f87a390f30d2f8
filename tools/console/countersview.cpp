#include "countersview.h"

#include <QGridLayout>
#include <QLabel>
#include <QStringList>

namespace {

const char *const kTitles[] = {"sent", "answered", "dropped", "resent", "given up", "send failed"};

} // namespace

CountersView::CountersView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    for (int i = 0; i < FigureCount; ++i) {
        m_figures[i] = new QLabel(QStringLiteral("0"), this);
        m_figures[i]->setFont(big);
        m_figures[i]->setAlignment(Qt::AlignCenter);
        auto *title = new QLabel(QString::fromLatin1(kTitles[i]), this);
        title->setAlignment(Qt::AlignCenter);
        // Two rows of three: the chart beside them keeps its width.
        const int row = (i / 3) * 2;
        layout->addWidget(m_figures[i], row, i % 3);
        layout->addWidget(title, row + 1, i % 3);
    }
}

void CountersView::setCounters(const TrafficCounters &c)
{
    const qint64 values[FigureCount] = {c.sent, c.answered, c.dropped, c.resent, c.givenUp, c.sendFailed};
    for (int i = 0; i < FigureCount; ++i)
        m_figures[i]->setText(QString::number(values[i]));
}

QString CountersView::text() const
{
    QStringList parts;
    for (int i = 0; i < FigureCount; ++i)
        parts << QStringLiteral("%1 %2").arg(QString::fromLatin1(kTitles[i]), m_figures[i]->text());
    return parts.join(QStringLiteral(", "));
}
