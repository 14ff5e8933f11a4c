#include "GoalNotifier.h"

#include "app/Constants.h"

#include <QStringList>
#include <QVariantMap>

#ifdef Q_OS_WIN
#include "ui/common/Icons.h"

#include <QIcon>
#include <QSystemTrayIcon>
#else
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {

// The launcher's and the icon theme's name of the program.
const QString DesktopId = QStringLiteral("org.tolvo.Tolvo");

} // namespace

GoalNotifier::GoalNotifier(QObject *parent)
    : QObject(parent)
{}

QString GoalNotifier::summaryFor(const Match &match)
{
    return QStringLiteral("GOAL! %1 %2\u2013%3 %4")
        .arg(match.home_team, match.home_score, match.away_score, match.away_team);
}

QString GoalNotifier::bodyFor(const Match &match)
{
    QStringList parts;
    for (const QString &part : {match.status_detail, match.league}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

void GoalNotifier::notify(const Match &match)
{
#ifdef Q_OS_WIN
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(appIcon(), this);
        m_tray->setToolTip(APP_NAME);
        m_tray->show();
    }
    m_tray->showMessage(summaryFor(match), bodyFor(match), QSystemTrayIcon::Information);
#else
    if (m_inFlight.contains(match.id))
        m_waiting.insert(match.id, match);
    else
        send(match);
#endif
}

void GoalNotifier::send(const Match &match)
{
#ifndef Q_OS_WIN
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), DesktopId}};
    call << APP_NAME << m_ids.value(match.id, 0u) << DesktopId << summaryFor(match) << bodyFor(match)
         << QStringList() << hints << -1;
    // Asynchronous: a hung notification service must not freeze the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    const QString id = match.id;
    m_inFlight.insert(id);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        m_inFlight.remove(id);
        // An error (no service on the bus) leaves the toast alone to tell it.
        const QDBusPendingReply<uint> reply = *done;
        if (!reply.isError())
            m_ids.insert(id, reply.value());
        if (m_waiting.contains(id))
            send(m_waiting.take(id));
    });
#else
    Q_UNUSED(match)
#endif
}
