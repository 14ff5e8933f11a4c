#include "ai/ModelReply.h"
#include "ai/Predictor.h"
#include "ai/Pricing.h"
#include "stubserver/StubServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

// Model servers as they really answer a quick prediction call. Each row gives the server's
// manner, what its model writes, and the call the program must read from it.
namespace {

// "openai" takes any response_format; "lmstudio" refuses json_object with
// LM Studio's own words; "plain" refuses every response_format.
StubHandler modelServer(const QString &kind, const QString &content, bool usage)
{
    return [=](const StubRequest &request) {
        const QString format = QJsonDocument::fromJson(request.body)
                                   .object()
                                   .value("response_format")
                                   .toObject()
                                   .value("type")
                                   .toString();
        if (kind == "lmstudio" && format == "json_object")
            return StubResponse::error(
                400, R"({"error":"'response_format.type' must be 'json_schema' or 'text'"})");
        if (kind == "plain" && !format.isEmpty())
            return StubResponse::error(400, R"({"error":{"message":"response_format is not supported"}})");
        QJsonObject reply{
            {"choices",
             QJsonArray{QJsonObject{{"message", QJsonObject{{"role", "assistant"}, {"content", content}}}}}}};
        if (usage)
            reply.insert("usage", QJsonObject{{"prompt_tokens", 1000}, {"completion_tokens", 500}});
        return StubResponse::json(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    };
}

// The response_format types a call sent, one per request ("" for none).
QStringList formatsSent(const QList<StubRequest> &requests)
{
    QStringList formats;
    for (const StubRequest &r : requests)
        formats.append(QJsonDocument::fromJson(r.body)
                           .object()
                           .value("response_format")
                           .toObject()
                           .value("type")
                           .toString());
    return formats;
}

void addServerRows()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("usage");
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QList<int>>("chances");
    QTest::addColumn<QString>("scoreline");
    QTest::addColumn<int>("confidence");

    const QString strict = R"({"outcome":"HOME","home_win_pct":55,"draw_pct":25,"away_win_pct":20,)"
                           R"("scoreline":"2-1","confidence":70})";
    const QList<int> call{55, 25, 20};
    const QStringList once{"json_object"};
    QTest::newRow("LM Studio: json_schema after json_object")
        << "lmstudio" << strict << true << QStringList{"json_object", "json_schema"} << "HOME" << call
        << "2-1" << 70;
    QTest::newRow("no response_format at all")
        << "plain" << strict << true << QStringList{"json_object", "json_schema", ""} << "HOME" << call
        << "2-1" << 70;
    QTest::newRow("fenced") << "openai"
                            << "```json\n" + strict + "\n```" << true << once << "HOME" << call << "2-1"
                            << 70;
    QTest::newRow("think block") << "openai"
                                 << "<think>Arsenal at home {strong}, Chelsea away {weak}.</think>\n\n" +
                                        strict
                                 << true << once << "HOME" << call << "2-1" << 70;
    QTest::newRow("strings and %")
        << "openai"
        << R"({"outcome":"home","home_win_pct":"55%","draw_pct":"25","away_win_pct":"20 %","scoreline":"2 - 1","confidence":"70"})"
        << true << once << "HOME" << call << "2-1" << 70;
    QTest::newRow("fractions")
        << "openai"
        << R"({"outcome":"Draw","home_win_pct":0.3,"draw_pct":0.45,"away_win_pct":0.25,"scoreline":"1:1","confidence":0.6})"
        << true << once << "DRAW" << QList<int>{30, 45, 25} << "1-1" << 60;
    QTest::newRow("sum of 95")
        << "openai"
        << R"({"outcome":"HOME","home_win_pct":50,"draw_pct":30,"away_win_pct":15,"scoreline":"1-0","confidence":55})"
        << true << once << "HOME" << QList<int>{53, 31, 16} << "1-0" << 55;
    QTest::newRow("sum of 110, stated outcome kept")
        << "openai"
        << R"({"outcome":"away","home_win_pct":45,"draw_pct":40,"away_win_pct":25,"scoreline":"0-1","confidence":40})"
        << true << once << "AWAY" << QList<int>{41, 36, 23} << "0-1" << 40;
    QTest::newRow("halves, tie to the stated outcome")
        << "openai"
        << R"({"outcome":"DRAW","home_win_pct":37.5,"draw_pct":37.5,"away_win_pct":25,"scoreline":"<b>1-1</b>","confidence":51.6})"
        << true << once << "DRAW" << QList<int>{37, 38, 25} << "?-?" << 52;
    QTest::newRow("no usage") << "openai" << strict << false << once << "HOME" << call << "2-1" << 70;
}

} // namespace

class TestModelReply : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StubServer> server;
    const QString chat = u"/v1/chat/completions"_s;

    static Match fixture()
    {
        Match m;
        m.home_team = u"Arsenal"_s;
        m.away_team = u"Chelsea"_s;
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

    void predictQuick_readsEveryServersReply_data() { addServerRows(); }

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
        server->route(chat, modelServer(kind, content, usage));

        const Predictor predictor(u"sk-test"_s, u"gpt-4o"_s, QString(), QString());
        const Prediction p = predictor.predictQuick(fixture(), u"context"_s, u"quick"_s);
        QCOMPARE(p.outcome, outcome);
        QCOMPARE((QList<int>{p.home_win_pct, p.draw_pct, p.away_win_pct}), chances);
        QCOMPARE(p.scoreline, scoreline);
        QCOMPARE(p.confidence, confidence);
        QCOMPARE(p.cost_gbp, usage ? costGbp(u"gpt-4o"_s, 1000, 500) : 0.0);
        QCOMPARE(formatsSent(server->requestsTo(chat)), formats);

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
        predictor.predictQuick(fixture(), u"context"_s, u"quick"_s);
        QCOMPARE(formatsSent(server->requestsTo(chat)), QStringList{formats.last()});
    }

    void objectInModelText_neverThrowsAndFindsTheFirstWholeObject_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("object"); // compact JSON, or "none"
        QTest::newRow("empty") << u"  "_s << u"{}"_s;
        QTest::newRow("two objects") << R"(first {"a":1} then {"b":2})"
                                     << R"({"a":1})";
        QTest::newRow("brace in a string")
            << u"{\"s\":\"a } b\",\"n\":2}"_s << u"{\"n\":2,\"s\":\"a } b\"}"_s;
        QTest::newRow("broken then whole") << R"({"a": oops} {"b":[1,{"c":2}]})"
                                           << R"({"b":[1,{"c":2}]})";
        QTest::newRow("cut off") << u"{\"outcome\": \"HO"_s << u"none"_s;
        QTest::newRow("unclosed think") << R"(<think>{"a":1})" << u"none"_s;
    }

    void objectInModelText_neverThrowsAndFindsTheFirstWholeObject()
    {
        QFETCH(QString, text);
        QFETCH(QString, object);
        const auto found = objectInModelText(text);
        QCOMPARE(found ? QString::fromUtf8(QJsonDocument(*found).toJson(QJsonDocument::Compact)) : u"none"_s,
                 object);
    }

    void redirectToAnotherHost_carriesNoKey()
    {
        StubServer elsewhere;
        elsewhere.route(chat, modelServer("openai", "{}", false));
        StubResponse moved = StubResponse::error(307);
        moved.headers.append({"Location", (elsewhere.baseUrl() + chat).toUtf8()});
        server->route(chat, moved);
        const Predictor predictor(u"sk-secret"_s, u"gpt-4o"_s, QString(), QString());
        QVERIFY_THROWS_EXCEPTION(PredictorError, predictor.chatJson("s", "u", 0.4, 0));
        QCOMPARE(server->requestsTo(chat).first().header("authorization"), QByteArray("Bearer sk-secret"));
        for (const StubRequest &request : elsewhere.requests())
            QVERIFY(request.header("authorization").isEmpty());
    }

    void ownServer_needsNoKey_andUnknownModelsCostNothing()
    {
        qunsetenv("TOLVO_OPENAI_BASE");
        server->route(chat, modelServer("openai", R"({"outcome":"AWAY"})", true));
        const Predictor predictor(QString(), u"qwen2.5-7b-instruct"_s, QString(), QString(),
                                  server->baseUrl());
        const Prediction p = predictor.predictQuick(fixture(), u"c"_s, u"quick"_s);
        QCOMPARE(p.outcome, u"AWAY"_s);
        QCOMPARE(p.cost_gbp, 0.0);
        QCOMPARE(costText(p.model, p.cost_gbp), u"price unknown"_s);
        QVERIFY(server->requestsTo(chat).first().header("authorization").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestModelReply)
#include "tst_modelreply.moc"
