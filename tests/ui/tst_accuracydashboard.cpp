// The accuracy figures of the history page, the scores beside the market,
// and the market's odds on a prediction card.
#include "UiHarness.h"
#include "ai/AccuracyStats.h"
#include "ui/cards/PredictionCard.h"
#include "ui/pages/AccuracyDashboard.h"
#include "ui/pages/ReliabilityChart.h"

#include <QHBoxLayout>

namespace {

AccuracyStats statsOf(int total, int checked, int correct, int confidentChecked = 0, int confidentCorrect = 0)
{
    AccuracyStats stats;
    stats.total = total;
    stats.checked = checked;
    stats.correct = correct;
    stats.confidentChecked = confidentChecked;
    stats.confidentCorrect = confidentCorrect;
    return stats;
}

Prediction checkedCall(int homeGoals, int awayGoals, const QString &kickoff, double marketHome,
                       double marketDraw)
{
    Prediction p;
    p.home_win_pct = 50;
    p.draw_pct = 30;
    p.away_win_pct = 20;
    p.actual_home_score = homeGoals;
    p.actual_away_score = awayGoals;
    p.kickoff_state = kickoff;
    p.market_home_pct = marketHome;
    p.market_draw_pct = marketDraw;
    p.market_away_pct = 100 - marketHome - marketDraw;
    p.market_provider = u"DraftKings"_s;
    return p;
}

} // namespace

Q_DECLARE_METATYPE(AccuracyStats)

class TestAccuracyDashboard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<AccuracyDashboard> dashboard;

    QString subtitle() const { return labelWithRole(dashboard.get(), u"DashboardSubtitle"_s)->text(); }
    // The tile values in order, as shown.
    QStringList values() const
    {
        QStringList list;
        auto *row = dashboard->findChild<QHBoxLayout *>(u"TileRow"_s);
        for (int i = 0; i < row->count(); ++i) {
            if (QWidget *tile = row->itemAt(i)->widget())
                list.append(tile->findChild<QLabel *>(u"StatValue"_s)->text());
        }
        return list;
    }
private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        context = std::make_unique<AppContext>(RelayConfig{});
        dashboard = std::make_unique<AccuracyDashboard>(context.get());
        dashboard->resize(900, 400);
        dashboard->show();
    }
    void cleanup()
    {
        dashboard.reset();
        context.reset();
        env.reset();
    }

    void figures_countUpToTheStats_data()
    {
        QTest::addColumn<AccuracyStats>("stats");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("none") << statsOf(0, 0, 0) << u""_s << QStringList{};
        QTest::newRow("one unchecked") << statsOf(1, 0, 0) << u"1 prediction made"_s << QStringList{};
        QTest::newRow("unchecked") << statsOf(3, 0, 0) << u"3 predictions made"_s << QStringList{};
        AccuracyStats streaks = statsOf(10, 4, 3);
        streaks.currentStreak = 2;
        streaks.bestStreak = 3;
        QTest::newRow("checked") << streaks << u"10 made · 4 checked"_s
                                 << QStringList{"75%", "3/4", "2", "3"};
        QTest::newRow("confident") << statsOf(6, 4, 1, 2, 1) << u"6 made · 4 checked"_s
                                   << QStringList{"25%", "1/4", "0", "0", "50%"};
        // Two thirds round to 67, one half of a percent rounds up.
        QTest::newRow("rounding") << statsOf(200, 200, 1, 3, 2) << u"200 made · 200 checked"_s
                                  << QStringList{"1%", "1/200", "0", "0", "67%"};
    }

    void figures_countUpToTheStats()
    {
        QFETCH(AccuracyStats, stats);
        QFETCH(QString, subtitle);
        QFETCH(QStringList, values);
        // Figures from an earlier update are replaced, not stacked beside the new ones.
        dashboard->updateStats(statsOf(9, 9, 9, 9, 9));
        dashboard->updateStats(stats);
        QCOMPARE(this->subtitle(), subtitle);
        QCOMPARE(labelWithRole(dashboard.get(), u"DashboardEmpty"_s)->isVisible(), values.isEmpty());
        QCOMPARE(dashboard->findChild<QWidget *>(u"DashboardContent"_s)->isVisible(), !values.isEmpty());
        if (values.isEmpty())
            return;
        // Counted up from zero; the fraction is shown at once.
        QCOMPARE(this->values().at(1), values.at(1));
        QTRY_COMPARE(this->values(), values);
        QTRY_COMPARE(dashboard->findChildren<QLabel *>(u"StatValue"_s).size(), values.size());
    }

    void scores_baseRateMarketAndChart()
    {
        dashboard->updateStats(computeStats({checkedCall(2, 0, "pre", 60, 25), checkedCall(1, 1, "", 40, 30),
                                             checkedCall(0, 1, "in", 40, 30)}));
        QWidget *rps = findBy<QWidget>(
            dashboard.get(), [](QWidget *w) { return w->property("role").toString(); }, u"Score RPS"_s);
        QTRY_VERIFY(rps->isVisible());
        QCOMPARE(rps->findChild<QLabel *>(u"StatValue"_s)->text(), u"0.145"_s);
        QCOMPARE(rps->findChild<QLabel *>(u"Muted"_s)->text(), u"RPS \u00B7 base rate 0.165"_s);
        QLabel *market = labelWithRole(dashboard.get(), u"MarketComparison"_s);
        QVERIFY(market->isVisible());
        QCOMPARE(market->text(),
                 u"Versus the bookmakers: RPS 0.145 vs 0.108 on 2 matches \u2014 behind the market"_s);
        QVERIFY(labelWithRole(dashboard.get(), u"InPlayCount"_s)->text().startsWith("1 call made in play"));
        QVERIFY(dashboard->findChild<ReliabilityChart *>()->isVisible());

        // Only a call made in play: the hit rate shows, the scores do not.
        dashboard->updateStats(computeStats({checkedCall(0, 1, "in", 40, 30)}));
        QVERIFY(!dashboard->findChild<ReliabilityChart *>()->isVisible());
    }

    void card_showsTheMarketBesideTheModel_onlyWithASnapshot()
    {
        Prediction priced = checkedCall(-1, -1, "pre", 59.3, 22.4);
        PredictionCard withMarket(priced);
        QCOMPARE(labelWithRole(&withMarket, u"HomeProbabilityMarket"_s)->text(), u"59.3%"_s);
        QCOMPARE(labelWithRole(&withMarket, u"AwayProbabilityMarket"_s)->text(), u"18.3%"_s);
        QVERIFY(labelWithRole(&withMarket, u"MarketCaption"_s)->toolTip().contains("DraftKings"));

        priced.market_draw_pct.reset();
        PredictionCard without(priced);
        QVERIFY(!labelWithRole(&without, u"MarketCaption"_s));
        QVERIFY(!labelWithRole(&without, u"HomeProbabilityMarket"_s));
    }
};

QTEST_MAIN(TestAccuracyDashboard)
#include "tst_accuracydashboard.moc"
