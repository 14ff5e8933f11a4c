#include "ai/Predictor.h"
#include "ai/Pricing.h"
#include "ai/Prompts.h"
#include "stubserver/StubServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString CHAT_PATH = u"/v1/chat/completions"_s;

// A chat-completions reply whose assistant text is `content`.
QByteArray modelReply(const QJsonValue &content, int promptTokens = -1, int completionTokens = 0)
{
    QJsonObject reply{
        {u"choices"_s, QJsonArray{QJsonObject{{u"message"_s, QJsonObject{{u"role"_s, u"assistant"_s},
                                                                         {u"content"_s, content}}}}}}};
    if (promptTokens >= 0)
        reply.insert(u"usage"_s, QJsonObject{{u"prompt_tokens"_s, promptTokens},
                                             {u"completion_tokens"_s, completionTokens}});
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QJsonObject bodyOf(const StubRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QJsonObject message(const QString &role, const QString &content)
{
    return QJsonObject{{u"role"_s, role}, {u"content"_s, content}};
}

QString failureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const PredictorError &e) {
        return e.message();
    }
    return u"<no error>"_s;
}

Match arsenalChelsea()
{
    Match m;
    m.id = u"740123"_s;
    m.home_team = u"Arsenal"_s;
    m.away_team = u"Chelsea"_s;
    return m;
}

} // namespace

class TestPredictor : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StubServer> server;

    static Predictor withKey(const QString &model = u"gpt-4o"_s)
    {
        return Predictor(u"sk-test"_s, model, QString(), QString());
    }

private slots:
    void init()
    {
        server = std::make_unique<StubServer>();
        qputenv("TOLVO_OPENAI_BASE", server->baseUrl().toUtf8());
    }
    void cleanup() { server.reset(); }

    void openAiBase_defaultAndOverride()
    {
        qunsetenv("TOLVO_OPENAI_BASE");
        QCOMPARE(Predictor::openAiBase(), u"https://api.openai.com"_s);
        qputenv("TOLVO_OPENAI_BASE", "http://localhost:11434/");
        QCOMPARE(withKey().endpoint(), u"http://localhost:11434/v1/chat/completions"_s);
        qputenv("TOLVO_OPENAI_BASE", "localhost:11434");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"TOLVO_OPENAI_BASE"_s));
        QCOMPARE(Predictor::openAiBase(), u"https://api.openai.com"_s);
    }

    void routing_keyFirst_elseACompleteRelay_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("relayPath"); // empty: no relay address
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::addColumn<QByteArray>("authorization");
        QTest::newRow("key, relay ignored") << "sk-own"
                                            << "/relay"
                                            << "relay-token" << CHAT_PATH << QByteArray("Bearer sk-own");
        QTest::newRow("relay") << ""
                               << "/relay"
                               << "relay-token" << u"/relay"_s + CHAT_PATH
                               << QByteArray("Bearer relay-token");
        QTest::newRow("relay without token") << ""
                                             << "/relay"
                                             << ""
                                             << "" << QByteArray();
        QTest::newRow("token without relay") << ""
                                             << ""
                                             << "token"
                                             << "" << QByteArray();
        QTest::newRow("nothing") << ""
                                 << ""
                                 << ""
                                 << "" << QByteArray();
    }
    void routing_keyFirst_elseACompleteRelay()
    {
        QFETCH(QString, key);
        QFETCH(QString, relayPath);
        QFETCH(QString, token);
        QFETCH(QString, path);
        server->setFallback([](const StubRequest &) { return StubResponse::json(modelReply(u"{}"_s)); });
        const QString relay = relayPath.isEmpty() ? QString() : server->baseUrl() + relayPath;
        if (path.isEmpty()) {
            QCOMPARE(failureOf([&] { Predictor(key, u"gpt-4o-mini"_s, relay, token); }),
                     u"No OpenAI API key configured. Add one in Settings."_s);
            return;
        }
        Predictor(key, u"gpt-4o-mini"_s, relay, token).chatJson(u"s"_s, u"u"_s, 0.2, 0);
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(server->requests().first().path, path);
        QTEST(server->requests().first().header("Authorization"), "authorization");
        QCOMPARE(bodyOf(server->requests().first()).value(u"model"_s).toString(), u"gpt-4o-mini"_s);
    }

    void chatJson_sendsTheExactCompactBody()
    {
        server->route(CHAT_PATH, StubResponse::json(modelReply(u"{\"ok\":true}"_s)));
        const auto [object, cost] = withKey().chatJson(u"System text"_s, u"User text"_s, 0.55, 0);
        QCOMPARE(object, QJsonObject({{u"ok"_s, true}}));
        QCOMPARE(cost, 0.0); // no "usage" in the reply
        withKey().chatJson(u"s"_s, u"u"_s, 0.4, 220);
        withKey().chatJson(u"s"_s, u"u"_s, 0.4, -5);

        const QList<StubRequest> requests = server->requestsTo(CHAT_PATH);
        QCOMPARE(requests.size(), 3);
        const StubRequest &r = requests.first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer sk-test"));
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(!r.body.contains('\n') && !r.body.contains(": "));
        const QJsonObject expected{
            {u"model"_s, u"gpt-4o"_s},
            {u"response_format"_s, QJsonObject{{u"type"_s, u"json_object"_s}}},
            {u"temperature"_s, 0.55},
            {u"messages"_s,
             QJsonArray{message(u"system"_s, u"System text"_s), message(u"user"_s, u"User text"_s)}},
        };
        QCOMPARE(bodyOf(r), expected);
        QCOMPARE(bodyOf(requests.at(1)).value(u"max_tokens"_s), QJsonValue(220));
        QVERIFY(!bodyOf(requests.at(2)).contains(u"max_tokens"_s));
    }

    void chatJson_failures_data()
    {
        QTest::addColumn<StubResponse>("response");
        QTest::addColumn<QString>("message");
        QTest::newRow("rate limited") << StubResponse::error(429, R"({"error":{"message":"slow down"}})")
                                      << "OpenAI request failed (HTTP 429)";
        QTest::newRow("server error")
            << StubResponse::error(500, modelReply(u"{}"_s)) << "OpenAI request failed (HTTP 500)";
        StubResponse hangUp;
        hangUp.hangUp = true;
        QTest::newRow("connection dropped") << hangUp << "OpenAI request failed (HTTP 0)";
        QTest::newRow("body not json")
            << StubResponse::json("<html>Bad gateway</html>") << "OpenAI returned malformed JSON";
        QTest::newRow("content an array")
            << StubResponse::json(modelReply(u"[1, 2]"_s)) << "Model returned malformed JSON";
        QTest::newRow("content cut off")
            << StubResponse::json(modelReply(u"{\"outcome\": \"HO"_s)) << "Model returned malformed JSON";
    }
    void chatJson_failures()
    {
        QFETCH(StubResponse, response);
        QFETCH(QString, message);
        server->route(CHAT_PATH, response);
        QCOMPARE(failureOf([] { withKey().chatJson(u"s"_s, u"u"_s, 0.4, 0); }), message);
        // Never retried by us; Qt itself resends once on a connection closed without an answer.
        if (!response.hangUp)
            QCOMPARE(server->count(CHAT_PATH), 1);
    }

    void chatJson_unreachableOrSilentServer_isStatusZero()
    {
        StubResponse silent = StubResponse::json(modelReply(u"{}"_s));
        silent.delayMs = 600000;
        server->route(CHAT_PATH, silent);
        // The call's own limit ends it; the suite's time-out would catch a wait for the server.
        const Predictor impatient(u"sk-test"_s, u"gpt-4o"_s, QString(), QString(), QString(), 300);
        QCOMPARE(failureOf([&] { impatient.chatJson(u"s"_s, u"u"_s, 0.4, 0); }),
                 u"OpenAI request failed (HTTP 0)"_s);
        qputenv("TOLVO_OPENAI_BASE", StubServer().baseUrl().toUtf8()); // nothing listens there now
        QCOMPARE(failureOf([] { withKey().chatJson(u"s"_s, u"u"_s, 0.4, 0); }),
                 u"OpenAI request failed (HTTP 0)"_s);
    }

    void chatJson_emptyContent_readsAsEmptyObject_withItsCost_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty text") << modelReply(u""_s, 10, 2);
        QTest::newRow("no choices") << QByteArray(R"({"usage":{"prompt_tokens":10,"completion_tokens":2}})");
    }
    void chatJson_emptyContent_readsAsEmptyObject_withItsCost()
    {
        QFETCH(QByteArray, body);
        server->route(CHAT_PATH, StubResponse::json(body));
        const auto [object, cost] = withKey(u"gpt-4o"_s).chatJson(u"s"_s, u"u"_s, 0.4, 0);
        QVERIFY(object.isEmpty());
        QVERIFY(qFuzzyCompare(cost, costGbp(u"gpt-4o"_s, 10, 2)));
    }

    void chat_sendsSystemPromptHistoryAndUserText()
    {
        server->route(CHAT_PATH, StubResponse::json(modelReply(u"  Probably a draw.\n"_s, 300, 40)));
        const ChatHistory history = {{u"user"_s, u"Who wins tonight?"_s},
                                     {u"assistant"_s, u"Which match?"_s}};
        const auto [text, cost] = withKey().chat(history, u"Arsenal v Chelsea"_s);
        QCOMPARE(text, u"Probably a draw."_s);
        QVERIFY(qFuzzyCompare(cost, costGbp(u"gpt-4o"_s, 300, 40)));
        const QJsonObject expected{
            {u"model"_s, u"gpt-4o"_s},
            {u"temperature"_s, 0.7},
            {u"max_tokens"_s, 400},
            {u"messages"_s,
             QJsonArray{message(u"system"_s, CHAT_SYSTEM_PROMPT), message(u"user"_s, u"Who wins tonight?"_s),
                        message(u"assistant"_s, u"Which match?"_s),
                        message(u"user"_s, u"Arsenal v Chelsea"_s)}},
        };
        QCOMPARE(bodyOf(server->requestsTo(CHAT_PATH).value(0)), expected);
    }

    void chat_failures_data()
    {
        QTest::addColumn<StubResponse>("response");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank") << StubResponse::json(modelReply(u" \n\t "_s))
                               << "The model returned an empty reply.";
        QTest::newRow("not json") << StubResponse::json("not json at all")
                                  << "The model returned an empty reply.";
        QTest::newRow("http error") << StubResponse::error(503) << "OpenAI request failed (HTTP 503)";
    }
    void chat_failures()
    {
        QFETCH(StubResponse, response);
        server->route(CHAT_PATH, response);
        QTEST(failureOf([] { withKey().chat({}, u"hi"_s); }), "message");
    }

    void predictQuick_sendsContextWithQuickPrompt_andReadsTheCall()
    {
        server->route(CHAT_PATH,
                      StubResponse::json(modelReply(
                          u"{\"outcome\":\"home\",\"scoreline\":\"2-1\",\"confidence\":70}"_s, 900, 40)));
        const Prediction p = withKey().predictQuick(arsenalChelsea(), u"the context"_s, u"deep"_s);
        QCOMPARE(p.outcome, u"HOME"_s);
        QCOMPARE(p.confidence, 70);
        QVERIFY(qFuzzyCompare(p.cost_gbp, costGbp(u"gpt-4o"_s, 900, 40)));

        const QJsonObject body = bodyOf(server->requestsTo(CHAT_PATH).value(0));
        QCOMPARE(body.value(u"response_format"_s).toObject().value(u"type"_s).toString(), u"json_object"_s);
        QCOMPARE(body.value(u"messages"_s).toArray(),
                 QJsonArray(
                     {message(u"system"_s, QUICK_SYSTEM_PROMPT_BASE), message(u"user"_s, u"the context"_s)}));
    }

    void predictReasoning_addsSummaryFactorsAndCost()
    {
        const QJsonObject reply{{u"summary"_s, u"Arsenal's home form decides it."_s},
                                {u"key_factors"_s, QJsonArray{u"Home form"_s, u"Chelsea leak goals"_s}}};
        server->route(CHAT_PATH, StubResponse::json(modelReply(
                                     QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact)),
                                     1200, 150)));
        Prediction quick = Prediction::freshlyCreated();
        quick.outcome = u"HOME"_s;
        quick.scoreline = u"2-1"_s;
        quick.confidence = 70;
        quick.cost_gbp = 0.0004;

        const Prediction p = withKey().predictReasoning(arsenalChelsea(), u"ctx"_s, quick, u"deep"_s);
        QCOMPARE(p.summary, u"Arsenal's home form decides it."_s);
        QCOMPARE(p.key_factors, QStringList({u"Home form"_s, u"Chelsea leak goals"_s}));
        QVERIFY(qFuzzyCompare(p.cost_gbp, 0.0004 + costGbp(u"gpt-4o"_s, 1200, 150)));
        QCOMPARE(p.id, quick.id);

        const QJsonArray messages =
            bodyOf(server->requestsTo(CHAT_PATH).value(0)).value(u"messages"_s).toArray();
        QCOMPARE(messages.at(0).toObject().value(u"content"_s).toString(), reasoningSystemPrompt(5));
        QCOMPARE(messages.at(1).toObject().value(u"content"_s).toString(),
                 reasoningUserText(u"ctx"_s, quick));
    }
};

QTEST_GUILESS_MAIN(TestPredictor)
#include "tst_predictor.moc"
