#include "ai/Pricing.h"
#include "app/Paths.h"
#include "data/EspnFixtures.h"
#include "model/HistoryStore.h"
#include "model/HistoryTransfer.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString SITE = u"/apis/site/v2/sports/soccer/"_s;
const QString SEARCH = u"/apis/common/v3/search"_s;
const QString CHAT = u"/v1/chat/completions"_s;

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

const QJsonObject ARSENAL = fixtures::team("359", "Arsenal"), CHELSEA = fixtures::team("363", "Chelsea");

QJsonObject match(const QString &id, const QString &date, const QString &state, int home, int away)
{
    return state == "post"_L1 ? fixtures::finished(id, date, ARSENAL, CHELSEA, home, away)
                              : fixtures::scheduled(id, date, ARSENAL, CHELSEA);
}

QByteArray summaryReply(const QString &date, const QString &state, int home, int away)
{
    const QJsonObject header{{"league", QJsonObject{{"name", "Premier League"}}},
                             {"competitions", match("", date, state, home, away).value("competitions")}};
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

QString isoIn(int days, const QString &time = u"15:00"_s)
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
        processEnv.insert(u"TOLVO_ESPN_HOST"_s, espn->baseUrl());
        processEnv.insert(u"TOLVO_ESPN_SEARCH_HOST"_s, espn->baseUrl());
        processEnv.insert(u"TOLVO_OPENAI_BASE"_s, model->baseUrl());
        processEnv.insert(u"OPENAI_API_KEY"_s, u"sk-test"_s);
        // No relay, whatever relay the build carries.
        processEnv.insert(u"TOLVO_RELAY_URL"_s, QString());
        processEnv.insert(u"TOLVO_RELAY_TOKEN"_s, QString());

        espn->setFallback([](const StubRequest &) { return StubResponse::json(fixtures::eventsReply({})); });
        espn->route(SEARCH, QUrlQuery(u"query=arsenal"_s), StubResponse::json(searchReply("359", "Arsenal")));
        espn->route(SEARCH, QUrlQuery(u"query=chelsea"_s), StubResponse::json(searchReply("363", "Chelsea")));
        espn->route(SITE + u"eng.1/scoreboard"_s,
                    StubResponse::json(fixtures::eventsReply({match("next-1", isoIn(5), "pre", 0, 0)})));
        espn->route(SITE + u"all/summary"_s, QUrlQuery(u"event=done-1"_s),
                    StubResponse::json(summaryReply(isoIn(-3), "post", 3, 0)));
        model->route(CHAT, StubResponse::json(modelReply()));
    }

    void cleanup()
    {
        model.reset();
        espn.reset();
        env.reset();
    }

    void predictHistoryCheckStats_endToEnd()
    {
        const Run predict = cli(
            {u"predict"_s, u"Arsenal vs Chelsea"_s, u"--depth"_s, u"quick"_s, u"--reasoning"_s, u"--json"_s});
        QVERIFY2(predict.status == 0, predict.err.constData());
        const QJsonObject prediction = predict.json().toObject().value("prediction").toObject();
        QCOMPARE(prediction.value("outcome").toString(), u"HOME"_s);
        QCOMPARE(prediction.value("match_id").toString(), u"next-1"_s);
        QCOMPARE(prediction.value("summary").toString(), u"Arsenal's home form decides it."_s);
        QVERIFY(prediction.value("cost_gbp").toDouble() > 0);
        QCOMPARE(model->count(CHAT), 2);
        QCOMPARE(model->requestsTo(CHAT).first().header("authorization"), QByteArray("Bearer sk-test"));

        // The desktop program's own store reads what the tool wrote.
        const QList<Prediction> stored = HistoryStore(historyDatabasePath()).all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, prediction.value("id").toString());

        // Not played yet: the check skips it.
        espn->route(SITE + u"all/summary"_s, QUrlQuery(u"event=next-1"_s),
                    StubResponse::json(summaryReply(isoIn(5), "pre", 0, 0)));
        const Run early = cli({u"check"_s, u"--json"_s});
        QCOMPARE(early.status, 0);
        QCOMPARE(early.json().toObject().value("skipped").toInt(), 1);
        const QJsonObject skipped = early.json().toObject().value("results").toArray().at(0).toObject();
        QCOMPARE(skipped.value("ok").toBool(true), false);
        QCOMPARE(skipped.value("message").toString(), u"This fixture hasn't kicked off yet."_s);

        espn->route(SITE + u"all/summary"_s, QUrlQuery(u"event=next-1"_s),
                    StubResponse::json(summaryReply(isoIn(5), "post", 2, 0)));
        const Run check = cli({u"check"_s});
        QCOMPARE(check.status, 0);
        QVERIFY2(check.out.contains("1 checked (1 correct, 0 wrong)"), check.out.constData());
        QCOMPARE(HistoryStore(historyDatabasePath()).all().first().actual_home_score, 2);

        const Run stats = cli({u"stats"_s, u"--json"_s});
        const QJsonObject s = stats.json().toObject();
        QCOMPARE(s.value("total").toInt(), 1);
        QCOMPARE(s.value("checked").toInt(), 1);
        QCOMPARE(s.value("correct").toInt(), 1);

        // As text, the cost reads in pounds like everywhere else.
        const Run text = cli({u"predict"_s, u"Arsenal vs Chelsea"_s});
        QCOMPARE(text.status, 0);
        QVERIFY2(QString::fromUtf8(text.out).contains(u"Model:       gpt-4o-mini, "_s +
                                                      formatGbp(costGbp(u"gpt-4o-mini"_s, 1200, 150))),
                 text.out.constData());
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
            entries.append(QJsonObject{{"id", u"p%1"_s.arg(i)}, {"match_label", "Arsenal, Chelsea"}});
        HistoryStore store(historyDatabasePath());
        store.importEntries(entries);
        QCOMPARE(cli({"--json", "history"}).json().toArray().size(), 200);
        const QJsonArray all = cli({"--json", "history", "--limit", "0"}).json().toArray();
        QCOMPARE(all.size(), 250);
        QCOMPARE(all.first().toObject().value("id").toString(), u"p0"_s);

        const QString file = env->root() + u"/history.csv"_s;
        QCOMPARE(cli({"export", file}).status, 0);
        store.importEntries({QJsonObject{{"id", "p0"}, {"match_label", "changed"}}});
        store.add(Prediction::freshlyCreated());
        const Run imported = cli({"--json", "import", file});
        QCOMPARE(imported.status, 0);
        QCOMPARE(imported.json().toObject().value("updated").toInt(), 250);
        QCOMPARE(store.count(), 251);
        QCOMPARE(store.find({}, 1, 1).first().match_label, u"Arsenal, Chelsea"_s);
        QCOMPARE(cli({"import", env->root() + u"/none.json"_s}).status, 1);
    }

    void failures_exitOneWithTheirMessage()
    {
        const Run finished = cli({u"predict"_s, u"--event"_s, u"done-1"_s});
        QCOMPARE(finished.status, 1);
        QCOMPARE(QString::fromUtf8(finished.err).trimmed(),
                 QString::fromUtf8("This match has finished \xE2\x80\x94 there's nothing left to predict."));
        QCOMPARE(model->count(CHAT), 0);

        processEnv.remove(u"OPENAI_API_KEY"_s);
        const Run noKey = cli({u"predict"_s, u"Arsenal vs Chelsea"_s});
        QCOMPARE(noKey.status, 1);
        QVERIFY(noKey.err.contains("No OpenAI API key configured. Add one in Settings."));
        QVERIFY(!QFile::exists(historyDatabasePath()));

        espn->route(SITE + u"ger.1/scoreboard"_s, StubResponse::error(500));
        const Run broken = cli({u"fixtures"_s, u"ger.1"_s});
        QCOMPARE(broken.status, 1);
        QVERIFY(!broken.err.trimmed().isEmpty());
    }

    void config_masksTheKey_andKeepsAPastedOneInTheFile()
    {
        processEnv.insert(u"OPENAI_API_KEY"_s, u"sk-proj-abcdefgh1234"_s);
        QJsonObject shown = cli({"config", "--json"}).json().toObject();
        QCOMPARE(shown.value("openai_api_key").toString(), QString::fromUtf8("sk-…1234"));
        QCOMPARE(shown.value("api_key_source").toString(), u"environment"_s);

        // No keychain in the tests' environment: the file keeps the key.
        processEnv.remove(u"OPENAI_API_KEY"_s);
        const Run stored = cli({"config", "set", "openai_api_key", "-"}, "sk-pasted-key-9876\n");
        QVERIFY(stored.out.contains("kept in settings.json"));
        shown = cli({"config", "--json"}).json().toObject();
        QCOMPARE(shown.value("api_key_source").toString(), u"file"_s);
        QCOMPARE(shown.value("openai_api_key").toString(), QString::fromUtf8("sk-…9876"));
        const QJsonObject file = QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
        QCOMPARE(file.value("openai_base_url").toString(), QString());
        QVERIFY(!TestEnv::readFile(settingsFilePath()).contains("abcdefgh"));
    }

    void listings_haveTheirJsonShapes()
    {
        const Run fixtures = cli({u"fixtures"_s, u"--json"_s, u"--limit"_s, u"5"_s, u"--days"_s, u"10"_s});
        QCOMPARE(fixtures.status, 0);
        const QJsonArray list = fixtures.json().toArray();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).toObject().size(), 16);
        QCOMPARE(list.at(0).toObject().value("id").toString(), u"next-1"_s);
        QCOMPARE(list.at(0).toObject().value("home_badge").toString(), u"https://crests.test/359.png"_s);

        const Run today = cli({u"today"_s, u"--json"_s});
        QCOMPARE(today.status, 0);
        QVERIFY(today.json().isArray());
        QCOMPARE(espn->count(SITE + u"sco.1/scoreboard"_s), 1); // every tracked league asked

        const Run search = cli({u"--json"_s, u"search"_s, u"Arsenal vs Chelsea"_s});
        QCOMPARE(search.status, 0);
        QCOMPARE(search.json().toObject().value("match").toObject().value("id").toString(), u"next-1"_s);
        QCOMPARE(search.json().toObject().value("hypothetical").toBool(true), false);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
