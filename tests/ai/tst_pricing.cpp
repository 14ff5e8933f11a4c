#include "ai/Pricing.h"
#include "ai/ThinkingPreset.h"

#include <QtTest>

namespace {

const QString POUND = QString(QChar(0x00A3));

} // namespace

class TestPricing : public QObject
{
    Q_OBJECT

private slots:
    void thinkingPreset_unknownNames_giveStandard_data()
    {
        QTest::addColumn<QString>("depth");
        QTest::newRow("empty") << QString();
        QTest::newRow("other case") << QStringLiteral("Deep");
        QTest::newRow("misspelt") << QStringLiteral("quik");
        QTest::newRow("padded") << QStringLiteral(" quick");
        QTest::newRow("standard itself") << QStringLiteral("standard");
    }

    void thinkingPreset_unknownNames_giveStandard()
    {
        QFETCH(QString, depth);
        const ThinkingPreset p = thinkingPreset(depth);
        QCOMPARE(p.formGames, 5);
        QCOMPARE(p.h2hGames, 10);
        QCOMPARE(p.quickTemperature, 0.40);
        QCOMPARE(p.reasoningTemperature, 0.40);
        QCOMPARE(p.reasoningMaxTokens, 400);
        QCOMPARE(p.keyFactorCount, 3);
    }

    void costGbp_pricesPerModel_andUnknownAsNothing()
    {
        QVERIFY(qFuzzyCompare(costGbp(QStringLiteral("gpt-4o"), 1000, 500), 0.005925));
        // 1,000 × 0.15 + 500 × 0.60 = 450 dollars per million tokens.
        const double mini = 450.0 / 1e6 * 0.79;
        QVERIFY(qFuzzyCompare(costGbp(QStringLiteral("gpt-4o-mini"), 1000, 500), mini));
        QVERIFY(qFuzzyCompare(costGbp(QStringLiteral("gpt-9-turbo"), 1000, 500) + 1, 1.0));
        QVERIFY(qFuzzyCompare(costGbp(QString(), 1000, 500) + 1, 1.0));
        QVERIFY(qFuzzyCompare(costGbp(QStringLiteral("o4-mini"), 1'000'000, 0), 1.10 * 0.79));
        QVERIFY(qFuzzyCompare(costGbp(QStringLiteral("gpt-4.1"), 0, 1'000'000), 8.00 * 0.79));
        QCOMPARE(costGbp(QStringLiteral("gpt-4o"), 0, 0), 0.0);
    }

    void estimateGbp_countsFourCharactersPerToken()
    {
        const QString model = QStringLiteral("gpt-4o");
        QCOMPARE(estimateGbp(model, 7, 0), costGbp(model, 1, 0));
        QCOMPARE(estimateGbp(model, 3, 0), 0.0);
        QCOMPARE(estimateGbp(model, 4000, 200), costGbp(model, 1000, 200));
    }

    void usageTokens_readsBothCounts()
    {
        QCOMPARE(usageTokens({}), std::make_pair(0, 0));
        const QJsonObject usage{{"prompt_tokens", 812}, {"completion_tokens", 57}, {"total_tokens", 869}};
        QCOMPARE(usageTokens(usage), std::make_pair(812, 57));
        QCOMPARE(usageTokens({{"prompt_tokens", "812"}}), std::make_pair(0, 0));
    }

    void formatGbp_boundaries_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << POUND + "0.00";
        QTest::newRow("negative") << -1.0 << POUND + "0.00";
        QTest::newRow("not a number") << std::nan("") << POUND + "0.00";
        QTest::newRow("one penny") << 0.01 << POUND + "0.01";
        QTest::newRow("pennies rounded") << 0.0123 << POUND + "0.01";
        QTest::newRow("pounds") << 12.345 << POUND + "12.35";
        QTest::newRow("half a penny") << 0.005 << POUND + "0.005";
        QTest::newRow("small") << 0.00042 << POUND + "0.00042";
        QTest::newRow("just under a penny") << 0.009999 << POUND + "0.009999";
        QTest::newRow("smallest shown") << 0.000001 << POUND + "0.000001";
        QTest::newRow("below smallest") << 0.0000005 << "<" + POUND + "0.000001";
    }

    void formatGbp_boundaries()
    {
        QFETCH(double, amount);
        QFETCH(QString, text);
        QCOMPARE(formatGbp(amount), text);
    }
};

QTEST_GUILESS_MAIN(TestPricing)
#include "tst_pricing.moc"
