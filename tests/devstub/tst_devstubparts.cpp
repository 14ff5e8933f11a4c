#include "DevStub.h"
#include "EspnReplies.h"
#include "LeagueTable.h"
#include "ModelReplies.h"
#include "Recording.h"
#include "RecordingWriter.h"
#include "Replay.h"
#include "StableRandom.h"

#include "ai/Prompts.h"
#include "app/League.h"
#include "data/EspnApi.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QDate RECORDED(2026, 3, 7);

QJsonObject jsonOf(const StubResponse &response)
{
    return QJsonDocument::fromJson(response.body).object();
}

StubRequest get(const QString &target, const QByteArray &host = "127.0.0.1:8765")
{
    StubRequest request;
    request.method = "GET";
    const qsizetype q = target.indexOf(QLatin1Char('?'));
    request.path = q < 0 ? target : target.left(q);
    request.rawQuery = q < 0 ? QString() : target.mid(q + 1);
    request.query = QUrlQuery(request.rawQuery);
    request.headers.insert("host", host);
    return request;
}

StubRequest post(const QString &path, const QByteArray &body)
{
    StubRequest request = get(path);
    request.method = "POST";
    request.body = body;
    return request;
}

QByteArray chatBody(const QString &system, const QString &user, bool json)
{
    QJsonObject body{{"model", "gpt-4o"},
                     {"messages", QJsonArray{QJsonObject{{"role", "system"}, {"content", system}},
                                             QJsonObject{{"role", "user"}, {"content", user}}}}};
    if (json)
        body.insert("response_format", QJsonObject{{"type", "json_object"}});
    return QJsonDocument(body).toJson();
}

QString contentOf(const QJsonObject &completion)
{
    return completion.value("choices")
        .toArray()
        .at(0)
        .toObject()
        .value("message")
        .toObject()
        .value("content")
        .toString();
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

// Form strings from a fixed stream of numbers: a spread of strong, weak and
// missing data.
FixtureContext randomContext(StableRandom &random)
{
    FixtureContext context;
    context.home = QStringLiteral("Home %1").arg(random.between(1, 999));
    context.away = QStringLiteral("Away %1").arg(random.between(1, 999));
    for (FixtureContext::Form *form : {&context.homeForm, &context.awayForm}) {
        if (random.between(0, 9) == 0)
            continue;
        form->known = true;
        const int games = random.between(1, 10);
        for (int i = 0; i < games; ++i)
            form->letters += QLatin1Char("WDL"[random.between(0, 2)]);
        form->scored = random.between(0, 3 * games);
        form->conceded = random.between(0, 3 * games);
    }
    context.meetings = random.between(0, 4);
    context.homeWins = random.between(0, context.meetings);
    context.awayWins = context.meetings - context.homeWins;
    return context;
}

} // namespace

class TestDevStubParts : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::optional<Recording> recording;

    const RecordedEvent *firstEvent(const QString &slug,
                                    const std::function<bool(const RecordedEvent &)> &keep)
    {
        for (const RecordedEvent &event : recording->events) {
            if (event.league == slug && keep(event))
                return &event;
        }
        return nullptr;
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
        for (int i = 0; i < defaultLeagues().size(); ++i) {
            const RecordedLeague &league = recording->leagues.at(size_t(i));
            QCOMPARE(league.slug, defaultLeagues().at(i).slug); // the program's order
            const int clubs = int(league.teamIds.size());
            QVERIFY2(clubs >= 12 && clubs % 2 == 0, qPrintable(league.slug));
            QCOMPARE(int(league.events.size()), clubs * (clubs - 1));

            QSet<QString> pairs;
            QHash<int, QSet<QString>> playingInRound;
            QSet<int> roundsAhead;
            bool playsToday = false;
            for (int index : league.events) {
                const RecordedEvent &e = recording->events.at(size_t(index));
                pairs.insert(e.homeId + QLatin1Char('>') + e.awayId); // each way round once
                for (const QString &team : {e.homeId, e.awayId}) {
                    QVERIFY2(!playingInRound[e.roundNumber].contains(team), qPrintable(e.id));
                    playingInRound[e.roundNumber].insert(team);
                }
                QCOMPARE(e.hasResult(), e.day <= RECORDED);
                if (e.day > RECORDED)
                    roundsAhead.insert(e.roundNumber);
                playsToday = playsToday || e.day == RECORDED;
                QVERIFY(!recording->team(e.homeId)->venueName.isEmpty());
            }
            QCOMPARE(pairs.size(), clubs * (clubs - 1));
            QVERIFY2(roundsAhead.size() >= 11, qPrintable(league.slug));
            QVERIFY(playsToday);
        }
        QCOMPARE(recording->league(QStringLiteral("eng.1"))->teamIds.size(), 20);
        QCOMPARE(recording->league(QStringLiteral("eng.2"))->teamIds.size(), 24);

        // Ids are unique across leagues.
        QSet<QString> ids;
        for (const RecordedEvent &e : recording->events)
            ids.insert(e.id);
        QCOMPARE(ids.size(), qsizetype(recording->events.size()));
    }

    void loader_readsRealRecordedReplies()
    {
        const QString samples = QStringLiteral(TOLVO_SHARED_DIR "/espn-samples");
        if (!QDir(samples).exists())
            QSKIP("the shared ESPN samples are not available");
        QTemporaryDir real;
        QDir().mkpath(real.filePath(QStringLiteral("usa.1")));
        QDir().mkpath(real.filePath(QStringLiteral("eng.1")));
        QVERIFY(QFile::copy(samples + QStringLiteral("/scoreboard-usa.1-20220917.json"),
                            real.filePath(QStringLiteral("usa.1/scoreboard-20220917.json"))));
        QVERIFY(QFile::copy(samples + QStringLiteral("/schedule-eng.1-team349-2024.json"),
                            real.filePath(QStringLiteral("eng.1/schedule-349.json"))));

        QString error;
        const std::optional<Recording> loaded = loadRecording(real.path(), &error);
        QVERIFY2(loaded.has_value(), qPrintable(error));
        QCOMPARE(loaded->leagues.front().slug, QStringLiteral("eng.1")); // tracked leagues first
        QCOMPARE(loaded->league(QStringLiteral("usa.1"))->name, QStringLiteral("Major League Soccer"));
        QCOMPARE(loaded->league(QStringLiteral("usa.1"))->events.size(), size_t(11));
        QCOMPARE(loaded->league(QStringLiteral("eng.1"))->events.size(), size_t(38));
        // The latest day with a result is the day it was recorded.
        QCOMPARE(loaded->recordedOn, QDate(2025, 5, 25));

        const RecordedTeam *revolution = loaded->team(QStringLiteral("189"));
        QVERIFY(revolution);
        QCOMPARE(revolution->displayName, QStringLiteral("New England Revolution"));
        QCOMPARE(revolution->color, QStringLiteral("022166"));
        QCOMPARE(revolution->venueName, QStringLiteral("Gillette Stadium"));
        // Scores as objects ("value" 2.0) are read like texts.
        const RecordedEvent *last = loaded->event(QStringLiteral("704649"));
        QVERIFY(last);
        QCOMPARE(last->homeScore, 2);
        QVERIFY(last->hasResult());
    }

    void loader_saysWhatIsWrong()
    {
        QString error;
        QVERIFY(!loadRecording(dir.path() + QStringLiteral("/nowhere"), &error));
        QVERIFY(error.contains(QLatin1String("nowhere")));

        QTemporaryDir broken;
        TestEnv::writeFile(broken.filePath(QStringLiteral("eng.1/scoreboard-202501.json")), "{\"events\": [");
        QVERIFY(!loadRecording(broken.path(), &error));
        QVERIFY2(error.contains(QLatin1String("scoreboard-202501.json")), qPrintable(error));

        QTemporaryDir empty;
        TestEnv::writeFile(empty.filePath(QStringLiteral("eng.1/scoreboard-202501.json")),
                           "{\"events\": []}");
        QVERIFY(!loadRecording(empty.path(), &error));
        QVERIFY(error.contains(QLatin1String("No recorded events")));
    }

    void replay_movesTheRecordingToToday()
    {
        const QDate today(2029, 10, 3);
        const QDateTime now(today, QTime(12, 0));
        const Replay replay(*recording, now, 1.0, 1);
        QCOMPARE(replay.shiftDays(today), int(RECORDED.daysTo(today)));

        const RecordedEvent *past = firstEvent(
            QStringLiteral("fra.1"), [](const RecordedEvent &e) { return e.day == RECORDED.addDays(-7); });
        QVERIFY(past);
        const EventView then = replay.view(*past, now);
        QCOMPARE(then.date, today.addDays(-7));
        QCOMPARE(then.state, QStringLiteral("post"));
        QCOMPARE(then.shortDetail, QStringLiteral("FT"));
        QCOMPARE(then.homeScore, past->homeScore);
        QCOMPARE(then.awayScore, past->awayScore);
        QCOMPARE(then.time, past->time);
        // The recorded season is today's season.
        QCOMPARE(then.season, 2029);

        const RecordedEvent *future = firstEvent(
            QStringLiteral("fra.1"), [](const RecordedEvent &e) { return e.day > RECORDED.addDays(20); });
        QVERIFY(future);
        const EventView later = replay.view(*future, now);
        QCOMPARE(later.state, QStringLiteral("pre"));
        QCOMPARE(later.homeScore, -1);
        QVERIFY(later.shortDetail.endsWith(QStringLiteral(" PM")) ||
                later.shortDetail.endsWith(QStringLiteral(" AM")));
        QCOMPARE(later.dateText(),
                 later.date.toString(Qt::ISODate) + QLatin1Char('T') + later.time + QLatin1Char('Z'));
    }

    void replay_todaysMatchesRunTheirCourse()
    {
        const QDate today = QDate(2027, 1, 16);
        const QDateTime start(today, QTime(13, 0));
        const Replay replay(*recording, start, 1.0, 9);

        std::vector<const RecordedEvent *> todays;
        for (const RecordedEvent &e : recording->events) {
            if (e.day == RECORDED)
                todays.push_back(&e);
        }
        QVERIFY(todays.size() > 30);
        QSet<QString> states;
        for (const RecordedEvent *e : todays) {
            const EventView view = replay.view(*e, start);
            states.insert(view.state);
            QCOMPARE(view.date, today);
            QCOMPARE(QTime::fromString(view.time, QStringLiteral("HH:mm")).minute() % 15, 0);
        }
        QCOMPARE(states, QSet<QString>({"pre", "in", "post"}));

        for (const RecordedEvent *e : todays) {
            const auto final = replay.finalScore(*e);
            QCOMPARE(final, std::make_pair(e->homeScore, e->awayScore)); // the recorded result
            QString previous = QStringLiteral("pre");
            int goals = 0;
            int clock = 0;
            bool sawKickOff = false;
            bool sawHalfTime = false;
            for (int minute = -400; minute <= 400; ++minute) {
                const EventView view = replay.view(*e, start.addSecs(minute * 60));
                // pre, then in, then post; never back.
                const QString order = QStringLiteral("pre in post");
                QVERIFY2(order.indexOf(view.state) >= order.indexOf(previous), qPrintable(e->id));
                if (view.state == QLatin1String("in")) {
                    QVERIFY(view.homeScore + view.awayScore >= goals);
                    QVERIFY(view.clockSeconds >= clock);
                    goals = view.homeScore + view.awayScore;
                    clock = view.clockSeconds;
                    sawKickOff = sawKickOff || view.shortDetail == QLatin1String("1'");
                    sawHalfTime = sawHalfTime || view.shortDetail == QLatin1String("HT");
                }
                if (view.state == QLatin1String("post"))
                    QCOMPARE(std::make_pair(view.homeScore, view.awayScore), final);
                previous = view.state;
            }
            if (previous != QLatin1String("post"))
                continue; // kicks off too late in the day to finish within the loop
            QVERIFY2(sawHalfTime, qPrintable(e->id));
            Q_UNUSED(sawKickOff);
        }
    }

    void replay_speedRunsTheClockFaster()
    {
        const QDate today(2027, 1, 16);
        const QDateTime start(today, QTime(13, 0));
        const Replay normal(*recording, start, 1.0, 9);
        const Replay fast(*recording, start, 10.0, 9);
        for (const RecordedEvent &e : recording->events) {
            if (e.day != RECORDED)
                continue;
            // Six real minutes at ten times the speed are one real hour.
            const EventView quick = fast.view(e, start.addSecs(6 * 60));
            const EventView slow = normal.view(e, start.addSecs(60 * 60));
            QCOMPARE(quick.state, slow.state);
            QCOMPARE(quick.shortDetail, slow.shortDetail);
            QCOMPARE(quick.homeScore, slow.homeScore);
        }
    }

    void table_countsEveryFinishedMatchOnce()
    {
        const QDate today(2027, 1, 16);
        const QDateTime now(today, QTime(23, 58)); // every one of today's matches is over
        const Replay replay(*recording, now.addSecs(-24 * 3600 + 120), 1.0, 1);
        const int season = replay.currentSeason(today);
        const std::vector<TableRow> table = leagueTable(replay, QStringLiteral("bel.1"), season, now);
        QCOMPARE(table.size(), size_t(16));

        int finished = 0;
        for (int index : recording->league(QStringLiteral("bel.1"))->events) {
            const EventView view = replay.view(recording->events.at(size_t(index)), now);
            finished += view.completed ? 1 : 0;
        }
        int played = 0;
        int wins = 0;
        int losses = 0;
        for (size_t i = 0; i < table.size(); ++i) {
            played += table[i].played;
            wins += table[i].wins;
            losses += table[i].losses;
            QCOMPARE(table[i].played, table[i].wins + table[i].draws + table[i].losses);
            if (i > 0)
                QVERIFY(table[i - 1].points() >= table[i].points());
        }
        QCOMPARE(played, 2 * finished);
        QCOMPARE(wins, losses);
        QVERIFY(leagueTable(replay, QStringLiteral("bel.1"), season - 1, now).front().played == 0);
        QVERIFY(leagueTable(replay, QStringLiteral("xxx.9"), season, now).empty());
    }

    void model_readsTheProgramsOwnContext()
    {
        const Match fixture = result(QStringLiteral("2027-01-16"), QStringLiteral("Hull City"), 0, 0,
                                     QStringLiteral("Stoke City"));
        const std::vector<Match> home = {result("2027-01-09", "Hull City", 2, 0, "Millwall"),
                                         result("2027-01-02", "Derby County", 1, 1, "Hull City"),
                                         result("2026-12-26", "Hull City", 3, 1, "Watford")};
        const std::vector<Match> away = {result("2027-01-09", "Stoke City", 0, 2, "Wrexham")};
        const std::vector<Match> h2h = {result("2026-10-01", "Stoke City", 1, 2, "Hull City"),
                                        result("2025-12-01", "Hull City", 2, 2, "Stoke City")};
        const QString context = buildContext(fixture, home, away, h2h);

        const FixtureContext read = readFixtureContext(context);
        QCOMPARE(read.home, QStringLiteral("Hull City"));
        QCOMPARE(read.away, QStringLiteral("Stoke City"));
        QVERIFY(read.homeForm.known);
        QCOMPARE(read.homeForm.letters, QStringLiteral("WDW"));
        QCOMPARE(read.homeForm.scored, 6);
        QCOMPARE(read.homeForm.conceded, 2);
        QCOMPARE(read.awayForm.letters, QStringLiteral("L"));
        QCOMPARE(read.meetings, 2);
        QCOMPARE(read.homeWins, 1);
        QCOMPARE(read.awayWins, 0);
        QCOMPARE(read.callConfidence, -1);

        Prediction call;
        call.outcome = QStringLiteral("HOME");
        call.scoreline = QStringLiteral("2-0");
        call.confidence = 71;
        const FixtureContext withCall = readFixtureContext(reasoningUserText(context, call));
        QCOMPARE(withCall.callOutcome, QStringLiteral("HOME"));
        QCOMPARE(withCall.callScoreline, QStringLiteral("2-0"));
        QCOMPARE(withCall.callConfidence, 71);

        const Reasoning reasoning = reasoningFor(withCall, 4);
        QCOMPARE(reasoning.keyFactors.size(), 4);
        QVERIFY(reasoning.summary.contains(QLatin1String("Hull City")));
        QVERIFY(reasoning.summary.contains(QLatin1String("2-0")));
        QVERIFY(reasoning.summary.contains(QLatin1String("71%")));

        // No results at all: still a full, careful call.
        const Match bare = result(QString(), QStringLiteral("A"), 0, 0, QStringLiteral("B"));
        const FixtureContext empty = readFixtureContext(buildContext(bare, {}, {}, {}));
        QVERIFY(!empty.homeForm.known);
        const QuickCall careful = quickCall(empty, 1);
        QVERIFY(careful.confidence <= 50);
    }

    void model_quickCallsAreConsistentAndFollowTheForm()
    {
        StableRandom random(42);
        QSet<QString> outcomes;
        for (int i = 0; i < 2000; ++i) {
            const FixtureContext context = randomContext(random);
            const QuickCall call = quickCall(context, 5);
            QCOMPARE(call.homeWinPct + call.drawPct + call.awayWinPct, 100);
            QVERIFY(call.homeWinPct >= 0 && call.drawPct >= 0 && call.awayWinPct >= 0);
            const int top = std::max({call.homeWinPct, call.drawPct, call.awayWinPct});
            const int called = call.outcome == QLatin1String("HOME")   ? call.homeWinPct
                               : call.outcome == QLatin1String("AWAY") ? call.awayWinPct
                                                                       : call.drawPct;
            QCOMPARE(called, top);
            const QStringList goals = call.scoreline.split(QLatin1Char('-'));
            const int h = goals.at(0).toInt();
            const int a = goals.at(1).toInt();
            QCOMPARE(call.outcome == QLatin1String("HOME"), h > a);
            QCOMPARE(call.outcome == QLatin1String("AWAY"), a > h);
            QVERIFY(call.confidence >= 35 && call.confidence <= 80);
            QCOMPARE(quickCall(context, 5).scoreline, call.scoreline); // deterministic
            outcomes.insert(call.outcome);
        }
        QCOMPARE(outcomes, QSet<QString>({"HOME", "DRAW", "AWAY"}));

        FixtureContext strongHome;
        strongHome.home = QStringLiteral("Top");
        strongHome.away = QStringLiteral("Bottom");
        strongHome.homeForm = {true, QStringLiteral("WWWWW"), 14, 2};
        strongHome.awayForm = {true, QStringLiteral("LLLLL"), 2, 12};
        QCOMPARE(quickCall(strongHome, 1).outcome, QStringLiteral("HOME"));
        std::swap(strongHome.homeForm, strongHome.awayForm);
        QCOMPARE(quickCall(strongHome, 1).outcome, QStringLiteral("AWAY"));
    }

    void model_answersLikeTheChatCompletionsApi()
    {
        const QDateTime now(QDate(2027, 1, 16), QTime(13, 0));
        const Replay replay(*recording, now, 1.0, 1);
        const ModelReplies model(replay, 1);

        const JsonReply malformed = model.chatCompletion("{not json", now);
        QCOMPARE(malformed.status, 400);
        QVERIFY(!malformed.body.value("error").toObject().value("message").toString().isEmpty());
        QCOMPARE(model.chatCompletion("{\"model\":\"gpt-4o\"}", now).status, 400);

        const QString context = buildContext(result("2027-01-16", "Celtic", 0, 0, "Rangers"),
                                             {result("2027-01-09", "Celtic", 3, 0, "Dundee")},
                                             {result("2027-01-09", "Rangers", 1, 1, "Hibernian")}, {});
        const JsonReply quick = model.chatCompletion(chatBody(QUICK_SYSTEM_PROMPT_BASE, context, true), now);
        QCOMPARE(quick.status, 200);
        QCOMPARE(quick.body.value("model").toString(), QStringLiteral("gpt-4o"));
        const QJsonObject usage = quick.body.value("usage").toObject();
        QVERIFY(usage.value("prompt_tokens").toInt() > 100);
        QVERIFY(usage.value("completion_tokens").toInt() > 0);
        const QJsonObject call = QJsonDocument::fromJson(contentOf(quick.body).toUtf8()).object();
        QCOMPARE(call.keys(), QStringList({"away_win_pct", "confidence", "draw_pct", "home_win_pct",
                                           "outcome", "scoreline"}));

        Prediction made;
        made.outcome = call.value("outcome").toString();
        made.scoreline = call.value("scoreline").toString();
        made.confidence = call.value("confidence").toInt();
        const JsonReply reasoning = model.chatCompletion(
            chatBody(reasoningSystemPrompt(4), reasoningUserText(context, made), true), now);
        const QJsonObject explained = QJsonDocument::fromJson(contentOf(reasoning.body).toUtf8()).object();
        QCOMPARE(explained.value("key_factors").toArray().size(), 4);
        QVERIFY(explained.value("summary").toString().contains(made.scoreline));

        const JsonReply chat =
            model.chatCompletion(chatBody(QStringLiteral("You are Tolvo"),
                                          QStringLiteral("What do you make of Heart of Midlothian?"), false),
                                 now);
        const QString answer = contentOf(chat.body);
        QVERIFY2(answer.contains(QLatin1String("Heart of Midlothian")) &&
                     answer.contains(QLatin1String("Next up")),
                 qPrintable(answer));
        const QString topic = model.chatAnswer(QStringLiteral("Why do goalkeepers wear gloves?"), now);
        QVERIFY2(topic.contains(QLatin1String("Why do goalkeepers wear gloves")), qPrintable(topic));
        QVERIFY(!model.chatAnswer(QStringLiteral("   "), now).isEmpty());
    }

    void routes_answerLikeEspnAndRefuseTheRest()
    {
        QString error;
        std::optional<Recording> copy = loadRecording(dir.path(), &error);
        QVERIFY(copy.has_value());
        const QDateTime now(QDate(2027, 1, 16), QTime(13, 0));
        DevStub stub(std::move(*copy), now, {1.0, 1, 250});
        stub.setBaseUrl(QStringLiteral("http://127.0.0.1:8765"));
        const QString site = QStringLiteral("/apis/site/v2/sports/soccer/");

        const StubResponse day =
            stub.respond(get(site + QStringLiteral("eng.1/scoreboard?dates=20270116&limit=2")), now);
        QCOMPARE(day.status, 200);
        QCOMPARE(day.delayMs, 250);
        const QJsonArray events = jsonOf(day).value("events").toArray();
        QCOMPARE(events.size(), 2);
        QCOMPARE(jsonOf(day).value("day").toObject().value("date").toString(), QStringLiteral("2027-01-16"));
        const QJsonObject team = events.at(0)
                                     .toObject()
                                     .value("competitions")
                                     .toArray()
                                     .at(0)
                                     .toObject()
                                     .value("competitors")
                                     .toArray()
                                     .at(0)
                                     .toObject()
                                     .value("team")
                                     .toObject();
        QVERIFY(team.value("logo").toString().startsWith(QStringLiteral("http://127.0.0.1:8765/crests/")));

        const StubResponse month =
            stub.respond(get(site + QStringLiteral("eng.1/scoreboard?dates=202702")), now);
        for (const QJsonValue &event : jsonOf(month).value("events").toArray())
            QVERIFY(event.toObject().value("date").toString().startsWith(QLatin1String("2027-02-")));
        QVERIFY(jsonOf(month).value("events").toArray().size() >= 30);

        // An odd Host is not echoed into the crest addresses.
        const StubResponse odd = stub.respond(
            get(site + QStringLiteral("eng.1/scoreboard?dates=20270116"), "evil.example/x\"y"), now);
        QVERIFY(!odd.body.contains("evil"));
        QVERIFY(odd.body.contains("http://127.0.0.1:8765/crests/"));

        QCOMPARE(stub.respond(get(site + QStringLiteral("eng.1/scoreboard?dates=2027-01-16")), now).status,
                 400);
        QCOMPARE(stub.respond(get(site + QStringLiteral("xyz.1/scoreboard")), now).status, 400);
        QCOMPARE(stub.respond(get(site + QStringLiteral("all/summary")), now).status, 400);
        QCOMPARE(stub.respond(get(site + QStringLiteral("all/summary?event=1")), now).status, 404);
        QCOMPARE(stub.respond(get(QStringLiteral("/apis/site/v2/nothing")), now).status, 404);
        QCOMPARE(stub.respond(post(site + QStringLiteral("eng.1/scoreboard"), "{}"), now).status, 405);
        QCOMPARE(stub.respond(get(QStringLiteral("/v1/chat/completions")), now).status, 405);
        QCOMPARE(stub.respond(get(QStringLiteral("/crests/..%2Fetc.png")), now).status, 404);

        const StubResponse index = stub.respond(get(QStringLiteral("/")), now);
        QVERIFY(index.contentType.startsWith("text/plain"));
        QVERIFY(index.body.contains("TOLVO_ESPN_HOST=http://127.0.0.1:8765"));

        const QString id = stub.recording().league(QStringLiteral("sco.1"))->teamIds.first();
        const StubResponse crest = stub.respond(get(QStringLiteral("/crests/%1.png").arg(id)), now);
        QCOMPARE(crest.contentType, QByteArray("image/png"));
        const QImage image = QImage::fromData(crest.body, "PNG");
        QCOMPARE(image.size(), QSize(96, 96));
        QVERIFY(image.pixelColor(0, 0).alpha() == 0);     // transparent corner
        QVERIFY(image.pixelColor(48, 48).alpha() == 255); // solid middle
        QCOMPARE(stub.respond(get(QStringLiteral("/crests/%1-dark.png").arg(id)), now).body, crest.body);
    }

    void routes_aRecordingOfOneLeagueStillAnswersEveryTrackedLeague()
    {
        QTemporaryDir partial;
        QDir().mkpath(partial.filePath(QStringLiteral("sco.1")));
        const QDir source(dir.filePath(QStringLiteral("sco.1")));
        for (const QString &file : source.entryList(QDir::Files))
            QVERIFY(QFile::copy(source.filePath(file), partial.filePath(QStringLiteral("sco.1/") + file)));
        QString error;
        std::optional<Recording> one = loadRecording(partial.path(), &error);
        QVERIFY2(one.has_value(), qPrintable(error));
        QCOMPARE(one->recordedOn, RECORDED); // the last day with results, without devstub.json

        const QDateTime now(QDate(2027, 1, 16), QTime(13, 0));
        DevStub stub(std::move(*one), now, {});
        const QString site = QStringLiteral("/apis/site/v2/sports/soccer/");
        const StubResponse scottish =
            stub.respond(get(site + QStringLiteral("sco.1/scoreboard?dates=20270116")), now);
        QVERIFY(!jsonOf(scottish).value("events").toArray().isEmpty());
        const StubResponse german =
            stub.respond(get(site + QStringLiteral("ger.1/scoreboard?dates=20270116")), now);
        QCOMPARE(german.status, 200);
        QVERIFY(jsonOf(german).value("events").toArray().isEmpty());
        QCOMPARE(stub.respond(get(site + QStringLiteral("ger.1/teams/1/schedule?season=2026")), now).status,
                 200);
        QCOMPARE(stub.respond(get(QStringLiteral("/apis/v2/sports/soccer/ger.1/standings")), now).status,
                 200);
        QCOMPARE(stub.respond(get(site + QStringLiteral("zzz.9/scoreboard")), now).status, 400);
    }

    void server_forgetsTheHalfRequestOfAClientThatLeft()
    {
        // The stub runs for hours as a tool: a client that hangs up halfway
        // through a request must not leave bytes behind for the next one.
        StubServer server;
        server.route(QStringLiteral("/ok"), StubResponse::json("{}"));
        server.setRecordRequests(false);
        for (int i = 0; i < 40; ++i) {
            {
                QTcpSocket quitter;
                quitter.connectToHost(QHostAddress::LocalHost, server.port());
                QVERIFY(quitter.waitForConnected(5000));
                quitter.write("GET /half HTTP/1.1\r\nHost: 127.0.0.1\r\n");
                QVERIFY(quitter.waitForBytesWritten(5000));
                QTest::qWait(5); // let the server read the half request
                quitter.disconnectFromHost();
            }
            QTest::qWait(5);
            QCOMPARE(testHttp("GET", server.baseUrl() + QStringLiteral("/ok")).status, 200);
        }
        QVERIFY(server.requests().isEmpty());

        StubServer second(server.port()); // the port is taken
        QVERIFY(!second.isListening());
        QVERIFY(!second.errorString().isEmpty());
    }

    void fold_ignoresCaseAndAccents()
    {
        QCOMPARE(EspnReplies::fold(QString::fromUtf8("Atl\xc3\xa9tico  MADRID")),
                 QStringLiteral("atletico madrid"));
        QCOMPARE(EspnReplies::fold(QString::fromUtf8("Be\xc5\x9fikta\xc5\x9f")), QStringLiteral("besiktas"));
        QCOMPARE(EspnReplies::fold(QString::fromUtf8("Gen\xc3\xa7lerbirli\xc4\x9fi")),
                 QStringLiteral("genclerbirligi"));
        QCOMPARE(EspnReplies::fold(QString::fromUtf8("Kas\xc4\xb1mpa\xc5\x9f"
                                                     "a")),
                 QStringLiteral("kasimpasa"));
        QCOMPARE(EspnReplies::fold(QString::fromUtf8("Preu\xc3\x9f"
                                                     "en M\xc3\xbcnster")),
                 QStringLiteral("preussen munster"));
    }
};

QTEST_MAIN(TestDevStubParts)
#include "tst_devstubparts.moc"
