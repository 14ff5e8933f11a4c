#include "UiHarness.h"
#include "app/League.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/pages/LivePage.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace ui_test;

namespace {

const QString ENG = SITE + QStringLiteral("eng.1/scoreboard");

EventSpec today(const QString &id, const QString &time, const QString &state = QStringLiteral("pre"),
                const QString &homeScore = QStringLiteral("0"),
                const QString &awayScore = QStringLiteral("0"))
{
    EventSpec e;
    e.id = id;
    e.home = QStringLiteral("Home ") + id;
    e.homeId = QStringLiteral("1");
    e.away = QStringLiteral("Away ") + id;
    e.awayId = QStringLiteral("2");
    e.date = isoAt(QDate::currentDate(), time);
    e.state = state;
    e.homeScore = homeScore;
    e.awayScore = awayScore;
    e.detail = state == QLatin1String("in") ? QStringLiteral("55'") : QString();
    return e;
}

Match live(const QString &id, const QString &home, const QString &away,
           const QString &state = QStringLiteral("in"))
{
    Match m;
    m.id = id;
    m.home_team = QStringLiteral("Lyon");
    m.away_team = QStringLiteral("Nice");
    m.home_score = home;
    m.away_score = away;
    m.state = state;
    return m;
}

QStringList teams(const std::vector<MatchCard *> &cards)
{
    QStringList names;
    for (const MatchCard *card : cards)
        names.append(card->match.home_team);
    return names;
}

} // namespace

class TestLivePage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Harness> h;

    void open(const QByteArray &settings = R"({"openai_api_key": "sk-test"})")
    {
        h = std::make_unique<Harness>(settings);
    }
    LivePage *page() const { return static_cast<LivePage *>(h->window->page(QStringLiteral("live"))); }
    void show()
    {
        h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
    }

private slots:
    void cleanup() { h.reset(); }

    void showsFixturesToPlayAndInPlay_notFinishedOnes()
    {
        open();
        h->routeScoreboard(QStringLiteral("eng.1"),
                           {today(QStringLiteral("A"), QStringLiteral("18:00")),
                            today(QStringLiteral("B"), QStringLiteral("12:00"), QStringLiteral("in"),
                                  QStringLiteral("1"), QStringLiteral("1")),
                            today(QStringLiteral("C"), QStringLiteral("11:00"), QStringLiteral("post"),
                                  QStringLiteral("2"), QStringLiteral("0"))});
        show(); // the live page is where the program starts
        QTRY_COMPARE_WITH_TIMEOUT(teams(page()->list()->cards()),
                                  (QStringList{QStringLiteral("Home B"), QStringLiteral("Home A")}), WAIT_MS);
        QCOMPARE(page()->statusLabel()->text(), QStringLiteral("Auto-refreshing every minute"));
        MatchCard *inPlay = page()->list()->cards().front();
        QCOMPARE(inPlay->scoreLabel->text(), QStringLiteral("1 \u2013 1"));
        QCOMPARE(inPlay->liveBadge->text(), QStringLiteral("\u25CF LIVE  55'"));
        QCOMPARE(inPlay->leagueBadge->text(), QStringLiteral("PREMIER LEAGUE"));
        // Every tracked league was asked, once.
        for (const League &league : defaultLeagues())
            QCOMPARE(h->server.count(SITE + league.slug + QStringLiteral("/scoreboard")), 1);
        // Crests come from the cards' badges.
        QTRY_VERIFY_WITH_TIMEOUT(h->server.count(QStringLiteral("/crests/1.png")) == 1, WAIT_MS);
        QCOMPARE(page()->refreshTimer()->interval(), 60000);
        QVERIFY(page()->refreshTimer()->isActive());
    }

    void finishedDay_andEmptyDay_sayWhy()
    {
        open();
        h->routeScoreboard(QStringLiteral("eng.1"),
                           {today(QStringLiteral("C"), QStringLiteral("11:00"), QStringLiteral("post"),
                                  QStringLiteral("2"), QStringLiteral("0"))});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(
            page()->list()->message(),
            QStringLiteral("Everything on today's card has finished \u2014 check History for results."),
            WAIT_MS);
        QCOMPARE(page()->statusLabel()->text(), QStringLiteral("Nothing scheduled today"));

        // One league with nothing at all today.
        page()->leagueBox()->setCurrentIndex(page()->leagueBox()->findData(QStringLiteral("fra.1")));
        QCOMPARE(page()->filter(), QStringLiteral("fra.1"));
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->message(),
                                  QStringLiteral("Nothing kicking off today in any of the tracked leagues."),
                                  WAIT_MS);
        QCOMPARE(h->sounds().last(), QStringLiteral("click"));
    }

    void refreshPeriod_isAtLeastFifteenSeconds_andTheStatusSaysSo()
    {
        open(R"({"live_refresh_seconds": 5})");
        QCOMPARE(page()->refreshTimer()->interval(), 15000);
        QCOMPARE(page()->statusLabel()->text(),
                 QStringLiteral("Today's fixtures, auto-refreshing every 15 seconds"));
        QCOMPARE(LivePage::refreshPeriodText(60), QStringLiteral("every minute"));
        QCOMPARE(LivePage::refreshPeriodText(120), QStringLiteral("every 2 minutes"));
        QCOMPARE(LivePage::refreshPeriodText(90), QStringLiteral("every 90 seconds"));
    }

    void goals_areAnnouncedOnARiseInPlay_onlyAfterTheFirstRefresh()
    {
        open();
        h->routeScoreboard(QStringLiteral("eng.1"),
                           {today(QStringLiteral("G"), QStringLiteral("12:00"), QStringLiteral("in"),
                                  QStringLiteral("1"), QStringLiteral("1"))});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->cards().size(), size_t(1), WAIT_MS);
        // The first refresh only records the totals.
        QVERIFY(h->toasts().isEmpty());
        QVERIFY(!h->sounds().contains(QStringLiteral("goal")));

        Match scored = live(QStringLiteral("G"), QStringLiteral("2"), QStringLiteral("1"));
        scored.home_team = QStringLiteral("Home G");
        scored.away_team = QStringLiteral("Away G");
        page()->detectGoals({scored});
        QCOMPARE(h->toasts(), QStringList{QStringLiteral("GOAL!  Home G 2\u20131 Away G")});
        QCOMPARE(h->toastKinds(), QStringList{QStringLiteral("success")});
        QCOMPARE(h->sounds().count(QStringLiteral("goal")), 1);

        // Same score again, a correction downwards, a rise after the final
        // whistle, and a newcomer: nothing to announce.
        page()->detectGoals({scored});
        page()->detectGoals({live(QStringLiteral("G"), QStringLiteral("1"), QStringLiteral("1"))});
        page()->detectGoals(
            {live(QStringLiteral("G"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("post")),
             live(QStringLiteral("N"), QStringLiteral("1"), QStringLiteral("0"))});
        // Fixtures without numeric scores leave the record as it was.
        page()->detectGoals({live(QStringLiteral("N"), QString(), QString())});
        page()->detectGoals({live(QStringLiteral("N"), QStringLiteral("1"), QStringLiteral("1"))});
        QCOMPARE(h->toasts().size(), 2);
        QCOMPARE(h->toasts().last(), QStringLiteral("GOAL!  Lyon 1\u20131 Nice"));
    }

    void goals_areTrackedWhileTheUserIsOnAnotherPage()
    {
        open(R"({"start_page": "search"})");
        EventSpec x = today(QStringLiteral("X"), QStringLiteral("12:00"), QStringLiteral("in"));
        x.home = QStringLiteral("Lyon");
        x.away = QStringLiteral("Nice");
        h->routeScoreboard(QStringLiteral("eng.1"), {x});
        show();
        page()->refresh(); // the timer's refresh while the user is elsewhere
        QTRY_COMPARE_WITH_TIMEOUT(h->server.count(SITE + QStringLiteral("sco.1/scoreboard")), 1, WAIT_MS);
        QTest::qWait(300);
        // Hidden, the page builds no cards but remembers the score...
        QVERIFY(page()->list()->cards().empty());
        // ...so the next refresh can tell a goal.
        page()->detectGoals({live(QStringLiteral("X"), QStringLiteral("1"), QStringLiteral("0"))});
        QCOMPARE(h->toasts(), QStringList{QStringLiteral("GOAL!  Lyon 1\u20130 Nice")});
    }

    void switchingLeagueDuringAFetch_showsOnlyTheNewerLeague()
    {
        open();
        h->routeScoreboard(QStringLiteral("eng.1"), {today(QStringLiteral("E"), QStringLiteral("12:00"))},
                           600);
        EventSpec german = today(QStringLiteral("D"), QStringLiteral("13:00"));
        german.home = QStringLiteral("Bayern");
        h->routeScoreboard(QStringLiteral("ger.1"), {german});
        show();
        page()->leagueBox()->setCurrentIndex(page()->leagueBox()->findData(QStringLiteral("ger.1")));
        QTRY_COMPARE_WITH_TIMEOUT(teams(page()->list()->cards()), QStringList{QStringLiteral("Bayern")},
                                  WAIT_MS);
        QTest::qWait(900);
        QCOMPARE(teams(page()->list()->cards()), QStringList{QStringLiteral("Bayern")});
    }

    void predictAll_queuesAtMostForty_skippingBusyAndPredictedCards()
    {
        open();
        QList<EventSpec> events;
        for (int i = 0; i < 44; ++i)
            events.append(today(QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0')),
                                QStringLiteral("%1:00").arg(10 + i / 10)));
        h->routeScoreboard(QStringLiteral("eng.1"), events);
        show();
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->cards().size(), size_t(44), WAIT_MS);
        std::vector<MatchCard *> cards = page()->list()->cards();
        cards[0]->setPredicting(true);
        Prediction earlier;
        earlier.outcome = QStringLiteral("DRAW");
        cards[1]->showPrediction(earlier, QString());
        h->played->clear();

        QPushButton *button = page()->predictAllButton();
        QCOMPARE(button->text(), QStringLiteral("  Predict all"));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(page()->queuedCount(), 40);
        QCOMPARE(button->text(), QStringLiteral("  Predicting 40\u2026"));
        QVERIFY(!button->isEnabled());
        QCOMPARE(h->toasts().last(),
                 QStringLiteral("Predicting 40 fixtures \u2014 they'll fill in one by one."));
        QCOMPARE(h->sounds().first(), QStringLiteral("thinking"));
        // The busy text fits the button.
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) + 16 < button->width());

        // One card per tick; the first tick starts the first card.
        QVERIFY(page()->pumpTimer()->isActive());
        QCOMPARE(page()->pumpTimer()->interval(), 600);
        page()->pumpTimer()->setInterval(5);
        QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("  Predict all"), 30000);
        QVERIFY(button->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(
            int(std::count_if(cards.begin(), cards.end(), [](MatchCard *c) { return c->hasPrediction; })), 41,
            30000);
        QVERIFY(!cards[0]->hasPrediction);
        QCOMPARE(cards[1]->prediction.outcome, QStringLiteral("DRAW"));
        QVERIFY(cards[41]->hasPrediction);
        QVERIFY(!cards[42]->hasPrediction && !cards[43]->hasPrediction);
        QCOMPARE(h->context->history.all().size(), 40);

        // The rest, then the one that was busy, then nothing.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h->toasts().last(),
                 QStringLiteral("Predicting 2 fixtures \u2014 they'll fill in one by one."));
        page()->pumpTimer()->setInterval(5);
        QTRY_COMPARE_WITH_TIMEOUT(h->context->history.all().size(), 42, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), WAIT_MS);
        cards[0]->setPredicting(false);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h->toasts().last(),
                 QStringLiteral("Predicting 1 fixture \u2014 they'll fill in one by one."));
        page()->pumpTimer()->setInterval(5);
        QTRY_VERIFY_WITH_TIMEOUT(cards[0]->hasPrediction, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), WAIT_MS);
        h->played->clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h->toasts().last(),
                 QStringLiteral("Nothing to predict \u2014 every fixture here is already done."));
        QCOMPARE(h->toastKinds().last(), QStringLiteral("info"));
        QCOMPARE(h->sounds(), QStringList{QStringLiteral("error")});
        QVERIFY(!page()->pumpTimer()->isActive());
    }

    void predictAll_skipsCardsThatWentAway_andAutoRefreshWaitsForBusyCards()
    {
        open();
        h->routeScoreboard(QStringLiteral("eng.1"), {today(QStringLiteral("A"), QStringLiteral("12:00")),
                                                     today(QStringLiteral("B"), QStringLiteral("13:00"))});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->cards().size(), size_t(2), WAIT_MS);
        QTest::mouseClick(page()->predictAllButton(), Qt::LeftButton);
        QCOMPARE(page()->queuedCount(), 2);
        // A manual refresh replaces the cards while the queue waits.
        QTest::mouseClick(page()->refreshButton(), Qt::LeftButton);
        QCOMPARE(h->sounds().last(), QStringLiteral("refresh"));
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->cards().size(), size_t(2), WAIT_MS);
        page()->pumpTimer()->setInterval(5);
        QTRY_COMPARE_WITH_TIMEOUT(page()->predictAllButton()->text(), QStringLiteral("  Predict all"),
                                  WAIT_MS);
        QCOMPARE(h->server.count(MODEL), 0);

        // While a card is being predicted, the timer leaves the list alone.
        h->server.route(MODEL, [](const StubRequest &) {
            StubResponse r = StubResponse::json(modelReply(quickAnswer()));
            r.delayMs = 800;
            return r;
        });
        QPointer<MatchCard> busy = page()->list()->cards().front();
        QTest::mouseClick(busy->predictButton, Qt::LeftButton);
        page()->refreshTimer()->setInterval(20);
        QTest::qWait(300);
        QCOMPARE(page()->list()->cards().front(), busy);
        // Once it is done, the next tick refreshes, and the call survives it
        // on the fresh card.
        auto refreshedWithTheCall = [this, busy]() {
            const std::vector<MatchCard *> cards = page()->list()->cards();
            return busy.isNull() && !cards.empty() && cards.front()->hasPrediction;
        };
        QTRY_VERIFY_WITH_TIMEOUT(refreshedWithTheCall(), 15000);
        page()->refreshTimer()->stop();
    }
};

QTEST_MAIN(TestLivePage)
#include "tst_livepage.moc"
