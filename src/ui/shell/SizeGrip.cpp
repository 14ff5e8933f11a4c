#include "SizeGrip.h"

#include <QPainter>

SizeGrip::SizeGrip(QWidget *parent)
    : QSizeGrip(parent)
{}

void SizeGrip::paintEvent(QPaintEvent *)
{
    // A grey that reads on both themes.
    const QColor dots(139, 148, 163, 220);
    const QRect area = contentsRect();
    const QPointF corner(area.right() + 1 - 16, area.bottom() + 1 - 16);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dots);
    // A triangle of dots: one in the top row, three in the bottom one.
    for (int row = 0; row < 3; ++row) {
        for (int col = 2 - row; col < 3; ++col)
            painter.drawEllipse(corner + QPointF(4.5 + col * 4, 4.5 + row * 4), 1.3, 1.3);
    }
}
