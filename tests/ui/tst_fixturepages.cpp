#include "UiHarness.h"
#include "app/League.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"
#include "ui/pages/FavoritesPage.h"
#include "ui/pages/LeaguesPage.h"
#include "ui/pages/SearchPage.h"
#include "ui/shell/Sidebar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace ui_test;

namespace {

EventSpec upcoming(const QString &id, int inDays, const QString &home = QString(),
                   const QString &away = QString())
{
    EventSpec e;
    e.id = id;
    e.home = home.isEmpty() ? QStringLiteral("Home ") + id : home;
    e.homeId = QStringLiteral("1");
    e.away = away.isEmpty() ? QStringLiteral("Away ") + id : away;
    e.awayId = QStringLiteral("2");
    e.date = isoAt(QDate::currentDate().addDays(inDays), QStringLiteral("15:00"));
    e.venue = QStringLiteral("Ground ") + id;
    return e;
}

QStringList ids(const std::vector<MatchCard *> &cards)
{
    QStringList list;
    for (const MatchCard *card : cards)
        list.append(card->match.id);
    return list;
}

} // namespace

class TestFixturePages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Harness> h;

    void open(const QString &startPage)
    {
        h = std::make_unique<Harness>(
            QStringLiteral(R"({"openai_api_key": "sk-test", "start_page": "%1"})").arg(startPage).toUtf8());
    }
    void show()
    {
        h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
    }
    void navigate(const QString &key)
    {
        QTest::mouseClick(h->window->findChild<Sidebar *>()->buttonFor(key), Qt::LeftButton);
    }
    LeaguesPage *leagues() const
    {
        return static_cast<LeaguesPage *>(h->window->page(QStringLiteral("leagues")));
    }
    SearchPage *searchPage() const
    {
        return static_cast<SearchPage *>(h->window->page(QStringLiteral("search")));
    }
    FavoritesPage *favorites() const
    {
        return static_cast<FavoritesPage *>(h->window->page(QStringLiteral("favorites")));
    }
    void searchFor(const QString &text)
    {
        searchPage()->queryEdit()->clear();
        QTest::keyClicks(searchPage()->queryEdit(), text);
        QTest::keyClick(searchPage()->queryEdit(), Qt::Key_Return);
    }
    // The search service knows these clubs, by lower-case name.
    void routeClub(const QString &query, const QString &id, const QString &name, const QString &slug)
    {
        const QJsonObject item{{"type", "team"},
                               {"id", id},
                               {"displayName", name},
                               {"defaultLeagueSlug", slug},
                               {"logo", h->crestUrl(id)}};
        h->server.route(SEARCH, QUrlQuery(QStringLiteral("query=") + query),
                        StubResponse::json(json({{"items", QJsonArray{item}}})));
    }

private slots:
    void cleanup() { h.reset(); }

    void leagues_listTheUpcomingFixturesWithTheirCount()
    {
        open(QStringLiteral("leagues"));
        h->routeScoreboard(QStringLiteral("eng.1"), {upcoming(QStringLiteral("1"), 3)});
        QList<EventSpec> many;
        for (int i = 0; i < 65; ++i)
            many.append(upcoming(QStringLiteral("c%1").arg(i, 2, 10, QLatin1Char('0')), 1 + i % 40));
        h->routeScoreboard(QStringLiteral("eng.2"), many);
        show();
        QCOMPARE(leagues()->titleLabel()->text(), QStringLiteral("Premier League"));
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->subtitleLabel()->text(), QStringLiteral("1 upcoming fixture"),
                                  WAIT_MS);
        const std::vector<MatchCard *> cards = leagues()->list()->cards();
        QCOMPARE(ids(cards), QStringList{QStringLiteral("1")});
        QVERIFY(cards.front()->infoLabel->text().endsWith(QStringLiteral("15:00  \u00B7  Ground 1")));
        QTRY_COMPARE_WITH_TIMEOUT(cards.front()->homeCrest->pixmap().toImage().pixelColor(20, 20),
                                  QColor(Qt::darkGreen), WAIT_MS);
        // Each request looked that many days ahead.
        QVERIFY(h->server.count(SITE + QStringLiteral("eng.1/scoreboard")) >= 3);

        leagues()->leagueBox()->setCurrentIndex(1);
        QCOMPARE(leagues()->titleLabel()->text(), QStringLiteral("Championship"));
        QCOMPARE(leagues()->league(), QStringLiteral("eng.2"));
        QCOMPARE(h->sounds().last(), QStringLiteral("click"));
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->subtitleLabel()->text(), QStringLiteral("60 upcoming fixtures"),
                                  WAIT_MS);
        const std::vector<MatchCard *> sixty = leagues()->list()->cards();
        QCOMPARE(sixty.size(), size_t(60));
        QVERIFY(sixty.front()->match.date <= sixty.back()->match.date);
    }

    void leagues_showOnlyTheLastChosenLeague()
    {
        open(QStringLiteral("leagues"));
        h->routeScoreboard(QStringLiteral("eng.1"), {upcoming(QStringLiteral("slow"), 2)}, 300);
        h->routeScoreboard(QStringLiteral("ger.1"), {upcoming(QStringLiteral("fast"), 2)});
        show();
        leagues()->leagueBox()->setCurrentIndex(leagues()->leagueBox()->findData(QStringLiteral("ger.1")));
        QTRY_COMPARE_WITH_TIMEOUT(ids(leagues()->list()->cards()), QStringList{QStringLiteral("fast")},
                                  WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(h->server.count(SITE + QStringLiteral("eng.1/scoreboard")) >= 3, 5000);
        QTest::qWait(500);
        QCOMPARE(ids(leagues()->list()->cards()), QStringList{QStringLiteral("fast")});
        QCOMPARE(leagues()->titleLabel()->text(), QStringLiteral("Bundesliga"));
    }

    void leagues_emptyAndFailedLoadsSaySo()
    {
        open(QStringLiteral("leagues"));
        show();
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->subtitleLabel()->text(), QStringLiteral("Nothing to show"),
                                  WAIT_MS);
        QCOMPARE(
            leagues()->list()->message(),
            QStringLiteral("No fixtures scheduled for this league yet \u2014 competitions like the Champions "
                           "League only publish fixtures once the draw is made."));

        h->server.route(SITE + QStringLiteral("ger.1/scoreboard"), StubResponse::error(500));
        leagues()->leagueBox()->setCurrentIndex(leagues()->leagueBox()->findData(QStringLiteral("ger.1")));
        QCOMPARE(leagues()->subtitleLabel()->text(), QStringLiteral("Loading fixtures\u2026"));
        QCOMPARE(leagues()->list()->message(), QStringLiteral("Loading fixtures\u2026"));
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->subtitleLabel()->text(), QStringLiteral("Couldn't load data"),
                                  15000);
        QVERIFY(leagues()->list()->cards().empty());
        QVERIFY(leagues()->list()->message().contains(QStringLiteral("ESPN")));
    }

    void leagues_secondShowingIsServedFromTheCache()
    {
        open(QStringLiteral("leagues"));
        h->routeScoreboard(QStringLiteral("eng.1"), {upcoming(QStringLiteral("1"), 3)});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        const int before = h->server.count(SITE + QStringLiteral("eng.1/scoreboard"));
        navigate(QStringLiteral("search"));
        navigate(QStringLiteral("leagues"));
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QCOMPARE(h->server.count(SITE + QStringLiteral("eng.1/scoreboard")), before);

        // "Refresh" reloads, with its own sound.
        h->played->clear();
        QTest::mouseClick(leagues()->refreshButton(), Qt::LeftButton);
        QCOMPARE(h->sounds(), QStringList{QStringLiteral("refresh")});
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->subtitleLabel()->text(), QStringLiteral("1 upcoming fixture"),
                                  WAIT_MS);
    }

    void restoringTheWindow_doesNotReloadThePage()
    {
        open(QStringLiteral("leagues"));
        h->routeScoreboard(QStringLiteral("eng.1"), {upcoming(QStringLiteral("1"), 3)});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QPointer<MatchCard> card = leagues()->list()->cards().front();
        h->window->showMinimized();
        QTest::qWait(100);
        h->window->showNormal();
        QTest::qWait(300);
        // The same card, untouched: a prediction running on it would live on.
        QVERIFY(card);
        QCOMPARE(leagues()->list()->cards().front(), card.data());
    }

    void favorites_starOnOnePage_unstarOnAnother()
    {
        open(QStringLiteral("leagues"));
        h->routeScoreboard(QStringLiteral("eng.1"),
                           {upcoming(QStringLiteral("1"), 3, QStringLiteral("Arsenal & Co"))});
        show();
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QVERIFY(!leagues()->list()->cards().front()->favorite);
        QTest::mouseClick(leagues()->list()->cards().front()->favButton, Qt::LeftButton);
        QVERIFY(leagues()->list()->cards().front()->favorite);
        QCOMPARE(h->toasts().last(), QStringLiteral("Added to favorites"));
        QCOMPARE(h->sounds().last(), QStringLiteral("favorite"));
        QVERIFY(h->context->favorites.isFavorite(QStringLiteral("1")));

        navigate(QStringLiteral("favorites"));
        const std::vector<MatchCard *> starred = favorites()->list()->cards();
        QCOMPARE(ids(starred), QStringList{QStringLiteral("1")});
        QVERIFY(starred.front()->favorite);
        QCOMPARE(starred.front()->homeName->text(), QStringLiteral("Arsenal & Co"));
        ui_test::verifyPlainLabels(starred.front());

        QTest::mouseClick(starred.front()->favButton, Qt::LeftButton);
        QCOMPARE(favorites()->list()->message(),
                 QStringLiteral("No favorites yet. Star a fixture from Leagues or Search."));
        QCOMPARE(h->toasts().last(), QStringLiteral("Removed from favorites"));
        QCOMPARE(h->sounds().last(), QStringLiteral("unfavorite"));
        QVERIFY(!h->context->favorites.isFavorite(QStringLiteral("1")));

        navigate(QStringLiteral("leagues"));
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QVERIFY(!leagues()->list()->cards().front()->favorite);
        // Starring twice on the leagues page takes it back off.
        QTest::mouseClick(leagues()->list()->cards().front()->favButton, Qt::LeftButton);
        QTest::mouseClick(leagues()->list()->cards().front()->favButton, Qt::LeftButton);
        QCOMPARE(h->toasts().last(), QStringLiteral("Removed from favorites"));
        QVERIFY(h->context->favorites.all().isEmpty());
    }

    void search_badFormat_toastsAndAsksNothing()
    {
        open(QStringLiteral("search"));
        show();
        QCOMPARE(searchPage()->list()->message(), QStringLiteral("Search a matchup to get started."));
        h->server.clearRequests();
        searchFor(QStringLiteral("Arsenal"));
        QCOMPARE(h->toasts(), QStringList{QStringLiteral("Use the format: Team1 vs Team2")});
        QCOMPARE(h->toastKinds(), QStringList{QStringLiteral("error")});
        QCOMPARE(h->sounds(), QStringList{QStringLiteral("error")});
        // Blank input does nothing at all.
        searchFor(QStringLiteral("   "));
        QTest::mouseClick(searchPage()->searchButton(), Qt::LeftButton);
        QCOMPARE(h->toasts().size(), 1);
        QTest::qWait(100);
        QVERIFY(h->server.requests().isEmpty());
    }

    void search_prefersTheNextFixture_overTheLatestMeeting()
    {
        open(QStringLiteral("search"));
        routeClub(QStringLiteral("arsenal"), QStringLiteral("359"), QStringLiteral("Arsenal"),
                  QStringLiteral("eng.1"));
        routeClub(QStringLiteral("chelsea"), QStringLiteral("363"), QStringLiteral("Chelsea"),
                  QStringLiteral("eng.1"));
        EventSpec past =
            upcoming(QStringLiteral("past"), -30, QStringLiteral("Arsenal"), QStringLiteral("Chelsea"));
        past.state = QStringLiteral("post");
        past.homeScore = QStringLiteral("2");
        past.awayScore = QStringLiteral("2");
        h->server.route(SITE + QStringLiteral("eng.1/teams/359/schedule"),
                        StubResponse::json(eventsReply({h->event(past)})));
        h->routeScoreboard(
            QStringLiteral("eng.1"),
            {upcoming(QStringLiteral("next"), 7, QStringLiteral("Chelsea"), QStringLiteral("Arsenal"))});
        show();
        searchFor(QStringLiteral("Arsenal vs Chelsea"));
        QCOMPARE(searchPage()->list()->message(), QStringLiteral("Searching Arsenal vs Chelsea\u2026"));
        QCOMPARE(h->sounds().first(), QStringLiteral("click"));
        QTRY_COMPARE_WITH_TIMEOUT(ids(searchPage()->list()->cards()), QStringList{QStringLiteral("next")},
                                  WAIT_MS);
        QVERIFY(h->toasts().isEmpty());
    }

    void search_latestMeeting_whenNoFixtureIsScheduled()
    {
        open(QStringLiteral("search"));
        routeClub(QStringLiteral("arsenal"), QStringLiteral("359"), QStringLiteral("Arsenal"),
                  QStringLiteral("eng.1"));
        routeClub(QStringLiteral("chelsea"), QStringLiteral("363"), QStringLiteral("Chelsea"),
                  QStringLiteral("eng.1"));
        EventSpec older =
            upcoming(QStringLiteral("older"), -60, QStringLiteral("Chelsea"), QStringLiteral("Arsenal"));
        EventSpec newer =
            upcoming(QStringLiteral("newer"), -10, QStringLiteral("Arsenal"), QStringLiteral("Chelsea"));
        for (EventSpec *e : {&older, &newer}) {
            e->state = QStringLiteral("post");
            e->homeScore = QStringLiteral("3");
            e->awayScore = QStringLiteral("1");
        }
        h->server.route(SITE + QStringLiteral("eng.1/teams/359/schedule"),
                        StubResponse::json(eventsReply({h->event(older), h->event(newer)})));
        show();
        searchFor(QStringLiteral("arsenal v chelsea"));
        QTRY_COMPARE_WITH_TIMEOUT(ids(searchPage()->list()->cards()), QStringList{QStringLiteral("newer")},
                                  WAIT_MS);
        MatchCard *card = searchPage()->list()->cards().front();
        QCOMPARE(card->infoLabel->text(), QStringLiteral("FULL-TIME  \u00B7  3 \u2013 1"));
        QVERIFY(!card->predictButton->isEnabled());
        QVERIFY(h->toasts().isEmpty());
    }

    void search_hypotheticalMatchup_canBePredictedAndStarred()
    {
        open(QStringLiteral("search"));
        routeClub(QStringLiteral("arsenal"), QStringLiteral("359"), QStringLiteral("Arsenal"),
                  QStringLiteral("eng.1"));
        routeClub(QStringLiteral("bayern munich"), QStringLiteral("132"), QStringLiteral("Bayern Munich"),
                  QStringLiteral("ger.1"));
        show();
        searchFor(QStringLiteral("Arsenal vs Bayern Munich"));
        QTRY_COMPARE_WITH_TIMEOUT(searchPage()->list()->cards().size(), size_t(1), WAIT_MS);
        MatchCard *card = searchPage()->list()->cards().front();
        QCOMPARE(card->match.id, QStringLiteral("hyp-359-132"));
        QCOMPARE(card->homeName->text(), QStringLiteral("Arsenal"));
        QCOMPARE(card->leagueBadge->text(), QStringLiteral("PREMIER LEAGUE"));
        QCOMPARE(card->infoLabel->text(), QStringLiteral("Kickoff time unconfirmed"));
        QCOMPARE(h->toasts(), QStringList{QStringLiteral(
                                  "No scheduled fixture found \u2014 predicting a hypothetical matchup.")});
        QCOMPARE(h->toastKinds(), QStringList{QStringLiteral("info")});
        QTRY_COMPARE_WITH_TIMEOUT(card->awayCrest->pixmap().toImage().pixelColor(20, 20),
                                  QColor(Qt::darkGreen), WAIT_MS);

        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->hasPrediction, WAIT_MS);
        QCOMPARE(h->context->history.all().first().match_id, QStringLiteral("hyp-359-132"));

        QTest::mouseClick(card->favButton, Qt::LeftButton);
        QVERIFY(card->favorite);
        QCOMPARE(h->sounds().last(), QStringLiteral("favorite"));
        navigate(QStringLiteral("favorites"));
        QCOMPARE(ids(favorites()->list()->cards()), QStringList{QStringLiteral("hyp-359-132")});
    }

    void search_unknownTeam_namesItAsTyped()
    {
        open(QStringLiteral("search"));
        routeClub(QStringLiteral("arsenal"), QStringLiteral("359"), QStringLiteral("Arsenal"),
                  QStringLiteral("eng.1"));
        show();
        searchFor(QStringLiteral("Arsenal vs Chelsae"));
        QTRY_COMPARE_WITH_TIMEOUT(searchPage()->list()->message(),
                                  QStringLiteral("Couldn't find a team called \"Chelsae\"."), WAIT_MS);
        QCOMPARE(h->sounds().last(), QStringLiteral("error"));
        QVERIFY(searchPage()->list()->cards().empty());
    }

    void search_onlyTheLatestSearchFillsTheList()
    {
        open(QStringLiteral("search"));
        routeClub(QStringLiteral("arsenal"), QStringLiteral("359"), QStringLiteral("Arsenal"),
                  QStringLiteral("eng.1"));
        routeClub(QStringLiteral("bayern munich"), QStringLiteral("132"), QStringLiteral("Bayern Munich"),
                  QStringLiteral("ger.1"));
        routeClub(QStringLiteral("lyon"), QStringLiteral("167"), QStringLiteral("Lyon"),
                  QStringLiteral("fra.1"));
        // The first search hangs on Arsenal's schedule for a while.
        StubResponse slow = StubResponse::json(eventsReply({}));
        slow.delayMs = 400;
        h->server.route(SITE + QStringLiteral("eng.1/teams/359/schedule"), slow);
        show();
        searchFor(QStringLiteral("Arsenal vs Bayern Munich"));
        QTest::qWait(50);
        searchFor(QStringLiteral("Lyon vs Bayern Munich"));
        QTRY_COMPARE_WITH_TIMEOUT(ids(searchPage()->list()->cards()),
                                  QStringList{QStringLiteral("hyp-167-132")}, WAIT_MS);
        QTest::qWait(2000);
        QCOMPARE(ids(searchPage()->list()->cards()), QStringList{QStringLiteral("hyp-167-132")});
    }
};

QTEST_MAIN(TestFixturePages)
#include "tst_fixturepages.moc"
