#include "ChatBubble.h"

#include "WrappedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

ChatBubble::ChatBubble(const QString &role, const QString &text, QWidget *parent)
    : QFrame(parent)
{
    setObjectName(role == QLatin1String("user") ? QStringLiteral("ChatBubbleUser")
                                                : QStringLiteral("ChatBubbleAI"));
    setMaximumWidth(MaxWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(3);

    // Long threads hold hundreds of wrapped bubbles.
    m_text = new WrappedLabel(this);
    m_text->setObjectName(QStringLiteral("BubbleText"));
    // Questions and replies are never markup, whatever they look like.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    m_text->setStyleSheet(QStringLiteral("background-color: transparent;"));
    m_text->setText(text);
    layout->addWidget(m_text);
}

void ChatBubble::setText(const QString &text)
{
    m_text->setText(text);
    updateGeometry();
}

QSize ChatBubble::sizeHint() const
{
    // A word-wrapped label guesses a narrow width on its own; a bubble should
    // only wrap when the line would not fit.
    ensurePolished();
    int natural = 0;
    const QFontMetrics textMetrics(m_text->font());
    for (const QString &line : m_text->text().split(QLatin1Char('\n')))
        natural = std::max(natural, textMetrics.horizontalAdvance(line));
    if (m_meta)
        natural = std::max(natural, QFontMetrics(m_meta->font()).horizontalAdvance(m_meta->text()));
    const QMargins margins = contentsMargins() + layout()->contentsMargins();
    const int width = std::min(MaxWidth, natural + margins.left() + margins.right() + 4);
    return QSize(width, heightForWidth(width));
}

QString ChatBubble::text() const
{
    return m_text->text();
}

void ChatBubble::setMeta(const QString &text)
{
    if (!m_meta) {
        m_meta = new QLabel(this);
        m_meta->setObjectName(QStringLiteral("BubbleMeta"));
        m_meta->setTextFormat(Qt::PlainText);
        layout()->addWidget(m_meta);
        styleMeta();
    }
    m_meta->setText(text);
    updateGeometry();
}

QString ChatBubble::meta() const
{
    return m_meta ? m_meta->text() : QString();
}

void ChatBubble::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_meta)
        styleMeta();
}

void ChatBubble::styleMeta()
{
    // A faded version of the bubble's own text colour: white on the accent
    // bubble as before, and still readable on the light theme's pale bubble,
    // where a fixed white would vanish.
    ensurePolished();
    QColor color = palette().color(QPalette::WindowText);
    color.setAlpha(110);
    m_meta->setStyleSheet(
        QStringLiteral("font-size: 10px; background-color: transparent; color: rgba(%1,%2,%3,110);")
            .arg(color.red())
            .arg(color.green())
            .arg(color.blue()));
}
