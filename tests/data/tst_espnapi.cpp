#include "EspnFixtures.h"
#include "Worker.h"

#include "app/League.h"
#include "app/Paths.h"
#include "data/EspnApi.h"
#include "data/FixtureQueries.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using namespace fixtures;
using namespace Qt::StringLiterals;

namespace {

const QString SITE = u"/apis/site/v2/sports/soccer/"_s;
const QString CORE = u"/apis/v2/sports/soccer/"_s;
const QString SEARCH = u"/apis/common/v3/search"_s;

// Failure paths retry with pauses of a few milliseconds instead of seconds.
class FastEspn : public EspnApi
{
public:
    FastEspn() { retryPauseMs = 5; }
    void setSearchTimeout(int ms) { searchTimeoutMs = ms; }
    void pinClock(qint64 seconds)
    {
        clockSeconds = [seconds] { return seconds; };
    }
};

QString iso(const QDate &date, const QString &time = u"15:00"_s)
{
    return date.toString(Qt::ISODate) + u'T' + time + u'Z';
}

template <typename List> QStringList ids(const List &list)
{
    QStringList result;
    for (const auto &item : list) {
        if constexpr (std::is_same_v<std::decay_t<decltype(item)>, Match>)
            result.append(item.id);
        else
            result.append(item.value("id").toString());
    }
    return result;
}

QStringList rawQueries(const QList<StubRequest> &requests)
{
    QStringList list;
    for (const StubRequest &r : requests)
        list.append(r.rawQuery);
    return list;
}

QString monthQuery(const QDate &date)
{
    return u"dates=%1&limit=300"_s.arg(date.toString(u"yyyyMM"_s));
}

// A scoreboard that answers a month or a day query with the events of that
// month or day, as ESPN does.
StubHandler scoreboardOf(const std::vector<QJsonObject> &events)
{
    return [events](const StubRequest &request) {
        const QString dates = request.query.queryItemValue(u"dates"_s);
        std::vector<QJsonObject> answer;
        for (const QJsonObject &e : events) {
            if (e.value("date").toString().left(10).remove(u'-').startsWith(dates))
                answer.push_back(e);
        }
        return StubResponse::json(eventsReply(answer));
    };
}

QByteArray searchReply(const QJsonArray &items)
{
    return QJsonDocument(QJsonObject{{u"items"_s, items}}).toJson(QJsonDocument::Compact);
}

QJsonObject teamItem(const QString &id, const QString &name, const QString &slug)
{
    return {{u"type"_s, u"team"_s}, {u"id"_s, id}, {u"displayName"_s, name}, {u"defaultLeagueSlug"_s, slug}};
}

QString schedulePath(const QString &league, const QString &team)
{
    return SITE + league + u"/teams/"_s + team + u"/schedule"_s;
}

QUrlQuery seasonQuery(int year)
{
    return QUrlQuery(u"season=%1"_s.arg(year));
}

const QJsonObject A = team(u"1"_s, u"A"_s), B = team(u"2"_s, u"B"_s), C = team(u"3"_s, u"C"_s),
                  D = team(u"4"_s, u"D"_s);

QJsonObject withStatus(const QJsonObject &status)
{
    return fixtures::event(u"1"_s, u"2025-08-16T14:00Z"_s,
                           {competitor(u"home"_s, A, u"0"_s), competitor(u"away"_s, B, u"0"_s)}, status);
}

} // namespace

class TestEspnApi : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;
    std::unique_ptr<FastEspn> api;
    QDate today;
    int season = 0;

    // Anything not routed is an empty but valid reply.
    void routeEmptyFallback()
    {
        stub->setFallback([](const StubRequest &) { return StubResponse::json(eventsReply({})); });
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", stub->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", stub->baseUrl().toUtf8());
        api = std::make_unique<FastEspn>();
        today = QDate::currentDate();
        season = EspnApi::seasonStartYear(today);
    }
    void cleanup()
    {
        api.reset();
        stub.reset();
        env.reset();
    }

    void scoreboard_range_readsEveryMonthInOrder_cutToTheDays_eachEventOnce()
    {
        const QString path = SITE + u"ita.1/scoreboard"_s;
        const QJsonObject edge = scheduled(u"803"_s, u"2025-08-31T23:00Z"_s, A, B);
        stub->route(
            path, QUrlQuery(u"dates=202508"_s),
            StubResponse::json(eventsReply({scheduled(u"801"_s, u"2025-08-19T15:00Z"_s, A, B),
                                            scheduled(u"802"_s, u"2025-08-20T00:00Z"_s, A, B), edge})));
        stub->route(
            path, QUrlQuery(u"dates=202509"_s), // month edges overlap
            StubResponse::json(eventsReply({edge, scheduled(u"901"_s, u"2025-09-15T15:00Z"_s, A, B)})));
        stub->route(path, QUrlQuery(u"dates=202510"_s),
                    StubResponse::json(eventsReply({scheduled(u"1002"_s, u"2025-10-06T10:00Z"_s, A, B),
                                                    scheduled(u"1001"_s, u"2025-10-05T20:00Z"_s, A, B)})));
        const auto events =
            onWorker([&] { return api->scoreboard(u"ita.1"_s, QDate(2025, 8, 20), QDate(2025, 10, 5)); });
        QCOMPARE(ids(events), QStringList({u"802"_s, u"803"_s, u"901"_s, u"1001"_s}));
        QStringList asked = rawQueries(stub->requestsTo(path)); // all at once, in any order
        asked.sort();
        QCOMPARE(asked, QStringList({monthQuery(QDate(2025, 8, 1)), monthQuery(QDate(2025, 9, 1)),
                                     monthQuery(QDate(2025, 10, 1))}));

        // Across the turn of the year, and a range the wrong way round.
        stub->clearRequests();
        stub->route(SITE + u"fra.1/scoreboard"_s, StubResponse::json(eventsReply({})));
        onWorker([&] { return api->scoreboard(u"fra.1"_s, QDate(2025, 12, 30), QDate(2026, 1, 2)); });
        asked = rawQueries(stub->requests());
        asked.sort();
        QCOMPARE(asked, QStringList({monthQuery(QDate(2025, 12, 1)), monthQuery(QDate(2026, 1, 1))}));
        QVERIFY(onWorker([&] {
                    return api->scoreboard(u"fra.1"_s, QDate(2026, 1, 2), QDate(2025, 1, 2));
                }).empty());
        QCOMPARE(stub->requests().size(), 2);
    }

    void recentMatches_widensTheWindowOnlyWhenEmpty()
    {
        const QString recentPath = SITE + u"eng.1/scoreboard"_s;
        stub->route(recentPath, scoreboardOf({
                                    finished(u"1"_s, iso(today.addDays(-30)), A, B, 2, 0),
                                    finished(u"2"_s, iso(today.addDays(-3)), C, D, 1, 1),
                                    finished(u"3"_s, iso(today.addDays(-3), u"18:00"_s), A, D, 0, 3),
                                    finished(u"4"_s, iso(today.addDays(-100)), A, C, 5, 0),
                                    scheduled(u"5"_s, iso(today.addDays(2)), B, C),
                                }));
        QCOMPARE(ids(onWorker([&] { return api->recentMatches(u"eng.1"_s, 2); })),
                 QStringList({u"3"_s, u"2"_s}));
        QStringList months;
        for (QDate m(today.addDays(-45).year(), today.addDays(-45).month(), 1); m <= today;
             m = m.addMonths(1))
            months.append(monthQuery(m));
        QStringList asked = rawQueries(stub->requestsTo(recentPath));
        asked.sort();
        QCOMPARE(asked, months);

        // Nothing finished in 45 or 120 days: the 260-day window finds it.
        const QString widePath = SITE + u"ger.1/scoreboard"_s;
        stub->route(widePath, scoreboardOf({finished(u"9"_s, iso(today.addDays(-200)), A, B, 1, 0)}));
        const auto wide = onWorker([&] { return api->recentMatches(u"ger.1"_s, 5); });
        QCOMPARE(ids(wide), QStringList{u"9"_s});
        QCOMPARE(wide.at(0).home_score, u"1"_s);
        asked = rawQueries(stub->requestsTo(widePath));
        QVERIFY(asked.contains(monthQuery(today.addDays(-260))));
        QCOMPARE(asked.size(), QSet<QString>(asked.cbegin(), asked.cend()).size()); // each month once

        stub->route(SITE + u"ger.2/scoreboard"_s, scoreboardOf({}));
        QVERIFY(onWorker([&] { return api->recentMatches(u"ger.2"_s, 5); }).empty());
    }

    void teamLastEvents_unknownLeague_probesLeagues_thenRemembersTheOne()
    {
        stub->route(SEARCH, StubResponse::json(searchReply({})));
        stub->route(schedulePath(u"eng.1"_s, u"999"_s), StubResponse::error(500));
        stub->route(schedulePath(u"eng.2"_s, u"999"_s), StubResponse::json(eventsReply({})));
        stub->route(schedulePath(u"ger.1"_s, u"999"_s), StubResponse::json("{}"));
        // ger.2 is not routed at all: 404.
        const QJsonObject us = team(u"999"_s, u"Us"_s);
        stub->route(schedulePath(u"esp.1"_s, u"999"_s),
                    StubResponse::json(eventsReply({
                        finished(u"1"_s, u"2025-01-10T15:00Z"_s, us, A, 1, 0),
                        scheduled(u"2"_s, u"2025-09-10T15:00Z"_s, A, us),
                        finished(u"3"_s, u"2025-02-10T15:00Z"_s, B, us, 2, 2),
                        finished(u"4"_s, u"2024-12-10T15:00Z"_s, us, C, 0, 1),
                    })));
        QCOMPARE(ids(onWorker([&] { return api->teamLastEvents(u"999"_s, 2); })),
                 QStringList({u"3"_s, u"1"_s}));

        for (const QString &league : {u"eng.1"_s, u"eng.2"_s, u"ger.1"_s, u"ger.2"_s, u"esp.1"_s})
            QVERIFY2(stub->count(schedulePath(league, u"999"_s)) > 0, qPrintable(league));
        QCOMPARE(api->leaguesToTry(u"999"_s), QStringList{u"esp.1"_s});

        stub->clearRequests();
        onWorker([&] { return api->teamSchedule(u"999"_s, season - 1); });
        QCOMPARE(stub->requests().size(), 1);
        QCOMPARE(stub->requests().at(0).path, schedulePath(u"esp.1"_s, u"999"_s));
    }

    void searchTeam_lowerCasedQuery_prefersExactName_remembersLeague()
    {
        QJsonObject arsenal = teamItem(u"359"_s, u"Arsenal"_s, QString());
        arsenal[u"league"_s] = u"eng.1"_s;
        arsenal[u"logos"_s] = QJsonDocument::fromJson(R"([{"href": "dark.png", "rel": ["full", "dark"]},
                                                         {"href": "light.png", "rel": ["full", "default"]}])")
                                  .array();
        stub->route(SEARCH, StubResponse::json(searchReply({
                                QJsonObject{{u"type"_s, u"league"_s}, {u"displayName"_s, u"arsenal"_s}},
                                teamItem(u"1"_s, u"Arsenal de Sarandi"_s, u"arg.1"_s),
                                arsenal,
                            })));
        const std::optional<Team> found = onWorker([&] { return api->searchTeam(u"  ARSENAL "_s); });
        QVERIFY(found.has_value());
        QCOMPARE(QStringList({found->id, found->name, found->badge_url, found->league}),
                 QStringList({u"359"_s, u"Arsenal"_s, u"light.png"_s, u"Premier League"_s}));
        QCOMPARE(api->teamLeagueGet(u"359"_s), u"eng.1"_s);
        QCOMPARE(stub->requestsTo(SEARCH).at(0).rawQuery, u"query=arsenal&limit=12&sport=soccer"_s);

        // No exact name: the first team. An answer is kept for a day, also
        // by a client started later.
        const auto first = onWorker([&] { return api->searchTeam(u"arse"_s); });
        QCOMPARE(first->id, u"1"_s);
        QCOMPARE(first->league, u"arg.1"_s);
        api = std::make_unique<FastEspn>();
        const qint64 stored = QDateTime::currentSecsSinceEpoch();
        for (qint64 age : {qint64(0), qint64(24 * 3600), qint64(24 * 3600 + 1)}) {
            api->pinClock(stored + age);
            QCOMPARE(onWorker([&] { return api->searchTeam(u"arse"_s); })->id, u"1"_s);
            QCOMPARE(api->teamLeagueGet(u"1"_s), u"arg.1"_s);
        }
        QCOMPARE(stub->count(SEARCH), 3); // asked again only when more than a day old

        QVERIFY(!onWorker([&] { return api->searchTeam(u"   "_s); }).has_value());
        QCOMPARE(stub->count(SEARCH), 3);
    }

    void searchTeam_failuresGiveNone_data()
    {
        QTest::addColumn<StubResponse>("reply");
        QTest::addColumn<int>("askedTwice"); // by two searches: failures are not kept
        const QByteArray oneTeam = searchReply({teamItem(u"1"_s, u"X"_s, u"eng.1"_s)});
        StubResponse slow = StubResponse::json(oneTeam);
        slow.delayMs = 60000;
        QTest::newRow("no team") << StubResponse::json(searchReply({QJsonObject{{u"type"_s, u"league"_s}}}))
                                 << 1;
        QTest::newRow("server error") << StubResponse::error(500, oneTeam) << 2;
        QTest::newRow("not an object") << StubResponse::json("[]") << 2;
        QTest::newRow("too slow") << slow << 2;
    }
    void searchTeam_failuresGiveNone()
    {
        QFETCH(StubResponse, reply);
        stub->route(SEARCH, reply);
        api->setSearchTimeout(300);
        QVERIFY(!onWorker([&] { return api->searchTeam(u"x"_s); }).has_value());
        QCOMPARE(stub->count(SEARCH), 1); // one plain attempt
        QVERIFY(!onWorker([&] { return api->searchTeam(u"x"_s); }).has_value());
        QTEST(int(stub->count(SEARCH)), "askedTwice");
    }

    void standings_concatenatesGroups_sortsByRank_unrankedLast()
    {
        auto entry = [](const QString &name, const QString &rank, const QString &played) {
            QJsonArray stats{QJsonObject{{u"name"_s, u"gamesPlayed"_s}, {u"displayValue"_s, played}},
                             QJsonObject{{u"name"_s, u"pointDifferential"_s}, {u"displayValue"_s, u"+4"_s}}};
            if (!rank.isEmpty())
                stats.append(QJsonObject{{u"name"_s, u"rank"_s}, {u"displayValue"_s, rank}});
            return QJsonObject{{u"team"_s, QJsonObject{{u"name"_s, name}}}, {u"stats"_s, stats}};
        };
        auto group = [](const QJsonArray &entries) {
            return QJsonObject{{u"standings"_s, QJsonObject{{u"entries"_s, entries}}}};
        };
        auto table = [](const QJsonObject &o) { return StubResponse::json(QJsonDocument(o).toJson()); };
        stub->route(
            CORE + u"eng.1/standings"_s,
            table({{u"children"_s,
                    QJsonArray{
                        group({entry(u"Unranked"_s, QString(), u"3"_s), entry(u"Second"_s, u"2"_s, u"3"_s)}),
                        group({entry(u"First"_s, u"1"_s, u"3"_s), entry(u"Third"_s, u"3"_s, u"3"_s)})}}}));
        const auto rows = onWorker([&] { return api->standings(u"eng.1"_s, u"2024"_s); });
        QStringList teams;
        for (const StandingsRow &row : rows)
            teams.append(row.team);
        QCOMPARE(teams, QStringList({u"First"_s, u"Second"_s, u"Third"_s, u"Unranked"_s}));
        QCOMPARE(rows.at(0).pointDifferential, u"+4"_s);
        QCOMPARE(stub->requests().at(0).rawQuery, u"season=2024"_s);

        // Without children the table sits at the top; without a season, no query.
        stub->route(CORE + u"ger.1/standings"_s, table(group({entry(u"Only"_s, u"1"_s, u"0"_s)})));
        QCOMPARE(onWorker([&] { return api->standings(u"ger.1"_s); }).size(), size_t(1));
        QCOMPARE(stub->requests().last().rawQuery, QString());

        stub->route(CORE + u"fra.1/standings"_s, StubResponse::error(500));
        QVERIFY_THROWS_EXCEPTION(ApiError, onWorker([&] { return api->standings(u"fra.1"_s); }));

        // The latest table is the newest season with games played.
        const QString path = CORE + u"esp.1/standings"_s;
        stub->route(path, seasonQuery(season), table(group({entry(u"T"_s, u"1"_s, u"0"_s)})));
        stub->route(path, seasonQuery(season - 1), table(group({entry(u"T"_s, u"1"_s, u"38"_s)})));
        const auto [latest, label] = onWorker([&] { return api->standingsLatest(u"esp.1"_s); });
        QCOMPARE(latest.at(0).gamesPlayed, u"38"_s);
        QCOMPARE(label, u"%1-%2"_s.arg(season - 1).arg(season));
        QCOMPARE(api->seasonLabels(2), QStringList({u"%1-%2"_s.arg(season).arg(season + 1), label}));
        QVERIFY(api->seasonLabels(0).isEmpty());

        stub->route(CORE + u"ita.1/standings"_s, table(group({entry(u"T"_s, u"1"_s, u"0"_s)})));
        const auto none = onWorker([&] { return api->standingsLatest(u"ita.1"_s); });
        QVERIFY(none.first.empty());
        QCOMPARE(none.second, u"%1-%2"_s.arg(season).arg(season + 1));
    }

    void leagueForm_lettersOldestFirst_lastN()
    {
        stub->route(SITE + u"sco.1/scoreboard"_s, scoreboardOf({
                                                      finished(u"1"_s, iso(today.addDays(-2)), A, C, 0, 1),
                                                      finished(u"2"_s, iso(today.addDays(-10)), A, B, 2, 1),
                                                      finished(u"3"_s, iso(today.addDays(-5)), B, C, 1, 1),
                                                  }));
        const QMap<QString, QString> form = onWorker([&] { return api->leagueForm(u"sco.1"_s, 5); });
        QCOMPARE(QStringList({form.value(u"A"_s), form.value(u"B"_s), form.value(u"C"_s)}),
                 QStringList({u"WL"_s, u"LD"_s, u"DW"_s}));
        QCOMPARE(onWorker([&] { return api->leagueForm(u"sco.1"_s, 1); }).value(u"A"_s), u"L"_s);

        stub->route(SITE + u"bel.1/scoreboard"_s, StubResponse::error(500));
        QVERIFY(onWorker([&] { return api->leagueForm(u"bel.1"_s, 5); }).isEmpty());
    }

    void searchHeadToHead_mergesThreeSeasonsAndUpcoming_onceEach_newestFirst()
    {
        stub->route(SEARCH, QUrlQuery(u"query=arsenal"_s),
                    StubResponse::json(searchReply({teamItem(u"359"_s, u"Arsenal"_s, u"eng.1"_s)})));
        stub->route(SEARCH, QUrlQuery(u"query=chelsea"_s),
                    StubResponse::json(searchReply({teamItem(u"363"_s, u"Chelsea"_s, u"eng.1"_s)})));
        const QJsonObject ars = team(u"359"_s, u"Arsenal"_s), che = team(u"363"_s, u"Chelsea"_s);
        const QJsonObject upcoming = scheduled(u"u1"_s, iso(today.addDays(35)), che, ars);
        const QString path = schedulePath(u"eng.1"_s, u"359"_s);
        stub->route(path, seasonQuery(season),
                    StubResponse::json(
                        eventsReply({finished(u"s0"_s, iso(today.addDays(-20)), ars, che, 2, 1),
                                     finished(u"x0"_s, iso(today.addDays(-10)), ars, A, 1, 0), upcoming})));
        stub->route(
            path, seasonQuery(season - 1),
            StubResponse::json(eventsReply({finished(u"s1a"_s, iso(today.addDays(-200)), che, ars, 0, 0),
                                            finished(u"s1b"_s, iso(today.addDays(-380)), ars, che, 3, 1),
                                            finished(u"s0"_s, iso(today.addDays(-20)), ars, che, 2, 1)})));
        stub->route(
            path, seasonQuery(season - 2),
            StubResponse::json(eventsReply({finished(u"s2"_s, iso(today.addDays(-500)), che, ars, 1, 2)})));
        stub->route(SITE + u"eng.1/scoreboard"_s,
                    scoreboardOf({upcoming, scheduled(u"x1"_s, iso(today.addDays(3)), A, che)}));

        const auto meetings = onWorker([&] { return api->searchHeadToHead(u"Arsenal"_s, u"Chelsea"_s); });
        QCOMPARE(ids(meetings), QStringList({u"u1"_s, u"s0"_s, u"s1a"_s, u"s1b"_s, u"s2"_s}));
        QCOMPARE(meetings.at(1).home_score, u"2"_s);
        QVERIFY(meetings.at(0).home_score.isEmpty());
        QVERIFY(onWorker([&] { return api->searchHeadToHead(u"Arsenal"_s, u"Nobody"_s); }).empty());
    }
    void eventToMatch_scoresOnlyWhenUnderWayOrOver_data()
    {
        QTest::addColumn<QJsonObject>("status");
        QTest::addColumn<QString>("score");
        QTest::addColumn<QString>("detail");
        QTest::newRow("pre") << status(u"pre"_s, false, u"Sat 14:00"_s) << u""_s << u"Sat 14:00"_s;
        QTest::newRow("in") << status(u"in"_s, false, u"57'"_s) << u"0"_s << u"57'"_s;
        // Abandoned or postponed games are "post" without being completed.
        QTest::newRow("postponed") << status(u"post"_s, false, u"Postp"_s) << u""_s << u"Postp"_s;
        QTest::newRow("detail from description")
            << QJsonDocument::fromJson(R"({"type": {"state": "pre", "description": "Scheduled"}})").object()
            << u""_s << u"Scheduled"_s;
    }
    void eventToMatch_scoresOnlyWhenUnderWayOrOver()
    {
        QFETCH(QJsonObject, status);
        const auto m = api->eventToMatch(withStatus(status), {});
        QTEST(m->home_score, "score");
        QTEST(m->away_score, "score");
        QTEST(m->status_detail, "detail");
    }

    void eventToMatch_dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::newRow("minutes") << u"2025-08-16T14:00Z"_s << u"2025-08-16"_s << u"14:00"_s;
        QTest::newRow("seconds") << u"2025-08-16T14:00:30Z"_s << u"2025-08-16"_s << u"14:00"_s;
        QTest::newRow("own zone kept") << u"2025-08-16T23:30-04:00"_s << u"2025-08-16"_s << u"23:30"_s;
        // No time of day: no kick-off time rather than a made-up midnight.
        QTest::newRow("date only") << u"2025-08-16"_s << u"2025-08-16"_s << u""_s;
        QTest::newRow("unparsable") << u"2025-08-16 later"_s << u"2025-08-16"_s << u""_s;
        QTest::newRow("time to be decided") << u"2025-08-16TBD"_s << u"2025-08-16"_s << u""_s;
        QTest::newRow("empty") << u""_s << u""_s << u""_s;
    }
    void eventToMatch_dates()
    {
        QFETCH(QString, text);
        const auto m = api->eventToMatch(scheduled(u"5"_s, text, A, B), {});
        QTEST(m->date, "date");
        QTEST(m->time, "time");
    }

    void parseVsQuery_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("vs.") << u"Arsenal vs. Chelsea"_s << u"Arsenal"_s << u"Chelsea"_s;
        QTest::newRow("v") << u"Man Utd v Liverpool"_s << u"Man Utd"_s << u"Liverpool"_s;
        QTest::newRow("hyphen") << u"Arsenal - Chelsea"_s << u"Arsenal"_s << u"Chelsea"_s;
        QTest::newRow("padded") << u"  Real Madrid   vs   Barcelona  "_s << u"Real Madrid"_s
                                << u"Barcelona"_s;
        QTest::newRow("hyphen in name, vs") << u"Saint-Etienne vs Lyon"_s << u"Saint-Etienne"_s << u"Lyon"_s;
        QTest::newRow("no blank after hyphen") << u"Arsenal-Chelsea"_s << u""_s << u""_s;
        QTest::newRow("no blank after full stop") << u"Real Madrid vs.Barcelona"_s << u""_s << u""_s;
        QTest::newRow("two vs, one hyphen") << u"A vs B - C vs D"_s << u"A vs B"_s << u"C vs D"_s;
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

    // A real ESPN reply (tests/data/espn, trimmed of links and media the
    // program never reads) with live, finished and scheduled games.
    void realScoreboard_liveFinishedAndScheduledGames()
    {
        stub->route(SITE + u"usa.1/scoreboard"_s, QUrlQuery(u"dates=20220917"_s),
                    StubResponse::fromFile(
                        QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/scoreboard-usa.1-20220917.json")));
        const QDate day(2022, 9, 17);
        const auto matches = onWorker(
            [&] { return api->toMatches(api->scoreboard(u"usa.1"_s, day, day), QString(), u"usa.1"_s); });
        QCOMPARE(matches.size(), size_t(11));
        auto count = [&](const std::function<bool(const Match &)> &test) {
            return int(std::count_if(matches.cbegin(), matches.cend(), test));
        };
        auto scored = [](const Match &m) { return !m.home_score.isEmpty() && !m.away_score.isEmpty(); };
        QCOMPARE(count([](const Match &m) { return m.state == u"in"_s; }), 4);
        // In-play and finished games carry their score; scheduled ones do not, despite ESPN's "0".
        QCOMPARE(count(scored), 6);
        QCOMPARE(count([&](const Match &m) { return m.state == u"pre"_s && scored(m); }), 0);
        const Match &live = *std::find_if(matches.cbegin(), matches.cend(),
                                          [](const Match &m) { return m.id == u"623600"_s; });
        QCOMPARE(live.home_team + u' ' + live.home_score, u"Orlando City SC 3"_s);
        QCOMPARE(QStringList({live.status_detail, live.venue, live.time}),
                 QStringList({u"57'"_s, u"Exploria Stadium"_s, u"23:30"_s}));
        QCOMPARE(matches.back().date, u"2022-09-18"_s);
    }
    void today_allLeagues_mergedOncePerIdByTimeThenLeague()
    {
        routeEmptyFallback();
        const QJsonObject a = team("1", "Alpha"), b = team("2", "Beta"), c = team("3", "Gamma"),
                          d = team("4", "Delta");
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("e-late", iso(today, "19:45"), a, b),
                                                   scheduled("shared", iso(today, "15:00"), c, d),
                                               })));
        stub->route(SITE + "ger.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("g-early", iso(today, "12:30"), c, a),
                                                   scheduled("g-same", iso(today, "15:00"), b, d),
                                               })));
        // Listed again by a later league: that copy wins.
        stub->route(SITE + "sco.1/scoreboard", StubResponse::json(eventsReply({
                                                   scheduled("shared", iso(today, "15:00"), c, d),
                                               })));

        const auto matches = onWorker([&] { return fetchTodayMatches(*api, ALL_LEAGUES, today); });
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
        routeEmptyFallback();
        for (const auto &[query, id, name] :
             {std::tuple("arsenal", "359", "Arsenal"), std::tuple("chelsea", "363", "Chelsea")})
            stub->route(SEARCH, QUrlQuery(u"query="_s + query),
                        StubResponse::json(searchReply({teamItem(id, name, "eng.1")})));
        const QJsonObject ars = team("359", "Arsenal"), che = team("363", "Chelsea");
        const QJsonObject next = scheduled("next", iso(today.addDays(6), "16:30"), che, ars);
        const int season = EspnApi::seasonStartYear(today);
        stub->route(SITE + "eng.1/teams/359/schedule", QUrlQuery(u"season=%1"_s.arg(season)),
                    StubResponse::json(
                        eventsReply({finished("last", iso(today.addDays(-30), "15:00"), ars, che, 2, 2)})));
        stub->route(SITE + "eng.1/scoreboard", StubResponse::json(eventsReply({next})));

        auto [match, hypothetical] = onWorker([&] { return findMatchup(*api, u"Arsenal"_s, u"Chelsea"_s); });
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

QTEST_GUILESS_MAIN(TestEspnApi)
#include "tst_espnapi.moc"
