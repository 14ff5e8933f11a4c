#include "model/Match.h"
#include "model/Prediction.h"
#include "model/Team.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void match_emptyScoreWrittenAsNull_andReadsBackIdentical()
    {
        Match m;
        m.id = QStringLiteral("704512");
        m.home_team = QStringLiteral("Arsenal");
        m.away_team = QStringLiteral("Chelsea");
        m.home_score = QStringLiteral("2");
        m.state = QStringLiteral("in");
        const QJsonObject o = m.toJson();
        QCOMPARE(o.value("home_score").toString(), QStringLiteral("2"));
        QVERIFY(o.value("away_score").isNull());
        QCOMPARE(o.size(), 16);

        const Match back = Match::fromJson(o);
        QCOMPARE(back.toJson(), o);
        QCOMPARE(back.away_score, QString());
    }

    void match_zeroScoreIsARealScore()
    {
        Match m;
        m.home_score = QStringLiteral("0");
        m.away_score = QStringLiteral("0");
        QCOMPARE(m.toJson().value("home_score").toString(), QStringLiteral("0"));
    }

    void match_lenientRead_numbersBooleansAndWrongTypes()
    {
        const QJsonObject o = QJsonDocument::fromJson(R"({
            "id": 12345, "home_team": "Lazio", "away_team": null, "league": ["x"],
            "home_score": 1, "away_score": 0
        })")
                                  .object();
        const Match m = Match::fromJson(o);
        QCOMPARE(m.id, QString()); // a numeric id is not a text
        QCOMPARE(m.home_team, QStringLiteral("Lazio"));
        QCOMPARE(m.away_team, QString());
        QCOMPARE(m.league, QString());
        QCOMPARE(m.home_score, QStringLiteral("1"));
        QCOMPARE(m.away_score, QStringLiteral("0"));

        const Match odd =
            Match::fromJson(QJsonDocument::fromJson(R"({"home_score": 2.5, "away_score": true})").object());
        QCOMPARE(odd.home_score, QStringLiteral("2.5"));
        QCOMPARE(odd.away_score, QStringLiteral("true"));
        QCOMPARE(Match::fromJson(QJsonObject{{"home_score", QJsonValue::Null}}).home_score, QString());
    }

    void match_parsedScores_onlyWhenBothAreNumbers()
    {
        Match m;
        m.home_score = QStringLiteral("2");
        m.away_score = QStringLiteral("0");
        QCOMPARE(m.parsedScores(), std::make_optional(std::make_pair(2, 0)));
        m.away_score.clear();
        QVERIFY(!m.parsedScores());
        m.away_score = QStringLiteral("1.5");
        QVERIFY(!m.parsedScores());
    }

    void team_roundTripAndLenientRead()
    {
        Team t{QStringLiteral("359"), QStringLiteral("Arsenal"), QStringLiteral("https://x/359.png"),
               QStringLiteral("Premier League"), QStringLiteral("England")};
        const Team back = Team::fromJson(t.toJson());
        QCOMPARE(back.toJson(), t.toJson());
        QCOMPARE(Team::fromJson(QJsonObject{{"name", 5}}).name, QString());
    }

    void prediction_actualOutcomeAndWasCorrect_data()
    {
        QTest::addColumn<int>("home");
        QTest::addColumn<int>("away");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("actual"); // empty: none
        QTest::addColumn<int>("correct");    // -1: none, 0 false, 1 true

        QTest::newRow("draw called") << 2 << 2 << "DRAW"
                                     << "DRAW" << 1;
        QTest::newRow("case matters") << 2 << 2 << "draw"
                                      << "DRAW" << 0;
        QTest::newRow("home win") << 3 << 1 << "HOME"
                                  << "HOME" << 1;
        QTest::newRow("away win, home called") << 0 << 1 << "HOME"
                                               << "AWAY" << 0;
        QTest::newRow("nil-nil") << 0 << 0 << "AWAY"
                                 << "DRAW" << 0;
        QTest::newRow("unknown home") << -1 << 3 << "AWAY"
                                      << "" << -1;
        QTest::newRow("unknown both") << -1 << -1 << "DRAW"
                                      << "" << -1;
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
        QCOMPARE(p.actualOutcome().has_value(), !actual.isEmpty());
        if (!actual.isEmpty())
            QCOMPARE(*p.actualOutcome(), actual);
        QCOMPARE(p.wasCorrect().has_value(), correct >= 0);
        if (correct >= 0)
            QCOMPARE(*p.wasCorrect(), correct == 1);
    }

    void prediction_emptyObject_givesDefaultsWithFreshId()
    {
        const Prediction a = Prediction::fromJson(QJsonObject());
        const Prediction b = Prediction::fromJson(QJsonObject());
        static const QRegularExpression uuid(
            QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
        QVERIFY(uuid.match(a.id).hasMatch());
        QVERIFY(a.id != b.id);
        QCOMPARE(a.created_at, QString());
        QCOMPARE(a.actual_home_score, -1);
        QCOMPARE(a.actual_away_score, -1);
        QCOMPARE(a.cost_gbp, 0.0);
        QCOMPARE(a.home_win_pct, 0);
        QVERIFY(a.key_factors.isEmpty());
        QCOMPARE(a.outcome, QString());

        const QJsonObject blankId{{"id", ""}, {"created_at", "2026-01-01T10:00:00"}};
        const Prediction c = Prediction::fromJson(blankId);
        QVERIFY(!c.id.isEmpty());
        QVERIFY(c.id != Prediction::fromJson(blankId).id);
    }

    void prediction_lenientRead_wrongTypes()
    {
        const QJsonObject o = QJsonDocument::fromJson(R"({
            "outcome": 1, "home_win_pct": "45", "draw_pct": 30.5, "away_win_pct": 25,
            "confidence": null, "key_factors": ["form", 3, "injuries"],
            "actual_home_score": 2.0, "actual_away_score": "1", "cost_gbp": "0.01",
            "id": "abc"
        })")
                                  .object();
        const Prediction p = Prediction::fromJson(o);
        QCOMPARE(p.outcome, QString());
        QCOMPARE(p.home_win_pct, 0);
        QCOMPARE(p.draw_pct, 0);
        QCOMPARE(p.away_win_pct, 25);
        QCOMPARE(p.confidence, 0);
        QCOMPARE(p.key_factors, QStringList({"form", "", "injuries"}));
        QCOMPARE(p.actual_home_score, 2);
        QCOMPARE(p.actual_away_score, 0); // present but not a number
        QCOMPARE(p.cost_gbp, 0.0);
        QCOMPARE(p.id, QStringLiteral("abc"));
        QCOMPARE(Prediction::fromJson(QJsonObject{{"key_factors", "x"}}).key_factors, QStringList());
    }

    void prediction_writtenForm_everyKeyWithNullScores()
    {
        Prediction p = Prediction::freshlyCreated();
        const QJsonObject o = p.toJson();
        QCOMPARE(o.size(), 24);
        QVERIFY(o.value("actual_home_score").isNull());
        QVERIFY(o.value("actual_away_score").isNull());
        QVERIFY(o.value("key_factors").isArray());
        QVERIFY(o.value("cost_gbp").isDouble());
        QVERIFY(o.value("home_win_pct").isDouble());

        p.actual_home_score = 0;
        p.actual_away_score = 3;
        QCOMPARE(p.toJson().value("actual_home_score").toInt(-5), 0);
        QCOMPARE(p.toJson().value("actual_away_score").toInt(-5), 3);
    }

    void prediction_roundTrip_preservesEveryField()
    {
        Prediction p = Prediction::freshlyCreated();
        p.match_label = QStringLiteral("Arsenal vs Chelsea");
        p.outcome = QStringLiteral("HOME");
        p.home_win_pct = 52;
        p.draw_pct = 26;
        p.away_win_pct = 22;
        p.scoreline = QStringLiteral("2-1");
        p.confidence = 64;
        p.summary = QStringLiteral("Arsenal strong at home.");
        p.model = QStringLiteral("gpt-4o-mini");
        p.league = QStringLiteral("Premier League");
        p.match_id = QStringLiteral("704512");
        p.home_team = QStringLiteral("Arsenal");
        p.away_team = QStringLiteral("Chelsea");
        p.cost_gbp = 0.000412;
        const Prediction back = Prediction::fromJson(p.toJson());
        QCOMPARE(back.toJson(), p.toJson());
        QVERIFY(back.key_factors.isEmpty());
        QCOMPARE(back.actual_home_score, -1);

        p.key_factors = {QStringLiteral("Home form"), QStringLiteral("Injuries")};
        p.actual_home_score = 1;
        p.actual_away_score = 1;
        QCOMPARE(Prediction::fromJson(p.toJson()).toJson(), p.toJson());
    }

    void freshlyCreated_stampsLocalTimeWithoutZone()
    {
        const Prediction p = Prediction::freshlyCreated();
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}$"));
        QVERIFY2(iso.match(p.created_at).hasMatch(), qPrintable(p.created_at));
        const QDateTime stamp = QDateTime::fromString(p.created_at, Qt::ISODate);
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 5);
        QVERIFY(p.id != Prediction::freshlyCreated().id);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
