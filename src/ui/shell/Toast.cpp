#include "Toast.h"

#include "ToastManager.h"
#include "ui/common/Icons.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int TickMs = 50;
constexpr int MinWidth = 320;
constexpr int MaxWidth = 460;
constexpr int HostMargin = 40;

} // namespace

Toast::Toast(QWidget *host, const QString &message, const QString &kind, int durationMs,
             ToastManager *manager)
    : QWidget(host)
    , m_manager(manager)
    , m_remainingMs(durationMs)
{
    const QString color = colorFor(kind);
    setObjectName(QStringLiteral("Toast"));
    setAttribute(Qt::WA_StyledBackground);
    // The same dark card in both themes. The selector keeps the frame off the
    // children, which would otherwise inherit it.
    setStyleSheet(QStringLiteral("QWidget#Toast { background-color: #1B1F26; border: 1px solid %1; "
                                 "border-radius: 10px; }")
                      .arg(color));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(14, 10, 16, 8);
    row->setSpacing(10);
    auto *icon = new QLabel(this);
    icon->setPixmap(faPixmap(iconFor(kind), QColor(color), 18));
    icon->setStyleSheet(QStringLiteral("border: none; background: transparent;"));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    row->addWidget(icon, 0, Qt::AlignTop);

    m_label = new QLabel(displayText(message), this);
    // Messages carry text from services and servers: never interpret it.
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_label->setStyleSheet(QStringLiteral("color: #E8EAED; border: none; background: transparent;"));
    row->addWidget(m_label, 1);
    outer->addLayout(row);

    m_bar = new QProgressBar(this);
    m_bar->setRange(0, std::max(0, durationMs));
    m_bar->setValue(std::max(0, durationMs));
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(3);
    // Inset from the sides so the bar stays inside the rounded corners.
    m_bar->setStyleSheet(
        QStringLiteral("QProgressBar { background: transparent; border: none; margin: 0px 9px 1px 9px; "
                       "max-height: 3px; } QProgressBar::chunk { background-color: %1; "
                       "border-radius: 1px; }")
            .arg(color));
    outer->addWidget(m_bar);

    const int width = std::clamp(host->width() - HostMargin, MinWidth, MaxWidth);
    setFixedWidth(width);
    const int natural =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width) : sizeHint().height();
    setFixedHeight(std::max(1, std::min(natural, host->height() - HostMargin)));

    m_opacity = new QGraphicsOpacityEffect(this);
    m_opacity->setOpacity(0.0);
    setGraphicsEffect(m_opacity);
    show();
    raise();
    m_fadeIn = new QPropertyAnimation(m_opacity, "opacity", this);
    m_fadeIn->setDuration(160);
    m_fadeIn->setStartValue(0.0);
    m_fadeIn->setEndValue(1.0);
    m_fadeIn->start(QAbstractAnimation::DeleteWhenStopped);

    m_timer = new QTimer(this);
    m_timer->setInterval(TickMs);
    connect(m_timer, &QTimer::timeout, this, &Toast::tick);
    m_timer->start();
}

QString Toast::displayText(const QString &message)
{
    if (message.size() <= MaxMessageLength)
        return message;
    QString cut = message.left(MaxMessageLength - 3);
    // Never leave half of a surrogate pair (an emoji, say) at the cut.
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut.trimmed() + QChar(0x2026);
}

QString Toast::colorFor(const QString &kind)
{
    if (kind == QLatin1String("success"))
        return QStringLiteral("#1CB05A");
    if (kind == QLatin1String("error"))
        return QStringLiteral("#E5484D");
    return QStringLiteral("#3B82F6");
}

QString Toast::iconFor(const QString &kind)
{
    if (kind == QLatin1String("success"))
        return QStringLiteral("circle-check");
    if (kind == QLatin1String("error"))
        return QStringLiteral("circle-exclamation");
    return QStringLiteral("circle-info");
}

QString Toast::message() const
{
    return m_label->text();
}

void Toast::tick()
{
    m_remainingMs -= TickMs;
    m_bar->setValue(std::max(0, m_remainingMs));
    if (m_remainingMs < 1)
        dismiss();
}

void Toast::dismiss()
{
    if (m_dismissing)
        return;
    m_dismissing = true;
    if (m_manager)
        m_manager->remove(this);
    m_timer->stop();
    // A click during the fade-in fades out from wherever the fade-in got to.
    if (m_fadeIn)
        m_fadeIn->stop();

    auto *fadeOut = new QPropertyAnimation(m_opacity, "opacity", this);
    fadeOut->setDuration(140);
    fadeOut->setStartValue(m_opacity->opacity());
    fadeOut->setEndValue(0.0);
    connect(fadeOut, &QPropertyAnimation::finished, this, &QObject::deleteLater);
    fadeOut->start(QAbstractAnimation::DeleteWhenStopped);
}

void Toast::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    dismiss();
}
