#include "roundtripchart.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

const QColor RoundTripChart::kPointColour(0x1c, 0x5f, 0xb8);
const QColor RoundTripChart::kMedianColour(0x1b, 0x7f, 0x3a);
const QColor RoundTripChart::kP99Colour(0xc0, 0x1c, 0x28);

namespace {

constexpr int kMargin = 8;
constexpr int kBottomMargin = 20;

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 1) + QStringLiteral(" ms");
}

} // namespace

RoundTripChart::RoundTripChart(QWidget *parent)
    : QWidget(parent)
    , m_stats(kExactSamples)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_points.reserve(kWindow);
}

void RoundTripChart::addRoundTrip(qint64 timeMs, double roundTripMs)
{
    roundTripMs = std::max(0.0, roundTripMs);
    m_stats.add(qint64(std::llround(roundTripMs * 1000.0)));
    const Point p{timeMs, float(roundTripMs)};
    if (int(m_points.size()) < kWindow) {
        m_points.push_back(p);
    } else {
        m_points[size_t(m_head)] = p;
        m_head = (m_head + 1) % kWindow;
    }
    m_count = int(m_points.size());
    update();
}

void RoundTripChart::clear()
{
    m_stats = LatencyStats(kExactSamples);
    m_points.clear();
    m_head = 0;
    m_count = 0;
    update();
}

double RoundTripChart::medianMs() const
{
    return m_stats.count() ? m_stats.percentile(0.5) / 1000.0 : -1;
}

double RoundTripChart::p99Ms() const
{
    return m_stats.count() ? m_stats.percentile(0.99) / 1000.0 : -1;
}

const RoundTripChart::Point &RoundTripChart::point(int i) const
{
    return m_points[size_t((m_head + i) % std::max(1, m_count))];
}

int RoundTripChart::leftMargin() const
{
    return fontMetrics().horizontalAdvance(QStringLiteral("0000.0 ms")) + kMargin;
}

QRect RoundTripChart::plotArea() const
{
    return rect().adjusted(leftMargin(), kMargin, -kMargin, -kBottomMargin);
}

double RoundTripChart::topMs() const
{
    double top = std::max(1.0, p99Ms());
    for (const Point &p : m_points)
        top = std::max(top, double(p.ms));
    return top * 1.1;
}

int RoundTripChart::yFor(double value) const
{
    return yIn(plotArea(), topMs(), value);
}

int RoundTripChart::yIn(const QRect &plot, double top, double value)
{
    return plot.bottom() - int(std::lround(value / top * plot.height()));
}

QSize RoundTripChart::sizeHint() const
{
    return QSize(480, 180);
}

void RoundTripChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect plot = plotArea();
    const int labels = leftMargin() - 4;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot.adjusted(0, 0, -1, 0));
    painter.setPen(palette().color(QPalette::Text));
    const double top = topMs();
    painter.drawText(QRect(0, plot.top(), labels, 16), Qt::AlignRight, ms(top));
    painter.drawText(QRect(0, plot.bottom() - 14, labels, 16), Qt::AlignRight, ms(0));
    if (m_count == 0 || plot.width() <= 0 || plot.height() <= 0) {
        painter.drawText(plot, Qt::AlignCenter, tr("no replies yet"));
        return;
    }

    // Many points per pixel column: one vertical stroke from the column's fastest
    // to its slowest reply, so the cost does not grow with the points.
    const qint64 first = point(0).timeMs;
    const qint64 span = std::max<qint64>(1, point(m_count - 1).timeMs - first);
    const int columns = plot.width();
    std::vector<float> low(size_t(columns), -1.f);
    std::vector<float> high(size_t(columns), -1.f);
    for (int i = 0; i < m_count; ++i) {
        const Point &p = point(i);
        const int x = std::min(columns - 1, int(double(p.timeMs - first) / double(span) * (columns - 1)));
        if (low[size_t(x)] < 0 || p.ms < low[size_t(x)])
            low[size_t(x)] = p.ms;
        high[size_t(x)] = std::max(high[size_t(x)], p.ms);
    }
    painter.setPen(kPointColour);
    for (int x = 0; x < columns; ++x) {
        // At least three pixels tall, so a lone reply is seen.
        if (low[size_t(x)] >= 0)
            painter.drawLine(plot.left() + x, yIn(plot, top, low[size_t(x)]) + 1, plot.left() + x,
                             yIn(plot, top, high[size_t(x)]) - 1);
    }

    // The percentile lines over the points, so they stay visible where replies cluster.
    const double median = medianMs();
    const double p99 = p99Ms();
    const struct {
        double value;
        QColor colour;
        const char *name;
    } lines[] = {{median, kMedianColour, "median"}, {p99, kP99Colour, "99 %"}};
    // Lines close together keep their names apart: the median's below, the 99 %'s above.
    const int labelHeight = fontMetrics().height();
    const int medianY = yIn(plot, top, median);
    const int p99Y = yIn(plot, top, p99);
    const int apart = std::max(0, labelHeight - (medianY - p99Y) + 1) / 2;
    // Nor do they cover the scale's figures at the top and the bottom.
    const int highest = plot.top() + 16 + labelHeight / 2;
    const int lowest = plot.bottom() - 14 - labelHeight / 2;
    const int p99Label = std::max(p99Y - apart, highest);
    const int medianLabel = std::min(std::max(medianY + apart, p99Label + labelHeight), lowest);
    const int labelY[] = {medianLabel, std::min(p99Label, medianLabel - labelHeight)};
    for (int i = 0; i < 2; ++i) {
        const int y = yIn(plot, top, lines[i].value);
        painter.setPen(lines[i].colour);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.drawText(QRect(0, labelY[i] - labelHeight / 2, labels, labelHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromLatin1(lines[i].name));
    }
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), kBottomMargin - 2), Qt::AlignLeft,
                     tr("median %1, 99th pct. %2, last %3 of %4")
                         .arg(ms(median), ms(p99))
                         .arg(m_count)
                         .arg(m_stats.count()));
}
