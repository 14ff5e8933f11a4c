#include "ai/Pricing.h"

#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

class TestPricing : public QObject
{
    Q_OBJECT

private slots:
    void costGbp_pricedModels_unknownCostNothing()
    {
        const double mini = costGbp(u"gpt-4o-mini"_s, 1000, 500);
        QVERIFY(mini > 0);
        // A model without a known price costs nothing rather than a made-up figure.
        QCOMPARE(costGbp(u"gpt-9-turbo"_s, 1000, 500), 0.0);
        QCOMPARE(costGbp(QString(), 1000, 500), 0.0);
        QVERIFY(costGbp(u"gpt-4o"_s, 1000, 500) > mini);
        QCOMPARE(costGbp(u"gpt-4o"_s, 0, 0), 0.0);
    }

    void estimateGbp_countsFourCharactersPerToken()
    {
        QCOMPARE(estimateGbp(u"gpt-4o"_s, 7, 0), costGbp(u"gpt-4o"_s, 1, 0));
        QCOMPARE(estimateGbp(u"gpt-4o"_s, 3, 0), 0.0);
        QCOMPARE(estimateGbp(u"gpt-4o"_s, 4000, 200), costGbp(u"gpt-4o"_s, 1000, 200));
        QCOMPARE(usageTokens({{u"prompt_tokens"_s, 812}, {u"completion_tokens"_s, 57}}),
                 std::make_pair(812, 57));
        QCOMPARE(usageTokens({{u"prompt_tokens"_s, u"812"_s}}), std::make_pair(0, 0));
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
};

QTEST_GUILESS_MAIN(TestPricing)
#include "tst_pricing.moc"
