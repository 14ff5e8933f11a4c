#include "ai/Prompts.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

namespace {

Match result(const QString &date, const QString &home, const QString &homeScore, const QString &awayScore,
             const QString &away)
{
    Match m;
    m.date = date;
    m.time = QStringLiteral("15:00");
    m.home_team = home;
    m.away_team = away;
    m.home_score = homeScore;
    m.away_score = awayScore;
    m.state = homeScore.isEmpty() ? QStringLiteral("pre") : QStringLiteral("post");
    return m;
}

Match fixture(const QString &home, const QString &away)
{
    Match m;
    m.id = QStringLiteral("740123");
    m.home_team = home;
    m.away_team = away;
    m.home_team_id = QStringLiteral("359");
    m.away_team_id = QStringLiteral("363");
    m.league = QStringLiteral("Premier League");
    m.date = QStringLiteral("2025-10-04");
    m.time = QStringLiteral("14:00");
    m.venue = QStringLiteral("Emirates Stadium");
    m.state = QStringLiteral("pre");
    return m;
}

QString golden(const QString &name)
{
    QFile file(QStringLiteral(TOLVO_TEST_DATA_DIR "/prompts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing golden file %1>").arg(name);
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n'))) // tolerate an editor's final newline
        text.chop(1);
    return text;
}

// Compares line by line first so that a failure names the line that differs.
void compareText(const QString &actual, const QString &expected)
{
    const QStringList a = actual.split(QLatin1Char('\n'));
    const QStringList e = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(a.size(), e.size()); ++i)
        QCOMPARE(a.at(i), e.at(i));
    QCOMPARE(a.size(), e.size());
    QCOMPARE(actual, expected);
}

const std::vector<Match> ARSENAL_RECENT = {
    result("2025-09-28", "Newcastle United", "1", "2", "Arsenal"),
    result("2025-09-21", "Arsenal", "1", "1", "Manchester City"),
    result("2025-09-13", "Arsenal", "3", "0", "Nottingham Forest"),
    result("2025-08-31", "Liverpool", "1", "0", "Arsenal"),
    result("2025-08-23", "Arsenal", "5", "0", "Leeds United"),
};

const std::vector<Match> CHELSEA_RECENT = {
    result("2025-09-27", "Chelsea", "1", "3", "Brighton & Hove Albion"),
    result("2025-09-20", "Manchester United", "2", "1", "Chelsea"),
    result("2025-09-13", "Brentford", "2", "2", "Chelsea"),
    result("2025-08-30", "Chelsea", "2", "0", "Fulham"),
    result("2025-08-22", "West Ham United", "1", "5", "Chelsea"),
};

} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void quickPrompt_isTheExactText()
    {
        QCOMPARE(QUICK_SYSTEM_PROMPT_BASE.size(), 4321);
        compareText(QUICK_SYSTEM_PROMPT_BASE, golden(QStringLiteral("quick_system_prompt.txt")));
        QVERIFY(!QUICK_SYSTEM_PROMPT_BASE.endsWith(QLatin1Char('\n')));
        QVERIFY(!QUICK_SYSTEM_PROMPT_BASE.contains(QLatin1Char('\r')));
    }

    void quickPrompt_endsWithTheReplySchema()
    {
        const QStringList lines = QUICK_SYSTEM_PROMPT_BASE.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 32);
        const QStringList schema = lines.mid(22, 8);
        QCOMPARE(schema, QStringList({
                             R"({)",
                             R"(  "outcome": "HOME" | "DRAW" | "AWAY",)",
                             R"(  "home_win_pct": <int 0-100>,)",
                             R"(  "draw_pct": <int 0-100>,)",
                             R"(  "away_win_pct": <int 0-100>,)",
                             R"(  "scoreline": "<home>-<away>, e.g. 2-1 or 0-0",)",
                             R"(  "confidence": <int 0-100>)",
                             R"(})",
                         }));
        QCOMPARE(lines.at(21), QString());
        QCOMPARE(lines.at(30), QString());
        QVERIFY(lines.at(31).startsWith(QStringLiteral("The three percentages must sum")));
    }

    void reasoningPrompt_placeholdersPerDepth()
    {
        QCOMPARE(REASONING_SYSTEM_PROMPT.count(QStringLiteral("%1")), 1);
        QVERIFY(REASONING_SYSTEM_PROMPT.startsWith(QStringLiteral("You are Tolvo, an expert football")));

        const QString standard = reasoningSystemPrompt(3);
        QVERIFY(standard.endsWith(QStringLiteral(
            "schema, no prose outside it:\n\n{\n  \"summary\": \"<2-3 sentence analysis in plain "
            "English>\",\n"
            "  \"key_factors\": [\"<short factor>\", \"<short factor>\", \"<short factor>\"]\n}")));

        const QString deep = reasoningSystemPrompt(5);
        QCOMPARE(deep.count(QStringLiteral("\"<short factor>\"")), 5);
        QVERIFY(deep.contains(QStringLiteral("[\"<short factor>\", \"<short factor>\", \"<short factor>\", "
                                             "\"<short factor>\", \"<short factor>\"]")));
        QVERIFY(!deep.contains(QStringLiteral("%1")));
    }

    void buildContext_fullData()
    {
        const std::vector<Match> h2h = {
            result("2025-10-04", "Arsenal", "", "", "Chelsea"), // this fixture, not played yet
            result("2025-03-16", "Chelsea", "0", "1", "Arsenal"),
            result("2024-11-10", "Chelsea", "1", "1", "Arsenal"),
            result("2024-04-23", "Arsenal", "5", "0", "Chelsea"),
        };
        compareText(buildContext(fixture("Arsenal", "Chelsea"), ARSENAL_RECENT, CHELSEA_RECENT, h2h),
                    golden(QStringLiteral("context_full.txt")));
    }

    void buildContext_withoutResults_andUnknownFixtureDetails()
    {
        Match m = fixture("Arsenal", "Chelsea");
        m.league.clear();
        m.date.clear();
        m.time.clear();
        m.venue.clear();
        const std::vector<Match> postponed = {
            result("2025-09-27", "Chelsea", "", "", "Brighton & Hove Albion"),
            result("2025-09-20", "Manchester United", "2", "", "Chelsea"),
        };
        const std::vector<Match> h2h = {result("2025-03-16", "Chelsea", "0", "1", "Arsenal")};
        compareText(buildContext(m, {}, postponed, h2h), golden(QStringLiteral("context_no_results.txt")));
    }

    void buildContext_withoutHeadToHead_andMisnamedOrUnplayedMatches()
    {
        Match m = fixture("Real Madrid", "Girona");
        m.league = QStringLiteral("LaLiga");
        m.time.clear();
        m.venue = QStringLiteral("Santiago Bernabéu");
        const std::vector<Match> madrid = {
            result("2025-09-27", "Atlético Madrid", "5", "2", "Real Madrid"),
            result("2025-09-23", "Levante", "1", "4", "Real Madrid"),
            result("2025-09-20", "Real Madrid", "", "", "Espanyol"),
        };
        const std::vector<Match> girona = {
            result("2025-09-26", "Girona", "0", "0", "Espanyol"),
            result("2025-09-20", "Girona FC", "1", "1", "Levante"),
            result("2025-09-14", "Sevilla", "2", "0", "Girona"),
        };
        const std::vector<Match> upcomingOnly = {result("2025-10-04", "Real Madrid", "", "", "Girona")};
        compareText(buildContext(m, madrid, girona, upcomingOnly),
                    golden(QStringLiteral("context_no_h2h.txt")));
        QVERIFY(!buildContext(m, madrid, girona, {}).contains(QStringLiteral("Head-to-head")));
    }

    void buildContext_dateLine_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("line");
        QTest::newRow("both") << "2025-10-04"
                              << "14:00"
                              << "Date: 2025-10-04 14:00";
        QTest::newRow("no date") << ""
                                 << "14:00"
                                 << "Date: TBD 14:00";
        QTest::newRow("no time") << "2025-10-04"
                                 << ""
                                 << "Date: 2025-10-04";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "Date: TBD";
    }

    void buildContext_dateLine()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, line);
        Match m = fixture("Arsenal", "Chelsea");
        m.date = date;
        m.time = time;
        QCOMPARE(buildContext(m, {}, {}, {}).split(QLatin1Char('\n')).at(2), line);
    }

    void buildContext_namesWithPercentSigns_areCopiedVerbatim()
    {
        // Team names come from outside; a "%1" in one must not be filled in.
        Match m = fixture("Club %1", "Club %2");
        const std::vector<Match> recent = {result("2025-09-01", "Club %1", "2", "0", "Club %2")};
        const QString context = buildContext(m, recent, {}, recent);
        QVERIFY(context.startsWith(QStringLiteral("Fixture: Club %1 (home) vs Club %2 (away)\n")));
        QVERIFY(context.contains(
            QStringLiteral("Club %1 recent form:\n  2025-09-01: Club %1 2-0 Club %2\n"
                           "  Form (most recent last): W \u2014 2 scored / 0 conceded over 1")));
        QVERIFY(context.endsWith(QStringLiteral("most recent first):\n  2025-09-01: Club %1 2-0 Club %2")));
    }

    void formatRecent_formIsOldestFirst()
    {
        const std::vector<Match> spurs = {
            result("2025-09-20", "Spurs", "2", "0", "Wolves"),
            result("2025-09-13", "Spurs", "1", "1", "Bournemouth"),
            result("2025-09-06", "Spurs", "0", "1", "Villa"),
        };
        const QString block =
            formatRecent(QStringLiteral("Spurs recent form"), QStringLiteral("Spurs"), spurs);
        QVERIFY(block.endsWith(
            QStringLiteral("Form (most recent last): LDW \u2014 3 scored / 2 conceded over 3")));
    }

    void formatRecent_unscoredMiddleMatch_isLeftOut()
    {
        const std::vector<Match> spurs = {
            result("2025-09-20", "Spurs", "2", "0", "Wolves"),
            result("2025-09-13", "Spurs", "", "", "Bournemouth"),
            result("2025-09-06", "Villa", "1", "1", "Spurs"),
        };
        const QStringList lines =
            formatRecent(QStringLiteral("Spurs recent form"), QStringLiteral("Spurs"), spurs).split('\n');
        QCOMPARE(lines, QStringList({"Spurs recent form:", "  2025-09-20: Spurs 2-0 Wolves",
                                     "  2025-09-06: Villa 1-1 Spurs",
                                     "  Form (most recent last): DW \u2014 3 scored / 1 conceded over 2"}));
    }

    void formatRecent_noCountedMatch_dropsTheFormLine()
    {
        // Listed, but neither a differently spelt name nor a non-numeric
        // score adds a letter.
        const std::vector<Match> spurs = {
            result("2025-09-20", "Tottenham Hotspur", "2", "0", "Wolves"),
            result("2025-09-13", "Spurs", "2", "abandoned", "Bournemouth"),
        };
        const QString block =
            formatRecent(QStringLiteral("Spurs recent form"), QStringLiteral("Spurs"), spurs);
        QCOMPARE(block, QStringLiteral("Spurs recent form:\n  2025-09-20: Tottenham Hotspur 2-0 Wolves\n"
                                       "  2025-09-13: Spurs 2-abandoned Bournemouth"));
    }

    void quickReply_upperCasesOutcome_andScalesChancesToHundred()
    {
        const Match m = fixture("Arsenal", "Chelsea");
        const QJsonObject reply{{"outcome", "home"},  {"home_win_pct", 55}, {"draw_pct", 25},
                                {"away_win_pct", 40}, {"scoreline", "2-1"}, {"confidence", 70}};
        const Prediction p = predictionFromQuickReply(m, reply, QStringLiteral("gpt-4o"), 0.0012);
        QCOMPARE(p.outcome, QStringLiteral("HOME"));
        QCOMPARE(p.home_win_pct, 46); // 55/25/40 sums to 120: scaled to 100
        QCOMPARE(p.draw_pct, 21);
        QCOMPARE(p.away_win_pct, 33);
        QCOMPARE(p.scoreline, QStringLiteral("2-1"));
        QCOMPARE(p.confidence, 70);
        QCOMPARE(p.match_label, QStringLiteral("Arsenal vs Chelsea"));
        QCOMPARE(p.model, QStringLiteral("gpt-4o"));
        QCOMPARE(p.league, QStringLiteral("Premier League"));
        QCOMPARE(p.match_id, QStringLiteral("740123"));
        QCOMPARE(p.home_team, QStringLiteral("Arsenal"));
        QCOMPARE(p.away_team, QStringLiteral("Chelsea"));
        QCOMPARE(p.cost_gbp, 0.0012);
        QVERIFY(!p.id.isEmpty());
        QVERIFY(QDateTime::fromString(p.created_at, Qt::ISODate).isValid());
        QCOMPARE(p.actual_home_score, -1);
        QVERIFY(p.summary.isEmpty());
        QVERIFY(p.key_factors.isEmpty());
    }

    void quickReply_emptyOrMistyped_givesDefaults()
    {
        const Match m = fixture("Arsenal", "Chelsea");
        Prediction p = predictionFromQuickReply(m, {}, QStringLiteral("gpt-4o-mini"), 0);
        QCOMPARE(p.outcome, QStringLiteral("DRAW"));
        QCOMPARE(p.home_win_pct + p.draw_pct + p.away_win_pct + p.confidence, 0);
        QCOMPARE(p.scoreline, QStringLiteral("?-?"));

        p = predictionFromQuickReply(m, {{"outcome", 1}, {"scoreline", 21}, {"confidence", "high"}},
                                     QStringLiteral("gpt-4o-mini"), 0);
        QCOMPARE(p.outcome, QStringLiteral("DRAW"));
        QCOMPARE(p.scoreline, QStringLiteral("?-?"));
        QCOMPARE(p.confidence, 0);
    }

    void reasoningUserText_appendsTheCall()
    {
        Prediction p;
        p.outcome = QStringLiteral("AWAY");
        p.scoreline = QStringLiteral("0-2");
        p.confidence = 64;
        QCOMPARE(reasoningUserText(QStringLiteral("Fixture: A (home) vs B (away)"), p),
                 QStringLiteral("Fixture: A (home) vs B (away)\n\nYour call: AWAY, predicted scoreline 0-2, "
                                "64% confidence."));

        // Text from outside keeps its percent signs untouched.
        p.scoreline = QStringLiteral("1%2");
        QCOMPARE(reasoningUserText(QStringLiteral("Venue: 100%1 Arena"), p),
                 QStringLiteral(
                     "Venue: 100%1 Arena\n\nYour call: AWAY, predicted scoreline 1%2, 64% confidence."));
    }

    void withReasoning_fillsTextAndAddsCost()
    {
        Prediction before = Prediction::freshlyCreated();
        before.outcome = QStringLiteral("HOME");
        before.cost_gbp = 0.001;
        before.key_factors = QStringList{QStringLiteral("stale")};
        const QJsonObject reply{{"summary", "Arsenal are in form."},
                                {"key_factors", QJsonArray{"Home form", 7, "Goals"}}};
        const Prediction after = withReasoning(before, reply, 0.002);
        QCOMPARE(after.summary, QStringLiteral("Arsenal are in form."));
        QCOMPARE(after.key_factors, QStringList({"Home form", "", "Goals"}));
        QVERIFY(qFuzzyCompare(after.cost_gbp, 0.003));
        QCOMPARE(after.id, before.id);
        QCOMPARE(after.created_at, before.created_at);
        QCOMPARE(after.outcome, QStringLiteral("HOME"));

        const Prediction empty = withReasoning(before, {}, 0);
        QVERIFY(empty.summary.isEmpty());
        QVERIFY(empty.key_factors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_prompts.moc"
