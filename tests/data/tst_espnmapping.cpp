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
            << parse(R"({"type": {"state": "pre", "description": "Scheduled"}})") << u""_s << u"Scheduled"_s;
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
        const auto m = EspnApi().eventToMatch(scheduled(u"5"_s, text, HOME, AWAY), {});
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
};

QTEST_GUILESS_MAIN(TestEspnMapping)
#include "tst_espnmapping.moc"
