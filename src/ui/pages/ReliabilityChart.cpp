#include "ReliabilityChart.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MinDot = 3;
constexpr int MaxDot = 9;

} // namespace

ReliabilityChart::ReliabilityChart(QWidget *parent)
    : QWidget(parent)
    , m_accent(Qt::darkGreen)
    , m_text(Qt::black)
    , m_muted(Qt::gray)
{
    setObjectName(QStringLiteral("ReliabilityChart"));
    setMinimumSize(sizeHint());
    setToolTip(QStringLiteral("Each dot: the calls given about that chance, and how often they came true. "
                              "On the line is honest; below it, too sure."));
}

void ReliabilityChart::setBins(const QList<CalibrationBin> &bins)
{
    m_bins = bins;
    update();
}

void ReliabilityChart::setColors(const QColor &accent, const QColor &text, const QColor &muted)
{
    m_accent = accent;
    m_text = text;
    m_muted = muted;
    update();
}

QSize ReliabilityChart::sizeHint() const
{
    return {230, 200};
}

void ReliabilityChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont small = font();
    small.setPixelSize(10);
    painter.setFont(small);
    const QFontMetrics metrics(small);

    // Room on the left for "100" and the axis title, below for the ticks and
    // the title; the plot itself is square so the diagonal is 45 degrees.
    const int left = metrics.horizontalAdvance(QStringLiteral("100")) + 18;
    const int bottom = 2 * metrics.height() + 6;
    const int side = std::max(40, std::min(width() - left - MaxDot - 2, height() - bottom - MaxDot));
    const QRectF plot(left, MaxDot, side, side);
    auto point = [&plot](double x, double y) {
        return QPointF(plot.left() + plot.width() * x / 100.0, plot.bottom() - plot.height() * y / 100.0);
    };

    QColor grid = m_muted;
    grid.setAlpha(70);
    painter.setPen(QPen(grid, 1));
    for (int tick = 0; tick <= 100; tick += 50) {
        painter.drawLine(point(0, tick), point(100, tick));
        painter.drawLine(point(tick, 0), point(tick, 100));
    }
    painter.setPen(m_muted);
    for (int tick = 0; tick <= 100; tick += 50) {
        const QString label = QString::number(tick);
        const QPointF y = point(0, tick);
        painter.drawText(QRectF(0, y.y() - metrics.height() / 2.0, left - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, label);
        const QPointF x = point(tick, 0);
        painter.drawText(QRectF(x.x() - 20, plot.bottom() + 2, 40, metrics.height()), Qt::AlignCenter, label);
    }
    painter.drawText(
        QRectF(plot.left(), plot.bottom() + metrics.height() + 4, plot.width(), metrics.height()),
        Qt::AlignCenter, QStringLiteral("AI said (%)"));
    painter.save();
    painter.translate(metrics.height() / 2.0 + 1, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, -metrics.height() / 2.0, plot.height(), metrics.height()),
                     Qt::AlignCenter, QStringLiteral("happened (%)"));
    painter.restore();

    painter.setPen(QPen(m_text, 1, Qt::DashLine));
    painter.drawLine(point(0, 0), point(100, 100));

    int most = 0;
    for (const CalibrationBin &bin : m_bins)
        most = std::max(most, bin.n);
    if (most == 0)
        return;
    QColor fill = m_accent;
    fill.setAlpha(200);
    painter.setPen(QPen(m_accent.darker(130), 1));
    painter.setBrush(fill);
    for (const CalibrationBin &bin : m_bins) {
        if (bin.n == 0)
            continue;
        // Area grows with the count, so a bin of 40 calls does not look ten
        // times as important as one of 4.
        const double radius = MinDot + (MaxDot - MinDot) * std::sqrt(double(bin.n) / most);
        painter.drawEllipse(point(bin.meanPct, bin.observedPct), radius, radius);
    }
}
