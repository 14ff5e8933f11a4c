#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/pages/FavoritesPage.h"
#include "ui/pages/LeaguesPage.h"
#include "ui/pages/SearchPage.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

FakeEvent fixture(const QString &id, int inDays, const QString &home = {}, const QString &away = {})
{
    FakeEvent e{id, QDate::currentDate().addDays(inDays).toString(Qt::ISODate) + u"T15:00Z"_s};
    if (!home.isEmpty()) {
        e.home = home;
        e.away = away.isEmpty() ? e.away : away;
    }
    if (inDays < 0) {
        e.state = u"post"_s;
        e.homeScore = u"3"_s;
        e.awayScore = u"1"_s;
    }
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
    std::unique_ptr<UiHarness> h;

    void open(const QString &startPage)
    {
        TestEnv::writeFile(
            settingsFilePath(),
            QStringLiteral(R"({"openai_api_key": "sk-test", "start_page": "%1"})").arg(startPage).toUtf8());
        h->show();
    }
    LeaguesPage *leagues() const { return h->page<LeaguesPage>(u"leagues"_s); }
    SearchPage *search() const { return h->page<SearchPage>(u"search"_s); }
    QString title() const { return leagues()->findChild<QLabel *>(u"LeagueTitle"_s)->text(); }
    QString subtitle() const
    {
        return leagues()->findChild<QLabel *>(u"Muted"_s, Qt::FindDirectChildrenOnly)->text();
    }
    void searchFor(const QString &text)
    {
        search()->queryEdit()->clear();
        QTest::keyClicks(search()->queryEdit(), text);
        QTest::keyClick(search()->queryEdit(), Qt::Key_Return);
    }
    // The search service knows this club by its lower-case name.
    void routeClub(const QString &name, const QString &id, const QString &slug)
    {
        const QJsonObject item{{"type", "team"},
                               {"id", id},
                               {"displayName", name},
                               {"defaultLeagueSlug", slug},
                               {"logo", h->crestUrl(id)}};
        h->server.route(u"/apis/common/v3/search"_s, QUrlQuery(u"query="_s + name.toLower()),
                        StubResponse::json(json(QJsonObject{{"items", QJsonArray{item}}})));
    }
    void routeSchedule(const QString &path, const QList<FakeEvent> &events, int delayMs = 0)
    {
        h->server.route(SITE + path, h->events(events, delayMs));
    }

private slots:
    void init() { h = std::make_unique<UiHarness>(); }
    void cleanup() { h.reset(); }

    void leagues_listTheUpcomingFixtures_sixtyAtMost()
    {
        h->routeScoreboard(u"eng.1"_s, {fixture(u"1"_s, 3)});
        QList<FakeEvent> many;
        for (int i = 0; i < 65; ++i)
            many.append(fixture(u"c%1"_s.arg(i, 2, 10, QLatin1Char('0')), 1 + i % 40));
        h->routeScoreboard(u"eng.2"_s, many);
        open(u"leagues"_s);
        QCOMPARE(title(), u"Premier League"_s);
        QTRY_COMPARE_WITH_TIMEOUT(subtitle(), u"1 upcoming fixture"_s, WAIT_MS);
        MatchCard *card = leagues()->list()->cards().front();
        QCOMPARE(ids(leagues()->list()->cards()), QStringList{"1"});
        QVERIFY(card->infoLabel->text().endsWith(u"15:00  \u00B7  Ground 1"_s));
        QTRY_COMPARE_WITH_TIMEOUT(card->homeCrest->pixmap().toImage().pixelColor(20, 20),
                                  QColor(Qt::darkGreen), WAIT_MS);

        leagues()->findChild<QComboBox *>()->setCurrentIndex(1);
        QCOMPARE(title(), u"Championship"_s);
        QCOMPARE(h->sounds().last(), u"click"_s);
        QTRY_COMPARE_WITH_TIMEOUT(subtitle(), u"60 upcoming fixtures"_s, WAIT_MS);
        const std::vector<MatchCard *> sixty = leagues()->list()->cards();
        QCOMPARE(sixty.size(), size_t(60));
        QVERIFY(sixty.front()->match.date <= sixty.back()->match.date);
    }

    void favorites_starOnOnePage_unstarOnAnother()
    {
        h->routeScoreboard(u"eng.1"_s, {fixture(u"1"_s, 3, u"Arsenal & Co"_s)});
        open(u"leagues"_s);
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QTest::mouseClick(leagues()->list()->cards().front()->favButton, Qt::LeftButton);
        QVERIFY(leagues()->list()->cards().front()->favorite);
        QCOMPARE(h->toasts(), QStringList{"Added to favorites"});
        QCOMPARE(h->sounds().last(), u"favorite"_s);

        h->navigate(u"favorites"_s);
        auto *favorites = h->page<FavoritesPage>(u"favorites"_s);
        const std::vector<MatchCard *> starred = favorites->findChild<MatchListView *>()->cards();
        QCOMPARE(ids(starred), QStringList{"1"});
        QVERIFY(starred.front()->favorite);
        QCOMPARE(starred.front()->homeName->text(), u"Arsenal & Co"_s);
        verifyPlainLabels(starred.front());
        QTest::mouseClick(starred.front()->favButton, Qt::LeftButton);
        QCOMPARE(favorites->findChild<MatchListView *>()->message(),
                 u"No favorites yet. Star a fixture from Leagues or Search."_s);
        QCOMPARE(h->lastToast(), u"Removed from favorites"_s);
        QCOMPARE(h->sounds().last(), u"unfavorite"_s);

        h->navigate(u"leagues"_s);
        QTRY_COMPARE_WITH_TIMEOUT(leagues()->list()->cards().size(), size_t(1), WAIT_MS);
        QVERIFY(!leagues()->list()->cards().front()->favorite);
        QVERIFY(h->context->favorites.all().isEmpty());
    }

    void search_hypotheticalMatchup_canBePredictedAndStarred()
    {
        routeClub(u"Arsenal"_s, u"359"_s, u"eng.1"_s);
        routeClub(u"Bayern Munich"_s, u"132"_s, u"ger.1"_s);
        open(u"search"_s);
        searchFor(u"Arsenal vs Bayern Munich"_s);
        QTRY_COMPARE_WITH_TIMEOUT(search()->list()->cards().size(), size_t(1), WAIT_MS);
        MatchCard *card = search()->list()->cards().front();
        QCOMPARE(card->match.id, u"hyp-359-132"_s);
        QCOMPARE(card->leagueBadge->text(), u"PREMIER LEAGUE"_s);
        QCOMPARE(card->infoLabel->text(), u"Kickoff time unconfirmed"_s);
        QCOMPARE(h->toasts(),
                 QStringList{"No scheduled fixture found \u2014 predicting a hypothetical matchup."});
        QCOMPARE(h->toastKinds(), QStringList{"info"});
        QTRY_COMPARE_WITH_TIMEOUT(card->awayCrest->pixmap().toImage().pixelColor(20, 20),
                                  QColor(Qt::darkGreen), WAIT_MS);

        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->hasPrediction, WAIT_MS);
        QCOMPARE(h->context->history.all().first().match_id, u"hyp-359-132"_s);
        QTest::mouseClick(card->favButton, Qt::LeftButton);
        h->navigate(u"favorites"_s);
        QCOMPARE(ids(h->page<FavoritesPage>(u"favorites"_s)->findChild<MatchListView *>()->cards()),
                 QStringList{"hyp-359-132"});
    }

    void search_onlyTheLatestSearchFillsTheList()
    {
        routeClub(u"Arsenal"_s, u"359"_s, u"eng.1"_s);
        routeClub(u"Bayern Munich"_s, u"132"_s, u"ger.1"_s);
        routeClub(u"Lyon"_s, u"167"_s, u"fra.1"_s);
        // The first search hangs on Arsenal's schedule for a while.
        routeSchedule(u"eng.1/teams/359/schedule"_s, {}, 400);
        open(u"search"_s);
        searchFor(u"Arsenal vs Bayern Munich"_s);
        searchFor(u"Lyon vs Bayern Munich"_s);
        QTRY_COMPARE_WITH_TIMEOUT(ids(search()->list()->cards()), QStringList{"hyp-167-132"}, WAIT_MS);
        // The first search has finished too, and was not shown.
        QTRY_VERIFY_WITH_TIMEOUT(h->server.count(SITE + u"eng.1/teams/359/schedule"_s) > 0, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(h->tasksDone(), WAIT_MS);
        QCOMPARE(ids(search()->list()->cards()), QStringList{"hyp-167-132"});
    }
};

QTEST_MAIN(TestFixturePages)
#include "tst_fixturepages.moc"
