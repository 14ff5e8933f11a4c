#include "ai/CheckSummary.h"

#include <QtTest>

class TestCheckSummary : public QObject
{
    Q_OBJECT

private slots:
    void summary_data()
    {
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QString>("text");
        QTest::newRow("both parts") << 1 << 1 << 1
                                    << QString::fromUtf8(
                                           "2 checked (1 correct, 1 wrong) \xC2\xB7 1 not finished yet");
        QTest::newRow("only checked") << 3 << 0 << 0 << "3 checked (3 correct, 0 wrong)";
        QTest::newRow("only skipped") << 0 << 0 << 2 << "2 not finished yet";
        QTest::newRow("nothing") << 0 << 0 << 0 << "";
    }

    void summary()
    {
        QFETCH(int, correct);
        QFETCH(int, wrong);
        QFETCH(int, skipped);
        QFETCH(QString, text);
        QCOMPARE(checkAllSummary(correct, wrong, skipped), text);
    }
};

QTEST_GUILESS_MAIN(TestCheckSummary)
#include "tst_checksummary.moc"
