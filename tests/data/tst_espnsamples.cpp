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
};

QTEST_GUILESS_MAIN(TestEspnSamples)
#include "tst_espnsamples.moc"
