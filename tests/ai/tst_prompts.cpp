#include "ai/Prompts.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

Match result(const QString &date, const QString &home, const QString &homeScore, const QString &awayScore,
             const QString &away)
{
    Match m;
    m.date = date;
    m.time = u"15:00"_s;
    m.home_team = home;
    m.away_team = away;
    m.home_score = homeScore;
    m.away_score = awayScore;
    m.state = homeScore.isEmpty() ? u"pre"_s : u"post"_s;
    return m;
}

Match fixture(const QString &home, const QString &away)
{
    Match m;
    m.id = u"740123"_s;
    m.home_team = home;
    m.away_team = away;
    m.league = u"Premier League"_s;
    m.date = u"2025-10-04"_s;
    m.time = u"14:00"_s;
    m.venue = u"Emirates Stadium"_s;
    m.state = u"pre"_s;
    return m;
}

QString golden(const QString &name)
{
    QFile file(QStringLiteral(TOLVO_TEST_DATA_DIR "/prompts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return u"<missing golden file %1>"_s.arg(name);
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(u'\n')) // tolerate an editor's final newline
        text.chop(1);
    return text;
}

// Compares line by line first so that a failure names the line that differs.
void compareText(const QString &actual, const QString &expected)
{
    const QStringList a = actual.split(u'\n');
    const QStringList e = expected.split(u'\n');
    for (qsizetype i = 0; i < std::min(a.size(), e.size()); ++i)
        QCOMPARE(a.at(i), e.at(i));
    QCOMPARE(actual, expected);
}

// "date home h-a away" per line, for short tables of results.
std::vector<Match> results(const QStringList &lines)
{
    std::vector<Match> list;
    for (const QString &line : lines) {
        const QStringList f = line.split(u'|');
        list.push_back(result(f.at(0), f.at(1), f.at(2), f.at(3), f.at(4)));
    }
    return list;
}

} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void quickPrompt_isTheExactText()
    {
        compareText(QUICK_SYSTEM_PROMPT_BASE, golden(u"quick_system_prompt.txt"_s));
        QVERIFY(!QUICK_SYSTEM_PROMPT_BASE.contains(u'\r'));
    }

    void reasoningPrompt_asksForTheGivenNumberOfFactors()
    {
        const QString deep = reasoningSystemPrompt(5);
        QCOMPARE(deep.count(u"\"<short factor>\""_s), 5);
        QVERIFY(!deep.contains(u"%1"_s));
        QVERIFY(reasoningSystemPrompt(3).endsWith(
            u"  \"key_factors\": [\"<short factor>\", \"<short factor>\", \"<short factor>\"]\n}"_s));
    }

    void buildContext_golden_data()
    {
        QTest::addColumn<Match>("match");
        QTest::addColumn<QStringList>("home");
        QTest::addColumn<QStringList>("away");
        QTest::addColumn<QStringList>("h2h");
        QTest::addColumn<QString>("file");
        QTest::newRow("full")
            << fixture(u"Arsenal"_s, u"Chelsea"_s)
            << QStringList{u"2025-09-28|Newcastle United|1|2|Arsenal"_s,
                           u"2025-09-21|Arsenal|1|1|Manchester City"_s,
                           u"2025-09-13|Arsenal|3|0|Nottingham Forest"_s,
                           u"2025-08-31|Liverpool|1|0|Arsenal"_s, u"2025-08-23|Arsenal|5|0|Leeds United"_s}
            << QStringList{u"2025-09-27|Chelsea|1|3|Brighton & Hove Albion"_s,
                           u"2025-09-20|Manchester United|2|1|Chelsea"_s,
                           u"2025-09-13|Brentford|2|2|Chelsea"_s, u"2025-08-30|Chelsea|2|0|Fulham"_s,
                           u"2025-08-22|West Ham United|1|5|Chelsea"_s}
            << QStringList{u"2025-10-04|Arsenal|||Chelsea"_s, // this fixture, not played yet
                           u"2025-03-16|Chelsea|0|1|Arsenal"_s, u"2024-11-10|Chelsea|1|1|Arsenal"_s,
                           u"2024-04-23|Arsenal|5|0|Chelsea"_s}
            << u"context_full.txt"_s;
        Match unknown = fixture(u"Arsenal"_s, u"Chelsea"_s);
        unknown.league.clear();
        unknown.date.clear();
        unknown.time.clear();
        unknown.venue.clear();
        QTest::newRow("no results, unknown details")
            << unknown << QStringList()
            << QStringList{u"2025-09-27|Chelsea|||Brighton & Hove Albion"_s,
                           u"2025-09-20|Manchester United|2||Chelsea"_s}
            << QStringList{u"2025-03-16|Chelsea|0|1|Arsenal"_s} << u"context_no_results.txt"_s;
        Match madrid = fixture(u"Real Madrid"_s, u"Girona"_s);
        madrid.league = u"LaLiga"_s;
        madrid.time.clear();
        madrid.venue = u"Santiago Bernabéu"_s;
        QTest::newRow("no head-to-head, misnamed and unplayed")
            << madrid
            << QStringList{u"2025-09-27|Atlético Madrid|5|2|Real Madrid"_s,
                           u"2025-09-23|Levante|1|4|Real Madrid"_s, u"2025-09-20|Real Madrid|||Espanyol"_s}
            << QStringList{u"2025-09-26|Girona|0|0|Espanyol"_s, u"2025-09-20|Girona FC|1|1|Levante"_s,
                           u"2025-09-14|Sevilla|2|0|Girona"_s}
            << QStringList{u"2025-10-04|Real Madrid|||Girona"_s} << u"context_no_h2h.txt"_s;
    }
    void buildContext_golden()
    {
        QFETCH(Match, match);
        QFETCH(QStringList, home);
        QFETCH(QStringList, away);
        QFETCH(QStringList, h2h);
        QFETCH(QString, file);
        compareText(buildContext(match, results(home), results(away), results(h2h)), golden(file));
    }

    void buildContext_namesWithPercentSigns_areCopiedVerbatim()
    {
        // Team names come from outside; a "%1" in one must not be filled in.
        const std::vector<Match> recent = results({u"2025-09-01|Club %1|2|0|Club %2"_s});
        const QString context = buildContext(fixture(u"Club %1"_s, u"Club %2"_s), recent, {}, recent);
        QVERIFY(context.startsWith(u"Fixture: Club %1 (home) vs Club %2 (away)\n"_s));
        QVERIFY(context.contains(u"Club %1 recent form:\n  2025-09-01: Club %1 2-0 Club %2\n"
                                 "  Form (most recent last): W \u2014 2 scored / 0 conceded over 1"_s));
        QVERIFY(context.endsWith(u"most recent first):\n  2025-09-01: Club %1 2-0 Club %2"_s));
    }

    void formatRecent_formLine_data()
    {
        QTest::addColumn<QStringList>("matches");
        QTest::addColumn<QString>("form"); // empty: no form line
        QTest::newRow("oldest first")
            << QStringList{u"2025-09-20|Spurs|2|0|Wolves"_s, u"2025-09-13|Spurs|1|1|Bournemouth"_s,
                           u"2025-09-06|Spurs|0|1|Villa"_s}
            << u"LDW \u2014 3 scored / 2 conceded over 3"_s;
        QTest::newRow("unscored match left out")
            << QStringList{u"2025-09-20|Spurs|2|0|Wolves"_s, u"2025-09-13|Spurs|||Bournemouth"_s,
                           u"2025-09-06|Villa|1|1|Spurs"_s}
            << u"DW \u2014 3 scored / 1 conceded over 2"_s;
        // Listed, but neither a differently spelt name nor a non-numeric score adds a letter.
        QTest::newRow("nothing counted") << QStringList{u"2025-09-20|Tottenham Hotspur|2|0|Wolves"_s,
                                                        u"2025-09-13|Spurs|2|abandoned|Bournemouth"_s}
                                         << QString();
    }
    void formatRecent_formLine()
    {
        QFETCH(QStringList, matches);
        QFETCH(QString, form);
        const QStringList lines =
            formatRecent(u"Spurs recent form"_s, u"Spurs"_s, results(matches)).split(u'\n');
        QCOMPARE(lines.first(), u"Spurs recent form:"_s);
        const qsizetype listed = matches.size() - matches.filter(u"|||"_s).size();
        QCOMPARE(lines.size(), 1 + listed + (form.isEmpty() ? 0 : 1));
        if (!form.isEmpty())
            QCOMPARE(lines.last(), u"  Form (most recent last): "_s + form);
    }

    void quickReply_upperCasesOutcome_andScalesChancesToHundred()
    {
        const Match m = fixture(u"Arsenal"_s, u"Chelsea"_s);
        const QJsonObject reply{{u"outcome"_s, u"home"_s}, {u"home_win_pct"_s, 55},    {u"draw_pct"_s, 25},
                                {u"away_win_pct"_s, 40},   {u"scoreline"_s, u"2-1"_s}, {u"confidence"_s, 70}};
        const Prediction p = predictionFromQuickReply(m, reply, u"gpt-4o"_s, 0.0012);
        QCOMPARE(QStringList({p.outcome, p.scoreline, p.match_label, p.model, p.league, p.match_id,
                              p.home_team, p.away_team}),
                 QStringList({u"HOME"_s, u"2-1"_s, u"Arsenal vs Chelsea"_s, u"gpt-4o"_s, u"Premier League"_s,
                              u"740123"_s, u"Arsenal"_s, u"Chelsea"_s}));
        // 55/25/40 sums to 120: scaled to 100.
        QCOMPARE(QList<int>({p.home_win_pct, p.draw_pct, p.away_win_pct, p.confidence}),
                 QList<int>({46, 21, 33, 70}));
        QCOMPARE(p.cost_gbp, 0.0012);
        QVERIFY(QDateTime::fromString(p.created_at, Qt::ISODate).isValid());
        QCOMPARE(p.actual_home_score, -1);

        const Prediction odd = predictionFromQuickReply(
            m, {{u"outcome"_s, 1}, {u"scoreline"_s, 21}, {u"confidence"_s, u"high"_s}}, u"gpt-4o-mini"_s, 0);
        QCOMPARE(odd.outcome, u"DRAW"_s);
        QCOMPARE(odd.scoreline, u"?-?"_s);
        QCOMPARE(odd.home_win_pct + odd.draw_pct + odd.away_win_pct + odd.confidence, 0);
    }

    void reasoningUserText_appendsTheCall_verbatim()
    {
        Prediction p;
        p.outcome = u"AWAY"_s;
        p.scoreline = u"1%2"_s;
        p.confidence = 64;
        QCOMPARE(reasoningUserText(u"Venue: 100%1 Arena"_s, p),
                 u"Venue: 100%1 Arena\n\nYour call: AWAY, predicted scoreline 1%2, 64% confidence."_s);
    }

    void withReasoning_fillsTextAndAddsCost()
    {
        Prediction before = Prediction::freshlyCreated();
        before.outcome = u"HOME"_s;
        before.cost_gbp = 0.001;
        before.key_factors = QStringList{u"stale"_s};
        const QJsonObject reply{{u"summary"_s, u"Arsenal are in form."_s},
                                {u"key_factors"_s, QJsonArray{u"Home form"_s, 7, u"Goals"_s}}};
        const Prediction after = withReasoning(before, reply, 0.002);
        QCOMPARE(after.summary, u"Arsenal are in form."_s);
        QCOMPARE(after.key_factors, QStringList({u"Home form"_s, QString(), u"Goals"_s}));
        QVERIFY(qFuzzyCompare(after.cost_gbp, 0.003));
        QCOMPARE(after.id, before.id);
        QCOMPARE(after.outcome, u"HOME"_s);
        QVERIFY(withReasoning(before, {}, 0).key_factors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_prompts.moc"
