#include "RateLimiter.h"
#include "RelayServer.h"
#include "ReportStore.h"
#include "services/FeedbackReport.h"
#include "stubserver/StubServer.h"
#include "support/RelayProcess.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray Token = "Relay_Token_0123456789abcdefghij";

// The real relay program, listening on a free port of 127.0.0.1.
class TestRelayProcess : public RelayProcess
{
public:
    explicit TestRelayProcess(const QStringList &extraArgs, const QByteArray &upstreamKey = "sk-upstream")
        : RelayProcess(QStringLiteral(TOLVO_RELAY_BINARY), Token, extraArgs, upstreamKey)
    {}
};

QList<QPair<QByteArray, QByteArray>> bearer(const QByteArray &token = Token)
{
    return {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}};
}

QPair<QByteArray, QByteArray> reportBody(const QByteArray &payload)
{
    FormPart part;
    part.headers.insert("Content-Disposition", "form-data; name=\"payload_json\"");
    part.body = payload;
    return buildMultipart({part});
}

TestHttpReply postReport(const QString &base, const QPair<QByteArray, QByteArray> &body,
                         const QByteArray &token = Token)
{
    return testHttp("POST", base + QStringLiteral("/report"),
                    {{"Authorization", "Bearer " + token}, {"Content-Type", body.first}}, body.second);
}

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void rateLimiter_slidingMinutePerClient()
    {
        RateLimiter limiter(2);
        const auto t0 = RateLimiter::Clock::now();
        QCOMPARE(limiter.admit("a", t0), 0);
        QCOMPARE(limiter.admit("a", t0 + std::chrono::seconds(10)), 0);
        const int wait = limiter.admit("a", t0 + std::chrono::seconds(20));
        QVERIFY(wait >= 40 && wait <= 41);
        QCOMPARE(limiter.admit("b", t0 + std::chrono::seconds(20)), 0);
        QCOMPARE(limiter.admit("a", t0 + std::chrono::seconds(61)), 0);
        QCOMPARE(RateLimiter(0).admit("a"), 0); // 0 switches the limit off
    }

    void reportStore_namesAreSafe()
    {
        QCOMPARE(ReportStore::sanitize("../../etc/passwd"), std::string("_.._etc_passwd"));
        QCOMPARE(ReportStore::sanitize("screenshot.png"), std::string("screenshot.png"));
        QCOMPARE(ReportStore::sanitize(""), std::string("attachment"));
        QCOMPARE(ReportStore::sanitize("payload.json"), std::string("attachmentpayload.json"));
        QCOMPARE(ReportStore::sanitize("C:\\x y.txt"), std::string("C__x_y.txt"));
        QCOMPARE(ReportStore::sanitize(std::string(200, 'a') + ".png").size(), std::size_t(80));
        QVERIFY(RelayServer::sameSecret("abc", "abc"));
        QVERIFY(!RelayServer::sameSecret("abd", "abc"));
        QVERIFY(!RelayServer::sameSecret("ab", "abc"));
        QVERIFY(!RelayServer::sameSecret("", ""));
    }

    void health_answers()
    {
        TestRelayProcess relay({});
        QVERIFY(!relay.baseUrl.isEmpty());
        QCOMPARE(testHttp("GET", relay.baseUrl + QStringLiteral("/health")).status, 200);
    }

    void report_fromTheProgram_isStoredIntactAndForwarded()
    {
        StubServer webhook;
        webhook.route(QStringLiteral("/hook/123"), StubResponse::json({}, 204));
        TestRelayProcess relay(
            {QStringLiteral("--webhook"), webhook.baseUrl() + QStringLiteral("/hook/123")});

        QByteArray shot;
        for (int i = 0; i < 70000; ++i)
            shot.append(char(i * 7));
        const QString log =
            QString::fromUtf8("2026-12-06 10:00:00 === Tolvo 1.5.5 started ===\nL\xC3\xB8g\n");
        sendReport(QStringLiteral("It crashed\nafter the goal"), QStringLiteral("bug"),
                   QStringLiteral("minor"), QStringLiteral("Ana"), shot, log,
                   RelayConfig{relay.baseUrl, QString::fromLatin1(Token)});

        const QStringList reports = relay.storedReports();
        QCOMPARE(reports.size(), 1);
        const QDir folder(QDir(relay.reportsDir).filePath(reports.first()));
        QCOMPARE(folder.entryList(QDir::Files),
                 QStringList({QStringLiteral("log.txt"), QStringLiteral("payload.json"),
                              QStringLiteral("screenshot.png")}));
        QCOMPARE(TestEnv::readFile(folder.filePath(QStringLiteral("screenshot.png"))), shot);
        QCOMPARE(TestEnv::readFile(folder.filePath(QStringLiteral("log.txt"))), log.toUtf8());
        const QJsonObject embed = QJsonDocument::fromJson(TestEnv::readFile(folder.filePath("payload.json")))
                                      .object()
                                      .value("embeds")
                                      .toArray()
                                      .first()
                                      .toObject();
        QCOMPARE(embed.value("description").toString(), QStringLiteral("> It crashed\n> after the goal"));

        QTRY_COMPARE(webhook.count(QStringLiteral("/hook/123")), 1);
        const StubRequest forwarded = webhook.requestsTo(QStringLiteral("/hook/123")).first();
        const QList<FormPart> parts = parseMultipart(forwarded.header("content-type"), forwarded.body);
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0].name(), QByteArray("payload_json"));
        QCOMPARE(parts[0].body, TestEnv::readFile(folder.filePath(QStringLiteral("payload.json"))));
        QCOMPARE(parts[1].fileName(), QByteArray("screenshot.png"));
        QCOMPARE(parts[1].body, shot);
        QCOMPARE(parts[2].body, log.toUtf8());

        // The log names neither the token nor what the user wrote.
        const QByteArray output = relay.output();
        QVERIFY(output.contains("POST /report 204"));
        QVERIFY(!output.contains(Token));
        QVERIFY(!output.contains("crashed"));
    }

    void chat_isForwardedUnchanged()
    {
        StubServer upstream;
        // (No raw string here: moc misreads a raw string holding backslash-quote.)
        const QByteArray answer = "{\"choices\":[{\"message\":{\"content\":\"{\\\"outcome\\\":\\\"HOME\\\"}"
                                  "\"}}],\"usage\":{\"prompt_tokens\":5}}";
        upstream.route(QStringLiteral("/v1/chat/completions"), StubResponse::json(answer));
        TestRelayProcess relay({QStringLiteral("--upstream"), upstream.baseUrl()});

        const QByteArray body =
            R"({"model":"gpt-4o-mini","messages":[{"role":"user","content":"Arsenal vs Chelsea"}]})";
        const TestHttpReply reply =
            testHttp("POST", relay.baseUrl + QStringLiteral("/v1/chat/completions"), bearer(), body);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, answer);
        const StubRequest seen = upstream.requestsTo(QStringLiteral("/v1/chat/completions")).first();
        QCOMPARE(seen.body, body);
        QCOMPARE(seen.header("authorization"), QByteArray("Bearer sk-upstream"));

        const QByteArray limited = R"({"error":{"message":"Rate limit reached","type":"requests"}})";
        upstream.route(QStringLiteral("/v1/chat/completions"), StubResponse::error(429, limited));
        const TestHttpReply passed =
            testHttp("POST", relay.baseUrl + QStringLiteral("/v1/chat/completions"), bearer(), body);
        QCOMPARE(passed.status, 429);
        QCOMPARE(passed.body, limited);
        QVERIFY(!relay.output().contains("Arsenal"));
    }

    void chat_unreachableUpstream_is502InTheServiceErrorShape()
    {
        TestRelayProcess relay({QStringLiteral("--upstream"), QStringLiteral("http://127.0.0.1:1")});
        const TestHttpReply reply =
            testHttp("POST", relay.baseUrl + QStringLiteral("/v1/chat/completions"), bearer(), "{}");
        QCOMPARE(reply.status, 502);
        const QJsonObject error = QJsonDocument::fromJson(reply.body).object().value("error").toObject();
        QVERIFY(!error.value("message").toString().isEmpty());
    }

    void refusals_getTheirStatusesAndStoreNothing()
    {
        StubServer upstream;
        upstream.route(QStringLiteral("/v1/chat/completions"), StubResponse::json("{}"));
        TestRelayProcess relay({QStringLiteral("--upstream"), upstream.baseUrl()});
        const QString chat = relay.baseUrl + QStringLiteral("/v1/chat/completions");

        QCOMPARE(testHttp("POST", chat, bearer("wrong"), "{}").status, 401);
        QCOMPARE(testHttp("POST", chat, {{"Content-Type", "application/json"}}, "{}").status, 401);
        QCOMPARE(testHttp("POST", chat, bearer(Token + "x"), "{}").status, 401);
        QCOMPARE(testHttp("POST", chat, bearer(), QByteArray(300 * 1024, ' ')).status, 413);
        QCOMPARE(testHttp("POST", chat, bearer(), "[1, 2]").status, 400);
        QCOMPARE(testHttp("POST", chat, bearer(), "{\"model\": ").status, 400);
        QCOMPARE(upstream.count(QStringLiteral("/v1/chat/completions")), 0);

        const TestHttpReply unauthorised = postReport(relay.baseUrl, reportBody(R"({"embeds":[]})"), "nope");
        QCOMPARE(unauthorised.status, 401);
        QVERIFY(QJsonDocument::fromJson(unauthorised.body).isObject());
        QCOMPARE(postReport(relay.baseUrl, reportBody(R"({"embeds":{}})")).status, 400);
        QCOMPARE(postReport(relay.baseUrl, reportBody("not json")).status, 400);
        QCOMPARE(
            testHttp("POST", relay.baseUrl + QStringLiteral("/report"), bearer(), R"({"embeds":[]})").status,
            400);
        FormPart big;
        big.headers.insert("Content-Disposition", "form-data; name=\"screenshot\"; filename=\"s.png\"");
        big.body = QByteArray(17 * 1024 * 1024, 'x');
        QCOMPARE(postReport(relay.baseUrl, buildMultipart({big})).status, 413);
        QVERIFY(relay.storedReports().isEmpty());
    }

    void rateLimit_answers429WithRetryAfter()
    {
        TestRelayProcess relay({QStringLiteral("--rate-limit"), QStringLiteral("3"),
                                QStringLiteral("--upstream"), QStringLiteral("http://127.0.0.1:1")});
        const QString chat = relay.baseUrl + QStringLiteral("/v1/chat/completions");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(testHttp("POST", chat, bearer(), "{}").status, 502);
        const TestHttpReply limited = testHttp("POST", chat, bearer(), "{}");
        QCOMPARE(limited.status, 429);
        const int retryAfter = limited.headers.value("retry-after").toInt();
        QVERIFY(retryAfter >= 1 && retryAfter <= 61);
        QCOMPARE(postReport(relay.baseUrl, reportBody(R"({"embeds":[]})")).status, 429);
        QVERIFY(relay.storedReports().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
