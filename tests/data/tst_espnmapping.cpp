#include "EspnFixtures.h"

#include "data/EspnApi.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <memory>

using namespace fixtures;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

const QJsonObject HOME = team(u"1"_s, u"Home"_s);
const QJsonObject AWAY = team(u"2"_s, u"Away"_s);

QJsonObject withStatus(const QJsonObject &status)
{
    return fixtures::event(u"1"_s, u"2025-08-16T14:00Z"_s,
                           {competitor(u"home"_s, HOME, u"0"_s), competitor(u"away"_s, AWAY, u"0"_s)},
                           status);
}

} // namespace

class TestEspnMapping : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void hostOverrides_needAScheme()
    {
        qputenv("TOLVO_ESPN_HOST", "http://127.0.0.1:8099/");
        qputenv("TOLVO_ESPN_SEARCH_HOST", "localhost:8100"); // no scheme: ignored
        EspnApi api;
        QCOMPARE(api.urlFor(u"eng.1/scoreboard"_s),
                 u"http://127.0.0.1:8099/apis/site/v2/sports/soccer/eng.1/scoreboard"_s);
        QCOMPARE(api.urlFor(u"standings/x/standings"_s),
                 u"http://127.0.0.1:8099/apis/v2/sports/soccer/x/standings"_s);
        QCOMPARE(api.searchEndpoint(), u"https://site.web.api.espn.com/apis/common/v3/search"_s);
    }

    void scoreOf_data()
    {
        QTest::addColumn<QByteArray>("competitor");
        QTest::addColumn<QString>("score");
        QTest::newRow("string") << QByteArray(R"({"score":"2"})") << "2";
        QTest::newRow("number") << QByteArray(R"({"score":2})") << "2";
        QTest::newRow("object value fraction") << QByteArray(R"({"score":{"value":1.5}})") << "1.5";
        QTest::newRow("displayValue wins")
            << QByteArray(R"({"score":{"value":2.0,"displayValue":"3"}})") << "3";
        QTest::newRow("object without either") << QByteArray(R"({"score":{"winner":true}})") << "";
        QTest::newRow("missing") << QByteArray(R"({})") << "";
        QTest::newRow("long fraction") << QByteArray(R"({"score":{"value":2.123456789}})") << "2.12346";
    }
    void scoreOf()
    {
        QFETCH(QByteArray, competitor);
        QTEST(EspnApi::scoreOf(QJsonDocument::fromJson(competitor).object()), "score");
    }

    void safeInt_logoOf_seasons()
    {
        QCOMPARE(EspnApi::safeInt(u"  +12 "_s, 999), 12);
        QCOMPARE(EspnApi::safeInt(u"x"_s, 999), 999);
        QCOMPARE(EspnApi::safeInt(u"99999999999"_s, 7), 7);
        QCOMPARE(EspnApi::logoOf(parse(R"({"logo":"a","logos":[{"href":"b"}]})")), u"a"_s);
        QCOMPARE(EspnApi::logoOf(parse(R"({"logo":"","logos":[{"href":"d","rel":["dark"]},{"href":"l"}]})")),
                 u"l"_s);
        QCOMPARE(EspnApi::logoOf(parse(R"({"logos":[{"href":"d","rel":["full","dark"]}]})")), u"d"_s);
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
        QCOMPARE(
            QStringList({m->id, m->home_team, m->away_team, m->home_team_id, m->away_team_id, m->home_badge,
                         m->away_badge, m->league, m->date, m->time, m->venue, m->round, m->home_score,
                         m->away_score, m->state, m->status_detail}),
            QStringList({u"704649"_s, u"AFC Bournemouth"_s, u"Leicester"_s, u"349"_s, u"338"_s, u"349.png"_s,
                         u"338.png"_s, u"English Premier League"_s, u"2025-05-25"_s, u"15:00"_s,
                         u"Vitality Stadium"_s, u"Matchday 38"_s, u"2"_s, u"0"_s, u"post"_s, u"FT"_s}));
        QCOMPARE(api.eventToMatch(event, u"Premier League"_s)->league, u"Premier League"_s);

        // A tracked league is named as the fixture lists name it.
        QJsonObject tracked = event;
        tracked[u"league"_s] = parse(R"({"name": "English Premier League", "slug": "eng.1"})");
        QCOMPARE(api.eventToMatch(tracked, QString())->league, u"Premier League"_s);
        QCOMPARE(api.eventToMatch(tracked, u"Given"_s)->league, u"Given"_s);
    }

    void eventToMatch_scoresOnlyWhenUnderWayOrOver_data()
    {
        QTest::addColumn<QJsonObject>("status");
        QTest::addColumn<QString>("score");
        QTest::addColumn<QString>("detail");
        QTest::newRow("pre") << status(u"pre"_s, false, u"Sat 14:00"_s) << ""
                             << "Sat 14:00";
        QTest::newRow("in") << status(u"in"_s, false, u"57'"_s) << "0"
                            << "57'";
        // Abandoned or postponed games are "post" without being completed.
        QTest::newRow("postponed") << status(u"post"_s, false, u"Postp"_s) << ""
                                   << "Postp";
        QTest::newRow("detail from description")
            << parse(R"({"type": {"state": "pre", "description": "Scheduled"}})") << ""
            << "Scheduled";
    }
    void eventToMatch_scoresOnlyWhenUnderWayOrOver()
    {
        QFETCH(QJsonObject, status);
        const auto m = EspnApi().eventToMatch(withStatus(status), {});
        QTEST(m->home_score, "score");
        QTEST(m->away_score, "score");
        QTEST(m->status_detail, "detail");
    }

    void eventToMatch_dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("minutes") << "2025-08-16T14:00Z"
                                 << "2025-08-16"
                                 << "14:00";
        QTest::newRow("seconds") << "2025-08-16T14:00:30Z"
                                 << "2025-08-16"
                                 << "14:00";
        QTest::newRow("own zone kept") << "2025-08-16T23:30-04:00"
                                       << "2025-08-16"
                                       << "23:30";
        // No time of day: no kick-off time rather than a made-up midnight.
        QTest::newRow("date only") << "2025-08-16"
                                   << "2025-08-16"
                                   << "";
        QTest::newRow("unparsable") << "2025-08-16 later"
                                    << "2025-08-16"
                                    << "";
        QTest::newRow("time to be decided") << "2025-08-16TBD"
                                            << "2025-08-16"
                                            << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void eventToMatch_dates()
    {
        QFETCH(QString, text);
        const auto m = EspnApi().eventToMatch(scheduled(u"5"_s, text, HOME, AWAY), {});
        QTEST(m->date, "date");
        QTEST(m->time, "time");
    }

    void eventToMatch_idsAndIncompleteEvents()
    {
        EspnApi api;
        QJsonObject e = scheduled(u"00123"_s, u"2025-08-16"_s, HOME, AWAY);
        QCOMPARE(api.eventToMatch(e, {})->id, u"123"_s);
        e.insert(u"id"_s, 401234.0);
        QCOMPARE(api.eventToMatch(e, {})->id, u"401234"_s);
        e.insert(u"id"_s, u"hyp-abc"_s);
        QCOMPARE(api.eventToMatch(e, {})->id, u"hyp-abc"_s);

        const QJsonObject pre = status(u"pre"_s, false, QString());
        const QJsonObject twice =
            fixtures::event(u"9"_s, QString(),
                            {competitor(u"home"_s, HOME, u"0"_s), competitor(u"away"_s, AWAY, u"0"_s),
                             competitor(u"home"_s, team(u"3"_s, u"Third"_s), u"0"_s)},
                            pre);
        QCOMPARE(api.eventToMatch(twice, {})->home_team, u"Third"_s);
        QVERIFY(!api.eventToMatch(
            fixtures::event(u"9"_s, QString(), {competitor(u"home"_s, HOME, u"1"_s)}, pre), {}));
        QVERIFY(!api.eventToMatch(
            fixtures::event(u"9"_s, QString(),
                            {competitor(u"home"_s, HOME, u"1"_s), competitor(u"neutral"_s, AWAY, u"1"_s)},
                            pre),
            {}));
        QVERIFY(!api.eventToMatch(parse(R"({"id":"1","competitions":[]})"), {}));
        QVERIFY(!api.eventToMatch(parse(R"({"id":"1","competitions":"x"})"), {}));
    }

    void parseVsQuery_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("vs.") << "Arsenal vs. Chelsea"
                             << "Arsenal"
                             << "Chelsea";
        QTest::newRow("v") << "Man Utd v Liverpool"
                           << "Man Utd"
                           << "Liverpool";
        QTest::newRow("hyphen") << "Arsenal - Chelsea"
                                << "Arsenal"
                                << "Chelsea";
        QTest::newRow("padded") << "  Real Madrid   vs   Barcelona  "
                                << "Real Madrid"
                                << "Barcelona";
        QTest::newRow("hyphen in name, vs") << "Saint-Etienne vs Lyon"
                                            << "Saint-Etienne"
                                            << "Lyon";
        QTest::newRow("no blank after hyphen") << "Arsenal-Chelsea"
                                               << ""
                                               << "";
        QTest::newRow("no blank after full stop") << "Real Madrid vs.Barcelona"
                                                  << ""
                                                  << "";
        QTest::newRow("two vs, one hyphen") << "A vs B - C vs D"
                                            << "A vs B"
                                            << "C vs D";
    }
    void parseVsQuery()
    {
        QFETCH(QString, query);
        QFETCH(QString, first);
        QFETCH(QString, second);
        const auto parts = EspnApi::parseVsQuery(query);
        QCOMPARE(parts.has_value(), !first.isEmpty());
        if (parts)
            QCOMPARE(*parts, std::make_pair(first, second));
    }
};

QTEST_GUILESS_MAIN(TestEspnMapping)
#include "tst_espnmapping.moc"
