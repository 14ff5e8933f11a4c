#include "EspnFixtures.h"
#include "Worker.h"
#include "app/League.h"
#include "app/Paths.h"
#include "data/EspnApi.h"
#include "data/FixtureQueries.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <memory>

using namespace fixtures;

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
const QString SEARCH = QStringLiteral("/apis/common/v3/search");

class FastEspn : public EspnApi
{
public:
    FastEspn() { retryPauseMs = 5; }
};

QString at(const QDate &day, const QString &time)
{
    return day.toString(Qt::ISODate) + QLatin1Char('T') + time + QLatin1Char('Z');
}

QStringList ids(const std::vector<Match> &matches)
{
    QStringList list;
    for (const Match &m : matches)
        list.append(m.id);
    return list;
}

QByteArray searchReply(const QString &id, const QString &name, const QString &slug)
{
    const QJsonObject item{{"type", "team"}, {"id", id}, {"displayName", name}, {"defaultLeagueSlug", slug}};
    return QJsonDocument(QJsonObject{{"items", QJsonArray{item}}}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestFixtureQueries : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;
    QDate today;

    void routeTeams()
    {
        stub->route(SEARCH, QUrlQuery(QStringLiteral("query=arsenal")),
                    StubResponse::json(searchReply("359", "Arsenal", "eng.1")));
        stub->route(SEARCH, QUrlQuery(QStringLiteral("query=chelsea")),
                    StubResponse::json(searchReply("363", "Chelsea", "eng.1")));
        stub->route(SEARCH, QUrlQuery(QStringLiteral("query=bayern")),
                    StubResponse::json(searchReply("132", "Bayern Munich", "ger.1")));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", stub->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", stub->baseUrl().toUtf8());
        // Anything not routed is an empty but valid reply.
        stub->setFallback([](const StubRequest &) { return StubResponse::json(eventsReply({})); });
        today = QDate::currentDate();
    }

    void cleanup()
    {
        stub.reset();
        env.reset();
    }

    void today_allLeagues_mergedOncePerIdByTimeThenLeague()
    {
        const QJsonObject a = team("1", "Alpha"), b = team("2", "Beta"), c = team("3", "Gamma"),
                          d = team("4", "Delta");
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("e-late", at(today, "19:45"), a, b),
                                                   scheduled("shared", at(today, "15:00"), c, d),
                                               })));
        stub->route(SITE + "ger.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("g-early", at(today, "12:30"), c, a),
                                                   scheduled("g-same", at(today, "15:00"), b, d),
                                               })));
        // Listed again by a later league: that copy wins.
        stub->route(SITE + "sco.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("shared", at(today, "15:00"), c, d),
                                               })));

        FastEspn api;
        const auto matches = onWorker([&] { return fetchTodayMatches(api, ALL_LEAGUES, today); });
        QCOMPARE(ids(matches), QStringList({"g-early", "g-same", "shared", "e-late"}));
        QCOMPARE(matches.at(1).league, QStringLiteral("Bundesliga"));
        QCOMPARE(matches.at(2).league, QStringLiteral("Scottish Premiership"));
        for (const League &league : defaultLeagues()) {
            const auto requests = stub->requestsTo(SITE + league.slug + QStringLiteral("/scoreboard"));
            QCOMPARE(requests.size(), 1);
            QCOMPARE(requests.first().query.queryItemValue("dates"),
                     today.toString(QStringLiteral("yyyyMMdd")));
        }
    }

    void today_oneLeague_asksOnlyThatLeague_andAnyFailureFailsTheFetch()
    {
        FastEspn api;
        QVERIFY(onWorker([&] { return fetchTodayMatches(api, QStringLiteral("esp.1"), today); }).empty());
        QCOMPARE(stub->requests().size(), 1);
        QCOMPARE(stub->requests().first().path, SITE + QStringLiteral("esp.1/scoreboard"));

        stub->route(SITE + "fra.1/scoreboard", StubResponse::error(500));
        QVERIFY_THROWS_EXCEPTION(ApiError,
                                 onWorker([&] { return fetchTodayMatches(api, ALL_LEAGUES, today); }));
    }

    void matchup_prefersTheNextFixture_thenTheLatestMeeting()
    {
        routeTeams();
        const QJsonObject ars = team("359", "Arsenal"), che = team("363", "Chelsea");
        const QJsonObject next = scheduled("next", at(today.addDays(6), "16:30"), che, ars);
        const int season = EspnApi::seasonStartYear(today);
        stub->route(SITE + "eng.1/teams/359/schedule", QUrlQuery(QStringLiteral("season=%1").arg(season)),
                    StubResponse::json(
                        eventsReply({finished("last", at(today.addDays(-30), "15:00"), ars, che, 2, 2)})));
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({next})));

        FastEspn api;
        auto [match, hypothetical] =
            onWorker([&] { return findMatchup(api, QStringLiteral("Arsenal"), QStringLiteral("Chelsea")); });
        QCOMPARE(match.id, QStringLiteral("next"));
        QVERIFY(!hypothetical);

        // Without the upcoming fixture the latest meeting is shown, score and all.
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({})));
        cacheDir().removeRecursively();
        FastEspn fresh;
        std::tie(match, hypothetical) = onWorker(
            [&] { return findMatchup(fresh, QStringLiteral("Arsenal"), QStringLiteral("Chelsea")); });
        QCOMPARE(match.id, QStringLiteral("last"));
        QCOMPARE(match.home_score, QStringLiteral("2"));
        QVERIFY(!hypothetical);
    }

    void matchup_neverMet_isHypothetical_unknownTeamIsNamed()
    {
        routeTeams();
        FastEspn api;
        const auto [match, hypothetical] =
            onWorker([&] { return findMatchup(api, QStringLiteral("Arsenal"), QStringLiteral("Bayern")); });
        QVERIFY(hypothetical);
        QCOMPARE(match.id, QStringLiteral("hyp-359-132"));
        QVERIFY(isHypothetical(match));
        QCOMPARE(match.home_team, QStringLiteral("Arsenal"));
        QCOMPARE(match.away_team_id, QStringLiteral("132"));
        QVERIFY(match.date.isEmpty() && match.state.isEmpty() && match.home_score.isEmpty());

        QVERIFY_THROWS_EXCEPTION(
            ApiError,
            onWorker([&] { return findMatchup(api, QStringLiteral("Arsenal"), QStringLiteral("Chelsae")); }));
    }

    void hypothetical_takesTheSecondLeagueWhenTheFirstHasNone()
    {
        const Match m =
            hypotheticalMatch(Team{"1", "A", "a.png", "", ""}, Team{"2", "B", "b.png", "Ligue 1", ""});
        QCOMPARE(m.league, QStringLiteral("Ligue 1"));
        QCOMPARE(m.home_badge, QStringLiteral("a.png"));
        QVERIFY(!isHypothetical(Match{}));
    }
};

QTEST_GUILESS_MAIN(TestFixtureQueries)
#include "tst_fixturequeries.moc"
