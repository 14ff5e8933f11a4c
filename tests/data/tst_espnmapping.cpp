#include "EspnFixtures.h"

#include "data/EspnApi.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <memory>

using namespace fixtures;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestEspnMapping : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        qunsetenv("TOLVO_ESPN_HOST");
        qunsetenv("TOLVO_ESPN_SEARCH_HOST");
    }
    void cleanup() { env.reset(); }

    void hostsPathsAndLifetimes()
    {
        {
            EspnApi api;
            QCOMPARE(api.urlFor(QStringLiteral("eng.1/scoreboard")),
                     QStringLiteral("https://site.api.espn.com/apis/site/v2/sports/soccer/eng.1/scoreboard"));
            QCOMPARE(api.urlFor(QStringLiteral("standings/eng.1/standings")),
                     QStringLiteral("https://site.api.espn.com/apis/v2/sports/soccer/eng.1/standings"));
            QCOMPARE(api.searchEndpoint(),
                     QStringLiteral("https://site.web.api.espn.com/apis/common/v3/search"));
            QCOMPARE(api.ttlFor(QStringLiteral("standings/eng.1/standings")), 21600);
            QCOMPARE(api.ttlFor(QStringLiteral("eng.1/teams/359/schedule")), 1800);
            QCOMPARE(api.ttlFor(QStringLiteral("eng.1/scoreboard")), 120);
            QCOMPARE(api.ttlFor(QStringLiteral("all/summary")), 300);
        }
        qputenv("TOLVO_ESPN_HOST", "http://127.0.0.1:8099/");
        qputenv("TOLVO_ESPN_SEARCH_HOST", "localhost:8100"); // no scheme: ignored
        EspnApi api;
        QCOMPARE(api.urlFor(QStringLiteral("standings/x/standings")),
                 QStringLiteral("http://127.0.0.1:8099/apis/v2/sports/soccer/x/standings"));
        QCOMPARE(api.searchEndpoint(), QStringLiteral("https://site.web.api.espn.com/apis/common/v3/search"));
    }

    void scoreOf_data()
    {
        QTest::addColumn<QByteArray>("competitor");
        QTest::addColumn<QString>("score");
        QTest::newRow("string") << QByteArray(R"({"score":"2"})") << "2";
        QTest::newRow("number") << QByteArray(R"({"score":2})") << "2";
        QTest::newRow("object value integral") << QByteArray(R"({"score":{"value":2.0}})") << "2";
        QTest::newRow("object value fraction") << QByteArray(R"({"score":{"value":1.5}})") << "1.5";
        QTest::newRow("displayValue wins")
            << QByteArray(R"({"score":{"value":2.0,"displayValue":"3"}})") << "3";
        QTest::newRow("object without either") << QByteArray(R"({"score":{"winner":true}})") << "";
        QTest::newRow("null") << QByteArray(R"({"score":null})") << "";
        QTest::newRow("missing") << QByteArray(R"({})") << "";
        QTest::newRow("long fraction") << QByteArray(R"({"score":{"value":2.123456789}})") << "2.12346";
    }
    void scoreOf()
    {
        QFETCH(QByteArray, competitor);
        QFETCH(QString, score);
        QCOMPARE(EspnApi::scoreOf(QJsonDocument::fromJson(competitor).object()), score);
    }

    void safeInt_logoOf_seasons()
    {
        QCOMPARE(EspnApi::safeInt(QStringLiteral("+3"), 999), 3);
        QCOMPARE(EspnApi::safeInt(QStringLiteral("  12 "), 999), 12);
        QCOMPARE(EspnApi::safeInt(QStringLiteral("x"), 999), 999);
        QCOMPARE(EspnApi::safeInt(QStringLiteral("99999999999"), 7), 7);

        QCOMPARE(EspnApi::logoOf(parse(R"({"logo":"a","logos":[{"href":"b"}]})")), QStringLiteral("a"));
        QCOMPARE(EspnApi::logoOf(parse(R"({"logo":"","logos":[{"href":"d","rel":["dark"]},{"href":"l"}]})")),
                 QStringLiteral("l"));
        QCOMPARE(EspnApi::logoOf(parse(R"({"logos":[{"href":"d","rel":["full","dark"]}]})")),
                 QStringLiteral("d"));

        QCOMPARE(EspnApi::seasonStartYear(QDate(2025, 7, 31)), 2024);
        QCOMPARE(EspnApi::seasonStartYear(QDate(2025, 8, 1)), 2025);
    }

    void eventToMatch_readsEveryField()
    {
        EspnApi api;
        const QJsonObject event = parse(R"({
            "id": "704649", "date": "2025-05-25T15:00Z",
            "league": {"name": "English Premier League"}, "week": {"text": "Matchday 38"},
            "competitions": [{
                "venue": {"fullName": "Vitality Stadium"},
                "status": {"type": {"state": "post", "completed": true, "shortDetail": "", "detail": "FT"}},
                "competitors": [
                    {"homeAway": "away", "score": {"value": 0.0, "displayValue": "0"},
                     "team": {"id": 338, "name": "Leicester", "logos": [{"href": "dark.png", "rel": ["dark"]},
                                                                         {"href": "338.png", "rel": ["full"]}]}},
                    {"homeAway": "home", "score": "2",
                     "team": {"id": "349", "displayName": "AFC Bournemouth", "name": "Bournemouth",
                              "logo": "349.png"}}]}]})");
        const std::optional<Match> m = api.eventToMatch(event, QString());
        QVERIFY(m.has_value());
        QCOMPARE(m->id, QStringLiteral("704649"));
        QCOMPARE(m->home_team, QStringLiteral("AFC Bournemouth"));
        QCOMPARE(m->away_team, QStringLiteral("Leicester"));
        QCOMPARE(m->home_team_id, QStringLiteral("349"));
        QCOMPARE(m->away_team_id, QStringLiteral("338"));
        QCOMPARE(m->home_badge, QStringLiteral("349.png"));
        QCOMPARE(m->away_badge, QStringLiteral("338.png")); // from "logos", the light crest
        QCOMPARE(m->league, QStringLiteral("English Premier League"));
        QCOMPARE(m->date, QStringLiteral("2025-05-25"));
        QCOMPARE(m->time, QStringLiteral("15:00"));
        QCOMPARE(m->venue, QStringLiteral("Vitality Stadium"));
        QCOMPARE(m->round, QStringLiteral("Matchday 38"));
        QCOMPARE(m->home_score, QStringLiteral("2"));
        QCOMPARE(m->away_score, QStringLiteral("0"));
        QCOMPARE(m->state, QStringLiteral("post"));
        QCOMPARE(m->status_detail, QStringLiteral("FT"));

        QCOMPARE(api.eventToMatch(event, QStringLiteral("Premier League"))->league,
                 QStringLiteral("Premier League"));
    }

    void eventToMatch_namesATrackedLeagueAsTheFixtureListsDo()
    {
        EspnApi api;
        QJsonObject event = parse(R"({
            "id": "1", "date": "2025-05-25T15:00Z",
            "league": {"name": "English Premier League", "slug": "eng.1"},
            "competitions": [{"competitors": [{"homeAway": "home", "team": {"id": "1", "displayName": "A"}},
                                              {"homeAway": "away", "team": {"id": "2", "displayName": "B"}}]}]})");
        QCOMPARE(api.eventToMatch(event, QString())->league, QStringLiteral("Premier League"));
        QCOMPARE(api.eventToMatch(event, QStringLiteral("Given"))->league, QStringLiteral("Given"));
        event["league"] = QJsonObject{{"name", "Italian Serie A"}, {"slug", "ita.1"}};
        QCOMPARE(api.eventToMatch(event, QString())->league, QStringLiteral("Italian Serie A"));
    }

    void eventToMatch_scoresOnlyWhenUnderWayOrOver()
    {
        EspnApi api;
        const QJsonObject home = team(QStringLiteral("1"), QStringLiteral("Home"));
        const QJsonObject away = team(QStringLiteral("2"), QStringLiteral("Away"));
        const QJsonArray sides{competitor(QStringLiteral("home"), home, QStringLiteral("0")),
                               competitor(QStringLiteral("away"), away, QStringLiteral("0"))};

        const auto pre = api.eventToMatch(
            fixtures::event("1", "2025-08-16T14:00Z", sides, status("pre", false, "Sat 14:00")), {});
        QCOMPARE(pre->home_score, QString());
        QCOMPARE(pre->away_score, QString());
        QCOMPARE(pre->status_detail, QStringLiteral("Sat 14:00"));

        const auto live = api.eventToMatch(
            fixtures::event("1", "2025-08-16T14:00Z", sides, status("in", false, "57'")), {});
        QCOMPARE(live->home_score, QStringLiteral("0"));
        QCOMPARE(live->away_score, QStringLiteral("0"));

        // Abandoned or postponed games are "post" without being completed.
        const auto postponed =
            api.eventToMatch(fixtures::event("1", "2025-08-16", sides, status("post", false, "Postp")), {});
        QCOMPARE(postponed->home_score, QString());

        // The status detail falls back to "detail", then "description".
        QJsonObject described{{"type", QJsonObject{{"state", "pre"}, {"description", "Scheduled"}}}};
        QCOMPARE(api.eventToMatch(fixtures::event("1", "", sides, described), {})->status_detail,
                 QStringLiteral("Scheduled"));
    }

    void eventToMatch_dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        // clang-format off
        QTest::newRow("minutes") << "2025-08-16T14:00Z" << "2025-08-16" << "14:00";
        QTest::newRow("seconds") << "2025-08-16T14:00:30Z" << "2025-08-16" << "14:00";
        QTest::newRow("own zone kept") << "2025-08-16T23:30-04:00" << "2025-08-16" << "23:30";
        // No time of day: no kick-off time rather than a made-up midnight.
        QTest::newRow("date only") << "2025-08-16" << "2025-08-16" << "";
        QTest::newRow("unparsable") << "2025-08-16 later" << "2025-08-16" << "";
        QTest::newRow("time to be decided") << "2025-08-16TBD" << "2025-08-16" << "";
        QTest::newRow("empty") << "" << "" << "";
        // clang-format on
    }
    void eventToMatch_dates()
    {
        QFETCH(QString, text);
        EspnApi api;
        const auto m = api.eventToMatch(scheduled("5", text, team("1", "H"), team("2", "A")), {});
        QTEST(m->date, "date");
        QTEST(m->time, "time");
    }

    void eventToMatch_idsAndIncompleteEvents()
    {
        EspnApi api;
        const QJsonObject home = team("1", "Home");
        const QJsonObject away = team("2", "Away");
        QJsonObject e = scheduled("00123", "2025-08-16", home, away);
        QCOMPARE(api.eventToMatch(e, {})->id, QStringLiteral("123"));
        e.insert(QStringLiteral("id"), 401234.0);
        QCOMPARE(api.eventToMatch(e, {})->id, QStringLiteral("401234"));
        e.insert(QStringLiteral("id"), QStringLiteral("hyp-abc"));
        QCOMPARE(api.eventToMatch(e, {})->id, QStringLiteral("hyp-abc"));
        e.remove(QStringLiteral("id"));
        QCOMPARE(api.eventToMatch(e, {})->id, QString());

        const QJsonObject pre = status("pre", false, "");
        const QJsonObject twice =
            fixtures::event("9", "",
                            {competitor("home", home, "0"), competitor("away", away, "0"),
                             competitor("home", team("3", "Third"), "0")},
                            pre);
        QCOMPARE(api.eventToMatch(twice, {})->home_team, QStringLiteral("Third"));
        QVERIFY(!api.eventToMatch(fixtures::event("9", "", {competitor("home", home, "1")}, pre), {}));
        QVERIFY(!api.eventToMatch(
            fixtures::event("9", "", {competitor("home", home, "1"), competitor("neutral", away, "1")}, pre),
            {}));
        QVERIFY(!api.eventToMatch(parse(R"({"id":"1","competitions":[]})"), {}));
        QVERIFY(!api.eventToMatch(parse(R"({"id":"1","competitions":"x"})"), {}));
    }

    void toMatches_namesTheLeague_skipsBrokenEvents_andRemembersTeams()
    {
        EspnApi api;
        api.teamLeagueSetIfAbsent(QStringLiteral("1"), QStringLiteral("ger.1"));
        const std::vector<QJsonObject> events = {
            scheduled("10", "2025-08-16T14:00Z", team("1", "One"), team("2", "Two")),
            parse(R"({"id":"11","competitions":[]})"),
            scheduled("12", "2025-08-17T14:00Z", team("3", "Three"), team("4", "Four")),
        };
        const std::vector<Match> matches = api.toMatches(events, QString(), QStringLiteral("eng.1"));
        QCOMPARE(matches.size(), size_t(2));
        QCOMPARE(matches.at(1).id, QStringLiteral("12"));
        QCOMPARE(matches.at(0).league, QStringLiteral("Premier League"));
        QCOMPARE(api.teamLeagueGet(QStringLiteral("1")), QStringLiteral("ger.1")); // never overwritten
        QCOMPARE(api.teamLeagueGet(QStringLiteral("4")), QStringLiteral("eng.1"));

        EspnApi other;
        other.toMatches(events, QStringLiteral("Cup"), QString());
        QVERIFY(!other.teamLeagueContains(QStringLiteral("2")));
    }

    void parseVsQuery_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        // clang-format off
        QTest::newRow("vs.") << "Arsenal vs. Chelsea" << "Arsenal" << "Chelsea";
        QTest::newRow("VS any case") << "arsenal VS chelsea" << "arsenal" << "chelsea";
        QTest::newRow("v") << "Man Utd v Liverpool" << "Man Utd" << "Liverpool";
        QTest::newRow("hyphen") << "Arsenal - Chelsea" << "Arsenal" << "Chelsea";
        QTest::newRow("at") << "Arsenal @ Chelsea" << "Arsenal" << "Chelsea";
        QTest::newRow("padded") << "  Real Madrid   vs   Barcelona  " << "Real Madrid" << "Barcelona";
        QTest::newRow("hyphen in name, vs") << "Saint-Etienne vs Lyon" << "Saint-Etienne" << "Lyon";
        QTest::newRow("no blank after hyphen") << "Arsenal-Chelsea" << "" << "";
        QTest::newRow("no blank after full stop") << "Real Madrid vs.Barcelona" << "" << "";
        QTest::newRow("one side empty") << "Arsenal vs   " << "" << "";
        QTest::newRow("two vs") << "A vs B vs C" << "" << "";
        QTest::newRow("two vs, one hyphen") << "A vs B - C vs D" << "A vs B" << "C vs D";
        // clang-format on
    }
    void parseVsQuery()
    {
        QFETCH(QString, query);
        QFETCH(QString, first);
        QFETCH(QString, second);
        const auto parts = EspnApi::parseVsQuery(query);
        if (first.isEmpty()) {
            QVERIFY(!parts.has_value());
        } else {
            QVERIFY(parts.has_value());
            QCOMPARE(parts->first, first);
            QCOMPARE(parts->second, second);
        }
    }
};

QTEST_GUILESS_MAIN(TestEspnMapping)
#include "tst_espnmapping.moc"
