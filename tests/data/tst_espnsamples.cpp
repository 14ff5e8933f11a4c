// Real ESPN replies (tests/data/espn, trimmed of links and media the program
// never reads), served by the stub and read through the client as the
// program reads them.

#include "Worker.h"

#include "data/EspnApi.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString SITE = u"/apis/site/v2/sports/soccer/"_s;

StubResponse sample(const QString &name)
{
    return StubResponse::fromFile(QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/") + name);
}

int countIf(const std::vector<Match> &matches, const std::function<bool(const Match &)> &test)
{
    return int(std::count_if(matches.cbegin(), matches.cend(), test));
}

bool scored(const Match &m)
{
    return !m.home_score.isEmpty() && !m.away_score.isEmpty();
}

QString line(const Match &m)
{
    return m.home_team + u' ' + m.home_score + u'-' + m.away_score + u' ' + m.away_team;
}

} // namespace

class TestEspnSamples : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;
    std::unique_ptr<EspnApi> api;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", stub->baseUrl().toUtf8());
        api = std::make_unique<EspnApi>();
    }
    void cleanup()
    {
        api.reset();
        stub.reset();
        env.reset();
    }

    void scoreboard_liveFinishedAndScheduledGames()
    {
        stub->route(SITE + u"usa.1/scoreboard"_s, QUrlQuery(u"dates=20220917"_s),
                    sample(u"scoreboard-usa.1-20220917.json"_s));
        const QDate day(2022, 9, 17);
        const auto matches = onWorker(
            [&] { return api->toMatches(api->scoreboard(u"usa.1"_s, day, day), QString(), u"usa.1"_s); });
        QCOMPARE(matches.size(), size_t(11));
        QCOMPARE(countIf(matches, [](const Match &m) { return m.state == u"in"_s; }), 4);
        // In-play and finished games carry their score; scheduled ones do not, despite ESPN's "0".
        QCOMPARE(countIf(matches, scored), 6);
        QCOMPARE(countIf(matches, [](const Match &m) { return m.state == u"pre"_s && scored(m); }), 0);

        const Match &live = *std::find_if(matches.cbegin(), matches.cend(),
                                          [](const Match &m) { return m.id == u"623600"_s; });
        QCOMPARE(line(live).left(18), u"Orlando City SC 3-"_s);
        QCOMPARE(live.status_detail, u"57'"_s);
        QCOMPARE(live.venue, u"Exploria Stadium"_s);
        QCOMPARE(live.time, u"23:30"_s);
        QCOMPARE(matches.back().date, u"2022-09-18"_s);
    }

    void teamSchedule_scoreObjectsAndLightCrests()
    {
        api->teamLeagueSetIfAbsent(u"349"_s, u"eng.1"_s);
        stub->route(SITE + u"eng.1/teams/349/schedule"_s, QUrlQuery(u"season=2024"_s),
                    sample(u"schedule-eng.1-team349-2024.json"_s));
        const auto matches =
            onWorker([&] { return api->toMatches(api->teamSchedule(u"349"_s, 2024), QString(), QString()); });
        QCOMPARE(matches.size(), size_t(38));
        QCOMPARE(countIf(matches, scored), 38);
        QCOMPARE(line(matches.front()), u"AFC Bournemouth 2-0 Leicester City"_s);
        QCOMPARE(matches.front().league, u"Premier League"_s); // ESPN's "English Premier League", eng.1
        QCOMPARE(matches.front().home_badge, u"https://a.espncdn.com/i/teamlogos/soccer/500/349.png"_s);
        QCOMPARE(
            countIf(matches, [](const Match &m) { return m.home_badge.isEmpty() || m.away_badge.isEmpty(); }),
            0);
        QCOMPARE(countIf(matches, [](const Match &m) { return m.home_badge.contains(u"dark"_s); }), 0);
    }

    void standings_wholeLeagueInRankOrder()
    {
        stub->route(u"/apis/v2/sports/soccer/eng.1/standings"_s, sample(u"standings-eng.1-2024.json"_s));
        const auto table = onWorker([&] { return api->standings(u"eng.1"_s, u"2024"_s); });
        QCOMPARE(table.size(), size_t(20));
        const StandingsRow &top = table.front();
        QCOMPARE(QStringList({top.team, top.gamesPlayed, top.wins, top.ties, top.losses,
                              top.pointDifferential, top.points}),
                 QStringList({u"Liverpool"_s, u"38"_s, u"25"_s, u"9"_s, u"4"_s, u"+45"_s, u"84"_s}));
        for (size_t i = 0; i < table.size(); ++i)
            QCOMPARE(table.at(i).rank, QString::number(i + 1));
    }
};

QTEST_GUILESS_MAIN(TestEspnSamples)
#include "tst_espnsamples.moc"
