#include "model/Match.h"
#include "model/Prediction.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void match_roundTrip_emptyScoreWrittenAsNull_zeroKept()
    {
        Match m;
        m.id = u"704512"_s;
        m.home_team = u"Arsenal"_s;
        m.home_score = u"0"_s;
        m.state = u"in"_s;
        const QJsonObject o = m.toJson();
        QCOMPARE(o.value(u"home_score"_s).toString(), u"0"_s);
        QVERIFY(o.value(u"away_score"_s).isNull());
        QCOMPARE(Match::fromJson(o).toJson(), o);
        QCOMPARE(Match::fromJson(o).away_score, QString());
    }

    void match_lenientRead_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("team");
        QTest::addColumn<QString>("homeScore");
        QTest::newRow("numeric id is not a text")
            << QByteArray(R"({"id": 12345, "home_team": "Lazio"})") << ""
            << "Lazio"
            << "";
        QTest::newRow("number score") << QByteArray(R"({"home_score": 1})") << ""
                                      << ""
                                      << "1";
        QTest::newRow("boolean score") << QByteArray(R"({"home_score": true})") << ""
                                       << ""
                                       << "true";
    }
    void match_lenientRead()
    {
        QFETCH(QByteArray, json);
        const Match m = Match::fromJson(QJsonDocument::fromJson(json).object());
        QTEST(m.id, "id");
        QTEST(m.home_team, "team");
        QTEST(m.home_score, "homeScore");
    }

    void match_parsedScores_onlyWhenBothAreWholeNumbers()
    {
        Match m;
        m.home_score = u"2"_s;
        m.away_score = u"0"_s;
        QCOMPARE(m.parsedScores(), std::make_optional(std::make_pair(2, 0)));
        m.away_score = u"1.5"_s;
        QVERIFY(!m.parsedScores());
        m.away_score.clear();
        QVERIFY(!m.parsedScores());
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
        QTest::newRow("home win") << 3 << 1 << "HOME"
                                  << "HOME" << 1;
        QTest::newRow("away win, home called") << 0 << 1 << "HOME"
                                               << "AWAY" << 0;
        QTest::newRow("nil-nil") << 0 << 0 << "AWAY"
                                 << "DRAW" << 0;
        QTest::newRow("unknown home") << -1 << 3 << "AWAY"
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
        QCOMPARE(p.actualOutcome().value_or(QString()), actual);
        QCOMPARE(p.wasCorrect().has_value(), correct >= 0);
        QCOMPARE(p.wasCorrect().value_or(false), correct == 1);
    }

    void prediction_missingOrBlankId_getsAFreshOne()
    {
        static const QRegularExpression uuid(
            u"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"_s);
        const Prediction a = Prediction::fromJson(QJsonObject());
        QVERIFY(uuid.match(a.id).hasMatch());
        QVERIFY(a.id != Prediction::fromJson(QJsonObject()).id);
        QCOMPARE(a.actual_home_score, -1);
        const QJsonObject blankId{{u"id"_s, u""_s}};
        QVERIFY(!Prediction::fromJson(blankId).id.isEmpty());
        QVERIFY(Prediction::fromJson(blankId).id != Prediction::fromJson(blankId).id);
        // A new call is stamped in local time without a zone, as older files are.
        static const QRegularExpression local(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"_s);
        QVERIFY(local.match(Prediction::freshlyCreated().created_at).hasMatch());
    }

    void prediction_lenientRead_wrongTypes()
    {
        const Prediction p = Prediction::fromJson(parse(R"({
            "outcome": 1, "home_win_pct": "45", "draw_pct": 30.5, "away_win_pct": 25,
            "confidence": null, "key_factors": ["form", 3, "injuries"],
            "actual_home_score": 2.0, "actual_away_score": "1", "cost_gbp": "0.01"})"));
        QCOMPARE(p.outcome, QString());
        QCOMPARE(QList<int>({p.home_win_pct, p.draw_pct, p.away_win_pct, p.confidence}),
                 QList<int>({0, 0, 25, 0}));
        QCOMPARE(p.key_factors, QStringList({u"form"_s, QString(), u"injuries"_s}));
        QCOMPARE(p.actual_home_score, 2);
        QCOMPARE(p.actual_away_score, 0); // present but not a number
        QCOMPARE(p.cost_gbp, 0.0);
        QCOMPARE(Prediction::fromJson(QJsonObject{{u"key_factors"_s, u"x"_s}}).key_factors, QStringList());
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
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
