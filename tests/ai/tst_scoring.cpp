// A call and how it is judged: its outcome against the result, streaks,
// probability scores against the baselines and the market, and its price.
#include "ai/AccuracyStats.h"
#include "ai/Pricing.h"
#include "ai/Scoring.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

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

// A call made on day `day` (for ordering), checked when `right` is set.
Prediction call(int day, std::optional<bool> right)
{
    Prediction p;
    p.created_at = QDateTime(QDate(2025, 8, 1).addDays(day), QTime(15, 0)).toString(Qt::ISODate);
    p.outcome = u"HOME"_s;
    p.confidence = 50;
    p.league = u"EPL"_s;
    if (right) {
        p.actual_home_score = *right ? 2 : 0;
        p.actual_away_score = 1;
    }
    return p;
}

} // namespace

class TestScoring : public QObject
{
    Q_OBJECT

private slots:
    void prediction_actualOutcomeAndWasCorrect_data()
    {
        QTest::addColumn<int>("home");
        QTest::addColumn<int>("away");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("actual"); // empty: none
        QTest::addColumn<int>("correct");    // -1: none, 0 false, 1 true
        QTest::newRow("draw called") << 2 << 2 << u"DRAW"_s << u"DRAW"_s << 1;
        QTest::newRow("home win") << 3 << 1 << u"HOME"_s << u"HOME"_s << 1;
        QTest::newRow("away win, home called") << 0 << 1 << u"HOME"_s << u"AWAY"_s << 0;
        QTest::newRow("nil-nil") << 0 << 0 << u"AWAY"_s << u"DRAW"_s << 0;
        QTest::newRow("unknown home") << -1 << 3 << u"AWAY"_s << u""_s << -1;
    }
    void prediction_actualOutcomeAndWasCorrect()
    {
        QFETCH(int, home);
        QFETCH(int, away);
        QFETCH(QString, outcome);
        QFETCH(QString, actual);
        QFETCH(int, correct);
        Prediction p;
        p.actual_home_score = home;
        p.actual_away_score = away;
        p.outcome = outcome;
        QCOMPARE(p.actualOutcome().value_or(QString()), actual);
        QCOMPARE(p.wasCorrect().has_value(), correct >= 0);
        QCOMPARE(p.wasCorrect().value_or(false), correct == 1);
    }

    void prediction_roundTrip_withNullScoresUntilChecked()
    {
        Prediction p = Prediction::freshlyCreated();
        p.match_label = u"Arsenal vs Chelsea"_s;
        p.outcome = u"HOME"_s;
        p.home_win_pct = 52;
        p.scoreline = u"2-1"_s;
        p.cost_gbp = 0.000412;
        QVERIFY(p.toJson().value(u"actual_home_score"_s).isNull());
        QVERIFY(p.toJson().value(u"key_factors"_s).isArray());
        QCOMPARE(Prediction::fromJson(p.toJson()).toJson(), p.toJson());

        p.key_factors = {u"Home form"_s, u"Injuries"_s};
        p.actual_home_score = 0;
        p.actual_away_score = 3;
        QCOMPARE(p.toJson().value(u"actual_home_score"_s).toInt(-5), 0);
        QCOMPARE(Prediction::fromJson(p.toJson()).toJson(), p.toJson());
    }

    void streaks_followCreationTime_data()
    {
        QTest::addColumn<QString>("results"); // oldest first: y right, n wrong, - unchecked
        QTest::addColumn<int>("best");
        QTest::addColumn<int>("current");
        QTest::newRow("nothing") << "" << 0 << 0;
        QTest::newRow("nothing checked") << "--" << 0 << 0;
        QTest::newRow("best run last") << "yyny-yy-" << 3 << 3;
        QTest::newRow("best run first") << "yyyyny" << 4 << 1;
        QTest::newRow("ends wrong") << "yyynyyn" << 3 << 0;
    }
    void streaks_followCreationTime()
    {
        QFETCH(QString, results);
        QList<Prediction> calls;
        for (int i = 0; i < results.size(); ++i)
            calls.append(
                call(i, results.at(i) == u'-' ? std::nullopt : std::optional<bool>(results.at(i) == u'y')));
        // The history keeps the newest first; the figures must not depend on it.
        for (int pass = 0; pass < 2; ++pass) {
            const AccuracyStats s = computeStats(calls);
            QCOMPARE(s.total, int(results.size()));
            QCOMPARE(s.checked, int(results.size() - results.count(u'-')));
            QCOMPARE(s.correct, int(results.count(u'y')));
            QTEST(s.bestStreak, "best");
            QTEST(s.currentStreak, "current");
            std::reverse(calls.begin(), calls.end());
        }
    }

    void formatGbp_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"£0.00"_s;
        QTest::newRow("negative") << -1.0 << u"£0.00"_s;
        QTest::newRow("not a number") << std::nan("") << u"£0.00"_s;
        QTest::newRow("pennies rounded") << 0.0123 << u"£0.01"_s;
        QTest::newRow("pounds") << 12.345 << u"£12.35"_s;
        QTest::newRow("half a penny") << 0.005 << u"£0.005"_s;
        QTest::newRow("just under a penny") << 0.009999 << u"£0.009999"_s;
        QTest::newRow("smallest shown") << 0.000001 << u"£0.000001"_s;
        QTest::newRow("below smallest") << 0.0000005 << u"<£0.000001"_s;
    }
    void formatGbp()
    {
        QFETCH(double, amount);
        QTEST(::formatGbp(amount), "text");
    }

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
