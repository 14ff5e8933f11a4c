#include "ai/ModelReply.h"
#include "ai/Predictor.h"
#include "ai/Pricing.h"
#include "support/ModelServers.h"

#include <QtTest>

#include <memory>

class TestModelReply : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StubServer> server;
    const QString chat = QStringLiteral("/v1/chat/completions");

    static Match fixture()
    {
        Match m;
        m.home_team = QStringLiteral("Arsenal");
        m.away_team = QStringLiteral("Chelsea");
        return m;
    }

private slots:
    void init()
    {
        // A new server, so a new address: what worked is remembered per address.
        server = std::make_unique<StubServer>();
        qputenv("TOLVO_OPENAI_BASE", server->baseUrl().toUtf8());
    }
    void cleanup() { server.reset(); }

    void predictQuick_readsEveryServersReply_data() { ModelServers::addRows(); }

    void predictQuick_readsEveryServersReply()
    {
        QFETCH(QString, kind);
        QFETCH(QString, content);
        QFETCH(bool, usage);
        QFETCH(QStringList, formats);
        QFETCH(QString, outcome);
        QFETCH(QList<int>, chances);
        QFETCH(QString, scoreline);
        QFETCH(int, confidence);
        server->route(chat, ModelServers::server(kind, content, usage));

        const Predictor predictor(QStringLiteral("sk-test"), QStringLiteral("gpt-4o"), QString(), QString());
        const Prediction p =
            predictor.predictQuick(fixture(), QStringLiteral("context"), QStringLiteral("quick"));
        QCOMPARE(p.outcome, outcome);
        QCOMPARE((QList<int>{p.home_win_pct, p.draw_pct, p.away_win_pct}), chances);
        QCOMPARE(p.scoreline, scoreline);
        QCOMPARE(p.confidence, confidence);
        QCOMPARE(p.cost_gbp, usage ? costGbp(QStringLiteral("gpt-4o"), 1000, 500) : 0.0);
        QCOMPARE(ModelServers::formatsSent(server->requestsTo(chat)), formats);

        // The schema names every key of the call it asks for.
        const QJsonObject sent = QJsonDocument::fromJson(server->requestsTo(chat).last().body).object();
        if (formats.last() == QLatin1String("json_schema")) {
            const QJsonObject schema = sent.value("response_format")
                                           .toObject()
                                           .value("json_schema")
                                           .toObject()
                                           .value("schema")
                                           .toObject();
            QCOMPARE(schema.value("required").toArray().size(), 6);
        }

        // The next call goes straight to what worked.
        server->clearRequests();
        predictor.predictQuick(fixture(), QStringLiteral("context"), QStringLiteral("quick"));
        QCOMPARE(ModelServers::formatsSent(server->requestsTo(chat)), QStringList{formats.last()});
    }

    void objectInModelText_neverThrowsAndFindsTheFirstWholeObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("object"); // compact JSON, or "none"
        QTest::newRow("empty") << "  "
                               << "{}";
        QTest::newRow("two objects") << R"(first {"a":1} then {"b":2})"
                                     << R"({"a":1})";
        QTest::newRow("brace in a string") << "{\"s\":\"a } b\",\"n\":2}"
                                           << "{\"n\":2,\"s\":\"a } b\"}";
        QTest::newRow("broken then whole") << R"({"a": oops} {"b":[1,{"c":2}]})"
                                           << R"({"b":[1,{"c":2}]})";
        QTest::newRow("cut off") << "{\"outcome\": \"HO"
                                 << "none";
        QTest::newRow("unclosed think") << R"(<think>{"a":1})"
                                        << "none";
        QTest::newRow("only an array") << "[1, 2]"
                                       << "none";
        QTest::newRow("markup") << "<b>HOME</b> 2-1"
                                << "none";
    }

    void objectInModelText_neverThrowsAndFindsTheFirstWholeObject()
    {
        QFETCH(QString, text);
        QFETCH(QString, object);
        const auto found = objectInModelText(text);
        QCOMPARE(found ? QString::fromUtf8(QJsonDocument(*found).toJson(QJsonDocument::Compact))
                       : QStringLiteral("none"),
                 object);
    }

    void otherErrors_areNotRetried()
    {
        server->route(chat, StubResponse::error(400, R"({"error":{"message":"context too long"}})"));
        const Predictor predictor(QStringLiteral("sk-test"), QStringLiteral("gpt-4o"), QString(), QString());
        QVERIFY_THROWS_EXCEPTION(PredictorError, predictor.chatJson("s", "u", 0.4, 0));
        QCOMPARE(server->count(chat), 1);
    }

    void redirectToAnotherHost_carriesNoKey()
    {
        StubServer elsewhere;
        elsewhere.route(chat, ModelServers::server("openai", "{}", false));
        StubResponse moved = StubResponse::error(307);
        moved.headers.append({"Location", (elsewhere.baseUrl() + chat).toUtf8()});
        server->route(chat, moved);
        const Predictor predictor(QStringLiteral("sk-secret"), QStringLiteral("gpt-4o"), QString(),
                                  QString());
        QVERIFY_THROWS_EXCEPTION(PredictorError, predictor.chatJson("s", "u", 0.4, 0));
        QCOMPARE(server->requestsTo(chat).first().header("authorization"), QByteArray("Bearer sk-secret"));
        for (const StubRequest &request : elsewhere.requests())
            QVERIFY(request.header("authorization").isEmpty());
    }

    void ownServer_needsNoKey_andUnknownModelsCostNothing()
    {
        qunsetenv("TOLVO_OPENAI_BASE");
        server->route(chat, ModelServers::server("openai", R"({"outcome":"AWAY"})", true));
        const Predictor predictor(QString(), QStringLiteral("qwen2.5-7b-instruct"), QString(), QString(),
                                  server->baseUrl());
        const Prediction p = predictor.predictQuick(fixture(), QStringLiteral("c"), QStringLiteral("quick"));
        QCOMPARE(p.outcome, QStringLiteral("AWAY"));
        QCOMPARE(p.cost_gbp, 0.0);
        QCOMPARE(costText(p.model, p.cost_gbp), QStringLiteral("price unknown"));
        QVERIFY(server->requestsTo(chat).first().header("authorization").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestModelReply)
#include "tst_modelreply.moc"
