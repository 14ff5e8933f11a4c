#include "WrappedLabel.h"

#include <QEvent>

WrappedLabel::WrappedLabel(QWidget *parent)
    : QLabel(parent)
{
    setWordWrap(true);
    forget();
}

void WrappedLabel::setText(const QString &text)
{
    forget();
    QLabel::setText(text);
}

int WrappedLabel::heightForWidth(int width) const
{
    for (const auto &entry : m_heights) {
        if (entry.first == width)
            return entry.second;
    }
    const int height = QLabel::heightForWidth(width);
    std::move_backward(m_heights.begin(), m_heights.end() - 1, m_heights.end());
    m_heights.front() = {width, height};
    return height;
}

void WrappedLabel::changeEvent(QEvent *event)
{
    // The text's size depends on the font, the style sheet and the margins.
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ContentsRectChange:
        forget();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}

void WrappedLabel::forget()
{
    m_heights.fill({-1, 0});
}
