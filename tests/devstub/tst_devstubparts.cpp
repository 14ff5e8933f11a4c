#include "DevStub.h"
#include "ModelReplies.h"
#include "Recording.h"
#include "RecordingWriter.h"
#include "Replay.h"

#include "ai/Prompts.h"
#include "app/League.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QDate RECORDED(2026, 3, 7);
const QDateTime NOW(QDate(2027, 1, 16), QTime(13, 0));
const QString SITE = u"/apis/site/v2/sports/soccer/"_s;

StubRequest request(const QString &target, const QByteArray &method = "GET", const QByteArray &body = {},
                    const QByteArray &host = "127.0.0.1:8765")
{
    StubRequest r;
    r.method = method;
    r.path = target.section(u'?', 0, 0);
    r.rawQuery = target.section(u'?', 1);
    r.query = QUrlQuery(r.rawQuery);
    r.headers.insert("host", host);
    r.body = body;
    return r;
}

Match result(const QString &date, const QString &home, int h, int a, const QString &away)
{
    Match m;
    m.date = date;
    m.home_team = home;
    m.away_team = away;
    m.home_score = QString::number(h);
    m.away_score = QString::number(a);
    return m;
}

} // namespace

class TestDevStubParts : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::optional<Recording> recording;

    std::vector<const RecordedEvent *> eventsOn(const QDate &day, const QString &slug = QString()) const
    {
        std::vector<const RecordedEvent *> list;
        for (const RecordedEvent &e : recording->events) {
            if (e.day == day && (slug.isEmpty() || e.league == slug))
                list.push_back(&e);
        }
        return list;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(writeRecording(dir.path(), RECORDED, 3, &error), qPrintable(error));
        recording = loadRecording(dir.path(), &error);
        QVERIFY2(recording.has_value(), qPrintable(error));
    }

    void writer_playsADoubleRoundRobinAroundTheRecordedDay()
    {
        QCOMPARE(recording->recordedOn, RECORDED);
        QCOMPARE(recording->leagues.size(), size_t(defaultLeagues().size()));
        QSet<QString> ids;
        for (const RecordedLeague &league : recording->leagues) {
            const int clubs = int(league.teamIds.size());
            QCOMPARE(int(league.events.size()), clubs * (clubs - 1));
            QSet<QString> pairs;
            QSet<QString> playingInRound;
            for (int index : league.events) {
                const RecordedEvent &e = recording->events.at(size_t(index));
                pairs.insert(e.homeId + u'>' + e.awayId);        // each way round once
                for (const QString &team : {e.homeId, e.awayId}) // once a round
                    playingInRound.insert(QString::number(e.roundNumber) + u' ' + team);
                QCOMPARE(e.hasResult(), e.day <= RECORDED);
                ids.insert(e.id);
            }
            QCOMPARE(pairs.size(), clubs * (clubs - 1));
            QCOMPARE(playingInRound.size(), 2 * clubs * (clubs - 1));
            QVERIFY2(!eventsOn(RECORDED, league.slug).empty(), qPrintable(league.slug));
        }
        QCOMPARE(ids.size(), qsizetype(recording->events.size())); // unique across leagues
    }

    void replay_todaysMatchesRunTheirCourse()
    {
        const Replay replay(*recording, NOW, 1.0, 9);
        const auto todays = eventsOn(RECORDED);
        QSet<QString> states;
        for (const RecordedEvent *e : todays)
            states.insert(replay.view(*e, NOW).state);
        QCOMPARE(states, QSet<QString>({u"pre"_s, u"in"_s, u"post"_s}));

        const QString order = u"pre in post"_s;
        for (const RecordedEvent *e : todays) {
            const auto final = replay.finalScore(*e);
            QCOMPARE(final, std::make_pair(e->homeScore, e->awayScore)); // the recorded result
            QString previous = u"pre"_s;
            int goals = 0;
            int clock = 0;
            bool sawHalfTime = false;
            for (int minute = -400; minute <= 400; ++minute) {
                const EventView view = replay.view(*e, NOW.addSecs(minute * 60));
                QVERIFY2(order.indexOf(view.state) >= order.indexOf(previous),
                         qPrintable(e->id)); // never back
                if (view.state == u"in"_s) {
                    QVERIFY(view.homeScore + view.awayScore >= goals && view.clockSeconds >= clock);
                    goals = view.homeScore + view.awayScore;
                    clock = view.clockSeconds;
                    sawHalfTime = sawHalfTime || view.shortDetail == u"HT"_s;
                }
                if (view.state == u"post"_s)
                    QCOMPARE(std::make_pair(view.homeScore, view.awayScore), final);
                previous = view.state;
            }
            QVERIFY2(previous != u"post"_s || sawHalfTime, qPrintable(e->id));
        }

        // Six real minutes at ten times the speed are one real hour.
        const Replay fast(*recording, NOW, 10.0, 9);
        for (const RecordedEvent *e : todays) {
            const EventView quick = fast.view(*e, NOW.addSecs(6 * 60));
            const EventView slow = replay.view(*e, NOW.addSecs(60 * 60));
            QCOMPARE(quick.shortDetail, slow.shortDetail);
            QCOMPARE(quick.homeScore, slow.homeScore);
        }
    }

    void model_readsTheProgramsOwnContext()
    {
        const QString context =
            buildContext(result(u"2027-01-16"_s, u"Hull City"_s, 0, 0, u"Stoke City"_s),
                         {result(u"2027-01-09"_s, u"Hull City"_s, 2, 0, u"Millwall"_s),
                          result(u"2027-01-02"_s, u"Derby County"_s, 1, 1, u"Hull City"_s),
                          result(u"2026-12-26"_s, u"Hull City"_s, 3, 1, u"Watford"_s)},
                         {result(u"2027-01-09"_s, u"Stoke City"_s, 0, 2, u"Wrexham"_s)},
                         {result(u"2026-10-01"_s, u"Stoke City"_s, 1, 2, u"Hull City"_s),
                          result(u"2025-12-01"_s, u"Hull City"_s, 2, 2, u"Stoke City"_s)});
        const FixtureContext read = readFixtureContext(context);
        QCOMPARE(QStringList({read.home, read.away, read.homeForm.letters, read.awayForm.letters}),
                 QStringList({u"Hull City"_s, u"Stoke City"_s, u"WDW"_s, u"L"_s}));
        QCOMPARE(QList<int>({read.homeForm.scored, read.homeForm.conceded, read.meetings, read.homeWins,
                             read.awayWins, read.callConfidence}),
                 QList<int>({6, 2, 2, 1, 0, -1}));

        Prediction call;
        call.outcome = u"HOME"_s;
        call.scoreline = u"2-0"_s;
        call.confidence = 71;
        const FixtureContext withCall = readFixtureContext(reasoningUserText(context, call));
        QCOMPARE(withCall.callScoreline, u"2-0"_s);
        QCOMPARE(withCall.callConfidence, 71);
        const Reasoning reasoning = reasoningFor(withCall, 4);
        QCOMPARE(reasoning.keyFactors.size(), 4);
        for (const QString &part : {u"Hull City"_s, u"2-0"_s, u"71%"_s})
            QVERIFY2(reasoning.summary.contains(part), qPrintable(reasoning.summary));

        // No results at all: still a full, careful call.
        const FixtureContext empty =
            readFixtureContext(buildContext(result(QString(), u"A"_s, 0, 0, u"B"_s), {}, {}, {}));
        QVERIFY(!empty.homeForm.known);
        QVERIFY(quickCall(empty, 1).confidence <= 50);
    }

    void routes_refuseWhatEspnWouldRefuse_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("status");
        QTest::newRow("day with dashes")
            << SITE + u"eng.1/scoreboard?dates=2027-01-16"_s << QByteArray("GET") << 400;
        QTest::newRow("unknown league") << SITE + u"xyz.1/scoreboard"_s << QByteArray("GET") << 400;
        QTest::newRow("summary without event") << SITE + u"all/summary"_s << QByteArray("GET") << 400;
        QTest::newRow("unknown event") << SITE + u"all/summary?event=1"_s << QByteArray("GET") << 404;
        QTest::newRow("unknown path") << u"/apis/site/v2/nothing"_s << QByteArray("GET") << 404;
        QTest::newRow("post to scoreboard") << SITE + u"eng.1/scoreboard"_s << QByteArray("POST") << 405;
        QTest::newRow("get the model") << u"/v1/chat/completions"_s << QByteArray("GET") << 405;
        QTest::newRow("crest path escape") << u"/crests/..%2Fetc.png"_s << QByteArray("GET") << 404;
    }
    void routes_refuseWhatEspnWouldRefuse()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, method);
        QString error;
        std::optional<Recording> copy = loadRecording(dir.path(), &error);
        DevStub stub(std::move(*copy), NOW, {});
        QTEST(stub.respond(request(target, method, "{}"), NOW).status, "status");
    }

    void server_forgetsTheHalfRequestOfAClientThatLeft()
    {
        // The stub runs for hours as a tool: a client that hangs up halfway
        // through a request must not leave bytes behind for the next one. The
        // server reads the half request before it sees the hang-up (TCP keeps
        // the order), so nothing needs to wait in between.
        StubServer server;
        server.route(u"/ok"_s, StubResponse::json("{}"));
        server.setRecordRequests(false);
        for (int i = 0; i < 40; ++i) {
            QTcpSocket quitter;
            quitter.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(quitter.waitForConnected(5000));
            quitter.write("GET /half HTTP/1.1\r\nHost: 127.0.0.1\r\n");
            QVERIFY(quitter.waitForBytesWritten(5000));
            quitter.disconnectFromHost();
            QCOMPARE(testHttp("GET", server.baseUrl() + u"/ok"_s).status, 200);
        }
        QVERIFY(server.requests().isEmpty());

        StubServer second(server.port()); // the port is taken
        QVERIFY(!second.isListening());
        QVERIFY(!second.errorString().isEmpty());
    }
};

QTEST_MAIN(TestDevStubParts)
#include "tst_devstubparts.moc"
