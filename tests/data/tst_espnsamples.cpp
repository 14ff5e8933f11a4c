// Real ESPN replies, served by the stub, read through the client as the
// program reads them. The recordings live outside the project; without them
// every test here skips.

#include "Worker.h"

#include "data/EspnApi.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
const QString CORE = QStringLiteral("/apis/v2/sports/soccer/");

QString samplesDir()
{
    return QStringLiteral(TOLVO_SHARED_DIR "/espn-samples");
}

StubResponse sample(const QString &name)
{
    return StubResponse::fromFile(samplesDir() + QLatin1Char('/') + name);
}

int countIf(const std::vector<Match> &matches, const std::function<bool(const Match &)> &test)
{
    return int(std::count_if(matches.cbegin(), matches.cend(), test));
}

bool scored(const Match &m)
{
    return !m.home_score.isEmpty() && !m.away_score.isEmpty();
}

} // namespace

class TestEspnSamples : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;
    std::unique_ptr<EspnApi> api;

    std::vector<Match> dayOf(const QString &league, const QDate &day, const QString &file)
    {
        stub->route(SITE + league + QStringLiteral("/scoreboard"),
                    QUrlQuery(QStringLiteral("dates=") + day.toString(QStringLiteral("yyyyMMdd"))),
                    sample(file));
        return onWorker([&] { return api->toMatches(api->scoreboard(league, day, day), QString(), league); });
    }

private slots:
    void init()
    {
        if (!QDir(samplesDir()).exists())
            QSKIP("The recorded ESPN replies are not available here.");
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", stub->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", stub->baseUrl().toUtf8());
        api = std::make_unique<EspnApi>();
    }
    void cleanup()
    {
        api.reset();
        stub.reset();
        env.reset();
        qunsetenv("TOLVO_ESPN_HOST");
        qunsetenv("TOLVO_ESPN_SEARCH_HOST");
    }

    void scoreboard_withLiveFinishedAndScheduledGames()
    {
        const auto matches =
            dayOf(QStringLiteral("usa.1"), QDate(2022, 9, 17), "scoreboard-usa.1-20220917.json");
        QCOMPARE(matches.size(), size_t(11));
        QCOMPARE(countIf(matches, [](const Match &m) { return m.state == QLatin1String("post"); }), 2);
        QCOMPARE(countIf(matches, [](const Match &m) { return m.state == QLatin1String("in"); }), 4);
        // In-play games carry their score; scheduled ones do not, despite ESPN's "0".
        QCOMPARE(countIf(matches, scored), 6);
        QCOMPARE(
            countIf(matches, [](const Match &m) { return m.state == QLatin1String("pre") && scored(m); }), 0);

        const Match &live = *std::find_if(matches.cbegin(), matches.cend(),
                                          [](const Match &m) { return m.id == QLatin1String("623600"); });
        QCOMPARE(live.status_detail, QStringLiteral("57'"));
        QCOMPARE(live.home_score, QStringLiteral("3"));
        QCOMPARE(live.home_team, QStringLiteral("Orlando City SC"));
        QCOMPARE(live.venue, QStringLiteral("Exploria Stadium"));
        QCOMPARE(live.time, QStringLiteral("23:30"));
        QCOMPARE(live.league, QStringLiteral("usa.1"));
        const Match &later = matches.back();
        QCOMPARE(later.status_detail, QStringLiteral("9/17 - 10:30 PM EDT"));
        QCOMPARE(later.date, QStringLiteral("2022-09-18"));
        QVERIFY(api->teamLeagueContains(live.home_team_id));
    }

    void scoreboard_finishedAndScheduledDays()
    {
        const auto eng = dayOf(QStringLiteral("eng.1"), QDate(2025, 5, 25), "scoreboard-eng.1-20250525.json");
        QCOMPARE(eng.size(), size_t(10));
        QCOMPARE(countIf(eng, scored), 10);
        const Match &first = eng.front();
        QCOMPARE(first.home_team + QLatin1Char(' ') + first.home_score + QLatin1Char('-') + first.away_score +
                     QLatin1Char(' ') + first.away_team,
                 QStringLiteral("AFC Bournemouth 2-0 Leicester City"));
        QCOMPARE(first.home_badge, QStringLiteral("https://a.espncdn.com/i/teamlogos/soccer/500/349.png"));
        QCOMPARE(first.league, QStringLiteral("Premier League"));
        QCOMPARE(dayOf(QStringLiteral("ita.1"), QDate(2019, 8, 25), "scoreboard-ita.1-20190825.json").size(),
                 size_t(7));

        const auto pre = dayOf(QStringLiteral("usa.1"), QDate(2025, 6, 1), "scoreboard-usa.1-20250601.json");
        QCOMPARE(pre.size(), size_t(1));
        QVERIFY(pre.front().home_score.isEmpty());
        QCOMPARE(pre.front().time, QStringLiteral("22:00"));
    }

    void range_isReadAsMonths()
    {
        // Recorded when ESPN still answered ranges; served here as the month.
        stub->route(SITE + QStringLiteral("usa.1/scoreboard"), QUrlQuery(QStringLiteral("dates=202403")),
                    sample("scoreboard-usa.1-20240322-20240324.json"));
        const auto events = onWorker(
            [&] { return api->scoreboard(QStringLiteral("usa.1"), QDate(2024, 3, 22), QDate(2024, 3, 24)); });
        QCOMPARE(events.size(), size_t(13));
        const auto narrower = onWorker(
            [&] { return api->scoreboard(QStringLiteral("usa.1"), QDate(2024, 3, 20), QDate(2024, 3, 23)); });
        QCOMPARE(narrower.size(), size_t(7));
        QCOMPARE(stub->requests().size(), 1); // the month was cached

        // A whole tournament, its reply served for both months: each game once.
        stub->route(SITE + QStringLiteral("fifa.world/scoreboard"),
                    sample("scoreboard-fifa.world-2026-full.json"));
        const auto cup = onWorker([&] {
            return api->toMatches(
                api->scoreboard(QStringLiteral("fifa.world"), QDate(2026, 6, 1), QDate(2026, 7, 31)),
                QString(), QString());
        });
        QCOMPARE(cup.size(), size_t(104));
        QCOMPARE(countIf(cup, scored), 28);
        const Match &placeholder = *std::find_if(cup.cbegin(), cup.cend(), [](const Match &m) {
            return m.home_team.endsWith(QLatin1String("Winner")) ||
                   m.away_team.endsWith(QLatin1String("Winner"));
        });
        QVERIFY(placeholder.home_badge.isEmpty() || placeholder.away_badge.isEmpty());
        QCOMPARE(placeholder.state, QStringLiteral("pre"));
    }

    void teamSchedule_scoreObjectsAndLogoArrays()
    {
        api->teamLeagueSetIfAbsent(QStringLiteral("349"), QStringLiteral("eng.1"));
        stub->route(SITE + QStringLiteral("eng.1/teams/349/schedule"),
                    QUrlQuery(QStringLiteral("season=2024")), sample("schedule-eng.1-team349-2024.json"));
        const auto matches = onWorker([&] {
            return api->toMatches(api->teamSchedule(QStringLiteral("349"), 2024), QString(), QString());
        });
        QCOMPARE(matches.size(), size_t(38));
        QCOMPARE(countIf(matches, scored), 38);
        const Match &last = matches.front();
        QCOMPARE(last.date, QStringLiteral("2025-05-25"));
        QCOMPARE(last.home_team, QStringLiteral("AFC Bournemouth"));
        QCOMPARE(last.home_score, QStringLiteral("2"));
        QCOMPARE(last.league,
                 QStringLiteral("Premier League")); // ESPN's "English Premier League", slug eng.1
        QCOMPARE(last.home_badge, QStringLiteral("https://a.espncdn.com/i/teamlogos/soccer/500/349.png"));
        QCOMPARE(
            countIf(matches, [](const Match &m) { return m.home_badge.isEmpty() || m.away_badge.isEmpty(); }),
            0);
        QCOMPARE(
            countIf(matches, [](const Match &m) { return m.home_badge.contains(QLatin1String("dark")); }), 0);
    }

    void lookupEvent_fromASummary()
    {
        stub->route(SITE + QStringLiteral("all/summary"), QUrlQuery(QStringLiteral("event=554204")),
                    sample("summary-ita.1-554204.json"));
        const std::optional<Match> m =
            onWorker([&] { return api->lookupEvent(QStringLiteral("554204"), true); });
        QVERIFY(m.has_value());
        QCOMPARE(m->home_team + QLatin1Char(' ') + m->home_score + QLatin1Char('-') + m->away_score +
                     QLatin1Char(' ') + m->away_team,
                 QStringLiteral("AC Milan 3-0 Cagliari"));
        QCOMPARE(m->date, QStringLiteral("2020-08-01"));
        QCOMPARE(m->time, QStringLiteral("18:45"));
        QCOMPARE(m->league, QStringLiteral("Italian Serie A"));
        QCOMPARE(m->state, QStringLiteral("post"));
        QCOMPARE(m->home_badge, QStringLiteral("https://a.espncdn.com/i/teamlogos/soccer/500/103.png"));
        QVERIFY(!m->away_badge.isEmpty());
        QCOMPARE(m->venue, QString()); // a summary's header has no venue
    }

    void standings_leagueAndGroups()
    {
        stub->route(CORE + QStringLiteral("eng.1/standings"), sample("standings-eng.1-2024.json"));
        const auto table =
            onWorker([&] { return api->standings(QStringLiteral("eng.1"), QStringLiteral("2024")); });
        QCOMPARE(table.size(), size_t(20));
        QCOMPARE(table.front().team, QStringLiteral("Liverpool"));
        QCOMPARE(table.front().rank, QStringLiteral("1"));
        QCOMPARE(table.front().gamesPlayed, QStringLiteral("38"));
        const StandingsRow &top = table.front();
        QCOMPARE(QStringList({top.wins, top.ties, top.losses, top.pointDifferential, top.points}),
                 QStringList({"25", "9", "4", "+45", "84"}));
        for (size_t i = 0; i < table.size(); ++i)
            QCOMPARE(table.at(i).rank, QString::number(i + 1));

        stub->route(CORE + QStringLiteral("fifa.world/standings"), sample("standings-fifa.world-2026.json"));
        const auto groups = onWorker([&] { return api->standings(QStringLiteral("fifa.world")); });
        QCOMPARE(groups.size(), size_t(48));
        QVERIFY(
            std::is_sorted(groups.cbegin(), groups.cend(), [](const StandingsRow &a, const StandingsRow &b) {
                return EspnApi::safeInt(a.rank, 999) < EspnApi::safeInt(b.rank, 999);
            }));
        // Within one rank the groups keep their order: group A's leader first.
        QCOMPARE(groups.front().team, QStringLiteral("Mexico"));
    }
};

QTEST_GUILESS_MAIN(TestEspnSamples)
#include "tst_espnsamples.moc"
