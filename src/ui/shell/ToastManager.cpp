#include "ToastManager.h"

#include "Toast.h"

#include <QEvent>
#include <QWidget>

namespace {

constexpr int EdgeMargin = 20;
constexpr int Gap = 10;

} // namespace

ToastManager::ToastManager(QWidget *host)
    : QObject(host)
    , m_host(host)
{
    // The stack stays in the corner while the window is resized.
    host->installEventFilter(this);
}

Toast *ToastManager::show(const QString &message, const QString &kind, int durationMs)
{
    auto *toast = new Toast(m_host, message, kind, durationMs, this);
    m_toasts.append(toast);
    relayout();
    return toast;
}

void ToastManager::remove(Toast *toast)
{
    m_toasts.removeAll(toast);
    relayout();
}

void ToastManager::relayout()
{
    m_toasts.removeAll(nullptr);
    int bottom = m_host->height() - EdgeMargin;
    for (auto it = m_toasts.crbegin(); it != m_toasts.crend(); ++it) {
        Toast *toast = *it;
        toast->move(m_host->width() - EdgeMargin - toast->width(), bottom - toast->height());
        bottom -= toast->height() + Gap;
    }
}

QList<Toast *> ToastManager::toasts() const
{
    QList<Toast *> list;
    for (const auto &toast : m_toasts) {
        if (toast)
            list.append(toast);
    }
    return list;
}

bool ToastManager::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        relayout();
    return QObject::eventFilter(watched, event);
}
