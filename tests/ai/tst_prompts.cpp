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
    }
    void buildContext_golden()
    {
        QFETCH(Match, match);
        QFETCH(QStringList, home);
        QFETCH(QStringList, away);
        QFETCH(QStringList, h2h);
        QFETCH(QString, file);
        QCOMPARE(buildContext(match, results(home), results(away), results(h2h)), golden(file));
    }
};

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_prompts.moc"
