#include "ai/AccuracyStats.h"

#include <QtTest>

#include <algorithm>

namespace {

// A call made on day `day` (for ordering), checked when `right` is set.
Prediction call(int day, std::optional<bool> right, int confidence = 50,
                const QString &league = "Premier League")
{
    Prediction p;
    p.created_at = QDateTime(QDate(2025, 8, 1).addDays(day), QTime(15, 0)).toString(Qt::ISODate);
    p.outcome = QStringLiteral("HOME");
    p.confidence = confidence;
    p.league = league;
    if (right) {
        p.actual_home_score = *right ? 2 : 0;
        p.actual_away_score = 1;
    }
    return p;
}

QList<Prediction> inOrder(const QList<bool> &results)
{
    QList<Prediction> list;
    for (int i = 0; i < results.size(); ++i)
        list.append(call(i, results.at(i)));
    return list;
}

QStringList leagueNames(const AccuracyStats &stats)
{
    QStringList names;
    for (const LeagueRecord &r : stats.leagues)
        names.append(r.league);
    return names;
}

} // namespace

class TestAccuracyStats : public QObject
{
    Q_OBJECT

private slots:
    void empty_givesZeros()
    {
        const AccuracyStats s = computeStats({});
        QCOMPARE(s.total, 0);
        QCOMPARE(s.checked, 0);
        QCOMPARE(s.bestStreak, 0);
        QVERIFY(s.leagues.isEmpty());
    }

    void nothingChecked_countsOnlyTheTotal()
    {
        const AccuracyStats s = computeStats({call(0, {}, 90), call(1, {}, 90, "LaLiga")});
        QCOMPARE(s.total, 2);
        QCOMPARE(s.checked, 0);
        QCOMPARE(s.correct, 0);
        QCOMPARE(s.confidentChecked, 0);
        QVERIFY(s.leagues.isEmpty());
    }

    void streaks_followCreationTime()
    {
        QList<Prediction> calls = inOrder({true, true, false, true, true, true});
        calls.append(call(20, {})); // unchecked calls never break a run
        AccuracyStats s = computeStats(calls);
        QCOMPARE(s.total, 7);
        QCOMPARE(s.checked, 6);
        QCOMPARE(s.correct, 5);
        QCOMPARE(s.bestStreak, 3);
        QCOMPARE(s.currentStreak, 3);

        // The history keeps the newest first; the figures must not change.
        std::reverse(calls.begin(), calls.end());
        s = computeStats(calls);
        QCOMPARE(s.bestStreak, 3);
        QCOMPARE(s.currentStreak, 3);

        calls.prepend(call(30, false));
        s = computeStats(calls);
        QCOMPARE(s.currentStreak, 0);
        QCOMPARE(s.bestStreak, 3);
    }

    void streaks_bestRunAtTheStart()
    {
        const AccuracyStats s = computeStats(inOrder({true, true, true, true, false, true}));
        QCOMPARE(s.bestStreak, 4);
        QCOMPARE(s.currentStreak, 1);
    }

    void confidentCalls_startAtTheThreshold()
    {
        QCOMPARE(CONFIDENT_THRESHOLD, 65);
        const AccuracyStats s =
            computeStats({call(0, true, 65), call(1, false, 64), call(2, false, 90), call(3, {}, 99)});
        QCOMPARE(s.confidentChecked, 2);
        QCOMPARE(s.confidentCorrect, 1);
    }

    void leagues_mostCheckedThenMostAccurate()
    {
        QList<Prediction> calls;
        auto add = [&calls](const QString &league, int right, int wrong) {
            for (int i = 0; i < right; ++i)
                calls.append(call(int(calls.size()), true, 50, league));
            for (int i = 0; i < wrong; ++i)
                calls.append(call(int(calls.size()), false, 50, league));
        };
        add("Bundesliga", 2, 2);                   // 4 checked, 50%
        add("Premier League", 3, 1);               // 4 checked, 75%
        add("Serie A", 1, 4);                      // 5 checked, 20%
        add("", 1, 0);                             // "Other"
        calls.append(call(99, {}, 50, "Ligue 1")); // unchecked: no record

        const AccuracyStats s = computeStats(calls);
        QCOMPARE(leagueNames(s), QStringList({"Serie A", "Premier League", "Bundesliga", "Other"}));
        QCOMPARE(s.leagues.at(0).checked, 5);
        QCOMPARE(s.leagues.at(0).correct, 1);
        QCOMPARE(s.leagues.at(3).checked, 1);
    }

    void leagues_tiesCompareRoundedAccuracy_thenName()
    {
        QList<Prediction> calls;
        auto add = [&calls](const QString &league, int right, int wrong) {
            for (int i = 0; i < right + wrong; ++i)
                calls.append(call(int(calls.size()), i < right, 50, league));
        };
        // 134 of 200 is 67%; 133 of 200 is 66.5%, rounded half up to 67%:
        // a tie, so the names decide although "b" is a little better.
        add("b", 134, 66);
        add("a", 133, 67);
        // 2 of 3 each: "Other" (which collects the empty league too) sorts
        // before lower-case names.
        add("c", 2, 1);
        add("Other", 1, 1);
        add("", 1, 0);
        add("d", 1, 2);

        const AccuracyStats s = computeStats(calls);
        QCOMPARE(leagueNames(s), QStringList({"a", "b", "Other", "c", "d"}));
        QCOMPARE(s.leagues.at(2).checked, 3);
        QCOMPARE(s.leagues.at(2).correct, 2);
    }
};

QTEST_GUILESS_MAIN(TestAccuracyStats)
#include "tst_accuracystats.moc"
