#include "EspnFixtures.h"

#include "ai/Prompts.h"
#include "data/EspnApi.h"
#include "data/MarketOdds.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <memory>

using namespace fixtures;

using namespace Qt::StringLiterals;

namespace {

// Excerpts of real ESPN odds arrays (links and team objects left out), one per
// shape ESPN sends, keyed by what they show.
QJsonObject oddsShapes()
{
    QFile file(QStringLiteral(TOLVO_TEST_DATA_DIR "/espn/odds-shapes.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray compact(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact) : QByteArray();
}

} // namespace

class TestMarketOdds : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void marketFromOdds_firstFullyPricedBookmaker_marginRemoved_data()
    {
        const QJsonObject shapes = oddsShapes();
        QVERIFY(!shapes.isEmpty());
        const QJsonArray numbers = shapes.value("moneyline_numbers").toArray();
        QTest::addColumn<QByteArray>("odds");
        QTest::addColumn<QString>("provider");
        QTest::addColumn<double>("home"); // -1: no snapshot
        QTest::addColumn<double>("draw");
        QTest::addColumn<double>("away");

        QTest::newRow("American texts, closing price: -160 / +330 / +425")
            << compact(shapes.value("moneyline_texts")) << "DraftKings" << 59.3 << 22.4 << 18.3;
        QTest::newRow("American numbers after a draw-only entry, before the forecasting model")
            << compact(numbers) << "Holland Casino" << 40.3 << 26.6 << 33.1;
        QTest::newRow("decimal values, first of two bookmakers")
            << compact(shapes.value("decimal_values")) << "Bet 365" << 50.9 << 26.2 << 23.0;
        QTest::newRow("summary with the team prices one level deeper")
            << compact(shapes.value("summary_nested_values")) << "Bet 365" << 95.5 << 3.7 << 0.8;
        QTest::newRow("opening prices when there is no close, EVEN read as +100")
            << QByteArray(R"([{"provider":{"id":"7","name":"Book"},"moneyline":{
                   "home":{"open":{"odds":"EVEN"}},"draw":{"open":{"odds":"+250"}},
                   "away":{"open":{"odds":"+260"}}}}])")
            << "Book" << 47.0 << 26.9 << 26.1;
        QTest::newRow("a bookmaker pricing only the draw")
            << compact(QJsonArray{numbers.at(0)}) << "" << -1.0 << -1.0 << -1.0;
        QTest::newRow("only the forecasting model")
            << compact(QJsonArray{numbers.at(2)}) << "" << -1.0 << -1.0 << -1.0;
        QTest::newRow("after full time")
            << compact(shapes.value("after_full_time")) << "" << -1.0 << -1.0 << -1.0;
        QTest::newRow("no odds at all") << QByteArray("[]") << "" << -1.0 << -1.0 << -1.0;
    }
    void marketFromOdds_firstFullyPricedBookmaker_marginRemoved()
    {
        QFETCH(QByteArray, odds);
        QFETCH(QString, provider);
        QFETCH(double, home);
        QFETCH(double, draw);
        QFETCH(double, away);
        const QJsonDocument doc = QJsonDocument::fromJson(odds);
        QVERIFY(doc.isArray());
        const std::optional<MarketSnapshot> market = espn::marketFromOdds(doc.array());
        QCOMPARE(market.has_value(), home >= 0);
        if (!market)
            return;
        QCOMPARE(market->provider, provider);
        QCOMPARE(qRound(market->home_pct * 10), qRound(home * 10));
        QCOMPARE(qRound(market->draw_pct * 10), qRound(draw * 10));
        QCOMPARE(qRound(market->away_pct * 10), qRound(away * 10));
        QVERIFY(qAbs(market->home_pct + market->draw_pct + market->away_pct - 100.0) < 1e-9);
    }

    void predictionOnAPricedScoreboardFixture_keepsSnapshotAndKickoffState()
    {
        QJsonObject event = scheduled(u"760442"_s, u"2026-06-12T19:00Z"_s, team(u"660"_s, u"United States"_s),
                                      team(u"210"_s, u"Paraguay"_s));
        QJsonArray competitions = event.value("competitions").toArray();
        QJsonObject comp = competitions.first().toObject();
        comp.insert("odds", oddsShapes().value("moneyline_texts"));
        competitions[0] = comp;
        event.insert("competitions", competitions);

        const std::optional<Match> match = EspnApi().eventToMatch(event, u"FIFA World Cup"_s);
        QVERIFY(match.has_value());
        const Prediction made = predictionFromQuickReply(
            *match,
            QJsonObject{{"outcome", "HOME"}, {"home_win_pct", 55}, {"draw_pct", 25}, {"away_win_pct", 20}},
            u"gpt-4o-mini"_s, 0.0);

        // Stored and read back as the history file holds it.
        const QJsonObject stored = made.toJson();
        QCOMPARE(stored.value("market_home_pct").toDouble(), 59.3);
        QCOMPARE(stored.value("market_provider").toString(), u"DraftKings"_s);
        const Prediction back = Prediction::fromJson(stored);
        QCOMPARE(back.market_draw_pct.value_or(-1), 22.4);
        QCOMPARE(back.market_away_pct.value_or(-1), 18.3);
        QCOMPARE(back.kickoff_state, u"pre"_s);
        QVERIFY(back.madeBeforeKickoff());
    }
};

QTEST_GUILESS_MAIN(TestMarketOdds)
#include "tst_marketodds.moc"
