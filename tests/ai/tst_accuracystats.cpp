#include "ai/AccuracyStats.h"

#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A call made on day `day` (for ordering), checked when `right` is set.
Prediction call(int day, std::optional<bool> right, int confidence = 50, const QString &league = u"EPL"_s)
{
    Prediction p;
    p.created_at = QDateTime(QDate(2025, 8, 1).addDays(day), QTime(15, 0)).toString(Qt::ISODate);
    p.outcome = u"HOME"_s;
    p.confidence = confidence;
    p.league = league;
    if (right) {
        p.actual_home_score = *right ? 2 : 0;
        p.actual_away_score = 1;
    }
    return p;
}

} // namespace

class TestAccuracyStats : public QObject
{
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TestAccuracyStats)
#include "tst_accuracystats.moc"
