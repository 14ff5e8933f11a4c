#include "ai/Pricing.h"
#include "app/Paths.h"
#include "model/HistoryStore.h"
#include "model/HistoryTransfer.h"
#include "stubserver/StubServer.h"
#include "support/ModelServers.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

const QString SITE = QStringLiteral("/apis/site/v2/sports/soccer/");
const QString CORE = QStringLiteral("/apis/v2/sports/soccer/");
const QString SEARCH = QStringLiteral("/apis/common/v3/search");
const QString CHAT = QStringLiteral("/v1/chat/completions");

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;

    QJsonValue json() const
    {
        const QJsonDocument doc = QJsonDocument::fromJson(out);
        return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    }
};

QJsonObject team(const QString &id, const QString &name)
{
    return {{"id", id},
            {"displayName", name},
            {"logos", QJsonArray{QJsonObject{{"href", QString("https://crests.test/" + id + ".png")}}}}};
}

QJsonObject competition(const QString &date, const QString &state, const QString &homeScore,
                        const QString &awayScore)
{
    const bool over = state == QLatin1String("post");
    return {{"date", date},
            {"competitors",
             QJsonArray{
                 QJsonObject{{"homeAway", "home"}, {"team", team("359", "Arsenal")}, {"score", homeScore}},
                 QJsonObject{{"homeAway", "away"}, {"team", team("363", "Chelsea")}, {"score", awayScore}}}},
            {"status", QJsonObject{{"type", QJsonObject{{"state", state},
                                                        {"completed", over},
                                                        {"shortDetail", over ? "FT" : "Scheduled"}}}}}};
}

QByteArray events(const QJsonArray &list)
{
    return QJsonDocument(QJsonObject{{"events", list}}).toJson(QJsonDocument::Compact);
}

QJsonObject eventJson(const QString &id, const QString &date, const QString &state, const QString &home,
                      const QString &away)
{
    return {{"id", id}, {"date", date}, {"competitions", QJsonArray{competition(date, state, home, away)}}};
}

QByteArray summaryReply(const QString &date, const QString &state, const QString &home, const QString &away)
{
    const QJsonObject header{{"league", QJsonObject{{"name", "Premier League"}}},
                             {"competitions", QJsonArray{competition(date, state, home, away)}}};
    return QJsonDocument(QJsonObject{{"header", header}}).toJson(QJsonDocument::Compact);
}

QByteArray searchReply(const QString &id, const QString &name)
{
    const QJsonObject item{
        {"type", "team"}, {"id", id}, {"displayName", name}, {"defaultLeagueSlug", "eng.1"}};
    return QJsonDocument(QJsonObject{{"items", QJsonArray{item}}}).toJson(QJsonDocument::Compact);
}

QByteArray modelReply()
{
    const QJsonObject content{{"outcome", "HOME"},
                              {"home_win_pct", 52},
                              {"draw_pct", 26},
                              {"away_win_pct", 22},
                              {"scoreline", "2-1"},
                              {"confidence", 71},
                              {"summary", "Arsenal's home form decides it."},
                              {"key_factors", QJsonArray{"Home form", "Chelsea injuries"}}};
    const QJsonObject reply{
        {"choices",
         QJsonArray{QJsonObject{
             {"message", QJsonObject{{"role", "assistant"},
                                     {"content", QString::fromUtf8(QJsonDocument(content).toJson())}}}}}},
        {"usage", QJsonObject{{"prompt_tokens", 1200}, {"completion_tokens", 150}}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QByteArray standingsReply()
{
    auto entry = [](const QString &rank, const QString &name, const QString &points) {
        QJsonArray stats;
        const QList<QPair<QString, QString>> values = {
            {"rank", rank},   {"gamesPlayed", "38"},        {"wins", "20"},    {"ties", "5"},
            {"losses", "13"}, {"pointDifferential", "+12"}, {"points", points}};
        for (const auto &v : values)
            stats.append(QJsonObject{{"name", v.first}, {"displayValue", v.second}});
        return QJsonObject{{"team", QJsonObject{{"displayName", name}}}, {"stats", stats}};
    };
    const QJsonObject child{
        {"standings",
         QJsonObject{{"entries", QJsonArray{entry("2", "Arsenal", "74"), entry("1", "Liverpool", "84")}}}}};
    return QJsonDocument(QJsonObject{{"children", QJsonArray{child}}}).toJson(QJsonDocument::Compact);
}

QString isoIn(int days, const QString &time = QStringLiteral("15:00"))
{
    return QDate::currentDate().addDays(days).toString(Qt::ISODate) + QLatin1Char('T') + time +
           QLatin1Char('Z');
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> espn;
    std::unique_ptr<StubServer> model;
    QProcessEnvironment processEnv;

    Run cli(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        process.setProcessEnvironment(processEnv);
        process.start(QStringLiteral(TOLVO_CLI_BINARY), arguments);
        process.write(input);
        process.closeWriteChannel();
        Run run;
        if (!process.waitForFinished(60000))
            process.kill();
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>(TestEnv::QtTestMode::Off);
        espn = std::make_unique<StubServer>();
        model = std::make_unique<StubServer>();
        processEnv = QProcessEnvironment::systemEnvironment();
        processEnv.insert(QStringLiteral("TOLVO_ESPN_HOST"), espn->baseUrl());
        processEnv.insert(QStringLiteral("TOLVO_ESPN_SEARCH_HOST"), espn->baseUrl());
        processEnv.insert(QStringLiteral("TOLVO_OPENAI_BASE"), model->baseUrl());
        processEnv.insert(QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-test"));
        // No relay, whatever relay the build carries.
        processEnv.insert(QStringLiteral("TOLVO_RELAY_URL"), QString());
        processEnv.insert(QStringLiteral("TOLVO_RELAY_TOKEN"), QString());

        espn->setFallback([](const StubRequest &) { return StubResponse::json(events({})); });
        espn->route(SEARCH, QUrlQuery(QStringLiteral("query=arsenal")),
                    StubResponse::json(searchReply("359", "Arsenal")));
        espn->route(SEARCH, QUrlQuery(QStringLiteral("query=chelsea")),
                    StubResponse::json(searchReply("363", "Chelsea")));
        espn->route(SITE + QStringLiteral("eng.1/scoreboard"),
                    StubResponse::json(events({eventJson("next-1", isoIn(5), "pre", "0", "0")})));
        espn->route(SITE + QStringLiteral("all/summary"), QUrlQuery(QStringLiteral("event=done-1")),
                    StubResponse::json(summaryReply(isoIn(-3), "post", "3", "0")));
        model->route(CHAT, StubResponse::json(modelReply()));
    }

    void cleanup()
    {
        model.reset();
        espn.reset();
        env.reset();
    }

    void usageAndVersion()
    {
        const Run version = cli({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QByteArray("tolvo-cli 1.5.5\n"));

        const Run none = cli({});
        QCOMPARE(none.status, 2);
        QVERIFY(none.err.contains("usage: tolvo-cli"));
        QVERIFY(none.out.isEmpty());

        QCOMPARE(cli({QStringLiteral("predicts")}).status, 2);
        QCOMPARE(cli({QStringLiteral("fixtures"), QStringLiteral("--limit"), QStringLiteral("many")}).status,
                 2);
        QCOMPARE(cli({QStringLiteral("h2h"), QStringLiteral("Arsenal")}).status, 2);
        const Run format = cli({QStringLiteral("search"), QStringLiteral("Arsenal")});
        QCOMPARE(format.status, 2);
        QVERIFY(format.err.contains("Use the format: Team1 vs Team2"));
        QVERIFY(espn->requests().isEmpty());

        const Run help = cli({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("standings LEAGUE"));
    }

    void listings_haveTheirJsonShapes()
    {
        const Run leagues = cli({QStringLiteral("--json"), QStringLiteral("leagues")});
        QCOMPARE(leagues.status, 0);
        QCOMPARE(leagues.json().toArray().size(), 11);
        QCOMPARE(leagues.json().toArray().at(0).toObject().keys(), QStringList({"country", "name", "slug"}));

        const Run fixtures =
            cli({QStringLiteral("fixtures"), QStringLiteral("--json"), QStringLiteral("--limit"),
                 QStringLiteral("5"), QStringLiteral("--days"), QStringLiteral("10")});
        QCOMPARE(fixtures.status, 0);
        const QJsonArray list = fixtures.json().toArray();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).toObject().size(), 16);
        QCOMPARE(list.at(0).toObject().value("id").toString(), QStringLiteral("next-1"));
        QCOMPARE(list.at(0).toObject().value("home_badge").toString(),
                 QStringLiteral("https://crests.test/359.png"));

        const Run today = cli({QStringLiteral("today"), QStringLiteral("--json")});
        QCOMPARE(today.status, 0);
        QVERIFY(today.json().isArray());
        QCOMPARE(espn->count(SITE + QStringLiteral("sco.1/scoreboard")), 1); // every tracked league asked

        const Run search =
            cli({QStringLiteral("--json"), QStringLiteral("search"), QStringLiteral("Arsenal vs Chelsea")});
        QCOMPARE(search.status, 0);
        QCOMPARE(search.json().toObject().value("match").toObject().value("id").toString(),
                 QStringLiteral("next-1"));
        QCOMPARE(search.json().toObject().value("hypothetical").toBool(true), false);

        const Run text = cli({QStringLiteral("fixtures")});
        QCOMPARE(text.status, 0);
        QVERIFY(text.out.contains("Arsenal"));
        QVERIFY(text.out.contains("Home"));
    }

    void standings_bySeasonWithLabel()
    {
        espn->route(CORE + QStringLiteral("eng.1/standings"), StubResponse::json(standingsReply()));
        const Run run = cli({QStringLiteral("standings"), QStringLiteral("eng.1"), QStringLiteral("--season"),
                             QStringLiteral("2024"), QStringLiteral("--json")});
        QCOMPARE(run.status, 0);
        const QJsonObject table = run.json().toObject();
        QCOMPARE(table.value("season").toString(), QStringLiteral("2024-2025"));
        const QJsonArray rows = table.value("rows").toArray();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).toObject().value("team").toString(), QStringLiteral("Liverpool"));
        QCOMPARE(rows.at(0).toObject().keys(), QStringList({"gamesPlayed", "losses", "pointDifferential",
                                                            "points", "rank", "team", "ties", "wins"}));
        QCOMPARE(espn->requestsTo(CORE + QStringLiteral("eng.1/standings")).first().rawQuery,
                 QStringLiteral("season=2024"));
    }

    void predictHistoryCheckStats_endToEnd()
    {
        const Run predict =
            cli({QStringLiteral("predict"), QStringLiteral("Arsenal vs Chelsea"), QStringLiteral("--depth"),
                 QStringLiteral("quick"), QStringLiteral("--reasoning"), QStringLiteral("--json")});
        QVERIFY2(predict.status == 0, predict.err.constData());
        const QJsonObject prediction = predict.json().toObject().value("prediction").toObject();
        QCOMPARE(prediction.value("outcome").toString(), QStringLiteral("HOME"));
        QCOMPARE(prediction.value("match_id").toString(), QStringLiteral("next-1"));
        QCOMPARE(prediction.value("summary").toString(), QStringLiteral("Arsenal's home form decides it."));
        QVERIFY(prediction.value("cost_gbp").toDouble() > 0);
        QVERIFY(predict.json().toObject().value("context").toString().contains(QStringLiteral("Arsenal")));
        QCOMPARE(model->count(CHAT), 2);
        QCOMPARE(model->requestsTo(CHAT).first().header("authorization"), QByteArray("Bearer sk-test"));

        // The desktop program's own store reads what the tool wrote.
        const QList<Prediction> stored = HistoryStore(historyDatabasePath()).all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, prediction.value("id").toString());
        QCOMPARE(stored.first().key_factors.size(), 2);

        const Run history = cli({QStringLiteral("history"), QStringLiteral("--json")});
        QCOMPARE(history.json().toArray().size(), 1);

        // Not played yet: the check skips it.
        espn->route(SITE + QStringLiteral("all/summary"), QUrlQuery(QStringLiteral("event=next-1")),
                    StubResponse::json(summaryReply(isoIn(5), "pre", "0", "0")));
        const Run early = cli({QStringLiteral("check"), QStringLiteral("--json")});
        QCOMPARE(early.status, 0);
        QCOMPARE(early.json().toObject().value("skipped").toInt(), 1);
        const QJsonObject skipped = early.json().toObject().value("results").toArray().at(0).toObject();
        QCOMPARE(skipped.value("ok").toBool(true), false);
        QCOMPARE(skipped.value("message").toString(), QStringLiteral("This fixture hasn't kicked off yet."));

        espn->route(SITE + QStringLiteral("all/summary"), QUrlQuery(QStringLiteral("event=next-1")),
                    StubResponse::json(summaryReply(isoIn(5), "post", "2", "0")));
        const Run check = cli({QStringLiteral("check")});
        QCOMPARE(check.status, 0);
        QVERIFY2(check.out.contains("1 checked (1 correct, 0 wrong)"), check.out.constData());
        QCOMPARE(HistoryStore(historyDatabasePath()).all().first().actual_home_score, 2);

        const Run stats = cli({QStringLiteral("stats"), QStringLiteral("--json")});
        const QJsonObject s = stats.json().toObject();
        QCOMPARE(s.value("total").toInt(), 1);
        QCOMPARE(s.value("checked").toInt(), 1);
        QCOMPARE(s.value("correct").toInt(), 1);
        QCOMPARE(s.value("confidentCorrect").toInt(), 1);
        QCOMPARE(s.value("leagues").toArray().at(0).toObject().value("checked").toInt(), 1);

        // Nothing left to check afterwards.
        const Run again = cli({QStringLiteral("check"), QStringLiteral("--json")});
        QCOMPARE(again.json().toObject().value("results").toArray().size(), 0);

        // As text, the cost reads in pounds like everywhere else.
        const Run text = cli({QStringLiteral("predict"), QStringLiteral("Arsenal vs Chelsea")});
        QCOMPARE(text.status, 0);
        QVERIFY2(QString::fromUtf8(text.out).contains(
                     QStringLiteral("Model:       gpt-4o-mini, ") +
                     formatGbp(costGbp(QStringLiteral("gpt-4o-mini"), 1200, 150))),
                 text.out.constData());
    }

    void stats_scoresTheProbabilities_besideBaselinesAndMarket()
    {
        const Run empty = cli({QStringLiteral("stats"), QStringLiteral("--json")});
        const QJsonObject none = empty.json().toObject();
        QVERIFY(none.value("scoring").toObject().value("rps").isNull());
        QVERIFY(none.value("baselines").toObject().value("market").toObject().value("verdict").isNull());

        HistoryStore store(historyDatabasePath());
        // Model 50/30/20 each time; the bookmakers' home and draw figures vary.
        for (const auto &[home, away, kickoff, marketHome, marketDraw] :
             {std::make_tuple(2, 0, "pre", 60.0, 25.0), std::make_tuple(1, 1, "", 40.0, 30.0),
              std::make_tuple(0, 1, "in", 40.0, 30.0)}) {
            Prediction p;
            p.home_win_pct = 50;
            p.draw_pct = 30;
            p.away_win_pct = 20;
            p.actual_home_score = home;
            p.actual_away_score = away;
            p.kickoff_state = QString::fromLatin1(kickoff);
            p.market_home_pct = marketHome;
            p.market_draw_pct = marketDraw;
            p.market_away_pct = 100 - marketHome - marketDraw;
            store.add(p);
        }
        const QJsonObject s = cli({QStringLiteral("stats"), QStringLiteral("--json")}).json().toObject();
        QCOMPARE(s.value("checked").toInt(), 3); // the hit-rate figures still count every call
        QCOMPARE(s.value("scoring").toObject().value("n").toInt(), 2);
        const QJsonObject market = s.value("baselines").toObject().value("market").toObject();
        QCOMPARE(market.value("n").toInt(), 2);
        QVERIFY(market.value("z").isDouble());
        QCOMPARE(market.value("verdict").toString(), QStringLiteral("behind the market"));
        const QJsonArray calibration = s.value("calibration").toArray();
        QCOMPARE(calibration.size(), 10);
        QCOMPARE(calibration.at(9).toObject().value("to").toInt(), 100);
        QVERIFY(calibration.at(9).toObject().value("mean_pct").isNull());
        QCOMPARE(s.value("draws").toObject().value("observed_pct").toDouble(), 50.0);
        QCOMPARE(s.value("in_play").toObject().value("n").toInt(), 1);

        const QString text = QString::fromUtf8(cli({QStringLiteral("stats")}).out);
        QVERIFY2(text.contains(QStringLiteral("RPS / Brier / log loss: 0.145 / 0.580 / 0.949 on 2 (base rate "
                                              "0.165 / 0.638 / 1.062)")),
                 qPrintable(text));
        QVERIFY(text.contains(QString::fromUtf8("Versus the bookmakers: RPS 0.145 vs 0.108 on 2 matches "
                                                "\xE2\x80\x94 behind the market")));
    }

    void predictionsFromManyProcesses_areAllKept()
    {
        // Eight predictions at once while the program's own store adds too.
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < 8; ++i) {
            processes.push_back(std::make_unique<QProcess>());
            processes.back()->setProcessEnvironment(processEnv);
            processes.back()->start(QStringLiteral(TOLVO_CLI_BINARY),
                                    {"--json", "predict", "Arsenal vs Chelsea"});
        }
        HistoryStore store(historyDatabasePath());
        QStringList ids;
        auto running = [&]() {
            for (auto &process : processes) {
                if (process->state() != QProcess::NotRunning && !process->waitForFinished(5))
                    return true;
            }
            return false;
        };
        do {
            const Prediction p = Prediction::freshlyCreated();
            store.add(p);
            ids.append(p.id);
        } while (running());
        for (auto &process : processes) {
            QCOMPARE(process->exitCode(), 0);
            const QJsonObject out = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
            ids.append(out.value("prediction").toObject().value("id").toString());
        }
        QStringList stored;
        for (const Prediction &p : HistoryStore(historyDatabasePath()).all())
            stored.append(p.id);
        QCOMPARE(stored.size(), ids.size());
        for (const QString &id : ids)
            QVERIFY2(stored.contains(id), qPrintable(id));
    }

    void historyAll_exportAndImport_throughTheTool()
    {
        QJsonArray entries;
        for (int i = 0; i < 250; ++i)
            entries.append(
                QJsonObject{{"id", QStringLiteral("p%1").arg(i)}, {"match_label", "Arsenal, Chelsea"}});
        HistoryStore store(historyDatabasePath());
        store.importEntries(entries);
        QCOMPARE(cli({"--json", "history"}).json().toArray().size(), 200);
        const QJsonArray all = cli({"--json", "history", "--limit", "0"}).json().toArray();
        QCOMPARE(all.size(), 250);
        QCOMPARE(all.first().toObject().value("id").toString(), QStringLiteral("p0"));

        const QString file = env->root() + QStringLiteral("/history.csv");
        QCOMPARE(cli({"export", file}).status, 0);
        store.importEntries({QJsonObject{{"id", "p0"}, {"match_label", "changed"}}});
        store.add(Prediction::freshlyCreated());
        const Run imported = cli({"--json", "import", file});
        QCOMPARE(imported.status, 0);
        QCOMPARE(imported.json().toObject().value("updated").toInt(), 250);
        QCOMPARE(store.count(), 251);
        QCOMPARE(store.find({}, 1, 1).first().match_label, QStringLiteral("Arsenal, Chelsea"));
        QCOMPARE(cli({"import", env->root() + QStringLiteral("/none.json")}).status, 1);
    }

    void failures_exitOneWithTheirMessage()
    {
        const Run finished =
            cli({QStringLiteral("predict"), QStringLiteral("--event"), QStringLiteral("done-1")});
        QCOMPARE(finished.status, 1);
        QCOMPARE(QString::fromUtf8(finished.err).trimmed(),
                 QString::fromUtf8("This match has finished \xE2\x80\x94 there's nothing left to predict."));
        QCOMPARE(model->count(CHAT), 0);

        processEnv.remove(QStringLiteral("OPENAI_API_KEY"));
        const Run noKey = cli({QStringLiteral("predict"), QStringLiteral("Arsenal vs Chelsea")});
        QCOMPARE(noKey.status, 1);
        QVERIFY(noKey.err.contains("No OpenAI API key configured. Add one in Settings."));
        QVERIFY(!QFile::exists(historyDatabasePath()));

        espn->route(SITE + QStringLiteral("ger.1/scoreboard"), StubResponse::error(500));
        const Run broken = cli({QStringLiteral("fixtures"), QStringLiteral("ger.1")});
        QCOMPARE(broken.status, 1);
        QVERIFY(!broken.err.trimmed().isEmpty());
        QVERIFY(broken.out.isEmpty());

        const Run unknown = cli({QStringLiteral("check"), QStringLiteral("no-such-id")});
        QCOMPARE(unknown.status, 1);
    }

    void predict_onAnyModelServer_data() { ModelServers::addRows(); }

    void predict_onAnyModelServer()
    {
        QFETCH(QString, kind);
        QFETCH(QString, content);
        QFETCH(bool, usage);
        QFETCH(QString, outcome);
        QFETCH(QList<int>, chances);
        QFETCH(QString, scoreline);
        model->route(CHAT, ModelServers::server(kind, content, usage));
        processEnv.remove(QStringLiteral("TOLVO_OPENAI_BASE"));
        processEnv.remove(QStringLiteral("OPENAI_API_KEY"));
        QCOMPARE(cli({"config", "set", "openai_base_url", model->baseUrl()}).status, 0);
        QCOMPARE(cli({"config", "set", "openai_model", "qwen2.5-7b-instruct"}).status, 0);
        // Checked before predicting, so that nothing can leave for the real service.
        QCOMPARE(cli({"--json", "config"}).json().toObject().value("service_address").toString(),
                 model->baseUrl());

        const Run run = cli({"predict", "Arsenal vs Chelsea"});
        QVERIFY2(run.status == 0, run.err.constData());
        const QString text = QString::fromUtf8(run.out);
        QVERIFY2(text.contains(QStringLiteral("Call:        %1, %2").arg(outcome, scoreline)),
                 run.out.constData());
        QVERIFY(text.contains(
            QStringLiteral("home %1%  draw %2%  away %3%").arg(chances[0]).arg(chances[1]).arg(chances[2])));
        QVERIFY(text.contains(QStringLiteral("Model:       qwen2.5-7b-instruct, price unknown")));
        QCOMPARE(HistoryStore(historyDatabasePath()).all().first().cost_gbp, 0.0);
    }

    void config_andModels()
    {
        model->route(QStringLiteral("/v1/models"),
                     StubResponse::json(R"({"data":[{"id":"qwen2.5-7b-instruct"},{"id":"llama3.1:8b"}]})"));
        const Run models = cli({"models", "--json"});
        QCOMPARE(models.json().toArray(), (QJsonArray{"qwen2.5-7b-instruct", "llama3.1:8b"}));
        QCOMPARE(model->requestsTo(QStringLiteral("/v1/models")).first().header("authorization"),
                 QByteArray("Bearer sk-test"));

        processEnv.insert(QStringLiteral("OPENAI_API_KEY"), QStringLiteral("sk-proj-abcdefgh1234"));
        QJsonObject shown = cli({"config", "--json"}).json().toObject();
        QCOMPARE(shown.value("openai_api_key").toString(), QString::fromUtf8("sk-…1234"));
        QCOMPARE(shown.value("api_key_source").toString(), QStringLiteral("environment"));

        const Run refused = cli({"config", "set", "openai_base_url", "ftp://models.example"});
        QCOMPARE(refused.status, 1);
        QCOMPARE(cli({"config", "set", "thinking_depth", "ultra"}).status, 1);
        QCOMPARE(cli({"config", "set", "theme", "light"}).status, 2);

        // No keychain in the tests' environment: the file keeps the key.
        processEnv.remove(QStringLiteral("OPENAI_API_KEY"));
        const Run stored = cli({"config", "set", "openai_api_key", "-"}, "sk-pasted-key-9876\n");
        QVERIFY(stored.out.contains("kept in settings.json"));
        shown = cli({"config", "--json"}).json().toObject();
        QCOMPARE(shown.value("api_key_source").toString(), QStringLiteral("file"));
        QCOMPARE(shown.value("openai_api_key").toString(), QString::fromUtf8("sk-…9876"));
        const QJsonObject file = QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
        QCOMPARE(file.value("openai_base_url").toString(), QString());
        QVERIFY(!TestEnv::readFile(settingsFilePath()).contains("abcdefgh"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
