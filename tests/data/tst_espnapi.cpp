#include "EspnFixtures.h"
#include "Worker.h"

#include "data/EspnApi.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace fixtures;

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
const QString CORE = QStringLiteral("/apis/v2/sports/soccer/");
const QString SEARCH = QStringLiteral("/apis/common/v3/search");

// Failure paths retry with pauses of a few milliseconds instead of seconds.
class FastEspn : public EspnApi
{
public:
    FastEspn() { retryPauseMs = 5; }
    void setSearchTimeout(int ms) { searchTimeoutMs = ms; }
};

QString iso(const QDate &date, const QString &time = QStringLiteral("15:00"))
{
    return date.toString(Qt::ISODate) + QLatin1Char('T') + time + QLatin1Char('Z');
}

QStringList ids(const std::vector<Match> &matches)
{
    QStringList list;
    for (const Match &m : matches)
        list.append(m.id);
    return list;
}

QStringList ids(const std::vector<QJsonObject> &events)
{
    QStringList list;
    for (const QJsonObject &e : events)
        list.append(e.value("id").toString());
    return list;
}

QStringList rawQueries(const QList<StubRequest> &requests)
{
    QStringList list;
    for (const StubRequest &r : requests)
        list.append(r.rawQuery);
    return list;
}

QString monthOf(const QDate &date)
{
    return date.toString(QStringLiteral("yyyyMM"));
}

// A scoreboard that answers a month query with the events of that month and a
// day query with the events of that day, as ESPN does.
StubHandler scoreboardOf(const std::vector<QJsonObject> &events)
{
    return [events](const StubRequest &request) {
        const QString dates = request.query.queryItemValue(QStringLiteral("dates"));
        std::vector<QJsonObject> answer;
        for (const QJsonObject &e : events) {
            const QString day = e.value("date").toString().left(10).remove(QLatin1Char('-'));
            if (day.startsWith(dates))
                answer.push_back(e);
        }
        return StubResponse::json(eventsReply(answer));
    };
}

QByteArray searchReply(const QJsonArray &items)
{
    return QJsonDocument(QJsonObject{{"items", items}}).toJson(QJsonDocument::Compact);
}

QJsonObject teamItem(const QString &id, const QString &name, const QString &slug)
{
    return {{"type", "team"}, {"id", id}, {"displayName", name}, {"defaultLeagueSlug", slug}};
}

QUrlQuery queryOf(const QString &text)
{
    return QUrlQuery(text);
}

} // namespace

class TestEspnApi : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;
    QDate today;
    int season = 0;

    QString schedulePath(const QString &league, const QString &team) const
    {
        return SITE + league + QStringLiteral("/teams/") + team + QStringLiteral("/schedule");
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", stub->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", stub->baseUrl().toUtf8());
        today = QDate::currentDate();
        season = EspnApi::seasonStartYear(today);
    }
    void cleanup()
    {
        stub.reset();
        env.reset();
        qunsetenv("TOLVO_ESPN_HOST");
        qunsetenv("TOLVO_ESPN_SEARCH_HOST");
    }

    void scoreboard_oneDay_isOneDayQuery_andMatchesOnKeepsThatDay()
    {
        const QDate day(2025, 8, 16);
        stub->route(SITE + QStringLiteral("eng.1/scoreboard"),
                    StubResponse::json(eventsReply({
                        scheduled("3", "2025-08-16T19:30Z", team("5", "E"), team("6", "F")),
                        scheduled("1", "2025-08-17T00:30Z", team("1", "A"), team("2", "B")),
                        scheduled("2", "2025-08-16T11:30Z", team("3", "C"), team("4", "D")),
                    })));
        FastEspn api;
        QCOMPARE(ids(onWorker([&] { return api.scoreboard(QStringLiteral("eng.1"), day, day); })),
                 QStringList({"3", "1", "2"}));
        const QList<StubRequest> requests = stub->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).rawQuery, QStringLiteral("dates=20250816&limit=300"));
        QCOMPARE(requests.at(0).header("User-Agent"), QByteArray("python-requests/2.31.0"));

        const std::vector<Match> matches =
            onWorker([&] { return api.matchesOn(QStringLiteral("eng.1"), day); });
        QCOMPARE(ids(matches), QStringList({"2", "3"}));
        QCOMPARE(matches.at(0).league, QStringLiteral("Premier League"));
        QCOMPARE(stub->requests().size(), 1); // the day is cached
    }

    void scoreboard_range_readsEveryMonthInOrder_cutToTheDays_eachEventOnce()
    {
        const std::vector<QJsonObject> august = {
            scheduled("801", "2025-08-19T15:00Z", team("1", "A"), team("2", "B")),
            scheduled("802", "2025-08-20T00:00Z", team("1", "A"), team("2", "B")),
            scheduled("803", "2025-08-31T23:00Z", team("1", "A"), team("2", "B")),
        };
        const std::vector<QJsonObject> september = {
            scheduled("803", "2025-08-31T23:00Z", team("1", "A"), team("2", "B")), // month edges overlap
            scheduled("901", "2025-09-15T15:00Z", team("1", "A"), team("2", "B")),
        };
        const std::vector<QJsonObject> october = {
            scheduled("1002", "2025-10-06T10:00Z", team("1", "A"), team("2", "B")),
            scheduled("1001", "2025-10-05T20:00Z", team("1", "A"), team("2", "B")),
        };
        const QString path = SITE + QStringLiteral("ita.1/scoreboard");
        stub->route(path, queryOf("dates=202508"), StubResponse::json(eventsReply(august)));
        stub->route(path, queryOf("dates=202509"), StubResponse::json(eventsReply(september)));
        stub->route(path, queryOf("dates=202510"), StubResponse::json(eventsReply(october)));

        FastEspn api;
        const auto events = onWorker(
            [&] { return api.scoreboard(QStringLiteral("ita.1"), QDate(2025, 8, 20), QDate(2025, 10, 5)); });
        QCOMPARE(ids(events), QStringList({"802", "803", "901", "1001"}));
        QCOMPARE(rawQueries(stub->requestsTo(path)),
                 QStringList({"dates=202508&limit=300", "dates=202509&limit=300", "dates=202510&limit=300"}));

        // Across the turn of the year, and a range the wrong way round.
        stub->clearRequests();
        stub->route(SITE + QStringLiteral("fra.1/scoreboard"), StubResponse::json(eventsReply({})));
        onWorker(
            [&] { return api.scoreboard(QStringLiteral("fra.1"), QDate(2025, 12, 30), QDate(2026, 1, 2)); });
        QCOMPARE(rawQueries(stub->requests()),
                 QStringList({"dates=202512&limit=300", "dates=202601&limit=300"}));
        stub->clearRequests();
        QVERIFY(onWorker([&] {
                    return api.scoreboard(QStringLiteral("fra.1"), QDate(2026, 1, 2), QDate(2025, 1, 2));
                }).empty());
        QCOMPARE(stub->requests().size(), 0);
    }

    void scoreboard_failedMonth_failsTheCall()
    {
        const QString path = SITE + QStringLiteral("esp.1/scoreboard");
        stub->route(path, StubResponse::json(eventsReply({})));
        stub->route(path, queryOf("dates=202509"),
                    StubResponse::error(400, R"({"code":400,"message":"Failed to get events endpoint."})"));
        FastEspn api;
        try {
            onWorker([&] {
                return api.scoreboard(QStringLiteral("esp.1"), QDate(2025, 8, 1), QDate(2025, 10, 1));
            });
            QFAIL("expected ApiError");
        } catch (const ApiError &e) {
            QCOMPARE(e.message(), QStringLiteral("Network error contacting ESPN"));
        }
        QCOMPARE(stub->count(path), 1 + 3);
    }

    void recentMatches_widensTheWindowOnlyWhenEmpty()
    {
        const QString recentPath = SITE + QStringLiteral("eng.1/scoreboard");
        stub->route(recentPath,
                    scoreboardOf({
                        finished("1", iso(today.addDays(-30)), team("1", "A"), team("2", "B"), 2, 0),
                        finished("2", iso(today.addDays(-3)), team("3", "C"), team("4", "D"), 1, 1),
                        finished("3", iso(today.addDays(-3), "18:00"), team("1", "A"), team("4", "D"), 0, 3),
                        finished("4", iso(today.addDays(-100)), team("1", "A"), team("3", "C"), 5, 0),
                        scheduled("5", iso(today.addDays(2)), team("2", "B"), team("3", "C")),
                    }));
        FastEspn api;
        QCOMPARE(ids(onWorker([&] { return api.recentMatches(QStringLiteral("eng.1"), 2); })),
                 QStringList({"3", "2"}));
        QStringList months;
        for (QDate m(today.addDays(-45).year(), today.addDays(-45).month(), 1); m <= today;
             m = m.addMonths(1))
            months.append(QStringLiteral("dates=%1&limit=300").arg(monthOf(m)));
        QCOMPARE(rawQueries(stub->requestsTo(recentPath)), months);

        // Nothing finished in 45 or 120 days: the 260-day window finds it.
        const QString widePath = SITE + QStringLiteral("ger.1/scoreboard");
        stub->route(widePath, scoreboardOf({finished("9", iso(today.addDays(-200)), team("1", "A"),
                                                     team("2", "B"), 1, 0)}));
        const auto wide = onWorker([&] { return api.recentMatches(QStringLiteral("ger.1"), 5); });
        QCOMPARE(ids(wide), QStringList({"9"}));
        QCOMPARE(wide.at(0).home_score, QStringLiteral("1"));
        const QStringList asked = rawQueries(stub->requestsTo(widePath));
        QVERIFY(asked.contains(QStringLiteral("dates=%1&limit=300").arg(monthOf(today.addDays(-260)))));
        QCOMPARE(asked.size(), QSet<QString>(asked.cbegin(), asked.cend()).size()); // months are fetched once

        stub->route(SITE + QStringLiteral("ger.2/scoreboard"), scoreboardOf({}));
        QVERIFY(onWorker([&] { return api.recentMatches(QStringLiteral("ger.2"), 5); }).empty());
    }

    void upcomingMatches_keepFixturesWithoutScores_soonestFirst()
    {
        QJsonObject live = finished("20", iso(today, "00:01"), team("1", "A"), team("2", "B"), 1, 0);
        QJsonObject comp = live["competitions"].toArray().at(0).toObject();
        comp["status"] = status("in", false, "57'");
        live["competitions"] = QJsonArray{comp};
        stub->route(SITE + QStringLiteral("eng.2/scoreboard"),
                    scoreboardOf({
                        live,
                        scheduled("21", iso(today.addDays(10), "19:45"), team("3", "C"), team("4", "D")),
                        scheduled("22", iso(today.addDays(1)), team("5", "E"), team("6", "F")),
                        scheduled("23", iso(today.addDays(10), "12:30"), team("7", "G"), team("8", "H")),
                        scheduled("24", iso(today.addDays(80)), team("1", "A"), team("3", "C")),
                        finished("25", iso(today.addDays(-1)), team("1", "A"), team("2", "B"), 0, 0),
                    }));
        FastEspn api;
        QCOMPARE(ids(onWorker([&] { return api.upcomingMatches(QStringLiteral("eng.2"), 10); })),
                 QStringList({"22", "23", "21"}));
        QCOMPARE(ids(onWorker([&] { return api.upcomingMatches(QStringLiteral("eng.2"), 2); })),
                 QStringList({"22", "23"}));
        QCOMPARE(ids(onWorker([&] { return api.upcomingMatches(QStringLiteral("eng.2"), 10, 5); })),
                 QStringList({"22"}));
    }

    void leagueForm_lettersOldestFirst_lastN()
    {
        stub->route(SITE + QStringLiteral("sco.1/scoreboard"),
                    scoreboardOf({
                        finished("1", iso(today.addDays(-2)), team("1", "A"), team("3", "C"), 0, 1),
                        finished("2", iso(today.addDays(-10)), team("1", "A"), team("2", "B"), 2, 1),
                        finished("3", iso(today.addDays(-5)), team("2", "B"), team("3", "C"), 1, 1),
                    }));
        FastEspn api;
        const QMap<QString, QString> form =
            onWorker([&] { return api.leagueForm(QStringLiteral("sco.1"), 5); });
        QCOMPARE(form.value("A"), QStringLiteral("WL"));
        QCOMPARE(form.value("B"), QStringLiteral("LD"));
        QCOMPARE(form.value("C"), QStringLiteral("DW"));
        QCOMPARE(onWorker([&] { return api.leagueForm(QStringLiteral("sco.1"), 1); }).value("A"),
                 QStringLiteral("L"));

        stub->route(SITE + QStringLiteral("bel.1/scoreboard"), StubResponse::error(500));
        QVERIFY(onWorker([&] { return api.leagueForm(QStringLiteral("bel.1"), 5); }).isEmpty());
    }

    void lookupEvent_readsTheSummaryHeader_andPassesBypassThrough()
    {
        stub->route(SITE + QStringLiteral("all/summary"), queryOf("event=554204"),
                    StubResponse::fromFile(QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/summary-milan.json")));
        stub->route(SITE + QStringLiteral("all/summary"),
                    StubResponse::json(R"({"header":{"competitions":[]}})"));
        FastEspn api;

        const std::optional<Match> m = onWorker([&] { return api.lookupEvent(QStringLiteral("554204")); });
        QVERIFY(m.has_value());
        QCOMPARE(m->id, QStringLiteral("554204"));
        QCOMPARE(m->home_team, QStringLiteral("AC Milan"));
        QCOMPARE(m->home_score, QStringLiteral("3"));
        QCOMPARE(m->away_score, QStringLiteral("0"));
        QCOMPARE(m->date, QStringLiteral("2020-08-01"));
        QCOMPARE(m->time, QStringLiteral("18:45"));
        QCOMPARE(m->league, QStringLiteral("Italian Serie A"));
        QCOMPARE(m->home_badge, QStringLiteral("https://crests.test/103.png"));
        QCOMPARE(m->away_badge, QStringLiteral("https://crests.test/2925.png"));
        QVERIFY(!api.teamLeagueContains(QStringLiteral("103")));
        QCOMPARE(stub->requests().at(0).rawQuery, QStringLiteral("event=554204"));

        onWorker([&] { return api.lookupEvent(QStringLiteral("554204")); });
        QCOMPARE(stub->requests().size(), 1);
        onWorker([&] { return api.lookupEvent(QStringLiteral("554204"), true); });
        QCOMPARE(stub->requests().size(), 2);

        QVERIFY(!onWorker([&] { return api.lookupEvent(QStringLiteral("1")); }).has_value());
        QVERIFY(!onWorker([&] { return api.lookupEvent(QString()); }).has_value());
        QCOMPARE(stub->requests().size(), 3);
    }

    void teamLastEvents_unknownLeague_probesSixLeagues_thenRemembersTheOne()
    {
        stub->route(SEARCH, StubResponse::json(searchReply({})));
        const QString s = QString::number(season);
        stub->route(schedulePath("eng.1", "999"), StubResponse::error(500));
        stub->route(schedulePath("eng.2", "999"), StubResponse::json(eventsReply({})));
        stub->route(schedulePath("ger.1", "999"), StubResponse::json("{}"));
        // ger.2 is not routed at all: 404.
        stub->route(schedulePath("esp.1", "999"),
                    StubResponse::json(eventsReply({
                        finished("1", "2025-01-10T15:00Z", team("999", "Us"), team("5", "Them"), 1, 0),
                        scheduled("2", "2025-09-10T15:00Z", team("5", "Them"), team("999", "Us")),
                        finished("3", "2025-02-10T15:00Z", team("6", "Other"), team("999", "Us"), 2, 2),
                        finished("4", "2024-12-10T15:00Z", team("999", "Us"), team("7", "More"), 0, 1),
                    })));
        FastEspn api;
        const auto last = onWorker([&] { return api.teamLastEvents(QStringLiteral("999"), 2); });
        QCOMPARE(ids(last), QStringList({"3", "1"}));

        QCOMPARE(stub->requestsTo(SEARCH).at(0).rawQuery, QStringLiteral("query=999&limit=12&sport=soccer"));
        QStringList probed;
        for (const StubRequest &r : stub->requests()) {
            if (r.path.endsWith(QLatin1String("/schedule"))) {
                QCOMPARE(r.rawQuery, QStringLiteral("season=") + s);
                const QString league = r.path.mid(SITE.size()).section(QLatin1Char('/'), 0, 0);
                if (!probed.contains(league))
                    probed.append(league);
            }
        }
        QCOMPARE(probed, QStringList({"eng.1", "eng.2", "ger.1", "ger.2", "esp.1"}));
        QCOMPARE(api.teamLeagueGet(QStringLiteral("999")), QStringLiteral("esp.1"));
        QCOMPARE(api.leaguesToTry(QStringLiteral("999")), QStringList({"esp.1"}));

        stub->clearRequests();
        onWorker([&] { return api.teamSchedule(QStringLiteral("999"), season - 1); });
        QCOMPARE(stub->requests().size(), 1);
        QCOMPARE(stub->requests().at(0).path, schedulePath("esp.1", "999"));
    }

    void teamLastEvents_leagueFromSearch_noProbe_fallsBackToPreviousSeason()
    {
        stub->route(SEARCH, StubResponse::json(searchReply({
                                QJsonObject{{"type", "league"}, {"id", "359"}, {"defaultLeagueSlug", "x.1"}},
                                teamItem("3590", "Not us", "ger.1"),
                                QJsonObject{{"type", "team"}, {"id", "359"}, {"league", "eng.1"}},
                            })));
        stub->route(schedulePath("eng.1", "359"), queryOf(QStringLiteral("season=%1").arg(season)),
                    StubResponse::json(eventsReply({scheduled(
                        "8", "2026-09-01T15:00Z", team("359", "Arsenal"), team("363", "Chelsea"))})));
        stub->route(schedulePath("eng.1", "359"), queryOf(QStringLiteral("season=%1").arg(season - 1)),
                    StubResponse::json(eventsReply({finished("7", "2025-05-01T15:00Z", team("359", "Arsenal"),
                                                             team("363", "Chelsea"), 1, 1)})));
        FastEspn api;
        const auto last = onWorker([&] { return api.teamLastEvents(QStringLiteral("359"), 5); });
        QCOMPARE(ids(last), QStringList({"7"}));
        QCOMPARE(stub->requests().size(), 3); // one search, two seasons of one league
        for (const StubRequest &r : stub->requests())
            QVERIFY(r.path == SEARCH || r.path == schedulePath("eng.1", "359"));

        // Known now: no second search.
        onWorker([&] { return api.teamLastEvents(QStringLiteral("359"), 5); });
        QCOMPARE(stub->count(SEARCH), 1);

        QCOMPARE(ids(onWorker([&] { return api.teamNextEvents(QStringLiteral("359"), 5); })),
                 QStringList({"8"}));
        QVERIFY(onWorker([&] { return api.teamLastEvents(QString(), 5); }).empty());
        QVERIFY(onWorker([&] { return api.teamNextEvents(QString(), 5); }).empty());
    }

    void searchTeam_lowerCasedQuery_prefersExactName_remembersLeague()
    {
        QJsonObject arsenal = teamItem("359", "Arsenal", "");
        arsenal["league"] = "eng.1";
        arsenal["logos"] =
            QJsonArray{QJsonObject{{"href", "dark.png"}, {"rel", QJsonArray{"full", "dark"}}},
                       QJsonObject{{"href", "light.png"}, {"rel", QJsonArray{"full", "default"}}}};
        stub->route(SEARCH, StubResponse::json(searchReply({
                                QJsonObject{{"type", "league"}, {"displayName", "arsenal"}},
                                teamItem("1", "Arsenal de Sarandi", "arg.1"),
                                arsenal,
                            })));
        FastEspn api;
        const std::optional<Team> team =
            onWorker([&] { return api.searchTeam(QStringLiteral("  ARSENAL ")); });
        QVERIFY(team.has_value());
        QCOMPARE(team->id, QStringLiteral("359"));
        QCOMPARE(team->name, QStringLiteral("Arsenal"));
        QCOMPARE(team->badge_url, QStringLiteral("light.png"));
        QCOMPARE(team->league, QStringLiteral("Premier League"));
        QCOMPARE(team->country, QString());
        QCOMPARE(api.teamLeagueGet(QStringLiteral("359")), QStringLiteral("eng.1"));
        QVERIFY(!api.teamLeagueContains(QStringLiteral("1")));
        const StubRequest request = stub->requestsTo(SEARCH).at(0);
        QCOMPARE(request.rawQuery, QStringLiteral("query=arsenal&limit=12&sport=soccer"));
        QVERIFY(request.header("User-Agent") != "python-requests/2.31.0");

        // No exact name: the first team; searches are never cached.
        const auto first = onWorker([&] { return api.searchTeam(QStringLiteral("arse")); });
        QCOMPARE(first->id, QStringLiteral("1"));
        QCOMPARE(first->league, QStringLiteral("arg.1"));
        onWorker([&] { return api.searchTeam(QStringLiteral("arse")); });
        QCOMPARE(stub->count(SEARCH), 3);

        // Names with URL delimiters arrive intact.
        onWorker([&] { return api.searchTeam(QStringLiteral("Brighton & Hove+Albion")); });
        QCOMPARE(
            stub->requestsTo(SEARCH).last().query.queryItemValue(QStringLiteral("query"), QUrl::FullyDecoded),
            QStringLiteral("brighton & hove+albion"));
        QVERIFY(!onWorker([&] { return api.searchTeam(QStringLiteral("   ")); }).has_value());
        QCOMPARE(stub->count(SEARCH), 4);
    }

    void searchTeam_failuresGiveNone()
    {
        FastEspn api;
        api.setSearchTimeout(300);
        StubResponse slow = StubResponse::json(searchReply({teamItem("1", "X", "eng.1")}));
        slow.delayMs = 3000;
        const QList<StubResponse> failures = {
            StubResponse::json(searchReply({QJsonObject{{"type", "league"}, {"id", "1"}}})),
            StubResponse::error(500, searchReply({teamItem("1", "X", "eng.1")})), StubResponse::json("[]"),
            slow};
        QElapsedTimer timer;
        timer.start();
        for (const StubResponse &failure : failures) {
            stub->route(SEARCH, failure);
            QVERIFY(!onWorker([&] { return api.searchTeam(QStringLiteral("x")); }).has_value());
        }
        QVERIFY(timer.elapsed() < 2500);
        QCOMPARE(stub->count(SEARCH), 4); // one plain attempt each
    }

    void searchHeadToHead_mergesThreeSeasonsAndUpcoming_onceEach_newestFirst()
    {
        stub->route(SEARCH, queryOf("query=arsenal"),
                    StubResponse::json(searchReply({teamItem("359", "Arsenal", "eng.1")})));
        stub->route(SEARCH, queryOf("query=chelsea"),
                    StubResponse::json(searchReply({teamItem("363", "Chelsea", "eng.1")})));
        const QJsonObject ars = team("359", "Arsenal");
        const QJsonObject che = team("363", "Chelsea");
        const QJsonObject spurs = team("367", "Tottenham Hotspur");
        const QJsonObject upcoming = scheduled("u1", iso(today.addDays(35)), che, ars);
        auto seasonQuery = [](int year) { return queryOf(QStringLiteral("season=%1").arg(year)); };
        stub->route(schedulePath("eng.1", "359"), seasonQuery(season),
                    StubResponse::json(eventsReply({
                        finished("s0", iso(today.addDays(-20)), ars, che, 2, 1),
                        finished("x0", iso(today.addDays(-10)), ars, spurs, 1, 0),
                        upcoming,
                    })));
        stub->route(schedulePath("eng.1", "359"), seasonQuery(season - 1),
                    StubResponse::json(eventsReply({
                        finished("s1a", iso(today.addDays(-200)), che, ars, 0, 0),
                        finished("s1b", iso(today.addDays(-380)), ars, che, 3, 1),
                        finished("s0", iso(today.addDays(-20)), ars, che, 2, 1),
                    })));
        stub->route(
            schedulePath("eng.1", "359"), seasonQuery(season - 2),
            StubResponse::json(eventsReply({finished("s2", iso(today.addDays(-500)), che, ars, 1, 2)})));
        stub->route(SITE + QStringLiteral("eng.1/scoreboard"),
                    scoreboardOf({upcoming, scheduled("x1", iso(today.addDays(3)), spurs, che)}));

        FastEspn api;
        const auto meetings = onWorker(
            [&] { return api.searchHeadToHead(QStringLiteral("Arsenal"), QStringLiteral("Chelsea")); });
        QCOMPARE(ids(meetings), QStringList({"u1", "s0", "s1a", "s1b", "s2"}));
        QCOMPARE(meetings.at(1).home_score, QStringLiteral("2"));
        QVERIFY(meetings.at(0).home_score.isEmpty());
        QVERIFY(stub->count(SITE + QStringLiteral("eng.1/scoreboard")) >=
                3); // 75 days span three or four months

        QVERIFY(onWorker([&] {
                    return api.searchHeadToHead(QStringLiteral("Arsenal"), QStringLiteral("Nobody"));
                }).empty());
    }

    void searchHeadToHead_upcomingFailure_keepsPastMeetings()
    {
        stub->route(SEARCH, queryOf("query=a"),
                    StubResponse::json(searchReply({teamItem("1", "A", "por.1")})));
        stub->route(SEARCH, queryOf("query=b"),
                    StubResponse::json(searchReply({teamItem("2", "B", "por.1")})));
        stub->route(schedulePath("por.1", "1"),
                    StubResponse::json(eventsReply(
                        {finished("m1", "2024-03-01T20:00Z", team("1", "A"), team("2", "B"), 1, 0)})));
        stub->route(SITE + QStringLiteral("por.1/scoreboard"), StubResponse::error(503));
        FastEspn api;
        QCOMPARE(
            ids(onWorker([&] { return api.searchHeadToHead(QStringLiteral("A"), QStringLiteral("B")); })),
            QStringList({"m1"}));

        // Search host down: nothing, and no schedule is asked for.
        stub->clearRequests();
        stub->route(SEARCH, StubResponse::error(500));
        QVERIFY(
            onWorker([&] { return api.searchHeadToHead(QStringLiteral("C"), QStringLiteral("D")); }).empty());
        QCOMPARE(stub->requests().size(), 2);
    }

    void standings_concatenatesGroups_sortsByRank_unrankedLast()
    {
        auto entry = [](const QString &name, const QString &rank, const QString &played) {
            QJsonArray stats{QJsonObject{{"name", "gamesPlayed"}, {"displayValue", played}},
                             QJsonObject{{"name", "pointDifferential"}, {"displayValue", "+4"}},
                             QJsonObject{{"name", "points"}, {"displayValue", "7"}}};
            if (!rank.isEmpty())
                stats.append(QJsonObject{{"name", "rank"}, {"displayValue", rank}});
            return QJsonObject{{"team", QJsonObject{{"name", name}}}, {"stats", stats}};
        };
        auto group = [](const QJsonArray &entries) {
            return QJsonObject{{"standings", QJsonObject{{"entries", entries}}}};
        };
        const QJsonObject reply{
            {"children", QJsonArray{group({entry("Unranked", "", "3"), entry("Second", "2", "3")}),
                                    group({entry("First", "1", "3"), entry("Third", "3", "3")})}}};
        const QString path = CORE + QStringLiteral("eng.1/standings");
        stub->route(path, StubResponse::json(QJsonDocument(reply).toJson()));
        FastEspn api;
        const auto rows =
            onWorker([&] { return api.standings(QStringLiteral("eng.1"), QStringLiteral("2024")); });
        QStringList teams;
        for (const StandingsRow &row : rows)
            teams.append(row.team);
        QCOMPARE(teams, QStringList({"First", "Second", "Third", "Unranked"}));
        QCOMPARE(rows.at(0).pointDifferential, QStringLiteral("+4"));
        QCOMPARE(rows.at(0).wins, QString());
        QCOMPARE(stub->requests().at(0).rawQuery, QStringLiteral("season=2024"));

        // Without children the table sits at the top; without a season, no query.
        stub->route(CORE + QStringLiteral("ger.1/standings"),
                    StubResponse::json(QJsonDocument(group({entry("Only", "1", "0")})).toJson()));
        const auto top = onWorker([&] { return api.standings(QStringLiteral("ger.1")); });
        QCOMPARE(top.size(), size_t(1));
        QCOMPARE(stub->requests().last().rawQuery, QString());

        stub->route(CORE + QStringLiteral("fra.1/standings"), StubResponse::error(500));
        QVERIFY_THROWS_EXCEPTION(ApiError, onWorker([&] { return api.standings(QStringLiteral("fra.1")); }));
    }

    void standingsLatest_firstSeasonWithGames_andSeasonLabels()
    {
        auto table = [](const QString &played) {
            QJsonObject entry{
                {"team", QJsonObject{{"displayName", "T"}}},
                {"stats", QJsonArray{QJsonObject{{"name", "gamesPlayed"}, {"displayValue", played}},
                                     QJsonObject{{"name", "rank"}, {"displayValue", "1"}}}}};
            return QJsonDocument(QJsonObject{{"standings", QJsonObject{{"entries", QJsonArray{entry}}}}})
                .toJson();
        };
        const QString path = CORE + QStringLiteral("eng.1/standings");
        stub->route(path, queryOf(QStringLiteral("season=%1").arg(season)), StubResponse::json(table("0")));
        stub->route(path, queryOf(QStringLiteral("season=%1").arg(season - 1)),
                    StubResponse::json(table("38")));
        FastEspn api;
        const auto [rows, label] = onWorker([&] { return api.standingsLatest(QStringLiteral("eng.1")); });
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows.at(0).gamesPlayed, QStringLiteral("38"));
        QCOMPARE(label, QStringLiteral("%1-%2").arg(season - 1).arg(season));
        QCOMPARE(stub->count(path), 2);

        stub->route(CORE + QStringLiteral("esp.1/standings"), StubResponse::json(table("0")));
        const auto none = onWorker([&] { return api.standingsLatest(QStringLiteral("esp.1")); });
        QVERIFY(none.first.empty());
        QCOMPARE(none.second, QStringLiteral("%1-%2").arg(season).arg(season + 1));

        QCOMPARE(api.seasonLabels(2), QStringList({QStringLiteral("%1-%2").arg(season).arg(season + 1),
                                                   QStringLiteral("%1-%2").arg(season - 1).arg(season)}));
        QVERIFY(api.seasonLabels(0).isEmpty());
        QVERIFY(api.seasonLabels(-1).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEspnApi)
#include "tst_espnapi.moc"
