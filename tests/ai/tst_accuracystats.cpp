#include "ai/AccuracyStats.h"
#include "ai/CheckSummary.h"

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

// Adds `right` correct then `wrong` wrong calls of one league.
void add(QList<Prediction> &calls, const QString &league, int right, int wrong)
{
    for (int i = 0; i < right + wrong; ++i)
        calls.append(call(int(calls.size()), i < right, 50, league));
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

    void confidentCalls_startAtTheThreshold()
    {
        const AccuracyStats s =
            computeStats({call(0, true, CONFIDENT_THRESHOLD), call(1, false, CONFIDENT_THRESHOLD - 1),
                          call(2, false, 90), call(3, {}, 99)});
        QCOMPARE(s.confidentChecked, 2);
        QCOMPARE(s.confidentCorrect, 1);
    }

    void leagues_mostCheckedThenRoundedAccuracyThenName()
    {
        QList<Prediction> calls;
        add(calls, u"Serie A"_s, 1, 300); // most checked first, however poor
        // 134 of 200 is 67%; 133 of 200 is 66.5%, rounded half up to 67%: a
        // tie, so the names decide although "b" is a little better.
        add(calls, u"b"_s, 134, 66);
        add(calls, u"a"_s, 133, 67);
        // 2 of 3 each: "Other" (which collects the empty league too) sorts
        // before lower-case names.
        add(calls, u"c"_s, 2, 1);
        add(calls, u"Other"_s, 1, 1);
        add(calls, QString(), 1, 0);
        add(calls, u"d"_s, 1, 2);
        calls.append(call(999, {}, 50, u"Ligue 1"_s)); // unchecked: no record

        const AccuracyStats s = computeStats(calls);
        QStringList names;
        for (const LeagueRecord &r : s.leagues)
            names.append(r.league);
        QCOMPARE(names, QStringList({u"Serie A"_s, u"a"_s, u"b"_s, u"Other"_s, u"c"_s, u"d"_s}));
        QCOMPARE(s.leagues.at(3).checked, 3);
        QCOMPARE(s.leagues.at(3).correct, 2);
    }

    void checkAllSummary_data()
    {
        QTest::addColumn<int>("correct");
        QTest::addColumn<int>("wrong");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QString>("text");
        QTest::newRow("both parts") << 1 << 1 << 1
                                    << u"2 checked (1 correct, 1 wrong) · 1 not finished yet"_s;
        QTest::newRow("only checked") << 3 << 0 << 0 << u"3 checked (3 correct, 0 wrong)"_s;
        QTest::newRow("only skipped") << 0 << 0 << 2 << u"2 not finished yet"_s;
        QTest::newRow("nothing") << 0 << 0 << 0 << QString();
    }
    void checkAllSummary()
    {
        QFETCH(int, correct);
        QFETCH(int, wrong);
        QFETCH(int, skipped);
        QTEST(::checkAllSummary(correct, wrong, skipped), "text");
    }
};

QTEST_GUILESS_MAIN(TestAccuracyStats)
#include "tst_accuracystats.moc"
