#include "Crests.h"

#include "StableRandom.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

QColor colourOf(const QString &hex, const QColor &fallback)
{
    const QColor colour(QLatin1Char('#') + hex);
    return hex.size() == 6 && colour.isValid() ? colour : fallback;
}

double luminance(const QColor &c)
{
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

double distance(const QColor &a, const QColor &b)
{
    const double dr = a.red() - b.red();
    const double dg = a.green() - b.green();
    const double db = a.blue() - b.blue();
    return std::sqrt(dr * dr + dg * dg + db * db);
}

QPainterPath outline(int shape, const QRectF &r)
{
    QPainterPath path;
    switch (shape) {
    case 0: { // a classic shield: flat top, straight sides, pointed base
        path.moveTo(r.left(), r.top());
        path.lineTo(r.right(), r.top());
        path.lineTo(r.right(), r.top() + r.height() * 0.52);
        path.cubicTo(r.right(), r.top() + r.height() * 0.80, r.center().x() + r.width() * 0.22,
                     r.bottom() - 2, r.center().x(), r.bottom());
        path.cubicTo(r.center().x() - r.width() * 0.22, r.bottom() - 2, r.left(), r.top() + r.height() * 0.80,
                     r.left(), r.top() + r.height() * 0.52);
        path.closeSubpath();
        break;
    }
    case 1: // a roundel
        path.addEllipse(r);
        break;
    default: // a rounded badge
        path.addRoundedRect(r, r.width() * 0.22, r.height() * 0.22);
        break;
    }
    return path;
}

} // namespace

QByteArray renderCrestPng(const RecordedTeam &team, int size)
{
    const std::uint64_t hash = StableRandom::hash(team.id + QLatin1Char('/') + team.displayName);
    const QColor fallback = QColor::fromHsv(int(hash % 360), 170, 190);
    const QColor primary = colourOf(team.color, fallback);
    QColor secondary = colourOf(team.alternateColor, QColor());
    if (!secondary.isValid() || distance(primary, secondary) < 80)
        secondary = luminance(primary) > 0.55 ? QColor(QStringLiteral("#1b1f2a")) : QColor(Qt::white);
    const QColor rim = luminance(primary) > 0.85 ? secondary : primary.darker(160);

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const double pen = std::max(2.0, size / 24.0);
    const QRectF box(pen, pen, size - 2 * pen, size - 2 * pen);
    const int shape = int(hash % 3);
    const QPainterPath body = outline(shape, box);

    painter.fillPath(body, primary);
    painter.save();
    painter.setClipPath(body);
    painter.setPen(Qt::NoPen);
    painter.setBrush(secondary);
    switch (int((hash >> 8) % 4)) {
    case 0: // halves
        painter.drawRect(QRectF(box.center().x(), box.top(), box.width() / 2, box.height()));
        break;
    case 1: { // a diagonal sash
        QPainterPath sash;
        sash.moveTo(box.left(), box.top() + box.height() * 0.15);
        sash.lineTo(box.left() + box.width() * 0.25, box.top());
        sash.lineTo(box.right(), box.bottom() - box.height() * 0.15);
        sash.lineTo(box.right() - box.width() * 0.25, box.bottom());
        sash.closeSubpath();
        painter.drawPath(sash);
        break;
    }
    case 2: // vertical stripes
        for (int i = 1; i < 6; i += 2)
            painter.drawRect(
                QRectF(box.left() + box.width() * i / 6.0, box.top(), box.width() / 6.0, box.height()));
        break;
    default: // a band across the top
        painter.drawRect(QRectF(box.left(), box.top(), box.width(), box.height() * 0.28));
        break;
    }
    painter.restore();
    painter.setPen(QPen(rim, pen));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(body);

    // The initials on a plate of the main colour, so they read on any pattern.
    QString initials = team.abbreviation.isEmpty() ? team.displayName.left(3) : team.abbreviation;
    initials = initials.left(4).toUpper();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(std::max(8, int(size * (initials.size() > 3 ? 0.2 : 0.25))));
    const QFontMetricsF metrics(font);
    const double plateWidth = metrics.horizontalAdvance(initials) + size * 0.12;
    const double plateHeight = metrics.height() + size * 0.04;
    const QRectF plate(box.center().x() - plateWidth / 2, box.top() + box.height() * 0.42 - plateHeight / 2,
                       plateWidth, plateHeight);
    painter.setPen(QPen(rim, std::max(1.0, pen / 2)));
    painter.setBrush(primary);
    painter.drawRoundedRect(plate, plateHeight * 0.25, plateHeight * 0.25);
    painter.setFont(font);
    painter.setPen(luminance(primary) > 0.6 ? QColor(QStringLiteral("#1b1f2a")) : QColor(Qt::white));
    painter.drawText(plate, Qt::AlignCenter, initials);
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
