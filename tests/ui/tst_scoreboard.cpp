#include "ai/AccuracyStats.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/cards/PredictionCard.h"
#include "ui/pages/AccuracyDashboard.h"
#include "ui/pages/ReliabilityChart.h"

#include <QLabel>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

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

template <typename W> W *withRole(QWidget *parent, const QString &role)
{
    for (W *widget : parent->findChildren<W *>()) {
        if (widget->property("role").toString() == role)
            return widget;
    }
    return nullptr;
}

} // namespace

class TestScoreboard : public QObject
{
    Q_OBJECT

private slots:
    void dashboard_showsScoresBaseRateMarketAndChart()
    {
        TestEnv env;
        AppContext context{RelayConfig{}};
        AccuracyDashboard dashboard(&context);
        dashboard.resize(900, 500);
        dashboard.show();
        dashboard.updateStats(computeStats({checkedCall(2, 0, "pre", 60, 25), checkedCall(1, 1, "", 40, 30),
                                            checkedCall(0, 1, "in", 40, 30)}));

        QWidget *rps = withRole<QWidget>(&dashboard, u"Score RPS"_s);
        QVERIFY(rps);
        QTRY_VERIFY(rps->isVisible());
        QCOMPARE(rps->findChild<QLabel *>(u"StatValue"_s)->text(), u"0.145"_s);
        QCOMPARE(rps->findChild<QLabel *>(u"Muted"_s)->text(), u"RPS \u00B7 base rate 0.165"_s);
        QLabel *market = withRole<QLabel>(&dashboard, u"MarketComparison"_s);
        QVERIFY(market->isVisible());
        QCOMPARE(market->text(),
                 QStringLiteral("Versus the bookmakers: RPS 0.145 vs 0.108 on 2 matches \u2014 "
                                "behind the market"));
        QVERIFY(withRole<QLabel>(&dashboard, u"InPlayCount"_s)->text().startsWith("1 call made in play"));
        QVERIFY(dashboard.findChild<ReliabilityChart *>()->isVisible());

        // Only a call made in play: the hit rate shows, the scores do not.
        dashboard.updateStats(computeStats({checkedCall(0, 1, "in", 40, 30)}));
        QVERIFY(!dashboard.findChild<ReliabilityChart *>()->isVisible());
    }

    void card_showsTheMarketBesideTheModel_onlyWithASnapshot()
    {
        Prediction priced = checkedCall(-1, -1, "pre", 59.3, 22.4);
        PredictionCard withMarket(priced);
        QCOMPARE(withRole<QLabel>(&withMarket, QStringLiteral("HomeProbabilityMarket"))->text(),
                 QStringLiteral("59.3%"));
        QCOMPARE(withRole<QLabel>(&withMarket, QStringLiteral("AwayProbabilityMarket"))->text(),
                 QStringLiteral("18.3%"));
        QVERIFY(
            withRole<QLabel>(&withMarket, QStringLiteral("MarketCaption"))->toolTip().contains("DraftKings"));

        priced.market_draw_pct.reset();
        PredictionCard without(priced);
        QVERIFY(!withRole<QLabel>(&without, QStringLiteral("MarketCaption")));
        QVERIFY(!withRole<QLabel>(&without, QStringLiteral("HomeProbabilityMarket")));
    }
};

QTEST_MAIN(TestScoreboard)
#include "tst_scoreboard.moc"
