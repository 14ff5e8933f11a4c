#include "TitleBar.h"

#include "ui/common/Icons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

namespace {

constexpr int IconSize = 12;

} // namespace

TitleBar::TitleBar(QWidget *window, const QColor &iconColor, QWidget *parent)
    : QWidget(parent)
    , m_window(window)
    , m_iconColor(iconColor)
{
    setObjectName(QStringLiteral("TitleBar"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(36);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->setSpacing(0);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("TitleBarIcon"));
    icon->setFixedSize(20, 20);
    icon->setPixmap(appLogo(20, devicePixelRatioF()));
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addStretch(1);

    m_minimize = windowButton(QStringLiteral("window-minimize"), QStringLiteral("Minimize"));
    m_maximize = windowButton(QStringLiteral("expand"), QStringLiteral("Maximize"));
    m_close = windowButton(QStringLiteral("xmark"), QStringLiteral("Close"));
    m_close->setObjectName(QStringLiteral("TitleBarCloseButton"));
    layout->addWidget(m_minimize);
    layout->addWidget(m_maximize);
    layout->addWidget(m_close);

    connect(m_minimize, &QPushButton::clicked, m_window, &QWidget::showMinimized);
    connect(m_maximize, &QPushButton::clicked, this, &TitleBar::toggleMaximize);
    connect(m_close, &QPushButton::clicked, m_window, &QWidget::close);

    // Maximising by other means (the window system, a keyboard shortcut of
    // the desktop) must switch the icon too.
    m_window->installEventFilter(this);
}

QPushButton *TitleBar::windowButton(const QString &icon, const QString &tooltip)
{
    auto *button = new QPushButton(this);
    button->setObjectName(QStringLiteral("TitleBarButton"));
    button->setIcon(faIcon(icon, m_iconColor, IconSize));
    button->setIconSize(QSize(IconSize, IconSize));
    button->setFixedSize(44, 36);
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TitleBar::setIconColor(const QColor &color)
{
    m_iconColor = color;
    redrawIcons();
}

void TitleBar::redrawIcons()
{
    m_minimize->setIcon(faIcon(QStringLiteral("window-minimize"), m_iconColor, IconSize));
    m_close->setIcon(faIcon(QStringLiteral("xmark"), m_iconColor, IconSize));
    updateMaxIcon();
}

void TitleBar::toggleMaximize()
{
    if (m_window->isMaximized())
        m_window->showNormal();
    else
        m_window->showMaximized();
    updateMaxIcon();
}

void TitleBar::updateMaxIcon()
{
    const QString name =
        m_window->isMaximized() ? QStringLiteral("window-restore") : QStringLiteral("expand");
    m_maximize->setIcon(faIcon(name, m_iconColor, IconSize));
}

void TitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWindow *handle = m_window->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    // No window manager that takes the move over (some X11 setups): move the
    // window by hand while the button is held.
    m_dragging = !m_window->isMaximized();
    m_dragOffset = event->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
}

void TitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        m_window->move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        toggleMaximize();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

bool TitleBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange)
        updateMaxIcon();
    return QWidget::eventFilter(watched, event);
}
