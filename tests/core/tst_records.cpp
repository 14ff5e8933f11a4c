#include "model/Match.h"
#include "model/Prediction.h"
#include "model/Team.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestRecords : public QObject
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

    void team_roundTrip_andLenientRead()
    {
        const Team arsenal{u"359"_s, u"Arsenal"_s, u"https://crests.test/359.png"_s, u"eng.1"_s,
                           u"England"_s};
        QCOMPARE(Team::fromJson(arsenal.toJson()).toJson(), arsenal.toJson());
        QVERIFY(Team::fromJson(QJsonObject{{"name", 7}}).name.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
