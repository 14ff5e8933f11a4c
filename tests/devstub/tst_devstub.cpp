#include "ai/PredictionService.h"
#include "ai/Predictor.h"
#include "app/League.h"
#include "data/EspnApi.h"
#include "data/FixtureQueries.h"
#include "data/Worker.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// tolvo-devstub started as a real process on a free port.
class DevStubProcess
{
public:
    ~DevStubProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    // The address it listens on, or empty when it did not come up.
    QString start(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(TOLVO_DEVSTUB_BINARY),
                        QStringList{u"--port"_s, u"0"_s, u"--quiet"_s} + arguments);
        static const QRegularExpression listening(u"listening on (http://127\\.0\\.0\\.1:\\d+)"_s);
        QByteArray out;
        while (m_process.waitForReadyRead(30000)) {
            out += m_process.readAllStandardOutput();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(out));
            if (match.hasMatch())
                return match.captured(1);
        }
        return {};
    }

private:
    QProcess m_process;
};

struct Run
{
    int status = -1;
    QByteArray err;
};

Run runDevStub(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TOLVO_DEVSTUB_BINARY), arguments);
    if (!process.waitForFinished(120000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

bool hasScores(const Match &m)
{
    return !m.home_score.isEmpty() && !m.away_score.isEmpty();
}

// The raw scoreboard of one league today, straight from the stub (no cache).
QJsonArray todaysEvents(const QString &base, const QString &slug)
{
    const QString day = QDate::currentDate().toString(u"yyyyMMdd"_s);
    const TestHttpReply reply =
        testHttp("GET", base + u"/apis/site/v2/sports/soccer/%1/scoreboard?dates=%2"_s.arg(slug, day));
    return QJsonDocument::fromJson(reply.body)[u"events"_s].toArray();
}

// A sound call: the outcome has the largest share and agrees with the scoreline.
void verifyCall(const Prediction &p)
{
    QCOMPARE(p.home_win_pct + p.draw_pct + p.away_win_pct, 100);
    const int called = p.outcome == u"HOME"_s   ? p.home_win_pct
                       : p.outcome == u"AWAY"_s ? p.away_win_pct
                                                : p.draw_pct;
    QCOMPARE(called, std::max({p.home_win_pct, p.draw_pct, p.away_win_pct}));
    const int home = p.scoreline.section(u'-', 0, 0).toInt();
    const int away = p.scoreline.section(u'-', 1, 1).toInt();
    const QString expected = home > away ? u"HOME"_s : away > home ? u"AWAY"_s : u"DRAW"_s;
    QCOMPARE(p.outcome, expected);
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

private slots:
    void initTestCase()
    {
        base = stub.start({u"--seed"_s, u"7"_s});
        QVERIFY2(!base.isEmpty(), "tolvo-devstub did not start");
        qputenv("TOLVO_ESPN_HOST", base.toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", base.toUtf8());
        qputenv("TOLVO_OPENAI_BASE", base.toUtf8());
    }

    void init()
    {
        env = std::make_unique<TestEnv>();
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
            QCOMPARE(hasScores(m), m.state != u"pre"_s);
        }
        QVERIFY(QSet<QString>({u"pre"_s, u"in"_s, u"post"_s}).contains(states));
        // The day's kick-offs are spread around the present but kept inside
        // the day: near midnight the finished or the coming ones are missing.
        const QTime now = QTime::currentTime();
        if (now >= QTime(3, 0) && now <= QTime(21, 0))
            QCOMPARE(states, QSet<QString>({u"pre"_s, u"in"_s, u"post"_s}));
        QCOMPARE(leagues.size(), defaultLeagues().size());

        const std::vector<Match> upcoming = onWorker([&] { return api.upcomingMatches(u"eng.1"_s, 500, 0); });
        QVERIFY(upcoming.size() >= 60);
        for (const Match &m : upcoming)
            QVERIFY(!hasScores(m) && m.home_badge.startsWith(base + u"/crests/"_s));
        // The last recorded rounds reach past the page's window.
        QVERIFY(QDate::fromString(upcoming.back().date, Qt::ISODate) > today.addDays(60));
    }

    void model_answersEachKindOfCall()
    {
        const EspnApi api;
        const Predictor predictor(u"sk-devstub"_s, u"gpt-4o-mini"_s, QString(), QString());
        const std::vector<Match> upcoming = onWorker([&] { return api.upcomingMatches(u"esp.1"_s, 1, 0); });
        QCOMPARE(upcoming.size(), size_t(1));
        const Match &match = upcoming.front();
        const auto [prediction, context] =
            onWorker([&] { return predictMatch(api, predictor, match, u"standard"_s); });
        verifyCall(prediction);
        QVERIFY(context.contains(u"Form (most recent last)"_s));
        const Prediction deep =
            onWorker([&] { return predictor.predictReasoning(match, context, prediction, u"deep"_s); });
        QCOMPARE(deep.key_factors.size(), 5);
        QVERIFY(deep.summary.contains(prediction.scoreline));
        // Asked twice, the model says the same.
        QCOMPARE(onWorker([&] { return predictMatch(api, predictor, match, u"standard"_s); }).first.scoreline,
                 prediction.scoreline);

        const QString club =
            onWorker([&] { return predictor.chat({}, u"How are Real Madrid doing?"_s); }).first;
        QVERIFY2(club.contains(u"Real Madrid"_s) && club.contains(u"points"_s), qPrintable(club));
    }

    void options_badValuesAndTakenPortsAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("port not a number")
            << QStringList{u"--port"_s, u"http"_s} << 2 << QByteArray("--port");
        QTest::newRow("speed zero") << QStringList{u"--speed"_s, u"0"_s} << 2 << QByteArray();
        QTest::newRow("day not a date")
            << QStringList{u"--write-data"_s, QDir::tempPath(), u"--recorded-on"_s, u"yesterday"_s} << 2
            << QByteArray();
        QTest::newRow("missing data")
            << QStringList{u"--data"_s, u"/nonexistent/missing"_s} << 1 << QByteArray("missing");
        QTest::newRow("port taken") << QStringList{u"--port"_s, u"taken"_s} << 1
                                    << QByteArray("cannot listen");
    }
    void options_badValuesAndTakenPortsAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, error);
        arguments.replaceInStrings(u"taken"_s, base.section(u':', -1));
        const Run run = runDevStub(arguments);
        QTEST(run.status, "status");
        QVERIFY2(run.err.contains(error), run.err.constData());
    }

    void writeData_sameSeedSameBytes_andTheRecordingServes()
    {
        const QString first = env->root() + u"/first"_s;
        const QString second = env->root() + u"/second"_s;
        for (const QString &folder : {first, second}) {
            QCOMPARE(runDevStub({u"--write-data"_s, folder, u"--seed"_s, u"5"_s, u"--recorded-on"_s,
                                 u"2025-03-01"_s})
                         .status,
                     0);
        }
        // A regenerated folder only differs where the generator changed.
        const QStringList files = QDir(first + u"/eng.1"_s).entryList(QDir::Files);
        QVERIFY(files.contains(u"teams.json"_s));
        for (const QString &file : files)
            QCOMPARE(TestEnv::readFile(second + u"/eng.1/"_s + file),
                     TestEnv::readFile(first + u"/eng.1/"_s + file));

        DevStubProcess other;
        const QString otherBase = other.start({u"--data"_s, first});
        QVERIFY(!otherBase.isEmpty());
        const QJsonArray events = todaysEvents(otherBase, u"por.1"_s);
        QVERIFY(events.size() >= 3);
        // Recorded in March 2025, served as today's season.
        QCOMPARE(events.at(0)[u"season"_s][u"year"_s].toInt(), EspnApi::seasonStartYear(today));
    }
};

QTEST_MAIN(TestDevStub)
#include "tst_devstub.moc"
