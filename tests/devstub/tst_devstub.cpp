#include "ai/PredictionService.h"
#include "ai/Predictor.h"
#include "app/League.h"
#include "data/EspnApi.h"
#include "data/FixtureQueries.h"
#include "data/Worker.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QDate>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <memory>

namespace {

// tolvo-devstub started as a real process on a free port.
class DevStubProcess
{
public:
    ~DevStubProcess() { stop(); }

    // The address it listens on, or empty when it did not come up.
    QString start(const QStringList &arguments)
    {
        m_process.start(
            QStringLiteral(TOLVO_DEVSTUB_BINARY),
            QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")} +
                arguments);
        if (!m_process.waitForStarted(10000))
            return {};
        static const QRegularExpression listening(
            QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+)"));
        QByteArray out;
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            out += m_process.readAllStandardOutput();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(out));
            if (match.hasMatch())
                return match.captured(1);
        }
        return {};
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(60000))
        process.kill();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool hasScores(const Match &m)
{
    return !m.home_score.isEmpty() && !m.away_score.isEmpty();
}

int totalGoals(const Match &m)
{
    return m.home_score.toInt() + m.away_score.toInt();
}

// The raw scoreboard of one league today, straight from the stub (no cache).
QJsonArray todaysEvents(const QString &base, const QString &slug)
{
    const TestHttpReply reply =
        testHttp("GET", base + QStringLiteral("/apis/site/v2/sports/soccer/%1/scoreboard?dates=%2")
                                   .arg(slug, QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    return QJsonDocument::fromJson(reply.body).object().value(QLatin1String("events")).toArray();
}

QString stateOf(const QJsonObject &event)
{
    return event.value(QLatin1String("competitions"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("status"))
        .toObject()
        .value(QLatin1String("type"))
        .toObject()
        .value(QLatin1String("state"))
        .toString();
}

int goalsOf(const QJsonObject &event)
{
    int goals = 0;
    for (const QJsonValue &c : event.value(QLatin1String("competitions"))
                                   .toArray()
                                   .at(0)
                                   .toObject()
                                   .value(QLatin1String("competitors"))
                                   .toArray())
        goals += c.toObject().value(QLatin1String("score")).toString().toInt();
    return goals;
}

int clockOf(const QJsonObject &event)
{
    return event.value(QLatin1String("competitions"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("status"))
        .toObject()
        .value(QLatin1String("clock"))
        .toInt();
}

void verifyCall(const Prediction &p)
{
    QVERIFY2(QStringList({"HOME", "DRAW", "AWAY"}).contains(p.outcome), qPrintable(p.outcome));
    QCOMPARE(p.home_win_pct + p.draw_pct + p.away_win_pct, 100);
    const int largest = std::max({p.home_win_pct, p.draw_pct, p.away_win_pct});
    const int called = p.outcome == QLatin1String("HOME")   ? p.home_win_pct
                       : p.outcome == QLatin1String("AWAY") ? p.away_win_pct
                                                            : p.draw_pct;
    QCOMPARE(called, largest);
    const QStringList goals = p.scoreline.split(QLatin1Char('-'));
    QCOMPARE(goals.size(), 2);
    const int home = goals.at(0).toInt();
    const int away = goals.at(1).toInt();
    if (p.outcome == QLatin1String("HOME"))
        QVERIFY(home > away);
    else if (p.outcome == QLatin1String("AWAY"))
        QVERIFY(away > home);
    else
        QCOMPARE(home, away);
    QVERIFY2(p.confidence >= 35 && p.confidence <= 80, qPrintable(QString::number(p.confidence)));
    QVERIFY(p.cost_gbp > 0);
}

} // namespace

class TestDevStub : public QObject
{
    Q_OBJECT

private:
    DevStubProcess stub;
    QString base;
    std::unique_ptr<TestEnv> env;
    QDate today;

    void pointAt(const QString &address)
    {
        qputenv("TOLVO_ESPN_HOST", address.toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", address.toUtf8());
        qputenv("TOLVO_OPENAI_BASE", address.toUtf8());
    }

private slots:
    void initTestCase()
    {
        base = stub.start({QStringLiteral("--seed"), QStringLiteral("7")});
        QVERIFY2(!base.isEmpty(), "tolvo-devstub did not start");
    }

    void cleanupTestCase() { stub.stop(); }

    void init()
    {
        env = std::make_unique<TestEnv>();
        pointAt(base);
        today = QDate::currentDate();
    }

    void cleanup() { env.reset(); }

    void today_hasFixturesInEveryStateAcrossTheLeagues()
    {
        const EspnApi api;
        const std::vector<Match> matches = onWorker([&] { return fetchTodayMatches(api, ALL_LEAGUES); });
        QSet<QString> states;
        QSet<QString> leagues;
        for (const Match &m : matches) {
            states.insert(m.state);
            leagues.insert(m.league);
            QCOMPARE(m.date, today.toString(Qt::ISODate));
            QVERIFY(!m.time.isEmpty());
            if (m.state == QLatin1String("pre")) {
                QVERIFY2(!hasScores(m), qPrintable(m.id));
            } else {
                QVERIFY2(hasScores(m), qPrintable(m.id));
                QVERIFY(!m.status_detail.isEmpty());
            }
            if (m.state == QLatin1String("in"))
                QVERIFY2(m.status_detail == QLatin1String("HT") ||
                             m.status_detail.endsWith(QLatin1Char('\'')),
                         qPrintable(m.status_detail));
        }
        QCOMPARE(states, QSet<QString>({"pre", "in", "post"}));
        QCOMPARE(leagues.size(), defaultLeagues().size());
    }

    void upcoming_everyLeagueHasFixturesWithinTheWindow()
    {
        const EspnApi api;
        for (const League &league : defaultLeagues()) {
            const std::vector<Match> upcoming =
                onWorker([&] { return api.upcomingMatches(league.slug, 500, 0); });
            QVERIFY2(upcoming.size() >= 60, qPrintable(league.slug));
            QSet<QString> ids;
            for (const Match &m : upcoming) {
                QVERIFY(!hasScores(m));
                const QDate day = QDate::fromString(m.date, Qt::ISODate);
                QVERIFY2(day >= today && day <= today.addDays(75), qPrintable(m.date));
                QVERIFY(!m.venue.isEmpty());
                QVERIFY(m.round.startsWith(QLatin1String("Matchday ")));
                QCOMPARE(m.league, league.name);
                QVERIFY(m.home_badge.startsWith(base + QStringLiteral("/crests/")));
                ids.insert(m.id);
            }
            QCOMPARE(ids.size(), qsizetype(upcoming.size()));
            // The last recorded rounds reach past the page's window.
            QVERIFY(QDate::fromString(upcoming.back().date, Qt::ISODate) > today.addDays(60));
        }
    }

    void finishedFixture_isTheSameInScoreboardSummaryAndSchedule()
    {
        const EspnApi api;
        const std::vector<Match> recent =
            onWorker([&] { return api.recentMatches(QStringLiteral("ger.1"), 20); });
        QVERIFY(!recent.empty());
        const auto past = std::find_if(recent.begin(), recent.end(),
                                       [&](const Match &m) { return m.date < today.toString(Qt::ISODate); });
        QVERIFY(past != recent.end());
        const Match finished = *past;
        QCOMPARE(finished.state, QStringLiteral("post"));

        const std::optional<Match> looked = onWorker([&] { return api.lookupEvent(finished.id, true); });
        QVERIFY(looked.has_value());
        QCOMPARE(looked->home_team, finished.home_team);
        QCOMPARE(looked->away_team, finished.away_team);
        QCOMPARE(looked->home_score, finished.home_score);
        QCOMPARE(looked->away_score, finished.away_score);
        QCOMPARE(looked->date, finished.date);
        QCOMPARE(looked->league, QStringLiteral("Bundesliga")); // as the fixture lists name it

        const std::vector<Match> last =
            onWorker([&] { return api.teamLastEvents(finished.home_team_id, 40); });
        const auto inSchedule =
            std::find_if(last.begin(), last.end(), [&](const Match &m) { return m.id == finished.id; });
        QVERIFY(inSchedule != last.end());
        QCOMPARE(inSchedule->home_score, finished.home_score);
        QCOMPARE(inSchedule->away_score, finished.away_score);
        QVERIFY(std::is_sorted(last.begin(), last.end(),
                               [](const Match &a, const Match &b) { return a.date > b.date; }));
    }

    void search_findsClubsAndTheirMeetings()
    {
        const EspnApi api;
        const std::optional<Team> arsenal =
            onWorker([&] { return api.searchTeam(QStringLiteral("  ARSENAL ")); });
        QVERIFY(arsenal.has_value());
        QCOMPARE(arsenal->name, QStringLiteral("Arsenal"));
        QCOMPARE(arsenal->league, QStringLiteral("Premier League"));
        QVERIFY(arsenal->badge_url.startsWith(base + QStringLiteral("/crests/")));
        QVERIFY(!arsenal->badge_url.contains(QLatin1String("dark")));

        const std::optional<Team> atletico =
            onWorker([&] { return api.searchTeam(QStringLiteral("atletico")); });
        QVERIFY(atletico.has_value());
        QCOMPARE(atletico->name, QString::fromUtf8("Atl\xc3\xa9tico Madrid"));
        QVERIFY(!onWorker([&] { return api.searchTeam(QStringLiteral("Nowhere Rovers")); }).has_value());

        const std::vector<Match> meetings = onWorker(
            [&] { return api.searchHeadToHead(QStringLiteral("Arsenal"), QStringLiteral("Chelsea")); });
        QVERIFY(meetings.size() >= 2);
        int played = 0;
        for (const Match &m : meetings) {
            QCOMPARE(QSet<QString>({m.home_team, m.away_team}), QSet<QString>({"Arsenal", "Chelsea"}));
            played += hasScores(m) ? 1 : 0;
        }
        QVERIFY(played >= 1);
        QVERIFY(std::is_sorted(meetings.begin(), meetings.end(),
                               [](const Match &a, const Match &b) { return a.date > b.date; }));

        const auto [match, hypothetical] =
            onWorker([&] { return findMatchup(api, QStringLiteral("Celtic"), QStringLiteral("Rangers")); });
        QVERIFY(!hypothetical);
        QVERIFY(!match.id.isEmpty());
    }

    void standings_agreeWithTheResults()
    {
        const EspnApi api;
        const auto [rows, label] = onWorker([&] { return api.standingsLatest(QStringLiteral("eng.1")); });
        const int season = EspnApi::seasonStartYear(today);
        QCOMPARE(label, QStringLiteral("%1-%2").arg(season).arg(season + 1));
        QCOMPARE(rows.size(), size_t(20));
        int wins = 0;
        int losses = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            const StandingsRow &row = rows[i];
            QCOMPARE(row.rank, QString::number(i + 1));
            const int w = row.wins.toInt();
            const int d = row.ties.toInt();
            const int l = row.losses.toInt();
            QVERIFY(w + d + l > 0);
            QCOMPARE(row.gamesPlayed.toInt(), w + d + l);
            QCOMPARE(row.points.toInt(), 3 * w + d);
            if (i > 0)
                QVERIFY(rows[i - 1].points.toInt() >= row.points.toInt());
            wins += w;
            losses += l;
        }
        QCOMPARE(wins, losses);

        const std::vector<StandingsRow> old =
            onWorker([&] { return api.standings(QStringLiteral("eng.1"), QString::number(season - 3)); });
        QVERIFY(old.empty());
    }

    void crests_arePngImagesOfTheClub()
    {
        const EspnApi api;
        const std::vector<Match> upcoming =
            onWorker([&] { return api.upcomingMatches(QStringLiteral("sco.1"), 1, 0); });
        QVERIFY(!upcoming.empty());
        const TestHttpReply crest = testHttp("GET", upcoming.front().home_badge);
        QCOMPARE(crest.status, 200);
        QCOMPARE(crest.headers.value("content-type"), QByteArray("image/png"));
        const QImage image = QImage::fromData(crest.body, "PNG");
        QVERIFY(!image.isNull());
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.width() >= 64 && image.width() <= 128);
        QCOMPARE(testHttp("GET", upcoming.front().home_badge).body,
                 crest.body); // the same club, the same crest

        QCOMPARE(testHttp("GET", base + QStringLiteral("/crests/424242.png")).status, 404);
    }

    void model_answersEachKindOfCall()
    {
        const EspnApi api;
        const Predictor predictor(QStringLiteral("sk-devstub"), QStringLiteral("gpt-4o-mini"), QString(),
                                  QString());
        QCOMPARE(predictor.endpoint(), base + QStringLiteral("/v1/chat/completions"));
        const std::vector<Match> upcoming =
            onWorker([&] { return api.upcomingMatches(QStringLiteral("esp.1"), 3, 0); });
        QCOMPARE(upcoming.size(), size_t(3));

        for (const Match &match : upcoming) {
            const auto [prediction, context] =
                onWorker([&] { return predictMatch(api, predictor, match, QStringLiteral("standard")); });
            verifyCall(prediction);
            QVERIFY(context.contains(QLatin1String("Form (most recent last)")));

            const Prediction deep = onWorker([&] {
                return predictor.predictReasoning(match, context, prediction, QStringLiteral("deep"));
            });
            QCOMPARE(deep.key_factors.size(), 5);
            QVERIFY(deep.summary.contains(match.home_team) || deep.summary.contains(match.away_team));
            QVERIFY(deep.summary.contains(prediction.scoreline));
            QVERIFY(deep.cost_gbp > prediction.cost_gbp);
            const Prediction standard = onWorker([&] {
                return predictor.predictReasoning(match, context, prediction, QStringLiteral("standard"));
            });
            QCOMPARE(standard.key_factors.size(), 3);
        }

        // Asked twice, the model says the same.
        const auto again = onWorker(
            [&] { return predictMatch(api, predictor, upcoming.front(), QStringLiteral("standard")); });
        const auto first = onWorker(
            [&] { return predictMatch(api, predictor, upcoming.front(), QStringLiteral("standard")); });
        QCOMPARE(again.first.scoreline, first.first.scoreline);
        QCOMPARE(again.first.home_win_pct, first.first.home_win_pct);

        const auto [club, clubCost] = onWorker(
            [&] { return predictor.chat({}, QStringLiteral("How are Real Madrid doing this season?")); });
        QVERIFY2(club.contains(QLatin1String("Real Madrid")) && club.contains(QLatin1String("points")),
                 qPrintable(club));
        QVERIFY(clubCost > 0);
        const auto [rule, ruleCost] = onWorker([&] {
            return predictor.chat({{QStringLiteral("user"), QStringLiteral("hi")},
                                   {QStringLiteral("assistant"), QStringLiteral("Hi!")}},
                                  QStringLiteral("Can you explain the offside rule?"));
        });
        Q_UNUSED(ruleCost);
        QVERIFY2(rule.contains(QLatin1String("offside"), Qt::CaseInsensitive), qPrintable(rule));
    }

    void liveMatches_moveOnAndFinish()
    {
        // Ten match minutes a second: within seconds goals fall, matches end
        // and others kick off.
        DevStubProcess fast;
        const QString fastBase = fast.start({QStringLiteral("--speed"), QStringLiteral("600")});
        QVERIFY(!fastBase.isEmpty());

        QHash<QString, QJsonObject> before;
        for (const League &league : defaultLeagues()) {
            for (const QJsonValue &value : todaysEvents(fastBase, league.slug))
                before.insert(value.toObject().value(QLatin1String("id")).toString(), value.toObject());
        }
        QVERIFY(!before.isEmpty());

        QString finishedNow; // an event in play before that is over later
        bool advanced = false;
        bool scored = false;
        bool kickedOff = false;
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && !(advanced && scored && kickedOff && !finishedNow.isEmpty())) {
            QTest::qWait(1000);
            for (const League &league : defaultLeagues()) {
                for (const QJsonValue &value : todaysEvents(fastBase, league.slug)) {
                    const QJsonObject now = value.toObject();
                    const QJsonObject then = before.value(now.value(QLatin1String("id")).toString());
                    QVERIFY(goalsOf(now) >= goalsOf(then)); // scores never go back
                    const QString was = stateOf(then);
                    const QString is = stateOf(now);
                    if (was == QLatin1String("in") && is == QLatin1String("in") &&
                        clockOf(now) > clockOf(then))
                        advanced = true;
                    if (was == QLatin1String("in") && goalsOf(now) > goalsOf(then))
                        scored = true;
                    if (was == QLatin1String("pre") && is == QLatin1String("in"))
                        kickedOff = true;
                    if (was == QLatin1String("in") && is == QLatin1String("post"))
                        finishedNow = now.value(QLatin1String("id")).toString();
                    QVERIFY(!(was == QLatin1String("post") && is != QLatin1String("post")));
                }
            }
        }
        QVERIFY(advanced);
        QVERIFY(scored);
        QVERIFY(kickedOff);
        QVERIFY(!finishedNow.isEmpty());

        // A prediction of the match that just ended can be checked now.
        pointAt(fastBase);
        const EspnApi api;
        Prediction prediction = Prediction::freshlyCreated();
        prediction.match_id = finishedNow;
        prediction.outcome = QStringLiteral("HOME");
        const Prediction checked = onWorker([&] { return checkResult(api, prediction); });
        const std::optional<Match> match = onWorker([&] { return api.lookupEvent(finishedNow, true); });
        QVERIFY(match.has_value());
        QCOMPARE(checked.actual_home_score, match->home_score.toInt());
        QCOMPARE(checked.actual_away_score, match->away_score.toInt());
        QCOMPARE(match->status_detail, QStringLiteral("FT"));
        QVERIFY(totalGoals(*match) >= 0);
    }

    void cli_runsOfflineAgainstTheStub()
    {
#ifndef TOLVO_CLI_BINARY
        QSKIP("tolvo-cli is not built");
#else
        env.reset();
        TestEnv shared(TestEnv::QtTestMode::Off); // the CLI's files must be where this test can look
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-devstub"));
        const QString cli = QStringLiteral(TOLVO_CLI_BINARY);

        const Run todayRun =
            runProgram(cli, {QStringLiteral("today"), QStringLiteral("--json")}, environment);
        QCOMPARE(todayRun.status, 0);
        const QJsonArray fixtures = QJsonDocument::fromJson(todayRun.out).array();
        // The last fixture to kick off, and one that will not end while the
        // test runs.
        QString upcomingId;
        QString liveId;
        for (const QJsonValue &value : fixtures) {
            const QJsonObject m = value.toObject();
            const QString state = m.value(QLatin1String("state")).toString();
            const QString detail = m.value(QLatin1String("status_detail")).toString();
            if (state == QLatin1String("pre"))
                upcomingId = m.value(QLatin1String("id")).toString();
            if (state == QLatin1String("in") && liveId.isEmpty() &&
                (detail == QLatin1String("HT") || detail.left(2).toInt() < 80))
                liveId = m.value(QLatin1String("id")).toString();
        }
        QVERIFY(!upcomingId.isEmpty());
        QVERIFY(!liveId.isEmpty());

        for (const QString &id : {upcomingId, liveId}) {
            const Run predict = runProgram(cli,
                                           {QStringLiteral("predict"), QStringLiteral("--event"), id,
                                            QStringLiteral("--reasoning"), QStringLiteral("--json")},
                                           environment);
            QVERIFY2(predict.status == 0, predict.err.constData());
            const QJsonObject prediction =
                QJsonDocument::fromJson(predict.out).object().value(QLatin1String("prediction")).toObject();
            verifyCall(Prediction::fromJson(prediction));
            QCOMPARE(prediction.value(QLatin1String("match_id")).toString(), id);
            QVERIFY(!prediction.value(QLatin1String("summary")).toString().isEmpty());
        }

        const Run check = runProgram(cli, {QStringLiteral("check"), QStringLiteral("--json")}, environment);
        QCOMPARE(check.status, 0);
        const QByteArray text = check.out;
        QVERIFY2(text.contains("hasn't kicked off"), text.constData());
        QVERIFY2(text.contains("still being played"), text.constData());

        const Run search = runProgram(
            cli, {QStringLiteral("h2h"), QStringLiteral("Celtic"), QStringLiteral("Rangers")}, environment);
        QCOMPARE(search.status, 0);
        QVERIFY(search.out.contains("Celtic") && search.out.contains("Rangers"));
#endif
    }

    void options_badValuesAndTakenPortsAreRefused()
    {
        const QString tool = QStringLiteral(TOLVO_DEVSTUB_BINARY);
        const Run badPort = runProgram(tool, {QStringLiteral("--port"), QStringLiteral("http")});
        QCOMPARE(badPort.status, 2);
        QVERIFY(badPort.err.contains("--port"));
        QCOMPARE(runProgram(tool, {QStringLiteral("--speed"), QStringLiteral("0")}).status, 2);
        QCOMPARE(runProgram(tool, {QStringLiteral("--write-data"), QDir::tempPath(),
                                   QStringLiteral("--recorded-on"), QStringLiteral("yesterday")})
                     .status,
                 2);

        const Run noData =
            runProgram(tool, {QStringLiteral("--data"), env->root() + QStringLiteral("/missing")});
        QCOMPARE(noData.status, 1);
        QVERIFY(noData.err.contains("missing"));

        const QString port = base.section(QLatin1Char(':'), -1);
        const Run taken = runProgram(tool, {QStringLiteral("--port"), port});
        QCOMPARE(taken.status, 1);
        QVERIFY(taken.err.contains("cannot listen"));
    }

    void writeData_makesARecordingThatServes()
    {
        const QString first = env->root() + QStringLiteral("/first");
        const QString second = env->root() + QStringLiteral("/second");
        const QString tool = QStringLiteral(TOLVO_DEVSTUB_BINARY);
        for (const QString &dir : {first, second}) {
            const Run run = runProgram(tool, {QStringLiteral("--write-data"), dir, QStringLiteral("--seed"),
                                              QStringLiteral("5"), QStringLiteral("--recorded-on"),
                                              QStringLiteral("2025-03-01")});
            QCOMPARE(run.status, 0);
        }
        // The same seed and day give the same bytes, so a regenerated
        // folder only differs where the generator changed.
        const QStringList files = QDir(first + QStringLiteral("/eng.1")).entryList(QDir::Files);
        QVERIFY(files.contains(QStringLiteral("teams.json")));
        QVERIFY(files.size() > 6);
        for (const QString &file : files)
            QCOMPARE(TestEnv::readFile(second + QStringLiteral("/eng.1/") + file),
                     TestEnv::readFile(first + QStringLiteral("/eng.1/") + file));

        DevStubProcess other;
        const QString otherBase = other.start({QStringLiteral("--data"), first});
        QVERIFY(!otherBase.isEmpty());
        QVERIFY(todaysEvents(otherBase, QStringLiteral("por.1")).size() >= 3);
        // Recorded in March 2025, served as today's season.
        const QJsonArray events = todaysEvents(otherBase, QStringLiteral("por.1"));
        QCOMPARE(events.at(0)
                     .toObject()
                     .value(QLatin1String("season"))
                     .toObject()
                     .value(QLatin1String("year"))
                     .toInt(),
                 EspnApi::seasonStartYear(today));
    }
};

QTEST_MAIN(TestDevStub)
#include "tst_devstub.moc"
