#include "ComboBox.h"

#include <QPainter>
#include <QPolygonF>
#include <QStyleOptionComboBox>

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{}

void ComboBox::setArrowColor(const QColor &color)
{
    m_arrowColor = color;
    update();
}

void ComboBox::paintEvent(QPaintEvent *event)
{
    QComboBox::paintEvent(event);

    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect dropDown =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    // A 10 x 6 chevron, 10 px in from the right edge of the drop-down area.
    const QPointF centre = QRectF(dropDown).adjusted(0, 0, -10, 0).center();
    const QPointF origin = centre - QPointF(5, 3);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_arrowColor, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(
        QPolygonF({origin + QPointF(1.5, 1.5), origin + QPointF(5, 4.75), origin + QPointF(8.5, 1.5)}));
}
