#include "ai/PredictionService.h"
#include "ai/Pricing.h"
#include "ai/Prompts.h"
#include "data/EspnFixtures.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer");
const QString SEARCH = QStringLiteral("/apis/common/v3/search");
const QString SUMMARY = SITE + QStringLiteral("/all/summary");
const QString MODEL = QStringLiteral("/v1/chat/completions");

QString schedulePath(const QString &teamId)
{
    return SITE + QStringLiteral("/eng.1/teams/%1/schedule").arg(teamId);
}

using fixtures::team;

const QJsonObject ARSENAL = team("359", "Arsenal");
const QJsonObject CHELSEA = team("363", "Chelsea");
const QJsonObject BOURNEMOUTH = team("349", "AFC Bournemouth");

QString kickOff(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("T15:00Z");
}

// An all/summary reply about one Arsenal v Chelsea match.
QByteArray summary(const QString &state, const QJsonValue &homeScore, const QJsonValue &awayScore,
                   const QString &detail)
{
    const QJsonObject event = fixtures::event(
        "740900", "2025-10-04T14:00Z",
        {fixtures::competitor("home", ARSENAL, homeScore), fixtures::competitor("away", CHELSEA, awayScore)},
        fixtures::status(state, state == QLatin1String("post"), detail));
    const QJsonObject header{{"league", QJsonObject{{"name", "English Premier League"}}},
                             {"competitions", event.value("competitions")}};
    return QJsonDocument(QJsonObject{{"header", header}}).toJson(QJsonDocument::Compact);
}

QJsonObject searchItem(const QJsonObject &t)
{
    QJsonObject item = t;
    item.insert("type", "team");
    item.insert("defaultLeagueSlug", "eng.1");
    return item;
}

// One season of a club's schedule: twelve finished matches, newest first,
// eight of them against `rival` so that meetings outnumber every limit.
std::vector<QJsonObject> seasonOf(const QJsonObject &club, const QJsonObject &rival, int season)
{
    QDate first(season, 8, 16);
    // Every match of the running season is over by yesterday.
    first = std::min(first, QDate::currentDate().addDays(-1 - 7 * 11));
    std::vector<QJsonObject> list;
    for (int i = 11; i >= 0; --i) {
        const QString id = QStringLiteral("%1-%2-%3").arg(club.value("id").toString()).arg(season).arg(i);
        const QJsonObject other =
            i % 3 == 0 ? team(QString::number(900 + i), QStringLiteral("Club %1").arg(i)) : rival;
        const QString date = kickOff(first.addDays(7 * i));
        list.push_back(i % 2 ? fixtures::finished(id, date, club, other, 2, 1)
                             : fixtures::finished(id, date, other, club, 1, 1));
    }
    return list;
}

StubHandler scheduleOf(const QJsonObject &club, const QJsonObject &rival)
{
    return [club, rival](const StubRequest &r) {
        return StubResponse::json(
            fixtures::eventsReply(seasonOf(club, rival, r.query.queryItemValue("season").toInt())));
    };
}

QByteArray modelReply(const QJsonObject &content, int promptTokens, int completionTokens)
{
    const QJsonObject reply{
        {"choices",
         QJsonArray{QJsonObject{
             {"message", QJsonObject{{"role", "assistant"},
                                     {"content", QString::fromUtf8(QJsonDocument(content).toJson())}}}}}},
        {"usage", QJsonObject{{"prompt_tokens", promptTokens}, {"completion_tokens", completionTokens}}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

// The result lines of the block headed `header` (or of the head-to-head).
QStringList blockLines(const QString &context, const QString &header)
{
    const QStringList lines = context.split(QLatin1Char('\n'));
    QStringList block;
    qsizetype i = lines.indexOf(header);
    if (i < 0)
        return block;
    for (++i; i < lines.size() && lines.at(i).startsWith(QLatin1String("  ")); ++i) {
        if (!lines.at(i).startsWith(QLatin1String("  Form")))
            block.append(lines.at(i));
    }
    return block;
}

Match fixture(const QJsonObject &home, const QJsonObject &away)
{
    Match m;
    m.id = QStringLiteral("740900");
    m.home_team = home.value("displayName").toString();
    m.away_team = away.value("displayName").toString();
    m.home_team_id = home.value("id").toString();
    m.away_team_id = away.value("id").toString();
    m.league = QStringLiteral("English Premier League");
    m.date = QDate::currentDate().addDays(35).toString(QStringLiteral("yyyy-MM-dd"));
    m.time = QStringLiteral("15:00");
    m.venue = QStringLiteral("Emirates Stadium");
    m.state = QStringLiteral("pre");
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
            const QString q = r.query.queryItemValue("query");
            QJsonArray items;
            for (const QJsonObject &t : teams) {
                if (q == t.value("id").toString() || q == t.value("displayName").toString().toLower())
                    items.append(searchItem(t));
            }
            return StubResponse::json(QJsonDocument(QJsonObject{{"items", items}}).toJson());
        });
    }

    // Arsenal and Chelsea, each with three seasons of schedule, and their
    // next meeting five weeks from now on the league's scoreboard.
    void routeLondonDerby()
    {
        routeSearch({ARSENAL, CHELSEA});
        server->route(schedulePath("359"), scheduleOf(ARSENAL, CHELSEA));
        server->route(schedulePath("363"), scheduleOf(CHELSEA, ARSENAL));
        server->route(SITE + "/eng.1/scoreboard",
                      StubResponse::json(fixtures::eventsReply({fixtures::scheduled(
                          "740900", kickOff(QDate::currentDate().addDays(35)), ARSENAL, CHELSEA)})));
    }

    QString expectApiError(const std::function<void()> &call)
    {
        try {
            call();
        } catch (const ApiError &e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
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

    void gatherContext_limitsPerDepth_data()
    {
        QTest::addColumn<QString>("depth");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("meetings");
        // The next meeting is among the kept ones but has no score to show.
        QTest::newRow("quick") << "quick" << 3 << 4;
        QTest::newRow("standard") << "standard" << 5 << 9;
        QTest::newRow("deep") << "deep" << 10 << 19;
        QTest::newRow("unknown depth") << "extreme" << 5 << 9;
    }

    void gatherContext_limitsPerDepth()
    {
        QFETCH(QString, depth);
        QFETCH(int, recent);
        QFETCH(int, meetings);
        routeLondonDerby();
        const QString context = gatherContext(*api, fixture(ARSENAL, CHELSEA), depth);

        const QStringList arsenal = blockLines(context, "Arsenal recent form:");
        QCOMPARE(arsenal.size(), recent);
        // Newest first, from the running season.
        const int season = EspnApi::seasonStartYear(QDate::currentDate());
        const QString newest = seasonOf(ARSENAL, CHELSEA, season).front().value("date").toString();
        QCOMPARE(arsenal.first().mid(2, 10), newest.left(10));
        QCOMPARE(blockLines(context, "Chelsea recent form:").size(), recent);
        const QStringList h2h = blockLines(context, "Head-to-head history (most recent first):");
        QCOMPARE(h2h.size(), meetings);
        for (const QString &line : h2h)
            QVERIFY(line.contains("Arsenal") && line.contains("Chelsea"));
    }

    void gatherContext_sideWithoutId_getsNoResults()
    {
        routeLondonDerby();
        Match m = fixture(ARSENAL, CHELSEA);
        m.away_team_id.clear();
        const QString context = gatherContext(*api, m, "quick");
        QVERIFY(context.contains("\n\nChelsea recent form: no recent result data available.\n\n"));
        QCOMPARE(blockLines(context, "Arsenal recent form:").size(), 3);
        // The meetings are looked up by name, so they are still there.
        QCOMPARE(blockLines(context, "Head-to-head history (most recent first):").size(), 4);
        QCOMPARE(server->count(schedulePath("363")), 0);
    }

    void gatherContext_unreachableSearch_stillGivesTheForm()
    {
        routeLondonDerby();
        server->route(SEARCH, StubResponse::error(500));
        const QString context = gatherContext(*api, fixture(ARSENAL, CHELSEA), "quick");
        QVERIFY(!context.contains("Head-to-head"));
        QCOMPARE(blockLines(context, "Arsenal recent form:").size(), 3);
    }

    void predictMatch_realSchedule_thenReasoning()
    {
        QFile sample(QStringLiteral(TOLVO_SHARED_DIR "/espn-samples/schedule-eng.1-team349-2024.json"));
        if (!sample.open(QIODevice::ReadOnly))
            QSKIP("the shared ESPN samples are not available");
        const QByteArray bournemouth = sample.readAll();

        routeSearch({BOURNEMOUTH, ARSENAL});
        server->route(schedulePath("349"), StubResponse::json(bournemouth));
        server->route(schedulePath("359"), scheduleOf(ARSENAL, CHELSEA));
        server->route(SITE + "/eng.1/scoreboard", StubResponse::json(fixtures::eventsReply({})));
        server->route(MODEL, [](const StubRequest &r) {
            const QJsonObject body = QJsonDocument::fromJson(r.body).object();
            const QString system =
                body.value("messages").toArray().at(0).toObject().value("content").toString();
            if (system == QUICK_SYSTEM_PROMPT_BASE) {
                return StubResponse::json(modelReply({{"outcome", "home"},
                                                      {"home_win_pct", 46},
                                                      {"draw_pct", 28},
                                                      {"away_win_pct", 26},
                                                      {"scoreline", "2-1"},
                                                      {"confidence", 58}},
                                                     1000, 60));
            }
            return StubResponse::json(
                modelReply({{"summary", "Bournemouth's home record and two wins over Arsenal tip it."},
                            {"key_factors",
                             QJsonArray{"Won both meetings last season", "Mixed recent form", "Home edge"}}},
                           1100, 120));
        });

        const Predictor predictor("sk-test", "gpt-4o-mini", QString(), QString());
        const Match match = fixture(BOURNEMOUTH, ARSENAL);
        const auto [prediction, context] = predictMatch(*api, predictor, match, "standard");

        QVERIFY(context.startsWith(QStringLiteral("Fixture: AFC Bournemouth (home) vs Arsenal (away)\n"
                                                  "League: English Premier League\nDate: %1 15:00\n"
                                                  "Venue: Emirates Stadium\n\n")
                                       .arg(match.date)));
        QVERIFY(context.contains(QStringLiteral("AFC Bournemouth recent form:\n"
                                                "  2025-05-25: AFC Bournemouth 2-0 Leicester City\n"
                                                "  2025-05-20: Manchester City 3-1 AFC Bournemouth\n"
                                                "  2025-05-10: AFC Bournemouth 0-1 Aston Villa\n"
                                                "  2025-05-03: Arsenal 1-2 AFC Bournemouth\n"
                                                "  2025-04-27: AFC Bournemouth 1-1 Manchester United\n"
                                                "  Form (most recent last): DWLLW \u2014 6 scored / 6 "
                                                "conceded over 5\n\nArsenal recent form:\n")));
        QVERIFY(context.endsWith(QStringLiteral("Head-to-head history (most recent first):\n"
                                                "  2025-05-03: Arsenal 1-2 AFC Bournemouth\n"
                                                "  2024-10-19: AFC Bournemouth 2-0 Arsenal")));
        QCOMPARE(blockLines(context, "Arsenal recent form:").size(), 5);

        QCOMPARE(prediction.outcome, QStringLiteral("HOME"));
        QCOMPARE(prediction.scoreline, QStringLiteral("2-1"));
        QCOMPARE(prediction.confidence, 58);
        QCOMPARE(prediction.match_id, QStringLiteral("740900"));
        QCOMPARE(prediction.match_label, QStringLiteral("AFC Bournemouth vs Arsenal"));
        QCOMPARE(prediction.league, QStringLiteral("English Premier League"));
        QVERIFY(qFuzzyCompare(prediction.cost_gbp, costGbp("gpt-4o-mini", 1000, 60)));
        const QJsonArray sent = QJsonDocument::fromJson(server->requestsTo(MODEL).value(0).body)
                                    .object()
                                    .value("messages")
                                    .toArray();
        QCOMPARE(sent.at(1).toObject().value("content").toString(), context);

        const Prediction reasoned = predictor.predictReasoning(match, context, prediction, "standard");
        QCOMPARE(reasoned.summary,
                 QStringLiteral("Bournemouth's home record and two wins over Arsenal tip it."));
        QCOMPARE(reasoned.key_factors.size(), 3);
        QVERIFY(qFuzzyCompare(reasoned.cost_gbp,
                              costGbp("gpt-4o-mini", 1000, 60) + costGbp("gpt-4o-mini", 1100, 120)));
        QCOMPARE(reasoned.id, prediction.id);
        const QJsonArray reasoning = QJsonDocument::fromJson(server->requestsTo(MODEL).value(1).body)
                                         .object()
                                         .value("messages")
                                         .toArray();
        QVERIFY(reasoning.at(1).toObject().value("content").toString().startsWith(context +
                                                                                  "\n\nYour call: HOME"));
    }

    void predictMatch_modelFailure_reachesTheCaller()
    {
        routeLondonDerby();
        server->route(MODEL, StubResponse::error(429));
        const Predictor predictor("sk-test", "gpt-4o-mini", QString(), QString());
        try {
            predictMatch(*api, predictor, fixture(ARSENAL, CHELSEA), "quick");
            QFAIL("no error");
        } catch (const PredictorError &e) {
            QCOMPARE(e.message(), QStringLiteral("OpenAI request failed (HTTP 429)"));
        }
    }

    void checkResult_refusesMadeUpFixtures_withoutAsking()
    {
        const QString text =
            QStringLiteral("This was a hypothetical matchup \u2014 there's no real fixture to check.");
        Prediction p;
        QCOMPARE(expectApiError([&] { checkResult(*api, p); }), text);
        p.match_id = QStringLiteral("hyp-359-363");
        QCOMPARE(expectApiError([&] { checkResult(*api, p); }), text);
        QVERIFY(server->requests().isEmpty());
    }

    void checkResult_refusals_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown event")
            << QByteArray(R"({"header": {"competitions": []}})")
            << "Couldn't find this fixture on ESPN. It may be an older prediction "
               "from before the data source changed, or a match ESPN no longer lists.";
        QTest::newRow("in play") << summary("in", "1", "0", "67'")
                                 << "This match is still being played right now (67').";
        QTest::newRow("in play, no detail")
            << summary("in", "1", "0", "") << "This match is still being played right now.";
        QTest::newRow("not started") << summary("pre", "0", "0", "Sat, October 4th at 3:00 PM")
                                     << "This fixture hasn't kicked off yet.";
        QTest::newRow("postponed") << summary("post", QJsonValue(), QJsonValue(), "Postponed")
                                   << "This fixture hasn't kicked off yet.";
        QTest::newRow("score not a whole number") << summary("post", QJsonObject{{"value", 1.5}}, "0", "FT")
                                                  << "The final score for this fixture isn't available yet.";
    }

    void checkResult_refusals()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        server->route(SUMMARY, StubResponse::json(reply));
        Prediction p;
        p.match_id = QStringLiteral("740900");
        QCOMPARE(expectApiError([&] { checkResult(*api, p); }), message);
        QCOMPARE(server->requestsTo(SUMMARY).value(0).query.queryItemValue("event"),
                 QStringLiteral("740900"));
    }

    void checkResult_finishedMatch_fillsTheScore_readingFresh()
    {
        // The first look finds the match in play; the second must not be
        // served from the cache of the first.
        server->routeSequence(SUMMARY, {StubResponse::json(summary("in", "1", "1", "HT")),
                                        StubResponse::json(summary("post", "2", "1", "FT"))});
        Prediction p = Prediction::freshlyCreated();
        p.match_id = QStringLiteral("740900");
        p.outcome = QStringLiteral("HOME");
        p.summary = QStringLiteral("kept");
        QCOMPARE(expectApiError([&] { checkResult(*api, p); }),
                 QStringLiteral("This match is still being played right now (HT)."));

        const Prediction checked = checkResult(*api, p);
        QCOMPARE(checked.actual_home_score, 2);
        QCOMPARE(checked.actual_away_score, 1);
        QCOMPARE(checked.wasCorrect(), std::optional<bool>(true));
        QCOMPARE(checked.id, p.id);
        QCOMPARE(checked.summary, QStringLiteral("kept"));
        QCOMPARE(p.actual_home_score, -1);
        QCOMPARE(server->count(SUMMARY), 2);
    }

    void checkResult_realSummary()
    {
        QFile sample(QStringLiteral(TOLVO_SHARED_DIR "/espn-samples/summary-ita.1-554204.json"));
        if (!sample.open(QIODevice::ReadOnly))
            QSKIP("the shared ESPN samples are not available");
        server->route(SUMMARY, StubResponse::json(sample.readAll()));
        Prediction p;
        p.match_id = QStringLiteral("554204");
        const Prediction checked = checkResult(*api, p);
        QCOMPARE(checked.actual_home_score, 3); // AC Milan 3-0 Cagliari
        QCOMPARE(checked.actual_away_score, 0);
    }
};

QTEST_GUILESS_MAIN(TestPredictionService)
#include "tst_predictionservice.moc"
