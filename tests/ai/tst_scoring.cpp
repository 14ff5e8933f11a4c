#include "ai/Scoring.h"

#include <QtTest>

namespace {

// A checked call with the model's three percentages and, when given, the
// bookmakers'.
Prediction called(std::array<int, 3> pct, int homeGoals, int awayGoals, const QString &kickoff = "pre",
                  std::optional<std::array<double, 3>> market = std::nullopt)
{
    Prediction p;
    p.home_win_pct = pct[0];
    p.draw_pct = pct[1];
    p.away_win_pct = pct[2];
    p.actual_home_score = homeGoals;
    p.actual_away_score = awayGoals;
    p.kickoff_state = kickoff;
    if (market) {
        p.market_home_pct = (*market)[0];
        p.market_draw_pct = (*market)[1];
        p.market_away_pct = (*market)[2];
    }
    return p;
}

bool near(double a, double b)
{
    return qAbs(a - b) < 1e-6;
}

} // namespace

class TestScoring : public QObject
{
    Q_OBJECT

private slots:
    void report_scoresPreMatchCallsAgainstBaselinesAndMarket()
    {
        const QList<Prediction> history = {
            called({50, 30, 20}, 2, 0, "pre", std::array<double, 3>{60, 25, 15}),
            called({50, 30, 20}, 1, 1, "pre", std::array<double, 3>{40, 30, 30}),
            // A record from before kick-off states and prices were kept.
            Prediction::fromJson(QJsonObject{{"home_win_pct", 50},
                                             {"draw_pct", 30},
                                             {"away_win_pct", 20},
                                             {"actual_home_score", 0},
                                             {"actual_away_score", 0}}),
            called({70, 20, 10}, 1, 0, "in", std::array<double, 3>{90, 8, 2}), // apart
            called({0, 0, 0}, 1, 0),                                           // nothing to score
            called({50, 30, 20}, -1, -1),                                      // not checked yet
        };
        const ScoreReport r = scorePredictions(history);

        QCOMPARE(r.model.n, 3);
        QVERIFY(near(r.model.rps, 0.145));
        QVERIFY(near(r.model.brier, (0.38 + 0.78 + 0.78) / 3));
        QVERIFY(near(r.model.logLoss, (0.693147 + 2 * 1.203973) / 3));
        QVERIFY(near(r.model.hitRate, 1.0 / 3));
        QVERIFY(near(r.baseRate.rps, (0.185 + 2 * 0.145) / 3));
        QVERIFY(near(r.baseRate.brier, (0.4376 + 2 * 0.8376) / 3));
        QVERIFY(near(r.baseRate.logLoss, (0.776529 + 2 * 1.347074) / 3));
        QVERIFY(near(r.alwaysHomeHitRate, 1.0 / 3));

        // The market on the two priced calls; the old record has no prices.
        QCOMPARE(r.market.market.n, 2);
        QVERIFY(near(r.market.market.rps, (0.09125 + 0.125) / 2));
        QVERIFY(near(r.market.modelRps, 0.145));
        QVERIFY(near(r.market.meanDifference, 0.036875));
        QVERIFY(near(r.market.standardError.value_or(0), 0.016875));
        QVERIFY(near(r.market.z.value_or(0), 0.036875 / 0.016875));
        QCOMPARE(r.market.verdict, QStringLiteral("behind the market"));

        QCOMPARE(r.calibration.size(), 10);
        QCOMPARE(r.calibration.at(3).from, 30);
        QCOMPARE(r.calibration.at(3).n, 3); // every draw chance was exactly 30%
        QVERIFY(near(r.calibration.at(3).observedPct, 200.0 / 3));
        QVERIFY(near(r.calibration.at(5).observedPct, 100.0 / 3));
        QCOMPARE(r.calibration.at(9).n, 0);
        QVERIFY(near(r.meanPredictedDrawPct, 30.0));
        QVERIFY(near(r.observedDrawPct, 200.0 / 3));

        QCOMPARE(r.inPlay.n, 1);
        QVERIFY(near(r.inPlay.hitRate, 1.0));
    }
};

QTEST_GUILESS_MAIN(TestScoring)
#include "tst_scoring.moc"
