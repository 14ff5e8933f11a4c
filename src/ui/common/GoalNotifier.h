#pragma once

#include "model/Match.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class QSystemTrayIcon;

// Tells the desktop about a goal, so that a fan whose window is minimised or
// hidden behind another one still hears of it: a notification through the
// desktop's notification service (org.freedesktop.Notifications over D-Bus),
// on Windows a tray balloon. One notification per match: a later goal in the
// same match replaces the earlier one rather than piling up. Without a
// notification service (or without a session bus) nothing happens and
// nothing is reported: the window's toast is still there.
class GoalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit GoalNotifier(QObject *parent = nullptr);

    void notify(const Match &match);

    // "GOAL! Arsenal 2–1 Chelsea"
    static QString summaryFor(const Match &match);
    // "67' · Premier League"
    static QString bodyFor(const Match &match);

private:
    void send(const Match &match);

    // The desktop's id of each match's notification, for replacing it.
    QHash<QString, uint> m_ids;
    // Matches whose Notify has no answer yet, and the newer goal that waits
    // for that answer (and the id in it) to replace the notification.
    QHash<QString, Match> m_waiting;
    QSet<QString> m_inFlight;
#ifdef Q_OS_WIN
    QSystemTrayIcon *m_tray = nullptr;
#endif
};
