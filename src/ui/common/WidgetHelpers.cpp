#include "WidgetHelpers.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTextDocument>

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QString plainToolTip(const QString &text)
{
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

void setPlainToolTip(QWidget *widget, const QString &text)
{
    widget->setToolTip(plainToolTip(text));
}

void fitButtonToText(QPushButton *button, const QString &longestText)
{
    button->ensurePolished();
    button->setFixedWidth(QFontMetrics(button->font()).horizontalAdvance(longestText) + 56);
}

void fadeIn(QWidget *widget, int durationMs)
{
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0.0);
    widget->setGraphicsEffect(effect);
    // Owned by the widget, not the effect: the finished handler deletes the
    // effect while the animation is still signalling.
    auto *animation = new QPropertyAnimation(effect, "opacity", widget);
    animation->setDuration(durationMs);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    QPointer<QWidget> target(widget);
    QPointer<QGraphicsOpacityEffect> guard(effect);
    QObject::connect(animation, &QPropertyAnimation::finished, widget, [target, guard]() {
        if (target && guard && target->graphicsEffect() == guard)
            target->setGraphicsEffect(nullptr);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
