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

using namespace Qt::StringLiterals;

namespace {

const QString SITE = u"/apis/site/v2/sports/soccer/"_s;
const QString SEARCH = u"/apis/common/v3/search"_s;

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
        stub->route(SEARCH, QUrlQuery(u"query=arsenal"_s),
                    StubResponse::json(searchReply("359", "Arsenal", "eng.1")));
        stub->route(SEARCH, QUrlQuery(u"query=chelsea"_s),
                    StubResponse::json(searchReply("363", "Chelsea", "eng.1")));
        stub->route(SEARCH, QUrlQuery(u"query=bayern"_s),
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
        QCOMPARE(matches.at(1).league, u"Bundesliga"_s);
        QCOMPARE(matches.at(2).league, u"Scottish Premiership"_s);
        for (const League &league : defaultLeagues()) {
            const auto requests = stub->requestsTo(SITE + league.slug + u"/scoreboard"_s);
            QCOMPARE(requests.size(), 1);
            QCOMPARE(requests.first().query.queryItemValue("dates"), today.toString(u"yyyyMMdd"_s));
        }
    }

    void matchup_prefersTheNextFixture_thenTheLatestMeeting()
    {
        routeTeams();
        const QJsonObject ars = team("359", "Arsenal"), che = team("363", "Chelsea");
        const QJsonObject next = scheduled("next", at(today.addDays(6), "16:30"), che, ars);
        const int season = EspnApi::seasonStartYear(today);
        stub->route(SITE + "eng.1/teams/359/schedule", QUrlQuery(u"season=%1"_s.arg(season)),
                    StubResponse::json(
                        eventsReply({finished("last", at(today.addDays(-30), "15:00"), ars, che, 2, 2)})));
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({next})));

        FastEspn api;
        auto [match, hypothetical] = onWorker([&] { return findMatchup(api, u"Arsenal"_s, u"Chelsea"_s); });
        QCOMPARE(match.id, u"next"_s);
        QVERIFY(!hypothetical);

        // Without the upcoming fixture the latest meeting is shown, score and all.
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({})));
        cacheDir().removeRecursively();
        FastEspn fresh;
        std::tie(match, hypothetical) =
            onWorker([&] { return findMatchup(fresh, u"Arsenal"_s, u"Chelsea"_s); });
        QCOMPARE(match.id, u"last"_s);
        QCOMPARE(match.home_score, u"2"_s);
        QVERIFY(!hypothetical);
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
