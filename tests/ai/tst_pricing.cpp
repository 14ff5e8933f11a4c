#include "ai/Pricing.h"

#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

class TestPricing : public QObject
{
    Q_OBJECT

private slots:
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
