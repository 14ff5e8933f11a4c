#include "ai/Predictor.h"
#include "stubserver/StubServer.h"
#include "support/Thrown.h"

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

    void routing_keyFirst_elseACompleteRelay_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("relayPath"); // empty: no relay address
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("path"); // empty: refused
        QTest::addColumn<QByteArray>("authorization");
        QTest::newRow("key, relay ignored")
            << u"sk-own"_s << u"/relay"_s << u"relay-token"_s << CHAT_PATH << QByteArray("Bearer sk-own");
        QTest::newRow("relay") << u""_s << u"/relay"_s << u"relay-token"_s << u"/relay"_s + CHAT_PATH
                               << QByteArray("Bearer relay-token");
        QTest::newRow("relay without token") << u""_s << u"/relay"_s << u""_s << u""_s << QByteArray();
        QTest::newRow("nothing") << u""_s << u""_s << u""_s << u""_s << QByteArray();
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
            QCOMPARE(thrownMessage([&] { Predictor(key, u"gpt-4o-mini"_s, relay, token); }),
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
                                      << u"OpenAI request failed (HTTP 429)"_s;
        StubResponse hangUp;
        hangUp.hangUp = true;
        QTest::newRow("connection dropped") << hangUp << u"OpenAI request failed (HTTP 0)"_s;
        QTest::newRow("past the cap")
            << StubResponse::json(modelReply(QString(Predictor::MaxReplyBytes, u'x')))
            << u"OpenAI request failed (HTTP 0)"_s;
        QTest::newRow("body not json")
            << StubResponse::json("<html>Bad gateway</html>") << u"OpenAI returned malformed JSON"_s;
        QTest::newRow("content an array")
            << StubResponse::json(modelReply(u"[1, 2]"_s)) << u"Model returned malformed JSON"_s;
    }
    void chatJson_failures()
    {
        QFETCH(StubResponse, response);
        QFETCH(QString, message);
        server->route(CHAT_PATH, response);
        QCOMPARE(thrownMessage([] { withKey().chatJson(u"s"_s, u"u"_s, 0.4, 0); }), message);
        // Never retried by us; Qt itself resends once on a connection closed without an answer.
        if (!response.hangUp)
            QCOMPARE(server->count(CHAT_PATH), 1);
    }

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

    void chatJson_unreachableOrSilentServer_isStatusZero()
    {
        StubResponse silent = StubResponse::json(modelReply(u"{}"_s));
        silent.delayMs = 600000;
        server->route(CHAT_PATH, silent);
        // The call's own limit ends it; the suite's time-out would catch a wait for the server.
        const Predictor impatient(u"sk-test"_s, u"gpt-4o"_s, QString(), QString(), QString(), 300);
        QCOMPARE(thrownMessage([&] { impatient.chatJson(u"s"_s, u"u"_s, 0.4, 0); }),
                 u"OpenAI request failed (HTTP 0)"_s);
        qputenv("TOLVO_OPENAI_BASE", StubServer().baseUrl().toUtf8()); // nothing listens there now
        QCOMPARE(thrownMessage([] { withKey().chatJson(u"s"_s, u"u"_s, 0.4, 0); }),
                 u"OpenAI request failed (HTTP 0)"_s);
    }
};

QTEST_GUILESS_MAIN(TestPredictor)
#include "tst_predictor.moc"
