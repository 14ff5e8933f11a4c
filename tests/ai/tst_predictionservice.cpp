#include "ai/PredictionService.h"
#include "ai/Pricing.h"
#include "data/EspnFixtures.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/Thrown.h"

#include <QJsonArray>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString SITE = u"/apis/site/v2/sports/soccer"_s;
const QString SEARCH = u"/apis/common/v3/search"_s;
const QString SUMMARY = SITE + u"/all/summary"_s;
const QString MODEL = u"/v1/chat/completions"_s;
const QString H2H = u"Head-to-head history (most recent first):"_s;

QString schedulePath(const QString &teamId)
{
    return SITE + u"/eng.1/teams/%1/schedule"_s.arg(teamId);
}

const QJsonObject ARSENAL = fixtures::team(u"359"_s, u"Arsenal"_s);
const QJsonObject CHELSEA = fixtures::team(u"363"_s, u"Chelsea"_s);
const QJsonObject BOURNEMOUTH = fixtures::team(u"349"_s, u"AFC Bournemouth"_s);

QString kickOff(const QDate &day)
{
    return day.toString(Qt::ISODate) + u"T15:00Z"_s;
}

// An all/summary reply about one Arsenal v Chelsea match.
QByteArray summary(const QString &state, const QJsonValue &homeScore, const QJsonValue &awayScore,
                   const QString &detail)
{
    const QJsonObject event = fixtures::event(u"740900"_s, u"2025-10-04T14:00Z"_s,
                                              {fixtures::competitor(u"home"_s, ARSENAL, homeScore),
                                               fixtures::competitor(u"away"_s, CHELSEA, awayScore)},
                                              fixtures::status(state, state == u"post"_s, detail));
    return QJsonDocument(
               QJsonObject{{u"header"_s, QJsonObject{{u"competitions"_s, event.value(u"competitions"_s)}}}})
        .toJson(QJsonDocument::Compact);
}

// One season of a club's schedule: twelve finished matches, eight of them
// against `rival` so that meetings outnumber every limit.
StubHandler scheduleOf(const QJsonObject &club, const QJsonObject &rival)
{
    return [club, rival](const StubRequest &r) {
        const int season = r.query.queryItemValue(u"season"_s).toInt();
        // Every match of the running season is over by yesterday.
        const QDate first = std::min(QDate(season, 8, 16), QDate::currentDate().addDays(-1 - 7 * 11));
        std::vector<QJsonObject> list;
        for (int i = 11; i >= 0; --i) {
            const QString id = u"%1-%2-%3"_s.arg(club.value(u"id"_s).toString()).arg(season).arg(i);
            const QJsonObject other =
                i % 3 == 0 ? fixtures::team(QString::number(900 + i), u"Club %1"_s.arg(i)) : rival;
            const QString date = kickOff(first.addDays(7 * i));
            list.push_back(i % 2 ? fixtures::finished(id, date, club, other, 2, 1)
                                 : fixtures::finished(id, date, other, club, 1, 1));
        }
        return StubResponse::json(fixtures::eventsReply(list));
    };
}

QByteArray modelReply(const QJsonObject &content, int promptTokens, int completionTokens)
{
    const QJsonObject message{{u"content"_s, QString::fromUtf8(QJsonDocument(content).toJson())}};
    return QJsonDocument(QJsonObject{{u"choices"_s, QJsonArray{QJsonObject{{u"message"_s, message}}}},
                                     {u"usage"_s, QJsonObject{{u"prompt_tokens"_s, promptTokens},
                                                              {u"completion_tokens"_s, completionTokens}}}})
        .toJson(QJsonDocument::Compact);
}

// The result lines of the block headed `header`.
QStringList blockLines(const QString &context, const QString &header)
{
    const QStringList lines = context.split(u'\n');
    QStringList block;
    for (qsizetype i = lines.indexOf(header) + 1;
         i > 0 && i < lines.size() && lines.at(i).startsWith(u"  "_s); ++i) {
        if (!lines.at(i).startsWith(u"  Form"_s))
            block.append(lines.at(i));
    }
    return block;
}

Match fixture(const QJsonObject &home, const QJsonObject &away)
{
    Match m;
    m.id = u"740900"_s;
    m.home_team = home.value(u"displayName"_s).toString();
    m.away_team = away.value(u"displayName"_s).toString();
    m.home_team_id = home.value(u"id"_s).toString();
    m.away_team_id = away.value(u"id"_s).toString();
    m.league = u"English Premier League"_s;
    m.date = QDate::currentDate().addDays(35).toString(Qt::ISODate);
    m.time = u"15:00"_s;
    m.venue = u"Emirates Stadium"_s;
    m.state = u"pre"_s;
    return m;
}

} // namespace

class TestPredictionService : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> server;
    std::unique_ptr<EspnApi> api;

    void routeSearch(const QList<QJsonObject> &teams)
    {
        server->route(SEARCH, [teams](const StubRequest &r) {
            const QString q = r.query.queryItemValue(u"query"_s);
            QJsonArray items;
            for (QJsonObject t : teams) {
                if (q == t.value(u"id"_s).toString() || q == t.value(u"displayName"_s).toString().toLower()) {
                    t.insert(u"type"_s, u"team"_s);
                    t.insert(u"defaultLeagueSlug"_s, u"eng.1"_s);
                    items.append(t);
                }
            }
            return StubResponse::json(QJsonDocument(QJsonObject{{u"items"_s, items}}).toJson());
        });
    }

    // Arsenal and Chelsea, each with three seasons of schedule, and their
    // next meeting five weeks from now on the league's scoreboard.
    void routeLondonDerby()
    {
        routeSearch({ARSENAL, CHELSEA});
        server->route(schedulePath(u"359"_s), scheduleOf(ARSENAL, CHELSEA));
        server->route(schedulePath(u"363"_s), scheduleOf(CHELSEA, ARSENAL));
        server->route(SITE + u"/eng.1/scoreboard"_s,
                      StubResponse::json(fixtures::eventsReply({fixtures::scheduled(
                          u"740900"_s, kickOff(QDate::currentDate().addDays(35)), ARSENAL, CHELSEA)})));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        server = std::make_unique<StubServer>();
        qputenv("TOLVO_ESPN_HOST", server->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", server->baseUrl().toUtf8());
        qputenv("TOLVO_OPENAI_BASE", server->baseUrl().toUtf8());
        api = std::make_unique<EspnApi>();
    }
    void cleanup()
    {
        api.reset();
        server.reset();
        env.reset();
    }

    void gatherContext_data()
    {
        QTest::addColumn<QString>("depth");
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("meetings"); // the next meeting is kept but has no score to show
        QTest::newRow("quick") << u"quick"_s << u""_s << 3 << 4;
        QTest::newRow("deep") << u"deep"_s << u""_s << 10 << 19;
        QTest::newRow("unknown depth") << u"extreme"_s << u""_s << 5 << 9;
        // The meetings are looked up by name, so they are still there.
        QTest::newRow("away side without id") << u"quick"_s << u"no away id"_s << 3 << 4;
        QTest::newRow("search unreachable") << u"quick"_s << u"search down"_s << 3 << 0;
    }
    void gatherContext()
    {
        QFETCH(QString, trouble);
        QFETCH(int, recent);
        routeLondonDerby();
        Match m = fixture(ARSENAL, CHELSEA);
        if (trouble == u"no away id"_s)
            m.away_team_id.clear();
        if (trouble == u"search down"_s)
            server->route(SEARCH, StubResponse::error(500));
        QFETCH(QString, depth);
        const QString context = ::gatherContext(*api, m, depth);

        const QStringList arsenal = blockLines(context, u"Arsenal recent form:"_s);
        QCOMPARE(arsenal.size(), recent);
        QVERIFY(arsenal.first() > arsenal.last()); // newest first
        if (m.away_team_id.isEmpty()) {
            QVERIFY(context.contains(u"\n\nChelsea recent form: no recent result data available.\n\n"_s));
            QCOMPARE(server->count(schedulePath(u"363"_s)), 0);
        } else {
            QCOMPARE(blockLines(context, u"Chelsea recent form:"_s).size(), recent);
        }
        const QStringList h2h = blockLines(context, H2H);
        QTEST(int(h2h.size()), "meetings");
        for (const QString &line : h2h)
            QVERIFY(line.contains(u"Arsenal"_s) && line.contains(u"Chelsea"_s));

        if (trouble == u"search down"_s)
            return; // failed requests are retried, and not kept
        QStringList asked;
        for (const StubRequest &r : server->requests())
            asked.append(r.path + u'?' + r.rawQuery);
        QCOMPARE(QSet<QString>(asked.cbegin(), asked.cend()).size(), asked.size()); // nothing asked twice
        // The same fixture again from a client started later: all from the cache.
        server->clearRequests();
        api = std::make_unique<EspnApi>();
        QCOMPARE(::gatherContext(*api, m, depth), context);
        QCOMPARE(server->requests().size(), 0);
    }

    void predictMatch_recordedSchedule()
    {
        routeSearch({BOURNEMOUTH, ARSENAL});
        server->route(schedulePath(u"349"_s),
                      StubResponse::fromFile(
                          QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/schedule-eng.1-team349-2024.json")));
        server->route(schedulePath(u"359"_s), scheduleOf(ARSENAL, CHELSEA));
        server->route(SITE + u"/eng.1/scoreboard"_s, StubResponse::json(fixtures::eventsReply({})));
        server->route(MODEL, StubResponse::json(modelReply(
                                 {{u"outcome"_s, u"home"_s}, {u"scoreline"_s, u"2-1"_s}}, 1000, 60)));

        const Predictor predictor(u"sk-test"_s, u"gpt-4o-mini"_s, QString(), QString());
        const Match match = fixture(BOURNEMOUTH, ARSENAL);
        const auto [prediction, context] = predictMatch(*api, predictor, match, u"standard"_s);
        QVERIFY(context.startsWith(
            u"Fixture: AFC Bournemouth (home) vs Arsenal (away)\n"
            "League: English Premier League\nDate: %1 15:00\nVenue: Emirates Stadium\n\n"_s.arg(match.date)));
        QVERIFY(
            context.contains(u"AFC Bournemouth recent form:\n"
                             "  2025-05-25: AFC Bournemouth 2-0 Leicester City\n"
                             "  2025-05-20: Manchester City 3-1 AFC Bournemouth\n"
                             "  2025-05-10: AFC Bournemouth 0-1 Aston Villa\n"
                             "  2025-05-03: Arsenal 1-2 AFC Bournemouth\n"
                             "  2025-04-27: AFC Bournemouth 1-1 Manchester United\n"
                             "  Form (most recent last): DWLLW \u2014 6 scored / 6 conceded over 5\n\n"_s));
        QVERIFY(context.endsWith(
            H2H +
            u"\n  2025-05-03: Arsenal 1-2 AFC Bournemouth\n  2024-10-19: AFC Bournemouth 2-0 Arsenal"_s));

        QCOMPARE(QStringList(
                     {prediction.outcome, prediction.scoreline, prediction.match_id, prediction.match_label}),
                 QStringList({u"HOME"_s, u"2-1"_s, u"740900"_s, u"AFC Bournemouth vs Arsenal"_s}));
        QVERIFY(qFuzzyCompare(prediction.cost_gbp, costGbp(u"gpt-4o-mini"_s, 1000, 60)));
        const QJsonDocument sent = QJsonDocument::fromJson(server->requestsTo(MODEL).value(0).body);
        QCOMPARE(sent[u"messages"_s][1][u"content"_s].toString(), context);
    }

    void checkResult_refusals_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown event")
            << QByteArray(R"({"header": {"competitions": []}})")
            << "Couldn't find this fixture on ESPN. It may be an older prediction "
               "from before the data source changed, or a match ESPN no longer lists.";
        QTest::newRow("postponed") << summary(u"post"_s, QJsonValue(), QJsonValue(), u"Postponed"_s)
                                   << "This fixture hasn't kicked off yet.";
        QTest::newRow("score not a whole number")
            << summary(u"post"_s, QJsonObject{{u"value"_s, 1.5}}, u"0"_s, u"FT"_s)
            << "The final score for this fixture isn't available yet.";
    }
    void checkResult_refusals()
    {
        QFETCH(QByteArray, reply);
        server->route(SUMMARY, StubResponse::json(reply));
        Prediction p;
        p.match_id = u"740900"_s;
        QTEST(thrownMessage([&] { checkResult(*api, p); }), "message");
        QCOMPARE(server->requestsTo(SUMMARY).value(0).query.queryItemValue(u"event"_s), u"740900"_s);
    }

    void checkResult_finishedMatch_fillsTheScore_readingFresh()
    {
        // The first look finds the match in play; the second must not be
        // served from the cache of the first.
        server->routeSequence(SUMMARY, {StubResponse::json(summary(u"in"_s, u"1"_s, u"1"_s, u"HT"_s)),
                                        StubResponse::json(summary(u"post"_s, u"2"_s, u"1"_s, u"FT"_s))});
        Prediction p = Prediction::freshlyCreated();
        p.match_id = u"740900"_s;
        p.outcome = u"HOME"_s;
        QCOMPARE(thrownMessage([&] { checkResult(*api, p); }),
                 u"This match is still being played right now (HT)."_s);
        const Prediction checked = checkResult(*api, p);
        QCOMPARE(std::make_pair(checked.actual_home_score, checked.actual_away_score), std::make_pair(2, 1));
        QCOMPARE(checked.wasCorrect(), std::optional<bool>(true));
        QCOMPARE(checked.id, p.id);
        QCOMPARE(p.actual_home_score, -1);

        server->route(SUMMARY,
                      StubResponse::fromFile(QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/summary-milan.json")));
        p.match_id = u"554204"_s; // AC Milan 3-0 Cagliari, as ESPN sent it
        QCOMPARE(checkResult(*api, p).actual_home_score, 3);
    }
};

QTEST_GUILESS_MAIN(TestPredictionService)
#include "tst_predictionservice.moc"
