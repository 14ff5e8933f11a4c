// Goal alerts on the desktop, against a fake notification service on the
// private session bus this test is started in (dbus-run-session), and, in
// a second run, without any bus at all.

#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/pages/LivePage.h"
#include "ui/pages/SettingsPage.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString SERVICE = u"org.freedesktop.Notifications"_s;
const QString PATH = u"/org/freedesktop/Notifications"_s;

// Stands in for the desktop's notification daemon: records every Notify and
// answers with a new id, or the one it was asked to replace.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString app;
        uint replaces;
        QString icon;
        QString summary;
        QString body;
        uint answered;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &app, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        const uint id = replacesId != 0 ? replacesId : 700 + uint(calls.size());
        calls.append({app, replacesId, icon, summary, body, id});
        return id;
    }
    QStringList GetCapabilities() { return {u"body"_s}; }
};

FakeEvent arsenalChelsea(const QString &home, const QString &away, const QString &minute)
{
    FakeEvent e;
    e.id = u"G1"_s;
    e.home = u"Arsenal"_s;
    e.away = u"Chelsea"_s;
    e.date = QDate::currentDate().toString(Qt::ISODate) + u"T12:00Z"_s;
    e.state = u"in"_s;
    e.homeScore = home;
    e.awayScore = away;
    e.detail = minute;
    return e;
}

} // namespace

class TestGoalNotifier : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> h;
    std::unique_ptr<FakeNotifications> fake;
    QDBusConnection daemon{QString()};

    LivePage *page() const { return static_cast<LivePage *>(h->window->page(u"live"_s)); }
    QTimer *refreshTimer() const
    {
        return page()->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    }

    // The live page's next refresh, driven the way its timer drives it, with
    // the stub's scoreboard at `home`–`away`; waits until the card shows it.
    void refreshAt(const QString &home, const QString &away, const QString &minute, bool byTimer = true)
    {
        h->routeScoreboard(u"eng.1"_s, {arsenalChelsea(home, away, minute)});
        if (byTimer)
            QVERIFY(QMetaObject::invokeMethod(refreshTimer(), "timeout"));
        else
            page()->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(page()->list()->cards().size() == 1 &&
                                     page()->list()->cards().front()->match.home_score == home,
                                 WAIT_MS);
    }

    // Every Notify sent so far has reached the fake: a call on the same
    // connection after them is answered only once they are.
    void syncWithBus()
    {
        const QDBusPendingCall ping = QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(SERVICE, PATH, SERVICE, u"GetCapabilities"_s));
        QTRY_VERIFY_WITH_TIMEOUT(ping.isFinished(), WAIT_MS);
    }

    void open(const QString &scope)
    {
        h = std::make_unique<UiHarness>(
            QStringLiteral(R"({"live_refresh_seconds": 15, "goal_notifications": "%1"})")
                .arg(scope)
                .toUtf8());
        h->show();
    }

private slots:
    void init()
    {
        // A stray warning would be the notifier complaining: there must be none.
        QTest::failOnWarning(QRegularExpression(u".*[Dd][Bb]us.*"_s));
    }

    void cleanup()
    {
        h.reset();
        if (fake) {
            daemon.unregisterService(SERVICE);
            daemon.unregisterObject(PATH);
            fake.reset();
            QDBusConnection::disconnectFromBus(u"fake-daemon"_s);
        }
    }

    void goals_notifyOncePerGoal_laterOnesReplaceTheFirst_data()
    {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<bool>("starred");
        QTest::addColumn<int>("expected");
        QTest::newRow("all") << u"all"_s << false << 2;
        QTest::newRow("favourites, starred") << u"favourites"_s << true << 2;
        QTest::newRow("favourites, not starred") << u"favourites"_s << false << 0;
        QTest::newRow("off") << u"off"_s << true << 0;
    }

    void goals_notifyOncePerGoal_laterOnesReplaceTheFirst()
    {
        QFETCH(QString, scope);
        QFETCH(bool, starred);
        QFETCH(int, expected);
        daemon = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-daemon"_s);
        QVERIFY2(daemon.isConnected(), "run inside dbus-run-session");
        fake = std::make_unique<FakeNotifications>();
        QVERIFY(daemon.registerObject(PATH, fake.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(daemon.registerService(SERVICE));

        open(scope);
        QCOMPARE(refreshTimer()->interval(), 15000);
        // Start-up's refresh: goals already scored are not news.
        refreshAt(u"1"_s, u"1"_s, u"50'"_s, false);
        if (starred)
            QVERIFY(h->context->favorites.toggle(page()->list()->cards().front()->match));
        // Two goals 17 s apart, each seen at the next refresh: the cached
        // scoreboard (fresh for two minutes) must not hide them.
        refreshAt(u"2"_s, u"1"_s, u"67'"_s);
        QTRY_COMPARE_WITH_TIMEOUT(fake->calls.size(), expected / 2, WAIT_MS);
        refreshAt(u"3"_s, u"1"_s, u"84'"_s);
        syncWithBus();
        QCOMPARE(fake->calls.size(), expected);
        // The toast and the sound come whatever the scope.
        QCOMPARE(h->sounds().count(u"goal"_s), 2);
        QCOMPARE(h->toasts(),
                 (QStringList{u"GOAL!  Arsenal 2\u20131 Chelsea"_s, u"GOAL!  Arsenal 3\u20131 Chelsea"_s}));
        if (expected == 0)
            return;
        const FakeNotifications::Call &first = fake->calls.at(0);
        QCOMPARE(first.app, u"Tolvo"_s);
        QCOMPARE(first.icon, u"org.tolvo.Tolvo"_s);
        QCOMPARE(first.summary, u"GOAL! Arsenal 2\u20131 Chelsea"_s);
        QCOMPARE(first.body, u"67' \u00B7 Premier League"_s);
        QCOMPARE(first.replaces, 0u);
        QCOMPARE(fake->calls.at(1).summary, u"GOAL! Arsenal 3\u20131 Chelsea"_s);
        QCOMPARE(fake->calls.at(1).replaces, first.answered);
    }

    // Also run without any session bus (see CMakeLists.txt).
    void goal_withoutNotificationService_toastAlone()
    {
        open(u"all"_s);
        refreshAt(u"0"_s, u"0"_s, u"10'"_s, false);
        refreshAt(u"1"_s, u"0"_s, u"12'"_s);
        if (QDBusConnection::sessionBus().isConnected())
            syncWithBus(); // the failed call has been answered
        QCOMPARE(h->toasts(), QStringList{u"GOAL!  Arsenal 1\u20130 Chelsea"_s});
    }
};

QTEST_MAIN(TestGoalNotifier)
#include "tst_goalnotifier.moc"
